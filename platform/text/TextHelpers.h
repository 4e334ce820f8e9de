// Text and rounding rules shared by the whole program.
#pragma once

#include <string>
#include <string_view>

namespace skarvet {

// Removes leading and trailing characters with codes 0 to 32.
std::string Trim(std::string_view text);

// Rounds to the nearest integer, exact halves to the even neighbour
// (2.5 gives 2, 3.5 gives 4, -2.5 gives -2).
long long RoundHalfEven(double value);

// Upper-cases the ASCII letters only, as Windows compares computer, domain,
// account and share names; other bytes stay as they are.
std::string UpperAscii(std::string text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

} // namespace skarvet
