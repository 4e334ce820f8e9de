// The system message texts off Windows: FormatMessageA with Windows'
// English texts for every error number the program's networks produce and
// the ones administrators usually meet, and nothing (ERROR_MR_MID_NOT_FOUND)
// for numbers the system has no text for, as on Windows.
#include "platform/desktop/SystemMessages.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace skarvet {
namespace {

struct Message {
  std::uint32_t id;
  const char* text; // without the line break every system message ends in
};

// Windows' texts (English, Windows 10), by error number.
constexpr Message kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {21, "The device is not ready."},
    {50, "The request is not supported."},
    {51, "Windows cannot find the network path. Verify that the network path is correct and the "
         "destination computer is not busy or turned off. If Windows still cannot find the "
         "network path, contact your network administrator."},
    {52, "You were not connected because a duplicate name exists on the network. If joining a "
         "domain, go to System in Control Panel to change the computer name and try again. If "
         "joining a workgroup, choose another workgroup name."},
    {53, "The network path was not found."},
    {54, "The network is busy."},
    {55, "The specified network resource or device is no longer available."},
    {56, "The network BIOS command limit has been reached."},
    {57, "A network adapter hardware error occurred."},
    {58, "The specified server cannot perform the requested operation."},
    {59, "An unexpected network error occurred."},
    {64, "The specified network name is no longer available."},
    {65, "Network access is denied."},
    {66, "The network resource type is not correct."},
    {67, "The network name cannot be found."},
    {85, "The local device name is already in use."},
    {86, "The specified network password is not correct."},
    {87, "The parameter is incorrect."},
    {121, "The semaphore timeout period has expired."},
    {122, "The data area passed to a system call is too small."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {317, "The system cannot find message text for message number 0x%1 in the message file for "
          "%2."},
    {487, "Attempt to access invalid address."},
    {998, "Invalid access to memory location."},
    {1115, "A system shutdown is in progress."},
    {1116, "Unable to abort the system shutdown because no shutdown was in progress."},
    {1168, "Element not found."},
    {1190, "A system shutdown has already been scheduled."},
    {1200, "The specified device name is invalid."},
    {1203, "The network path was either typed incorrectly, does not exist, or the network "
           "provider is not currently available. Please try retyping the path or contact your "
           "network administrator."},
    {1204, "The specified network provider name is invalid."},
    {1208, "An extended error has occurred."},
    {1210, "The format of the specified computer name is invalid."},
    {1219, "Multiple connections to a server or shared resource by the same user, using more "
           "than one user name, are not allowed. Disconnect all previous connections to the "
           "server or shared resource and try again."},
    {1222, "The network is not present or not started."},
    {1223, "The operation was canceled by the user."},
    {1231, "The network location cannot be reached. For information about network "
           "troubleshooting, see Windows Help."},
    {1232, "The network location cannot be reached. For information about network "
           "troubleshooting, see Windows Help."},
    {1244, "The operation being requested was not performed because the user has not been "
           "authenticated."},
    {1265, "The system cannot contact a domain controller to service the authentication "
           "request. Please try again later."},
    {1300, "Not all privileges or groups referenced are assigned to the caller."},
    {1311, "There are currently no logon servers available to service the logon request."},
    {1313, "A specified privilege does not exist."},
    {1314, "A required privilege is not held by the client."},
    {1317, "The specified account does not exist."},
    {1326, "The user name or password is incorrect."},
    {1327, "Account restrictions are preventing this user from signing in. For example: blank "
           "passwords aren't allowed, sign-in times are limited, or a policy restriction has "
           "been enforced."},
    {1328, "Your account has time restrictions that keep you from signing in right now."},
    {1329, "This user isn't allowed to sign in to this computer."},
    {1330, "The password for this account has expired."},
    {1331, "This user can't sign in because this account is currently disabled."},
    {1332, "No mapping between account names and security IDs was done."},
    {1346, "Either a required impersonation level was not provided, or the provided "
           "impersonation level is invalid."},
    {1355, "The specified domain either does not exist or could not be contacted."},
    {1385, "Logon failure: the user has not been granted the requested logon type at this "
           "computer."},
    {1396, "The target account name is incorrect."},
    {1460, "This operation returned because the timeout period expired."},
    {1722, "The RPC server is unavailable."},
    {1723, "The RPC server is too busy to complete this operation."},
    {1717, "The interface is unknown."},
    {1726, "The remote procedure call failed."},
    {1727, "The remote procedure call failed and did not execute."},
    {1728, "A remote procedure call (RPC) protocol error occurred."},
    {1745, "The procedure number is out of range."},
    {1789, "The trust relationship between this workstation and the primary domain failed."},
    {1815, "The specified resource language ID cannot be found in the image file."},
    {1907, "The user's password must be changed before signing in."},
    {1909, "The referenced account is currently locked out and may not be logged on to."},
    {2202, "The specified username is invalid."},
    {2250, "This network connection does not exist."},
    {6118, "The list of servers for this workgroup is not currently available"},
    // Component errors that are not system errors in disguise.
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80020003u, "Member not found."},
    {0x80020005u, "Type mismatch."},
    {0x80020009u, "Exception occurred."},
    {0x80040154u, "Class not registered"},
    {0x800401F0u, "CoInitialize has not been called."},
    {0x800401F3u, "Invalid class string"},
};

} // namespace

const char* FindSystemMessage(DWORD id) {
  for (const Message& message : kMessages)
    if (message.id == id) return message.text;
  // A system error wrapped as a component result (0x8007xxxx) reads as
  // the system error.
  if ((id & 0xFFFF0000u) == 0x80070000u) {
    const DWORD code = id & 0xFFFFu;
    for (const Message& message : kMessages)
      if (message.id == code) return message.text;
  }
  return nullptr;
}

namespace {

bool LanguageKnown(DWORD language) {
  // Default search order, neutral and user/system defaults, English.
  return language == 0 || language == 0x0400 || language == 0x0800 || language == 0x0409 ||
         language == 0x0009;
}

// Whether the text has inserts (%1 to %99) to fill in.
bool HasInserts(const std::string& text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') return true;
  return false;
}

} // namespace

DWORD FormatSystemMessageA(DWORD dwFlags, DWORD dwMessageId, const char* ownText,
                           DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize, va_list* Arguments,
                           DWORD& error) {
  auto fail = [&error](DWORD code) {
    error = code;
    return DWORD{0};
  };
  // The buffer is always the caller's: this seam has no LocalFree to hand
  // an allocated one back with.
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) return fail(ERROR_INVALID_PARAMETER);
  if (dwFlags & FORMAT_MESSAGE_FROM_STRING) return fail(ERROR_NOT_SUPPORTED);
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM)) {
    // A module of the program's own: it carries no message table.
    return fail((dwFlags & FORMAT_MESSAGE_FROM_HMODULE) ? ERROR_RESOURCE_TYPE_NOT_FOUND
                                                        : ERROR_INVALID_PARAMETER);
  }
  if (!LanguageKnown(dwLanguageId)) return fail(ERROR_RESOURCE_LANG_NOT_FOUND);
  const char* text = ownText ? ownText : FindSystemMessage(dwMessageId);
  if (!text) return fail(ERROR_MR_MID_NOT_FOUND);
  std::string message = text;

  if (!(dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) && HasInserts(message))
    return fail(Arguments ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
  const DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if (width == 0)
    message += "\r\n";
  else if (width != FORMAT_MESSAGE_MAX_WIDTH_MASK)
    return fail(ERROR_NOT_SUPPORTED);

  if (!lpBuffer) return fail(ERROR_NOACCESS);
  if (message.size() + 1 > nSize) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(lpBuffer, message.c_str(), message.size() + 1);
  return static_cast<DWORD>(message.size());
}

} // namespace skarvet
