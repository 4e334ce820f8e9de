// Provider and server listings of the simulated network, answered the way
// Windows answers them:
//
// - WNetOpenEnumA / WNetEnumResourceA / WNetCloseEnum: the providers at the
//   top, below a provider its domains and workgroups (or server-style names
//   "\\NAME"), below a domain its computers as "\\NAME". Each call packs as
//   many NETRESOURCEA records as fit into the caller's buffer, records from
//   the front and their strings from the back; an entry that does not fit at
//   all gives ERROR_MORE_DATA with the size it needs, the end of the listing
//   ERROR_NO_MORE_ITEMS.
// - NetServerEnum (level 101) / NetApiBufferFree: the browse list of one
//   domain (null = the primary domain) in one system-allocated buffer the
//   caller frees; records first, then their UTF-16 strings.
#include "platform/sim/SimulatedWinApi.h"

#include "platform/desktop/NetListing.h"
#include "platform/text/AnsiCodePage.h"

#include <cstring>
#include <new>

namespace skarvet {
namespace {

// Win32 error numbers used only here (named apart from the system macros).
constexpr DWORD kErrorInvalidLevel = 124;  // ERROR_INVALID_LEVEL
constexpr DWORD kErrorNotContainer = 1207; // ERROR_NOT_CONTAINER
constexpr DWORD kSvTypeNt = 0x00001000;    // SV_TYPE_NT
constexpr DWORD kComputerTypeBits = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | kSvTypeNt;
constexpr const char* kWindowsNetwork = "Microsoft Windows Network";

bool IsServerStyle(const std::string& name) {
  return name.size() > 2 && name[0] == '\\' && name[1] == '\\';
}

std::string StripBackslashes(std::string name) {
  while (!name.empty() && name.front() == '\\') name.erase(name.begin());
  return name;
}

} // namespace

bool SimulatedWinApi::ListResourcesLocked(const NETRESOURCEA* parent, DWORD scope,
                                          std::vector<ListedResource>& out, DWORD& error) const {
  out.clear();
  if (scope == RESOURCE_REMEMBERED) return true; // no persistent connections here
  if (scope == RESOURCE_CONNECTED) {
    for (const auto& connection : shareConnections_) {
      out.push_back({RESOURCE_CONNECTED, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SHARE,
                     RESOURCEUSAGE_CONNECTABLE, "\\\\" + connection.computer + "\\ipc$", "",
                     kWindowsNetwork});
    }
    return true;
  }

  // RESOURCE_GLOBALNET: the browsing tree.
  if (!parent) {
    if (network_.providers.empty()) {
      error = ERROR_NO_NETWORK;
      return false;
    }
    for (const auto& provider : network_.providers) {
      out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_NETWORK,
                     RESOURCEUSAGE_CONTAINER, provider.name, "", provider.name});
    }
    return true;
  }

  if (!parent->lpRemoteName) {
    error = ERROR_INVALID_PARAMETER;
    return false;
  }
  if ((parent->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) {
    error = kErrorNotContainer;
    return false;
  }
  const std::string remote = parent->lpRemoteName;
  const std::string providerName = parent->lpProvider ? parent->lpProvider : "";

  // A server: its shares. The simulated computers publish none.
  if (IsServerStyle(remote)) {
    const std::string name = StripBackslashes(remote);
    if (name.find('\\') != std::string::npos) {
      error = kErrorNotContainer;
      return false;
    }
    const sim::Computer* computer = nullptr;
    for (const auto& c : network_.computers)
      if (sim::EqualsIgnoreCase(c.name, name)) computer = &c;
    if (!computer || computer->state == sim::HostState::Offline) {
      error = ERROR_BAD_NETPATH;
      return false;
    }
    return true;
  }

  // A provider: its domains and workgroups, or server-style names.
  auto listProvider = [&](const sim::Provider& provider) {
    for (const auto& child : provider.children) {
      if (IsServerStyle(child)) {
        out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER,
                       RESOURCEUSAGE_CONTAINER, child, "", provider.name});
      } else {
        out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_DOMAIN,
                       RESOURCEUSAGE_CONTAINER, child, "", provider.name});
      }
    }
  };
  // A domain or workgroup: its computers.
  auto listDomain = [&](const sim::Domain& domain) {
    const std::string provider = providerName.empty() ? kWindowsNetwork : providerName;
    for (const auto& computer : network_.computers) {
      if (!sim::EqualsIgnoreCase(computer.domain, domain.name)) continue;
      out.push_back({RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_SERVER,
                     RESOURCEUSAGE_CONTAINER, "\\\\" + computer.name, "", provider});
    }
  };

  const sim::Provider* provider = nullptr;
  for (const auto& p : network_.providers)
    if (p.name == remote) provider = &p;
  const sim::Domain* domain = network_.FindDomain(remote);

  if (provider && (parent->dwDisplayType != RESOURCEDISPLAYTYPE_DOMAIN || !domain)) {
    listProvider(*provider);
    return true;
  }
  if (domain) {
    listDomain(*domain);
    return true;
  }
  error = ERROR_BAD_NETPATH;
  return false;
}

DWORD SimulatedWinApi::WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage,
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

  SimulateLatency();

  std::lock_guard lock(mutex_);
  Enumeration enumeration;
  DWORD error = NO_ERROR;
  if (!ListResourcesLocked(dwScope == RESOURCE_GLOBALNET ? lpNetResource : nullptr, dwScope,
                           enumeration.entries, error))
    return fail(error);
  if (dwUsage != 0) {
    std::erase_if(enumeration.entries,
                  [&](const ListedResource& entry) { return (entry.usage & dwUsage) == 0; });
  }
  const HANDLE handle = NewHandleLocked();
  enumerations_.emplace(handle, std::move(enumeration));
  *lphEnum = handle;
  return NO_ERROR;
}

DWORD SimulatedWinApi::WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                                         LPDWORD lpBufferSize) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lpcCount || !lpBufferSize) return fail(ERROR_INVALID_ADDRESS);
  if (*lpcCount == 0) return fail(ERROR_INVALID_PARAMETER);

  {
    // The end of a listing is known locally, without asking the network.
    std::lock_guard lock(mutex_);
    auto it = enumerations_.find(hEnum);
    if (it == enumerations_.end()) return fail(ERROR_INVALID_HANDLE);
    if (it->second.next >= it->second.entries.size()) {
      *lpcCount = 0;
      return fail(ERROR_NO_MORE_ITEMS);
    }
  }
  SimulateLatency();

  std::lock_guard lock(mutex_);
  auto it = enumerations_.find(hEnum);
  if (it == enumerations_.end()) return fail(ERROR_INVALID_HANDLE);
  Enumeration& enumeration = it->second;
  if (enumeration.next >= enumeration.entries.size()) {
    *lpcCount = 0;
    return fail(ERROR_NO_MORE_ITEMS);
  }

  const DWORD result =
      PackResources(enumeration.entries, enumeration.next, lpcCount, lpBuffer, lpBufferSize);
  if (result != NO_ERROR) return fail(result);
  return NO_ERROR;
}

DWORD SimulatedWinApi::WNetCloseEnum(HANDLE hEnum) {
  std::lock_guard lock(mutex_);
  if (enumerations_.erase(hEnum) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR_INVALID_HANDLE;
  }
  return NO_ERROR;
}

NET_API_STATUS SimulatedWinApi::NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                              DWORD prefmaxlen, LPDWORD entriesread,
                                              LPDWORD totalentries, DWORD servertype,
                                              LPCWSTR domain, LPDWORD resume_handle) {
  if (!bufptr || !entriesread || !totalentries) return ERROR_INVALID_PARAMETER;
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level != 101) return kErrorInvalidLevel;

  SimulateLatency();

  std::lock_guard lock(mutex_);

  // The computer that answers: the local one, or a named computer that is on.
  if (servername) {
    const std::string server =
        StripBackslashes(WideToAnsi(reinterpret_cast<const char16_t*>(servername)));
    bool reachable = sim::EqualsIgnoreCase(server, network_.localComputer);
    for (const auto& c : network_.computers)
      if (sim::EqualsIgnoreCase(c.name, server) && c.state != sim::HostState::Offline)
        reachable = true;
    if (!reachable) return ERROR_BAD_NETPATH;
  }

  // The domain whose browse list is read.
  std::string domainName;
  if (domain) {
    domainName = WideToAnsi(reinterpret_cast<const char16_t*>(domain));
  } else {
    // No primary domain means the local browse service has nothing to serve.
    if (network_.primaryDomain.empty()) return NERR_BrowserNotStarted;
    domainName = network_.primaryDomain;
  }
  const sim::Domain* listed = network_.FindDomain(domainName);
  if (!listed) return ERROR_NO_BROWSER_SERVERS_FOUND;

  std::vector<ServerRow> rows;
  if (servertype & SV_TYPE_DOMAIN_ENUM) {
    // The domains the browse service knows; the comment names the computer
    // that keeps each domain's list (its first computer that is on).
    for (const auto& d : network_.domains) {
      std::string master;
      for (const auto& c : network_.computers) {
        if (sim::EqualsIgnoreCase(c.domain, d.name) && c.state != sim::HostState::Offline) {
          master = c.name;
          break;
        }
      }
      rows.push_back({AnsiToWide(d.name), AnsiToWide(master), SV_TYPE_DOMAIN_ENUM | kSvTypeNt});
    }
  } else if (servertype & kComputerTypeBits) {
    // The browse list keeps a computer for a while after it went away, so
    // computers that are off are listed too.
    for (const auto& c : network_.computers) {
      if (sim::EqualsIgnoreCase(c.domain, listed->name))
        rows.push_back({AnsiToWide(c.name), u"", kComputerTypeBits});
    }
  }

  std::unique_ptr<unsigned char[]> block;
  const NET_API_STATUS status =
      PackServerInfo101(rows, prefmaxlen, block, entriesread, totalentries, resume_handle);
  if (block) {
    *bufptr = block.get();
    netBuffers_.emplace(block.get(), std::move(block));
  }
  return status;
}

NET_API_STATUS SimulatedWinApi::NetApiBufferFree(LPVOID Buffer) {
  if (!Buffer) return NERR_Success;
  std::lock_guard lock(mutex_);
  if (netBuffers_.erase(Buffer) == 0) return ERROR_INVALID_PARAMETER;
  return NERR_Success;
}

} // namespace skarvet
