#include "platform/text/AnsiCompare.h"

#include "platform/text/AnsiCodePage.h"

#ifdef _WIN32
#include "platform/Win32Types.h"
#endif

namespace skarvet {

#ifdef _WIN32

// The system's own upper-case table, as it compares names.
bool AnsiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  const std::u16string wideA = AnsiToWide(a);
  const std::u16string wideB = AnsiToWide(b);
  return CompareStringOrdinal(reinterpret_cast<LPCWCH>(wideA.data()),
                              static_cast<int>(wideA.size()),
                              reinterpret_cast<LPCWCH>(wideB.data()),
                              static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

#else

namespace {

// Upper case of the letters Windows-1252 holds: ASCII, Latin-1 and the
// four of its 0x80 to 0x9F range.
char16_t Upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  switch (c) {
  case 0xFF:
    return 0x178;
  case 0x153:
    return 0x152;
  case 0x161:
    return 0x160;
  case 0x17E:
    return 0x17D;
  default:
    return c;
  }
}

} // namespace

bool AnsiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  const std::u16string wideA = AnsiToWide(a);
  const std::u16string wideB = AnsiToWide(b);
  if (wideA.size() != wideB.size()) return false;
  for (std::size_t i = 0; i < wideA.size(); ++i)
    if (Upper(wideA[i]) != Upper(wideB[i])) return false;
  return true;
}

#endif

} // namespace skarvet
