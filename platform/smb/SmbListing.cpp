// Provider and server listings of the real network off Windows, read from
// the network's browse lists:
//
// - WNetOpenEnumA / WNetEnumResourceA / WNetCloseEnum: one provider at the
//   top, the Windows network; below it the workgroups and domains; below one
//   of those its computers as "\\NAME". A listing is read when it is opened
//   and handed out from that snapshot.
// - NetServerEnum (level 101): the workgroups (SV_TYPE_DOMAIN_ENUM) or the
//   computers of one workgroup, null meaning this computer's own.
//
// The library reads browse lists over SMB1 only; a network without them
// (modern Windows has dropped the browser service) lists nothing, which is
// no error.
#include "platform/smb/SmbWinApi.h"

#include "platform/smb/SmbSession.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/Utf8.h"

#include <cerrno>
#include <cstring>

namespace skarvet {
namespace {

constexpr DWORD kErrorInvalidLevel = 124;  // ERROR_INVALID_LEVEL
constexpr DWORD kErrorNotContainer = 1207; // ERROR_NOT_CONTAINER
constexpr DWORD kSvTypeNt = 0x00001000;    // SV_TYPE_NT
constexpr DWORD kComputerTypeBits = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | kSvTypeNt;
constexpr const char* kWindowsNetwork = "Microsoft Windows Network";
// A workgroup name in a URL: the characters NetBIOS allows that have no
// meaning in a URL.
bool UrlSafeWorkgroup(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '$' ||
                         c == ' ' || c == '!' || c == '~' || c == '\'' || c == '(' || c == ')' ||
                         c == '{' || c == '}' || c == '^' || c == '&' || u >= 0x80;
    if (!allowed) return false;
  }
  return true;
}

} // namespace

bool SmbWinApi::ReadBrowseList(bool workgroups, const std::u16string& workgroup,
                               std::vector<BrowseEntry>& out, DWORD& error) const {
  out.clear();
  // Browse lists are the network's, read with the user's own logon.
  smb::Session session(configFile_, smb::Account{}, smb::Dialect::BrowseLists);
  if (!session.Ready()) {
    error = smb::ConnectError(session.Errno());
    return false;
  }
  std::string url = "smb://";
  if (!workgroups) {
    const std::string name = workgroup.empty() ? session.Workgroup() : ToUtf8(workgroup);
    if (!UrlSafeWorkgroup(name)) {
      error = ERROR_NO_BROWSER_SERVERS_FOUND;
      return false;
    }
    url += name + "/";
  }
  SMBCFILE* dir = session.OpenDir(url);
  if (!dir) {
    // No master browser answers: the network keeps no list, or no list for
    // that workgroup.
    const int reason = errno;
    if (workgroups && (reason == 0 || reason == ENOENT)) return true;
    error = reason == 0 || reason == ENOENT ? ERROR_NO_BROWSER_SERVERS_FOUND
                                            : smb::ConnectError(reason);
    return false;
  }
  const unsigned wanted = workgroups ? SMBC_WORKGROUP : SMBC_SERVER;
  while (const smbc_dirent* entry = session.ReadDir(dir)) {
    if (entry->smbc_type != wanted || entry->name[0] == '\0') continue;
    // The entry's fields come from the network: bounded by its own lengths.
    const std::string_view name(entry->name, strnlen(entry->name, entry->namelen + 1));
    const std::string_view comment =
        entry->comment
            ? std::string_view(entry->comment, strnlen(entry->comment, entry->commentlen + 1))
            : std::string_view();
    out.push_back({FromUtf8(name), FromUtf8(comment)});
  }
  session.CloseDir(dir);
  return true;
}

DWORD SmbWinApi::WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage,
                               LPNETRESOURCEA lpNetResource, LPHANDLE lphEnum) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lphEnum) return fail(ERROR_INVALID_ADDRESS);
  if (dwScope != RESOURCE_CONNECTED && dwScope != RESOURCE_GLOBALNET &&
      dwScope != RESOURCE_REMEMBERED)
    return fail(ERROR_INVALID_PARAMETER);
  if (dwType > 2) return fail(ERROR_INVALID_PARAMETER); // ANY, DISK, PRINT

  Enumeration enumeration;
  if (dwScope == RESOURCE_CONNECTED) {
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) {
      enumeration.entries.push_back({RESOURCE_CONNECTED, RESOURCETYPE_ANY,
                                     RESOURCEDISPLAYTYPE_SHARE, RESOURCEUSAGE_CONNECTABLE,
                                     "\\\\" + connection.first + "\\ipc$", "", kWindowsNetwork});
    }
  } else if (dwScope == RESOURCE_GLOBALNET && !lpNetResource) {
    enumeration.entries.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY,
                                   RESOURCEDISPLAYTYPE_NETWORK, RESOURCEUSAGE_CONTAINER,
                                   kWindowsNetwork, "", kWindowsNetwork});
  } else if (dwScope == RESOURCE_GLOBALNET) {
    if (!lpNetResource->lpRemoteName) return fail(ERROR_INVALID_PARAMETER);
    if ((lpNetResource->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) return fail(kErrorNotContainer);
    const std::string remote = lpNetResource->lpRemoteName;
    const std::string provider =
        lpNetResource->lpProvider ? lpNetResource->lpProvider : kWindowsNetwork;
    if (remote.size() >= 2 && remote[0] == '\\' && remote[1] == '\\') {
      // A server: its shares, which this program never lists.
    } else {
      const bool workgroups =
          remote == kWindowsNetwork && lpNetResource->dwDisplayType != RESOURCEDISPLAYTYPE_DOMAIN;
      std::vector<BrowseEntry> list;
      DWORD error = NO_ERROR;
      if (!ReadBrowseList(workgroups, workgroups ? u"" : AnsiToWide(remote), list, error))
        return fail(error == ERROR_NO_BROWSER_SERVERS_FOUND ? ERROR_BAD_NETPATH : error);
      for (const BrowseEntry& entry : list) {
        if (workgroups) {
          enumeration.entries.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY,
                                         RESOURCEDISPLAYTYPE_DOMAIN, RESOURCEUSAGE_CONTAINER,
                                         WideToAnsi(entry.name), "", provider});
        } else {
          enumeration.entries.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY,
                                         RESOURCEDISPLAYTYPE_SERVER, RESOURCEUSAGE_CONTAINER,
                                         "\\\\" + WideToAnsi(entry.name), WideToAnsi(entry.comment),
                                         provider});
        }
      }
    }
  }
  if (dwUsage != 0) {
    std::erase_if(enumeration.entries,
                  [&](const ListedResource& entry) { return (entry.usage & dwUsage) == 0; });
  }
  std::lock_guard lock(mutex_);
  const HANDLE handle = NewHandleLocked();
  enumerations_.emplace(handle, std::move(enumeration));
  *lphEnum = handle;
  return NO_ERROR;
}

DWORD SmbWinApi::WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                                   LPDWORD lpBufferSize) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lpcCount || !lpBufferSize) return fail(ERROR_INVALID_ADDRESS);
  if (*lpcCount == 0) return fail(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(mutex_);
  auto it = enumerations_.find(hEnum);
  if (it == enumerations_.end()) return fail(ERROR_INVALID_HANDLE);
  const DWORD result =
      PackResources(it->second.entries, it->second.next, lpcCount, lpBuffer, lpBufferSize);
  if (result != NO_ERROR) return fail(result);
  return NO_ERROR;
}

DWORD SmbWinApi::WNetCloseEnum(HANDLE hEnum) {
  std::lock_guard lock(mutex_);
  if (enumerations_.erase(hEnum) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR_INVALID_HANDLE;
  }
  return NO_ERROR;
}

NET_API_STATUS SmbWinApi::NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                        DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                        DWORD servertype, LPCWSTR domain, LPDWORD resume_handle) {
  if (!bufptr || !entriesread || !totalentries) return ERROR_INVALID_PARAMETER;
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level != 101) return kErrorInvalidLevel;
  // The list is the network's; asking another computer for it is not done
  // here.
  if (servername && *servername) return ERROR_NOT_SUPPORTED;

  const bool workgroups = (servertype & SV_TYPE_DOMAIN_ENUM) != 0;
  std::u16string workgroup;
  if (domain) workgroup = reinterpret_cast<const char16_t*>(domain);
  std::vector<BrowseEntry> list;
  DWORD error = NO_ERROR;
  if ((workgroups || (servertype & kComputerTypeBits)) &&
      !ReadBrowseList(workgroups, workgroup, list, error))
    return error;

  std::vector<ServerRow> rows;
  for (const BrowseEntry& entry : list)
    rows.push_back({entry.name, entry.comment,
                    workgroups ? (SV_TYPE_DOMAIN_ENUM | kSvTypeNt) : kComputerTypeBits});
  std::unique_ptr<unsigned char[]> block;
  const NET_API_STATUS status =
      PackServerInfo101(rows, prefmaxlen, block, entriesread, totalentries, resume_handle);
  if (block) {
    *bufptr = block.get();
    std::lock_guard lock(mutex_);
    netBuffers_.emplace(block.get(), std::move(block));
  }
  return status;
}

NET_API_STATUS SmbWinApi::NetApiBufferFree(LPVOID Buffer) {
  if (!Buffer) return NERR_Success;
  std::lock_guard lock(mutex_);
  if (netBuffers_.erase(Buffer) == 0) return ERROR_INVALID_PARAMETER;
  return NERR_Success;
}

} // namespace skarvet
