// Names compared as Windows compares computer, domain and workgroup names:
// without regard to case, in the ANSI code page ("köln" and "KÖLN" are one
// name in Windows-1252).
#pragma once

#include <string_view>

namespace skarvet {

bool AnsiEqualsIgnoreCase(std::string_view a, std::string_view b);

} // namespace skarvet
