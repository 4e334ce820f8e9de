// The script control component of the simulated network.
// (Interim: the component is not registered until this part is written.)
#include "platform/sim/SimulatedWinApi.h"

namespace skarvet {

HRESULT SimulatedWinApi::CoInitialize(LPVOID) {
  return S_OK;
}
HRESULT SimulatedWinApi::CoCreateScriptControl(std::unique_ptr<ScriptControlObject>&) {
  return REGDB_E_CLASSNOTREG;
}

} // namespace skarvet
