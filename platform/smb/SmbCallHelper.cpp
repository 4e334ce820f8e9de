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
#include <deque>
#include <mutex>
#include <string>

extern char** environ;

namespace skarvet::smb {
namespace {

// A helper bounds each answer by the library's time-out; one that has not
// replied after this much longer is ended, and its call fails as a host
// that never answered does.
constexpr int kHelperLimitMs = 120000;

// The library's messages on standard error are no one's concern, except in
// builds with AddressSanitizer, whose leak reports from a helper the tests
// must show.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kHelperReportsOnStderr = true;
#else
constexpr bool kHelperReportsOnStderr = false;
#endif

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
      std::string candidate = folder + "/" + kCallHelperName;
      if (IsProgram(candidate)) return candidate;
    }
    return std::string();
  }();
  return path;
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

// A helper that was started and waits for its request.
struct Helper {
  pid_t pid = 0;
  int socket = -1; // this process's end
};

// Starts a helper; its pid 0 when it cannot be started (`error` says why).
Helper Start(DWORD& error) {
  Helper started;
  const std::string& helper = HelperPath();
  if (helper.empty()) {
    error = kCallHelperFailed;
    return started;
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    error = ERROR_NOT_ENOUGH_MEMORY;
    return started;
  }
  // The helper's standard input and output are its end of the socket; it
  // gets no other descriptor of this process, its signals as at a fresh
  // start, and this process's environment (Kerberos' ticket cache).
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  if (!kHelperReportsOnStderr)
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
  ::close(ends[1]);
  if (spawned != 0) {
    ::close(ends[0]);
    error = spawned == ENOMEM || spawned == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : kCallHelperFailed;
    return started;
  }
  started.pid = pid;
  started.socket = ends[0];
  return started;
}

// Helpers are kept started ahead, so that a call finds the library already
// mapped (the most of a helper's start) and waits only for the network. Each
// helper still makes one call: a call takes the oldest one ahead and starts
// another. Two, since a restart makes two calls in a row (the logon, then
// the request), and the second must not find its helper still starting.
// The first call of a program starts them.
class Ahead {
public:
  static constexpr std::size_t kCount = 2;

  Helper Take(DWORD& error) {
    std::lock_guard lock(mutex_);
    Helper taken;
    if (!ready_.empty()) {
      taken = ready_.front();
      ready_.pop_front();
    } else {
      taken = Start(error);
    }
    return taken;
  }
  // Starts helpers until enough wait ahead (after a call's request is on
  // its way: starting one holds the caller up a little).
  void Refill() {
    std::lock_guard lock(mutex_);
    while (ready_.size() < kCount) {
      DWORD ignored = 0;
      const Helper next = Start(ignored);
      if (!next.pid) break;
      ready_.push_back(next);
    }
  }

private:
  std::mutex mutex_;
  std::deque<Helper> ready_;
};

// Never destroyed: a worker still waiting on a host when the program ends
// may yet use it. The helpers ahead end at their end of input, when this
// process's descriptors close.
Ahead& HelpersAhead() {
  static auto* ahead = new Ahead;
  return *ahead;
}

// The reply of `helper` to `request`, which it is sent; false with
// `timedOut` when it has not replied in time (then it is ended). The helper
// is waited for either way.
bool Exchange(Helper helper, std::string_view request, std::string& reply, bool& sent,
              bool& timedOut) {
  sent = SendAll(helper.socket, request) && ::shutdown(helper.socket, SHUT_WR) == 0;
  HelpersAhead().Refill();
  const bool received = sent && ReceiveAll(helper.socket, reply,
                                           std::chrono::steady_clock::now() +
                                               std::chrono::milliseconds(kHelperLimitMs),
                                           timedOut);
  ::close(helper.socket);
  if (!received) ::kill(helper.pid, SIGKILL);
  int status = 0;
  while (::waitpid(helper.pid, &status, 0) < 0 && errno == EINTR) {
  }
  return received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

CallReply CallInHelper(const CallRequest& request) {
  CallReply answer;
  answer.error = kCallHelperFailed;
  const WipingString bytes = EncodeRequest(request);
  std::string reply;
  bool sent = false;
  bool timedOut = false;
  Helper helper = HelpersAhead().Take(answer.error);
  if (!helper.pid) return answer;
  bool replied = Exchange(helper, bytes, reply, sent, timedOut);
  if (!sent) {
    // The helper started ahead had ended meanwhile: one of its own, then.
    helper = Start(answer.error);
    if (!helper.pid) return answer;
    reply.clear();
    replied = Exchange(helper, bytes, reply, sent, timedOut);
  }
  if (replied && DecodeReply(reply, answer)) return answer;
  answer.entries.clear();
  answer.error = timedOut ? ERROR_BAD_NETPATH : kCallHelperFailed;
  return answer;
}

} // namespace skarvet::smb
