// The one place that picks the platform's implementation of the seam.
#include "platform/WinApi.h"

#ifdef _WIN32
#include "platform/native/NativeWinApi.h"
#else
#include "platform/sim/SimulatedWinApi.h"
#endif

namespace skarvet {

std::unique_ptr<WinApi> CreateDefaultWinApi() {
#ifdef _WIN32
  return std::make_unique<NativeWinApi>();
#else
  return std::make_unique<SimulatedWinApi>();
#endif
}

} // namespace skarvet
