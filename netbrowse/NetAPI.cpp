#include "netbrowse/NetAPI.h"

#include "platform/WinApi.h"
#include "platform/text/AnsiCodePage.h"

#include <cstring>
#include <string_view>

namespace skarvet {
namespace {

// The provider listing works in fixed buffers of this size and asks for at
// most this many entries per call.
constexpr DWORD kEnumBufferSize = 2048;
constexpr DWORD kEnumBatchCount = 64;

// Runs `release` when the scope is left, also by an exception.
template <typename F> class ScopeExit {
public:
  explicit ScopeExit(F release) : release_(std::move(release)) {}
  ~ScopeExit() { release_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

private:
  F release_;
};

std::string NarrowName(LPCWSTR name) {
  const auto* text = reinterpret_cast<const char16_t*>(name);
  return WideToAnsi(std::u16string_view(text));
}

// Names in the form of a server ("\\NAME") carry two backslashes in a row;
// domain and workgroup names never do.
bool HasDoubleBackslash(const char* name) {
  return std::strstr(name, "\\\\") != nullptr;
}

// How many records of a returned batch may be read: never more than the
// buffer can hold, whatever count the call reports.
DWORD RecordsInBatch(DWORD reported) {
  constexpr DWORD fit = kEnumBufferSize / sizeof(NETRESOURCEA);
  return reported < fit ? reported : fit;
}

} // namespace

bool EnumServers(TStringList& List, const std::string& Domain, DWORD ServerType) {
  List.clear();

  // The domain goes to the system in UTF-16, converted at its full length:
  // a name of any length reaches the call whole.
  const std::u16string wideDomain = AnsiToWide(Domain);
  LPCWSTR domain = Domain.empty() ? nullptr : reinterpret_cast<LPCWSTR>(wideDomain.c_str());

  LPBYTE buffer = nullptr;
  DWORD entriesRead = 0;
  DWORD totalEntries = 0;
  DWORD resumeHandle = 0;
  const NET_API_STATUS status =
      Api().NetServerEnum(nullptr, 101, &buffer, MAX_PREFERRED_LENGTH, &entriesRead, &totalEntries,
                          ServerType, domain, &resumeHandle);
  // The system hands back a buffer also with some failures (a partial
  // answer with ERROR_MORE_DATA); it is released on every path.
  ScopeExit release([&] {
    if (buffer) Api().NetApiBufferFree(buffer);
  });
  if (status != NERR_Success) return false;

  const auto* entries = reinterpret_cast<const SERVER_INFO_101*>(buffer);
  if (!entries) return true;
  for (DWORD i = 0; i < entriesRead; ++i) {
    // A record without a name names nothing that could be shown.
    if (entries[i].sv101_name) List.push_back(NarrowName(entries[i].sv101_name));
  }
  return true;
}

bool EnumComputers(const std::string& Domain, TStringList& List) {
  return EnumServers(List, Domain, SV_TYPE_WORKSTATION);
}

bool EnumDomains(TStringList& List) {
  HANDLE topEnum = nullptr;
  if (Api().WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &topEnum) != NO_ERROR) {
    // No provider listing at all: ask the browse service for the domains it
    // knows instead.
    return EnumServers(List, std::string(), SV_TYPE_DOMAIN_ENUM);
  }
  ScopeExit closeTop([&] { Api().WNetCloseEnum(topEnum); });

  alignas(NETRESOURCEA) BYTE providerBuffer[kEnumBufferSize];
  alignas(NETRESOURCEA) BYTE domainBuffer[kEnumBufferSize];

  for (;;) {
    DWORD providerCount = kEnumBatchCount;
    DWORD providerSize = kEnumBufferSize;
    if (Api().WNetEnumResourceA(topEnum, &providerCount, providerBuffer, &providerSize) != NO_ERROR)
      break;

    const auto* providers = reinterpret_cast<NETRESOURCEA*>(providerBuffer);
    providerCount = RecordsInBatch(providerCount);
    for (DWORD p = 0; p < providerCount; ++p) {
      if ((providers[p].dwUsage & RESOURCEUSAGE_CONTAINER) == 0) continue;

      HANDLE providerEnum = nullptr;
      // A provider that cannot be opened contributes no names; the others
      // of the same batch are still asked.
      if (Api().WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0,
                              const_cast<NETRESOURCEA*>(&providers[p]), &providerEnum) != NO_ERROR)
        continue;
      ScopeExit closeProvider([&] { Api().WNetCloseEnum(providerEnum); });

      for (;;) {
        DWORD domainCount = kEnumBatchCount;
        DWORD domainSize = kEnumBufferSize;
        if (Api().WNetEnumResourceA(providerEnum, &domainCount, domainBuffer, &domainSize) !=
            NO_ERROR)
          break;
        const auto* domains = reinterpret_cast<const NETRESOURCEA*>(domainBuffer);
        domainCount = RecordsInBatch(domainCount);
        for (DWORD d = 0; d < domainCount; ++d) {
          const char* name = domains[d].lpRemoteName;
          if (name && !HasDoubleBackslash(name)) List.push_back(name);
        }
      }
    }
  }
  return true;
}

} // namespace skarvet
