#include "platform/text/AnsiCodePage.h"

#ifdef _WIN32
#include "platform/Win32Types.h"
#include "platform/text/SecretText.h"
#endif

#include <array>

namespace skarvet {

namespace {

bool IsSurrogatePair(std::u16string_view text, std::size_t i) {
  return text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
         text[i + 1] < 0xE000;
}

} // namespace

#ifdef _WIN32

// On Windows the conversion is the system's: the user may run any ANSI code
// page (Cyrillic, Central European, Japanese, ...).
std::u16string AnsiToWide(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
  std::u16string result(wide.begin(), wide.end());
  // The text may be a password: the intermediate copy goes.
  WipeMemory(wide.data(), wide.size() * sizeof(wchar_t));
  return result;
}

// A character outside the code page becomes "?", never a look-alike: the
// system's best fit would turn a full-width name into another computer's
// name, and an ideographic space into a blank one. A character beyond the
// first 65,536 (a surrogate pair) is one character, so one "?", whatever
// the system's conversion makes of the pair; only a UTF-8 code page holds it.
std::string WideToAnsi(std::u16string_view wide) {
  if (wide.empty()) return {};
  std::wstring source;
  source.reserve(wide.size());
  const bool holdsEveryCharacter = GetACP() == CP_UTF8;
  for (std::size_t i = 0; i < wide.size(); ++i) {
    if (!holdsEveryCharacter && IsSurrogatePair(wide, i)) {
      source.push_back(L'?');
      ++i;
    } else {
      source.push_back(static_cast<wchar_t>(wide[i]));
    }
  }
  const int length =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source.data(),
                          static_cast<int>(source.size()), nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, source.data(), static_cast<int>(source.size()),
                      ansi.data(), length, nullptr, nullptr);
  // The text may be a password: the intermediate copy goes.
  WipeMemory(source.data(), source.size() * sizeof(wchar_t));
  return ansi;
}

#else

namespace {

// Windows-1252 at 0x80..0x9F; the five unassigned codes map to the C1
// controls of the same value, as Windows' conversion does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToAnsiChar(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

} // namespace

std::u16string AnsiToWide(std::string_view ansi) {
  std::u16string wide;
  wide.reserve(ansi.size());
  for (char ch : ansi) {
    const auto byte = static_cast<unsigned char>(ch);
    wide.push_back(byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : static_cast<char16_t>(byte));
  }
  return wide;
}

std::string WideToAnsi(std::u16string_view wide) {
  std::string ansi;
  ansi.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    const char16_t c = wide[i];
    // A surrogate pair is one character outside the code page: one '?'.
    if (IsSurrogatePair(wide, i)) ++i;
    ansi.push_back(ToAnsiChar(c));
  }
  return ansi;
}

#endif // _WIN32

} // namespace skarvet
