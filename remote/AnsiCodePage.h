// The system's ANSI code page, in which the program's texts travel.
// Off Windows (the simulated network) it is Windows-1252, the code page of
// an English Windows; characters it cannot hold become '?', as Windows'
// own conversion does with its default character.
#pragma once

#include <string>
#include <string_view>

namespace skarvet {

std::u16string AnsiToWide(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);

} // namespace skarvet
