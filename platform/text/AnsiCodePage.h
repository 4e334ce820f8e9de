// The system's ANSI code page, in which the program's texts travel.
// On Windows it is the system's own; off Windows (the simulated network) it
// is Windows-1252, the code page of an English Windows. Characters the code
// page cannot hold become '?', as Windows' own conversion does.
#pragma once

#include <string>
#include <string_view>

namespace skarvet {

std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);

} // namespace skarvet
