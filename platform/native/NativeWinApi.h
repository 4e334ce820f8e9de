// The seam on Windows: every member calls the system function of the same
// name with the same arguments and hands back its result unchanged. Nothing
// is called after the system function, so the thread's last error is the one
// the system left.
//
// The script control is reached through the component object model: its
// IDispatch for property writes by identifier and its IScriptControl
// interface for the methods (see ScriptControlInterface.h). Before each of
// its calls the thread's error information is cleared, so that what
// GetErrorInfo finds after a failure belongs to that failure; a property
// write that the component refuses with an exception leaves the exception's
// texts as the thread's error information, as the methods do.
#pragma once

#ifdef _WIN32

#include "platform/WinApi.h"

namespace skarvet {

class NativeWinApi : public WinApi {
public:
  // user32
  DWORD GetSysColor(int nIndex) override;
  BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) override;
  // kernel32
  DWORD GetLastError() override;
  void SetLastError(DWORD dwErrCode) override;
  HANDLE GetCurrentProcess() override;
  BOOL CloseHandle(HANDLE hObject) override;
  DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                       LPSTR lpBuffer, DWORD nSize, va_list* Arguments) override;
  // advapi32
  BOOL LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword, DWORD dwLogonType,
                  DWORD dwLogonProvider, PHANDLE phToken) override;
  BOOL ImpersonateLoggedOnUser(HANDLE hToken) override;
  BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) override;
  BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) override;
  BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                             PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                             PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) override;
  BOOL InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                 BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                 DWORD dwReason) override;
  // mpr
  DWORD WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword, LPCSTR lpUserName,
                            DWORD dwFlags) override;
  DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA lpNetResource,
                      LPHANDLE lphEnum) override;
  DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                          LPDWORD lpBufferSize) override;
  DWORD WNetCloseEnum(HANDLE hEnum) override;
  // netapi32
  NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                               LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                               LPCWSTR domain, LPDWORD resume_handle) override;
  NET_API_STATUS NetApiBufferFree(LPVOID Buffer) override;
  // ole32 / oleaut32
  HRESULT CoInitialize(LPVOID pvReserved) override;
  HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) override;
  HRESULT GetErrorInfo(DWORD dwReserved, ComErrorInfo& info) override;
  // shell32
  HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                          LPCSTR lpDirectory, INT nShowCmd) override;
  // ws2_32
  SOCKET socket(int af, int type, int protocol) override;
  int closesocket(SOCKET s) override;
  int bind(SOCKET s, const sockaddr* name, int namelen) override;
  int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) override;
  int ioctlsocket(SOCKET s, long cmd, u_long* argp) override;
  int WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
               LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
               LPWSAOVERLAPPED lpOverlapped,
               LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) override;
  int connect(SOCKET s, const sockaddr* name, int namelen) override;
  int send(SOCKET s, const char* buf, int len, int flags) override;
  int recv(SOCKET s, char* buf, int len, int flags) override;
  int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) override;
  int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) override;
  int WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) override;
  int WSAGetLastError() override;
};

} // namespace skarvet

#endif // _WIN32
