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
#include "platform/text/TextHelpers.h"

#include <cstring>
#include <new>

namespace skarvet {
namespace {

constexpr DWORD kComputerTypeBits = SV_TYPE_WORKSTATION | SV_TYPE_SERVER | SV_TYPE_NT;

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

  const std::string remote = parent->lpRemoteName;
  const std::string providerName = parent->lpProvider ? parent->lpProvider : "";

  // A server: its shares. The simulated computers publish none.
  if (IsServerStyle(remote)) {
    const std::string name = StripBackslashes(remote);
    if (name.find('\\') != std::string::npos) {
      error = ERROR_NOT_CONTAINER;
      return false;
    }
    const sim::Computer* computer = nullptr;
    for (const auto& c : network_.computers)
      if (EqualsIgnoreCase(c.name, name)) computer = &c;
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
      if (!EqualsIgnoreCase(computer.domain, domain.name)) continue;
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

bool SimulatedWinApi::ListResources(DWORD scope, const NETRESOURCEA* parent,
                                    std::vector<ListedResource>& out, DWORD& error) {
  SimulateLatency();
  std::lock_guard lock(mutex_);
  return ListResourcesLocked(parent, scope, out, error);
}

void SimulatedWinApi::BeforeEnumerationRead() {
  SimulateLatency();
}

NET_API_STATUS SimulatedWinApi::ListServers(LPCWSTR servername, DWORD servertype, LPCWSTR domain,
                                            std::vector<ServerRow>& rows) {
  SimulateLatency();

  std::lock_guard lock(mutex_);

  // The computer that answers: the local one, or a named computer that is on.
  if (servername) {
    const std::string server =
        StripBackslashes(WideToAnsi(reinterpret_cast<const char16_t*>(servername)));
    bool reachable = EqualsIgnoreCase(server, network_.localComputer);
    for (const auto& c : network_.computers)
      if (EqualsIgnoreCase(c.name, server) && c.state != sim::HostState::Offline) reachable = true;
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

  if (servertype & SV_TYPE_DOMAIN_ENUM) {
    // The domains the browse service knows; the comment names the computer
    // that keeps each domain's list (its first computer that is on).
    for (const auto& d : network_.domains) {
      std::string master;
      for (const auto& c : network_.computers) {
        if (EqualsIgnoreCase(c.domain, d.name) && c.state != sim::HostState::Offline) {
          master = c.name;
          break;
        }
      }
      rows.push_back({AnsiToWide(d.name), AnsiToWide(master), SV_TYPE_DOMAIN_ENUM | SV_TYPE_NT});
    }
  } else if (servertype & kComputerTypeBits) {
    // The browse list keeps a computer for a while after it went away, so
    // computers that are off are listed too.
    for (const auto& c : network_.computers) {
      if (EqualsIgnoreCase(c.domain, listed->name))
        rows.push_back({AnsiToWide(c.name), u"", kComputerTypeBits});
    }
  }

  return NERR_Success;
}

} // namespace skarvet
