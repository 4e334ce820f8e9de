// Opening a web page (or any document) in the desktop's default handler, and
// the owner window the shell's calls are made for.
#include "platform/WinApi.h"
#include "platform/text/TextHelpers.h"
#include "remote/GlobalUnit.h"

#include <atomic>
#include <string>

namespace skarvet {
namespace {

// Written on the main thread, read by whoever opens a page; atomic so that
// a read from another thread never sees a torn value.
std::atomic<HWND> g_mainWindowHandle{nullptr};

// The directory part of a text read as a file path: the text before its last
// backslash, or, when a colon comes after the last backslash (a drive or a
// scheme such as "https:"), the text up to and including that colon. Empty
// when the text has neither.
std::string DirectoryPart(const std::string& path) {
  const auto backslash = path.rfind('\\');
  const auto colon = path.rfind(':');
  if (colon != std::string::npos && (backslash == std::string::npos || colon > backslash))
    return path.substr(0, colon + 1);
  if (backslash != std::string::npos) return path.substr(0, backslash);
  return {};
}

} // namespace

void SetMainWindowHandle(HWND handle) {
  g_mainWindowHandle.store(handle);
}

HWND MainWindowHandle() {
  return g_mainWindowHandle.load();
}

void OpenWebPage(const std::string& Address) {
  // Only the emptiness test looks at the trimmed text; the shell gets the
  // address exactly as given.
  if (Trim(Address).empty()) return;

  const std::string directory = DirectoryPart(Address);
  // No directory part: null asks the shell for the current directory, which
  // is what an empty working directory means.
  LPCSTR lpDirectory = directory.empty() ? nullptr : directory.c_str();

  // The result is deliberately not looked at: a page that cannot be opened
  // is not worth interrupting the user for.
  (void)Api().ShellExecuteA(MainWindowHandle(), "open", Address.c_str(), nullptr, lpDirectory,
                            SW_SHOWNORMAL);
}

} // namespace skarvet
