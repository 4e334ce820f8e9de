// Windows' system message texts for the implementations of the seam that run
// off Windows: FormatMessageA's behaviour, shared by all of them.
#pragma once

#include "platform/Win32Types.h"

namespace skarvet {

// Windows' English text for a system error number (or a component result
// that wraps one), without the final line break; null when there is none.
const char* FindSystemMessage(DWORD id);

// FormatMessageA from the system (FORMAT_MESSAGE_FROM_SYSTEM) for message
// `dwMessageId`, whose text is `ownText` when the implementation has one of
// its own, else Windows'. Inserts are left alone (FORMAT_MESSAGE_IGNORE_INSERTS)
// or refused, and the width is the system's (line break kept) or unlimited
// (FORMAT_MESSAGE_MAX_WIDTH_MASK): nothing here formats a caller's string,
// fills in arguments or wraps lines, and such a request fails with
// ERROR_NOT_SUPPORTED. On failure it returns 0 and leaves the reason in
// `error` (the caller's last error).
DWORD FormatSystemMessageA(DWORD dwFlags, DWORD dwMessageId, const char* ownText,
                           DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize, va_list* Arguments,
                           DWORD& error);

} // namespace skarvet
