// The shell of the simulated desktop.
// (Interim: nothing is opened until this part is written.)
#include "platform/sim/SimulatedWinApi.h"

namespace skarvet {

HINSTANCE SimulatedWinApi::ShellExecuteA(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
  return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(2)); // SE_ERR_FNF
}
void SimulatedWinApi::SetUrlOpener(std::function<bool(const std::string&)> opener) {
  urlOpener_ = std::move(opener);
}

} // namespace skarvet
