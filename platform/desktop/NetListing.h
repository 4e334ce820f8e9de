// The records and buffers of the network listings, as Windows lays them out,
// for the implementations of the seam that run off Windows.
//
// - WNetEnumResourceA packs as many NETRESOURCEA records as fit into the
//   caller's buffer, records from the front and their strings from the back;
//   an entry that does not fit at all gives ERROR_MORE_DATA with the size it
//   needs, the end of the listing ERROR_NO_MORE_ITEMS.
// - NetServerEnum (level 101) hands out one system-allocated buffer that the
//   caller frees with NetApiBufferFree: records first, then their UTF-16
//   strings.
#pragma once

#include "platform/Win32Types.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace skarvet {

// The provider of Windows' own network, by the name Windows gives it.
inline constexpr const char* kWindowsNetwork = "Microsoft Windows Network";

// One resource of a provider listing, as its NETRESOURCEA record shows it.
struct ListedResource {
  DWORD scope = 0;
  DWORD type = 0;
  DWORD displayType = 0;
  DWORD usage = 0;
  std::string remoteName;
  std::string comment;  // empty = no comment (null pointer)
  std::string provider; // empty = no provider (null pointer)
};

// WNetEnumResourceA on the entries from `next` on; advances `next` past the
// entries packed. Returns NO_ERROR, ERROR_MORE_DATA or ERROR_NO_MORE_ITEMS.
DWORD PackResources(const std::vector<ListedResource>& entries, std::size_t& next, LPDWORD lpcCount,
                    LPVOID lpBuffer, LPDWORD lpBufferSize);

// One row of a server listing.
struct ServerRow {
  std::u16string name;
  std::u16string comment;
  DWORD type = 0;
};

// NetServerEnum's answer at level 101 for `rows`, from the resume handle on
// and within the preferred length. `block` receives the buffer whose address
// goes to the caller as *bufptr (null when no entry is handed out).
NET_API_STATUS PackServerInfo101(const std::vector<ServerRow>& rows, DWORD prefmaxlen,
                                 std::unique_ptr<unsigned char[]>& block, LPDWORD entriesread,
                                 LPDWORD totalentries, LPDWORD resume_handle);

} // namespace skarvet
