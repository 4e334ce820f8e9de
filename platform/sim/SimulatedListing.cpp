// Provider and server listings of the simulated network.
// (Interim: nothing is listed until this part is written.)
#include "platform/sim/SimulatedWinApi.h"

namespace skarvet {

DWORD SimulatedWinApi::WNetOpenEnumA(DWORD, DWORD, DWORD, LPNETRESOURCEA, LPHANDLE) {
  return ERROR_NO_NETWORK;
}
DWORD SimulatedWinApi::WNetEnumResourceA(HANDLE, LPDWORD, LPVOID, LPDWORD) {
  return ERROR_INVALID_HANDLE;
}
DWORD SimulatedWinApi::WNetCloseEnum(HANDLE) {
  return ERROR_INVALID_HANDLE;
}
NET_API_STATUS SimulatedWinApi::NetServerEnum(LPCWSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD,
                                              DWORD, LPCWSTR, LPDWORD) {
  return ERROR_NO_BROWSER_SERVERS_FOUND;
}
NET_API_STATUS SimulatedWinApi::NetApiBufferFree(LPVOID) {
  return NERR_Success;
}

} // namespace skarvet
