// Windows' system message texts for the implementations of the seam that run
// off Windows: FormatMessageA's behaviour, shared by all of them.
#pragma once

#include "platform/Win32Types.h"

namespace skarvet {

// Windows' English text for a system error number (or a component result
// that wraps one), without the final line break; null when there is none.
const char* FindSystemMessage(DWORD id);

// FormatMessageA with the arguments of the Win32 call. On failure it returns
// 0 and leaves the reason in `error` (the caller's last error).
DWORD FormatSystemMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                           LPSTR lpBuffer, DWORD nSize, va_list* Arguments, DWORD& error);

} // namespace skarvet
