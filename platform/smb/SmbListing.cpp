// Provider and server listings of the real network off Windows.
#include "platform/smb/SmbWinApi.h"

#include "platform/smb/SmbSession.h"

namespace skarvet {

DWORD SmbWinApi::WNetOpenEnumA(DWORD, DWORD, DWORD, LPNETRESOURCEA, LPHANDLE) {
  SetLastError(ERROR_NO_NETWORK);
  return ERROR_NO_NETWORK;
}

DWORD SmbWinApi::WNetEnumResourceA(HANDLE, LPDWORD, LPVOID, LPDWORD) {
  SetLastError(ERROR_INVALID_HANDLE);
  return ERROR_INVALID_HANDLE;
}

DWORD SmbWinApi::WNetCloseEnum(HANDLE) {
  SetLastError(ERROR_INVALID_HANDLE);
  return ERROR_INVALID_HANDLE;
}

NET_API_STATUS SmbWinApi::NetServerEnum(LPCWSTR, DWORD, LPBYTE* bufptr, DWORD, LPDWORD entriesread,
                                        LPDWORD totalentries, DWORD, LPCWSTR, LPDWORD) {
  if (bufptr) *bufptr = nullptr;
  if (entriesread) *entriesread = 0;
  if (totalentries) *totalentries = 0;
  return NERR_BrowserNotStarted;
}

NET_API_STATUS SmbWinApi::NetApiBufferFree(LPVOID Buffer) {
  if (!Buffer) return NERR_Success;
  std::lock_guard lock(mutex_);
  if (netBuffers_.erase(Buffer) == 0) return ERROR_INVALID_PARAMETER;
  return NERR_Success;
}

} // namespace skarvet
