// Logon, impersonation, share connections, privileges and the shutdown
// request of the simulated network.
// (Interim: every call fails until this part of the network is written.)
#include "platform/sim/SimulatedWinApi.h"

namespace skarvet {

BOOL SimulatedWinApi::LogonUserA(LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, PHANDLE) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL SimulatedWinApi::ImpersonateLoggedOnUser(HANDLE) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL SimulatedWinApi::OpenProcessToken(HANDLE, DWORD, PHANDLE) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL SimulatedWinApi::LookupPrivilegeValueA(LPCSTR, LPCSTR, PLUID) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL SimulatedWinApi::AdjustTokenPrivileges(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD,
                                            PTOKEN_PRIVILEGES, PDWORD) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
BOOL SimulatedWinApi::InitiateSystemShutdownExA(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}
DWORD SimulatedWinApi::WNetAddConnection2A(LPNETRESOURCEA, LPCSTR, LPCSTR, DWORD) {
  return ERROR_NOT_SUPPORTED;
}
SimulatedWinApi::Credentials SimulatedWinApi::CredentialsForLocked(const std::string&) const {
  return {};
}

} // namespace skarvet
