// The system message texts of the simulated network.
// (Interim: no texts until this part is written.)
#include "platform/sim/SimulatedWinApi.h"

namespace skarvet {

DWORD SimulatedWinApi::FormatMessageA(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD, va_list*) {
  SetLastError(317);
  return 0;
}

} // namespace skarvet
