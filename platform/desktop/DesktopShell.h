// The desktop's shell off Windows: ShellExecuteA's "open", which hands an
// address to the desktop's default browser. Shared by the implementations of
// the seam that run off Windows.
#pragma once

#include "platform/Win32Types.h"

#include <functional>
#include <string>

namespace skarvet {

// How an address is handed on; null means the desktop's own opener.
using UrlOpener = std::function<bool(const std::string&)>;

// ShellExecuteA's answer for `lpOperation` on `lpFile`: above 32 when the
// request was handed on, 32 or less when not, with the reason in `error`.
HINSTANCE DesktopShellExecute(LPCSTR lpOperation, LPCSTR lpFile, const UrlOpener& opener,
                              DWORD& error);

} // namespace skarvet
