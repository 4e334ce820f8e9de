// The shell of the desktop off Windows: "open" hands an address to the
// desktop's default browser (xdg-open; `open` on macOS), the way the Windows
// shell hands it to the default browser. The call never waits for the
// browser; like ShellExecute it answers a value above 32 when the request was
// handed on and a value of 32 or less when there is nothing to hand it to.
#include "platform/desktop/DesktopShell.h"

#include "platform/WinApi.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace skarvet {
namespace {

// ShellExecute's results (values of 32 or less are failures).
constexpr std::intptr_t kHandedOn = 42; // any value above 32

HINSTANCE ShellResult(std::intptr_t value) {
  return reinterpret_cast<HINSTANCE>(value);
}

#ifdef _WIN32
// These implementations may run on Windows too; the desktop there is the
// real one, and so is its shell.
bool HandToDesktop(const std::string& address) {
  const auto result = reinterpret_cast<std::intptr_t>(
      ::ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}
#else

#ifdef __APPLE__
constexpr const char* kOpener = "open";
bool HasDesktop() {
  return true;
}
#else
constexpr const char* kOpener = "xdg-open";
// A browser needs a display to show itself on; without one xdg-open would
// fall back to a text-mode browser on the terminal, which is no answer for a
// windowed program.
bool HasDesktop() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}
#endif

// The full path of `program` on PATH, or empty when it is not there. An
// empty PATH entry means the current directory, as for the shell.
std::string FindOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string_view entries = path;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(entries.find(':', start), entries.size());
    const std::string_view dir = entries.substr(start, end - start);
    std::string candidate = dir.empty() ? std::string(".") : std::string(dir);
    candidate += '/';
    candidate += program;
    struct stat info {};
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (end == entries.size()) return {};
    start = end + 1;
  }
}

// Starts `program address` detached from the caller: no terminal input or
// output, default signal handling, its own session, and reaped by a waiter
// thread so that no zombie is left behind. False when it could not start.
bool SpawnOpener(const std::string& program, const std::string& address) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return false;
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  sigset_t allSignals;
  sigfillset(&allSignals);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
  // Its own session: a Ctrl+C meant for the program does not close the browser.
  flags |= POSIX_SPAWN_SETSID;
#endif
  posix_spawnattr_setflags(&attributes, flags);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  posix_spawnattr_setsigdefault(&attributes, &allSignals);

  std::string programArg = program;
  std::string addressArg = address;
  char* argv[] = {programArg.data(), addressArg.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return false;

  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the finished opener stays a zombie until the
    // program ends, which costs a process table entry and nothing else.
  }
  return true;
}

bool HandToDesktop(const std::string& address) {
  if (!HasDesktop()) return false;
  const std::string program = FindOnPath(kOpener);
  return !program.empty() && SpawnOpener(program, address);
}
#endif // _WIN32

HINSTANCE Execute(LPCSTR lpOperation, LPCSTR lpFile, const UrlOpener& opener, DWORD& error) {
  // The desktop knows one verb for addresses: open (null means the default
  // verb, which is open too).
  if (lpOperation && std::strcmp(lpOperation, "open") != 0) {
    error = ERROR_NO_ASSOCIATION;
    return ShellResult(SE_ERR_NOASSOC);
  }
  // Nothing to open, or a text the opener would read as one of its options.
  if (!lpFile || !*lpFile || *lpFile == '-') {
    error = ERROR_FILE_NOT_FOUND;
    return ShellResult(SE_ERR_FNF);
  }
  const bool handedOn = opener ? opener(lpFile) : HandToDesktop(lpFile);
  if (!handedOn) {
    error = ERROR_NO_ASSOCIATION;
    return ShellResult(SE_ERR_NOASSOC);
  }
  return ShellResult(kHandedOn);
}

} // namespace

void DesktopShell::SetUrlOpener(UrlOpener opener) {
  std::lock_guard lock(mutex_);
  opener_ = std::move(opener);
}

HINSTANCE DesktopShell::ShellExecuteA(LPCSTR lpOperation, LPCSTR lpFile, WinApi& api) const {
  UrlOpener opener;
  {
    // Not held while the opener runs: it may take its time.
    std::lock_guard lock(mutex_);
    opener = opener_;
  }
  DWORD error = ERROR_SUCCESS;
  const HINSTANCE result = Execute(lpOperation, lpFile, opener, error);
  if (reinterpret_cast<std::intptr_t>(result) <= 32) api.SetLastError(error);
  return result;
}

} // namespace skarvet
