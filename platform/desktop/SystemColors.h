// Windows' default ("Windows Standard") colour scheme, the system colours of
// the implementations of the seam that run off Windows.
#pragma once

#include "platform/Win32Types.h"

#include <array>

namespace skarvet {

inline constexpr int kSystemColorCount = 31;

// The colours by GetSysColor index.
const std::array<DWORD, kSystemColorCount>& DefaultSystemColors();

// GetSysColor of the default scheme: 0 (black) for an index Windows does
// not know.
DWORD DefaultSysColor(int nIndex);

} // namespace skarvet
