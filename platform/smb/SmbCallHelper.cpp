// Starting the helper of one call and reading its reply (the module's
// side; see SmbCalls.h).
#include "platform/smb/SmbCalls.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

extern char** environ;

namespace skarvet::smb {
namespace {

// A helper bounds each answer by the library's time-out; one that has not
// replied after this much longer is ended, and its call fails as a host
// that never answered does.
constexpr int kHelperLimitMs = 120000;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsProgram(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// Beside the module (or the program) this code was loaded from, found once.
const std::string& HelperPath() {
  static const std::string path = [] {
    std::string candidates[2];
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&HelperPath), &info) != 0 && info.dli_fname &&
        *info.dli_fname) {
      char resolved[PATH_MAX];
      if (::realpath(info.dli_fname, resolved)) candidates[0] = FolderOf(resolved);
    }
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) candidates[1] = FolderOf(std::string(self, static_cast<std::size_t>(n)));
    for (const std::string& folder : candidates) {
      if (folder.empty()) continue;
      const std::string candidate = folder + "/" + kCallHelperName;
      if (IsProgram(candidate)) return candidate;
    }
    return std::string();
  }();
  return path;
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    // Never SIGPIPE: a helper that died early only fails this call.
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until the helper closes its end; false past the limit or on error.
bool ReceiveAll(int fd, std::string& out, std::chrono::steady_clock::time_point deadline,
                bool& timedOut) {
  char buffer[16384];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      timedOut = true;
      return false;
    }
    pollfd wait{fd, POLLIN, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (ready == 0) continue; // the deadline is checked above
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<std::size_t>(n));
    if (out.size() > kReplyLimit) return false;
  }
}

} // namespace

CallReply CallInHelper(const CallRequest& request) {
  CallReply failed;
  failed.error = kCallHelperFailed;
  const std::string& helper = HelperPath();
  if (helper.empty()) return failed;

  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    failed.error = ERROR_NOT_ENOUGH_MEMORY;
    return failed;
  }
  const int mine = ends[0];
  const int theirs = ends[1];

  // The helper's standard input and output are its end of the socket; it
  // gets no other descriptor of this process, its signals as at a fresh
  // start, and this process's environment (Kerberos' ticket cache).
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, theirs, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, theirs, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  char* arguments[] = {const_cast<char*>(kCallHelperName), nullptr};
  pid_t pid = 0;
  const int spawned =
      ::posix_spawn(&pid, helper.c_str(), &actions, &attributes, arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(theirs);
  if (spawned != 0) {
    ::close(mine);
    if (spawned == ENOMEM || spawned == EAGAIN) failed.error = ERROR_NOT_ENOUGH_MEMORY;
    return failed;
  }

  std::string reply;
  bool timedOut = false;
  const bool received =
      SendAll(mine, EncodeRequest(request)) && ::shutdown(mine, SHUT_WR) == 0 &&
      ReceiveAll(mine, reply,
                 std::chrono::steady_clock::now() + std::chrono::milliseconds(kHelperLimitMs),
                 timedOut);
  ::close(mine);
  if (!received) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  CallReply answer;
  if (received && WIFEXITED(status) && WEXITSTATUS(status) == 0 && DecodeReply(reply, answer))
    return answer;
  if (timedOut) failed.error = ERROR_BAD_NETPATH;
  return failed;
}

} // namespace skarvet::smb
