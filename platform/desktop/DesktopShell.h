// The desktop's shell off Windows: ShellExecuteA's "open", which hands an
// address to the desktop's default browser. Shared by the implementations of
// the seam that run off Windows.
#pragma once

#include "platform/Win32Types.h"

#include <functional>
#include <mutex>
#include <string>

namespace skarvet {

// How an address is handed on; null means the desktop's own opener.
using UrlOpener = std::function<bool(const std::string&)>;

class WinApi;

// ShellExecuteA of one implementation of the seam, with the opener a test
// may put in place; safe to call from any thread.
class DesktopShell {
public:
  void SetUrlOpener(UrlOpener opener);

  // ShellExecuteA's answer for `lpOperation` on `lpFile`: above 32 when the
  // request was handed on; 32 or less when not, with the reason left as
  // `api`'s last error.
  HINSTANCE ShellExecuteA(LPCSTR lpOperation, LPCSTR lpFile, WinApi& api) const;

private:
  mutable std::mutex mutex_;
  UrlOpener opener_;
};

} // namespace skarvet
