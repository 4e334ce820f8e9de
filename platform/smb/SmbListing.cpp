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

#include "platform/smb/SmbCalls.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/Utf8.h"

namespace skarvet {
namespace {

constexpr DWORD kComputerTypeBits = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;

} // namespace

bool SmbWinApi::ReadBrowseList(bool workgroups, const std::u16string& workgroup,
                               std::vector<BrowseEntry>& out, DWORD& error) const {
  out.clear();
  smb::CallRequest call;
  call.kind = smb::CallKind::Browse;
  call.configFile = configFile_;
  call.workgroups = workgroups;
  call.workgroup = ToUtf8(workgroup);
  const smb::CallReply reply = smb::CallInHelper(call);
  if (reply.error != ERROR_SUCCESS) {
    error = reply.error;
    return false;
  }
  for (const smb::CallReply::Entry& entry : reply.entries)
    out.push_back({FromUtf8(entry.name), FromUtf8(entry.comment)});
  return true;
}

bool SmbWinApi::ListResources(DWORD scope, const NETRESOURCEA* parent,
                              std::vector<ListedResource>& out, DWORD& error) {
  out.clear();
  if (scope == RESOURCE_CONNECTED) {
    std::lock_guard lock(mutex_);
    for (const auto& connection : connections_) {
      out.push_back({RESOURCE_CONNECTED, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SHARE,
                     RESOURCEUSAGE_CONNECTABLE, "\\\\" + connection.first + "\\ipc$", "",
                     kWindowsNetwork});
    }
    return true;
  }
  if (scope != RESOURCE_GLOBALNET) return true; // nothing is remembered here
  if (!parent) {
    out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_NETWORK,
                   RESOURCEUSAGE_CONTAINER, kWindowsNetwork, "", kWindowsNetwork});
    return true;
  }
  const std::string remote = parent->lpRemoteName;
  const std::string provider = parent->lpProvider ? parent->lpProvider : kWindowsNetwork;
  // A server: its shares, which this program never lists.
  if (remote.size() >= 2 && remote[0] == '\\' && remote[1] == '\\') return true;

  const bool workgroups =
      remote == kWindowsNetwork && parent->dwDisplayType != RESOURCEDISPLAYTYPE_DOMAIN;
  std::vector<BrowseEntry> list;
  if (!ReadBrowseList(workgroups, workgroups ? u"" : AnsiToWide(remote), list, error)) {
    if (error == ERROR_NO_BROWSER_SERVERS_FOUND) error = ERROR_BAD_NETPATH;
    return false;
  }
  for (const BrowseEntry& entry : list) {
    if (workgroups) {
      out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_DOMAIN,
                     RESOURCEUSAGE_CONTAINER, WideToAnsi(entry.name), "", provider});
    } else {
      out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER,
                     RESOURCEUSAGE_CONTAINER, "\\\\" + WideToAnsi(entry.name),
                     WideToAnsi(entry.comment), provider});
    }
  }
  return true;
}

NET_API_STATUS SmbWinApi::ListServers(LPCWSTR servername, DWORD servertype, LPCWSTR domain,
                                      std::vector<ServerRow>& rows) {
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

  for (const BrowseEntry& entry : list)
    rows.push_back({entry.name, entry.comment,
                    workgroups ? (SV_TYPE_DOMAIN_ENUM | SV_TYPE_NT) : kComputerTypeBits});
  return NERR_Success;
}

} // namespace skarvet
