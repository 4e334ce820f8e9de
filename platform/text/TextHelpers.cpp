#include "platform/text/TextHelpers.h"

#include <cmath>

namespace skarvet {
namespace {
bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
} // namespace

std::string Trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsTrimmed(text[first])) ++first;
  while (last > first && IsTrimmed(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

long long RoundHalfEven(double value) {
  // nearbyint honours the current rounding mode, which is to-nearest-even
  // unless someone changed it; do it by hand to be independent of that.
  const double floorValue = std::floor(value);
  const double diff = value - floorValue;
  long long result = static_cast<long long>(floorValue);
  if (diff > 0.5 || (diff == 0.5 && (result % 2 != 0))) ++result;
  return result;
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

} // namespace skarvet
