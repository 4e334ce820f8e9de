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

// Bytes a string takes in a packed NETRESOURCEA listing (with terminator);
// an empty text is passed as a null pointer and takes nothing.
std::size_t PackedSize(const std::string& text, bool always) {
  return (always || !text.empty()) ? text.size() + 1 : 0;
}

std::size_t RecordSize(const std::string& remote, const std::string& comment,
                       const std::string& provider) {
  return sizeof(NETRESOURCEA) + PackedSize(remote, true) + PackedSize(comment, false) +
         PackedSize(provider, false);
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

  auto* const base = static_cast<unsigned char*>(lpBuffer);
  const std::size_t capacity = base ? *lpBufferSize : 0;
  std::size_t recordsEnd = 0;          // records grow from the front...
  std::size_t stringsStart = capacity; // ...their strings from the back
  DWORD count = 0;

  auto putString = [&](const std::string& text, bool always) -> LPSTR {
    if (!always && text.empty()) return nullptr;
    stringsStart -= text.size() + 1;
    std::memcpy(base + stringsStart, text.c_str(), text.size() + 1);
    return reinterpret_cast<LPSTR>(base + stringsStart);
  };

  while (count < *lpcCount && enumeration.next < enumeration.entries.size()) {
    const ListedResource& entry = enumeration.entries[enumeration.next];
    const std::size_t need = RecordSize(entry.remoteName, entry.comment, entry.provider);
    if (need > stringsStart - recordsEnd) {
      if (count == 0) {
        // Not even one entry fits: tell the caller how much it needs.
        *lpBufferSize = static_cast<DWORD>(need);
        *lpcCount = 0;
        return fail(ERROR_MORE_DATA);
      }
      break;
    }
    NETRESOURCEA record{};
    record.dwScope = entry.scope;
    record.dwType = entry.type;
    record.dwDisplayType = entry.displayType;
    record.dwUsage = entry.usage;
    record.lpLocalName = nullptr;
    record.lpRemoteName = putString(entry.remoteName, true);
    record.lpComment = putString(entry.comment, false);
    record.lpProvider = putString(entry.provider, false);
    // memcpy: the caller's buffer need not be aligned for the record.
    std::memcpy(base + recordsEnd, &record, sizeof record);
    recordsEnd += sizeof record;
    ++count;
    ++enumeration.next;
  }
  *lpcCount = count;
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

  struct Row {
    std::u16string name;
    std::u16string comment;
    DWORD type;
  };
  std::vector<Row> rows;
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

  const std::size_t start = resume_handle ? *resume_handle : 0;
  const std::size_t total = start < rows.size() ? rows.size() - start : 0;
  *totalentries = static_cast<DWORD>(total);

  // As many entries as the preferred length allows (all of them with
  // MAX_PREFERRED_LENGTH).
  auto entrySize = [](const Row& row) {
    return sizeof(SERVER_INFO_101) + (row.name.size() + 1 + row.comment.size() + 1) * sizeof(WCHAR);
  };
  std::size_t taken = 0;
  std::size_t bytes = 0;
  for (std::size_t i = start; i < rows.size(); ++i) {
    const std::size_t size = entrySize(rows[i]);
    if (prefmaxlen != MAX_PREFERRED_LENGTH && bytes + size > prefmaxlen) break;
    bytes += size;
    ++taken;
  }
  const NET_API_STATUS status = taken < total ? ERROR_MORE_DATA : NERR_Success;
  if (resume_handle)
    *resume_handle = status == ERROR_MORE_DATA ? static_cast<DWORD>(start + taken) : 0;
  if (taken == 0) return status;

  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[bytes]);
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  unsigned char* const base = block.get();
  std::size_t strings = taken * sizeof(SERVER_INFO_101);
  auto putString = [&](const std::u16string& text) {
    auto* target = reinterpret_cast<WCHAR*>(base + strings);
    for (std::size_t k = 0; k < text.size(); ++k) target[k] = static_cast<WCHAR>(text[k]);
    target[text.size()] = 0;
    strings += (text.size() + 1) * sizeof(WCHAR);
    return target;
  };
  for (std::size_t k = 0; k < taken; ++k) {
    const Row& row = rows[start + k];
    auto* record = new (base + k * sizeof(SERVER_INFO_101)) SERVER_INFO_101{};
    record->sv101_platform_id = PLATFORM_ID_NT;
    record->sv101_name = putString(row.name);
    record->sv101_version_major = 10;
    record->sv101_version_minor = 0;
    record->sv101_type = row.type;
    record->sv101_comment = putString(row.comment);
  }
  *bufptr = base;
  *entriesread = static_cast<DWORD>(taken);
  netBuffers_.emplace(base, std::move(block));
  return status;
}

NET_API_STATUS SimulatedWinApi::NetApiBufferFree(LPVOID Buffer) {
  if (!Buffer) return NERR_Success;
  std::lock_guard lock(mutex_);
  if (netBuffers_.erase(Buffer) == 0) return ERROR_INVALID_PARAMETER;
  return NERR_Success;
}

} // namespace skarvet
