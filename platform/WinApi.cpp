#include "platform/WinApi.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace skarvet {
namespace {

std::atomic<WinApi*> g_current{nullptr};   // a test's, through ScopedWinApi
std::atomic<WinApi*> g_installed{nullptr}; // the program's, through InstallWinApi

} // namespace

WinApi& Api() {
  if (WinApi* current = g_current.load(std::memory_order_acquire)) return *current;
  if (WinApi* installed = g_installed.load(std::memory_order_acquire)) return *installed;
  std::fputs("skarvet: no implementation of the operating-system seam was installed "
             "(InstallWinApi) before its first use\n",
             stderr);
  std::abort();
}

void InstallWinApi(std::unique_ptr<WinApi> api) {
  // Deliberately leaked, the previous one too: worker threads may still call
  // in while the program ends.
  g_installed.store(api.release(), std::memory_order_release);
}

ScopedWinApi::ScopedWinApi(WinApi& api)
    : previous_(g_current.exchange(&api, std::memory_order_acq_rel)) {}

ScopedWinApi::~ScopedWinApi() {
  g_current.store(previous_, std::memory_order_release);
}

} // namespace skarvet
