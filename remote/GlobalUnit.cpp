// Session set-up with another account, the shutdown request and system
// error texts. (Opening web pages lives with the main window.)
#include "remote/GlobalUnit.h"

#include "platform/WinApi.h"
#include "platform/text/TextHelpers.h"

#include <cstring>
#include <string_view>

namespace skarvet {

void ConnectAsUser(const std::string& UserName, const SecretText& Password,
                   const std::string& Domain, const std::string& ComputerName, HANDLE& Token) {
  const std::string user = Trim(UserName);
  if (user.empty()) return; // the program's own account

  // Without a domain the user is an account of the target computer itself.
  std::string domain = Trim(Domain);
  if (domain.empty()) domain = ComputerName;

  // A new-credentials logon keeps this computer's identity and lends the
  // credentials to connections with other computers.
  const BOOL loggedOn =
      Api().LogonUserA(user.c_str(), domain.c_str(), Password.c_str(),
                       LOGON32_LOGON_NEW_CREDENTIALS, LOGON32_PROVIDER_WINNT50, &Token);
  if (loggedOn && Api().ImpersonateLoggedOnUser(Token)) return;

  // Otherwise the credentials travel with a connection to the target's
  // inter-process communication share; its result is not needed.
  const std::string account = domain.empty() ? user : domain + "\\" + user;
  const std::string remote = "\\\\" + Trim(ComputerName) + "\\ipc$";
  AddNetConnection("", remote, account, Password);
}

DWORD AddNetConnection(const std::string& LocalName, const std::string& RemoteName,
                       const std::string& UserName, const SecretText& Password) {
  // The record holds writable texts; copies keep the caller's intact.
  std::string localName = LocalName;
  std::string remoteName = RemoteName;
  NETRESOURCEA resource;
  std::memset(&resource, 0, sizeof resource);
  resource.dwType = RESOURCETYPE_ANY;
  resource.lpLocalName = localName.data(); // empty: no local device is redirected
  resource.lpRemoteName = remoteName.data();
  resource.lpProvider = nullptr;
  return Api().WNetAddConnection2A(&resource, Password.c_str(), UserName.c_str(), 0);
}

void CloseLogonToken(HANDLE Token) {
  if (Token) Api().CloseHandle(Token);
}

std::string SystemErrorText(DWORD Code) {
  // Zero-filled, so that a call that writes nothing leaves an empty text.
  char buffer[1024] = {};
  Api().FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, Code, 0, buffer, sizeof buffer,
                       nullptr);
  return Trim(std::string(buffer, strnlen(buffer, sizeof buffer)));
}

std::int32_t MapShutdownError() {
  const DWORD error = Api().GetLastError();
  if (error == ERROR_ACCESS_DENIED) return -1;
  if (error == ERROR_DOWNGRADE_DETECTED) return -1;
  if (error >= 1300 && error <= 1399) return -1; // privilege, account and logon errors
  if (error >= 50 && error <= 59) return -2;     // network errors
  return static_cast<std::int32_t>(error);
}

bool NamesNoComputer(const std::string& ComputerName) {
  std::string name = Trim(ComputerName);
  if (name.rfind("\\\\", 0) == 0) name = Trim(std::string_view(name).substr(2));
  return name.empty();
}

std::int32_t RemoteShutdown(const std::string& ComputerName, bool PowerOff, bool Force,
                            DWORD ReasonCode, const CancelMark* Cancelled) {
  // The shutdown call takes an empty name (or a bare "\\") for this
  // computer: such a name must never shut down the one the program runs on.
  if (NamesNoComputer(ComputerName)) return static_cast<std::int32_t>(ERROR_INVALID_COMPUTERNAME);

  // Always the process token, never the thread's impersonation token.
  HANDLE token = nullptr;
  if (!Api().OpenProcessToken(Api().GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token))
    return MapShutdownError();

  std::int32_t result = 0;
  LUID luid{};
  if (!Api().LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid)) {
    result = MapShutdownError();
  } else {
    TOKEN_PRIVILEGES privileges;
    std::memset(&privileges, 0, sizeof privileges);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    static_assert(sizeof(TOKEN_PRIVILEGES) == 16, "one privilege entry is 16 bytes");
    DWORD returnLength = 0;
    // Only the result counts: "not all assigned" (1300) after a successful
    // return is success. The privilege stays enabled for the process's life.
    if (!Api().AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr,
                                     &returnLength)) {
      result = MapShutdownError();
    } else if (Cancelled && Cancelled->load()) {
      // The last moment a request can still be held back: once the call
      // below has begun, nothing can recall it.
      result = static_cast<std::int32_t>(ERROR_CANCELLED);
    } else {
      std::string machine = ComputerName; // the call takes writable texts
      char message[1] = {'\0'};           // empty, not null: no message on the target
      const BOOL accepted = Api().InitiateSystemShutdownExA(
          machine.data(), message, 0, Force ? TRUE : FALSE, PowerOff ? FALSE : TRUE, ReasonCode);
      result = accepted ? 0 : MapShutdownError();
    }
  }
  // After MapShutdownError has read the last error.
  Api().CloseHandle(token);
  return result;
}

} // namespace skarvet
