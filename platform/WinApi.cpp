#include "platform/WinApi.h"

#include <atomic>

namespace skarvet {
namespace {

std::atomic<WinApi*> g_current{nullptr};

WinApi& DefaultInstance() {
  // Deliberately leaked: worker threads may still call in while the
  // program ends.
  static WinApi* instance = CreateDefaultWinApi().release();
  return *instance;
}

} // namespace

WinApi& Api() {
  WinApi* current = g_current.load(std::memory_order_acquire);
  return current ? *current : DefaultInstance();
}

ScopedWinApi::ScopedWinApi(WinApi& api)
    : previous_(g_current.exchange(&api, std::memory_order_acq_rel)) {}

ScopedWinApi::~ScopedWinApi() {
  g_current.store(previous_, std::memory_order_release);
}

} // namespace skarvet
