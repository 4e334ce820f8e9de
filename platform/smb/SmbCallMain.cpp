// skarvet-smb-call: makes one call of the real network for the module that
// started it (see SmbCalls.h). Reads the request from standard input up to
// its end, writes the reply to standard output, and ends; 0 when a reply was
// written, whatever the call's result.
#include "platform/smb/SmbCalls.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>

// Builds with AddressSanitizer check this process for leaks too. The
// library's allocator, talloc, is built without frame pointers, so only the
// slower unwinder gives stacks that tell its one known leak (tests/lsan.supp)
// from any other.
extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0";
}
#endif

namespace {

bool ReadRequest(skarvet::WipingString& bytes) {
  char buffer[4096];
  bool read = false;
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      read = n == 0;
      break;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > skarvet::smb::kRequestLimit) break;
  }
  skarvet::WipeMemory(buffer, sizeof buffer);
  return read;
}

} // namespace

int main() {
  // The request carries the password: wiped once it is read, and the
  // buffer of each read with it.
  skarvet::smb::CallRequest request;
  {
    skarvet::WipingString bytes;
    if (!ReadRequest(bytes) || !skarvet::smb::DecodeRequest(bytes, request)) return 2;
  }
  const bool written = skarvet::smb::SendAll(
      STDOUT_FILENO, skarvet::smb::EncodeReply(skarvet::smb::RunCall(request)));
  // The module waits for the end of the reply and then for this process:
  // both at once, without the library's tear-down at exit (its session is
  // closed already, and nothing is left to write).
  ::shutdown(STDOUT_FILENO, SHUT_WR);
#ifdef __SANITIZE_ADDRESS__
  // _Exit skips the leak check at exit; a leak fails the call.
  if (__lsan_do_recoverable_leak_check() != 0) std::_Exit(3);
#endif
  std::_Exit(written ? 0 : 1);
}
