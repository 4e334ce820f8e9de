#include "platform/desktop/NetListing.h"

#include <cstring>
#include <new>

namespace skarvet {
namespace {

// Bytes a string takes in a packed NETRESOURCEA listing (with terminator);
// an empty text is passed as a null pointer and takes nothing.
std::size_t PackedSize(const std::string& text, bool always) {
  return (always || !text.empty()) ? text.size() + 1 : 0;
}

std::size_t RecordSize(const ListedResource& entry) {
  return sizeof(NETRESOURCEA) + PackedSize(entry.remoteName, true) +
         PackedSize(entry.comment, false) + PackedSize(entry.provider, false);
}

} // namespace

DWORD PackResources(const std::vector<ListedResource>& entries, std::size_t& next, LPDWORD lpcCount,
                    LPVOID lpBuffer, LPDWORD lpBufferSize) {
  if (next >= entries.size()) {
    *lpcCount = 0;
    return ERROR_NO_MORE_ITEMS;
  }
  auto* const base = static_cast<unsigned char*>(lpBuffer);
  if (!base) {
    // No buffer at all: the size the next entry needs.
    *lpBufferSize = static_cast<DWORD>(RecordSize(entries[next]));
    *lpcCount = 0;
    return ERROR_MORE_DATA;
  }
  const std::size_t capacity = *lpBufferSize;
  std::size_t recordsEnd = 0;          // records grow from the front...
  std::size_t stringsStart = capacity; // ...their strings from the back
  DWORD count = 0;

  auto putString = [&](const std::string& text, bool always) -> LPSTR {
    if (!always && text.empty()) return nullptr;
    stringsStart -= text.size() + 1;
    std::memcpy(base + stringsStart, text.c_str(), text.size() + 1);
    return reinterpret_cast<LPSTR>(base + stringsStart);
  };

  while (count < *lpcCount && next < entries.size()) {
    const ListedResource& entry = entries[next];
    const std::size_t need = RecordSize(entry);
    if (need > stringsStart - recordsEnd) {
      if (count == 0) {
        // Not even one entry fits: tell the caller how much it needs.
        *lpBufferSize = static_cast<DWORD>(need);
        *lpcCount = 0;
        return ERROR_MORE_DATA;
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
    ++next;
  }
  *lpcCount = count;
  return NO_ERROR;
}

NET_API_STATUS PackServerInfo101(const std::vector<ServerRow>& rows, DWORD prefmaxlen,
                                 std::unique_ptr<unsigned char[]>& block, LPDWORD entriesread,
                                 LPDWORD totalentries, LPDWORD resume_handle) {
  block.reset();
  const std::size_t start = resume_handle ? *resume_handle : 0;
  const std::size_t total = start < rows.size() ? rows.size() - start : 0;
  *totalentries = static_cast<DWORD>(total);
  *entriesread = 0;

  // As many entries as the preferred length allows (all of them with
  // MAX_PREFERRED_LENGTH).
  auto entrySize = [](const ServerRow& row) {
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

  block.reset(new (std::nothrow) unsigned char[bytes]);
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
    const ServerRow& row = rows[start + k];
    auto* record = new (base + k * sizeof(SERVER_INFO_101)) SERVER_INFO_101{};
    record->sv101_platform_id = PLATFORM_ID_NT;
    record->sv101_name = putString(row.name);
    record->sv101_version_major = 10;
    record->sv101_version_minor = 0;
    record->sv101_type = row.type;
    record->sv101_comment = putString(row.comment);
  }
  *entriesread = static_cast<DWORD>(taken);
  return status;
}

} // namespace skarvet
