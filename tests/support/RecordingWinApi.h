// A recording fake of the operating-system seam for tests.
//
// Every call is appended to a log (name and arguments rendered as text) and
// then answered by an optional handler; without a handler each call succeeds
// the simplest way Windows would. The log and the handlers may be used from
// worker threads; set handlers before the code under test runs.
#pragma once

#include "platform/WinApi.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace skarvet::test {

struct RecordedCall {
  std::string name;
  std::vector<std::string> args;
};

class RecordingWinApi : public WinApi {
public:
  RecordingWinApi();
  ~RecordingWinApi() override;

  // --- the log ------------------------------------------------------------
  std::vector<RecordedCall> Calls() const;
  std::vector<std::string> CallNames() const;
  // The calls of one name, in order.
  std::vector<RecordedCall> CallsNamed(const std::string& name) const;
  int CountOf(const std::string& name) const;
  void Clear();

  // Renders a text argument the way the log shows it: null or "text".
  static std::string Str(LPCSTR text);
  static std::string Str(LPCWSTR text);
  static std::string Num(long long value);
  static std::string Ptr(const void* pointer); // "null" or "ptr"

  // A fresh non-zero handle each time.
  HANDLE NewHandle();

  // --- handlers (optional) --------------------------------------------------
  std::function<DWORD(int)> onGetSysColor;
  std::function<BOOL(HWND, LPCSTR)> onSetWindowTextA;
  std::function<DWORD(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD)> onFormatMessageA;
  std::function<BOOL(HANDLE)> onCloseHandle;
  std::function<BOOL(LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, PHANDLE)> onLogonUserA;
  std::function<BOOL(HANDLE)> onImpersonateLoggedOnUser;
  std::function<BOOL(HANDLE, DWORD, PHANDLE)> onOpenProcessToken;
  std::function<BOOL(LPCSTR, LPCSTR, PLUID)> onLookupPrivilegeValueA;
  std::function<BOOL(HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES, PDWORD)>
      onAdjustTokenPrivileges;
  std::function<BOOL(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD)> onInitiateSystemShutdownExA;
  std::function<DWORD(LPNETRESOURCEA, LPCSTR, LPCSTR, DWORD)> onWNetAddConnection2A;
  std::function<DWORD(DWORD, DWORD, DWORD, LPNETRESOURCEA, LPHANDLE)> onWNetOpenEnumA;
  std::function<DWORD(HANDLE, LPDWORD, LPVOID, LPDWORD)> onWNetEnumResourceA;
  std::function<DWORD(HANDLE)> onWNetCloseEnum;
  std::function<NET_API_STATUS(LPCWSTR, DWORD, LPBYTE*, DWORD, LPDWORD, LPDWORD, DWORD, LPCWSTR,
                               LPDWORD)>
      onNetServerEnum;
  std::function<NET_API_STATUS(LPVOID)> onNetApiBufferFree;
  std::function<HRESULT(LPVOID)> onCoInitialize;
  // Creation of the script control: return a failure to refuse it.
  std::function<HRESULT()> onCoCreateScriptControl;
  // Script control calls; each may leave error information with
  // SetThreadErrorInfo before returning a failure.
  std::function<HRESULT(DISPID, const ScriptValue&)> onPutProperty;
  std::function<HRESULT()> onQueryScriptControl;
  std::function<HRESULT(const std::u16string&)> onAddCode;
  std::function<HRESULT(const std::u16string&)> onExecuteStatement;
  std::function<HINSTANCE(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)> onShellExecuteA;
  // Winsock. Without handlers: sockets are made, bound and closed, data is
  // sent, the interface list is empty, nothing arrives (WSAPoll waits out
  // its time-out) and every connection waits.
  std::function<SOCKET(int, int, int)> onSocket;
  std::function<int(SOCKET, const sockaddr*, int)> onBind;
  std::function<int(SOCKET, int, int, const char*, int)> onSetsockopt;
  std::function<int(SOCKET, LPVOID, DWORD, LPDWORD)> onGetInterfaceList;
  std::function<int(SOCKET, const sockaddr*, int)> onConnect;
  std::function<int(SOCKET, const char*, int)> onSend;
  std::function<int(SOCKET, char*, int)> onRecv;
  std::function<int(SOCKET, const char*, int, const sockaddr*, int)> onSendto;
  std::function<int(SOCKET, char*, int, sockaddr*, int*)> onRecvfrom;
  std::function<int(WSAPOLLFD*, ULONG, INT)> onWSAPoll;

  // "a.b.c.d:port" of an IPv4 socket address, as the log shows it.
  static std::string Address(const sockaddr* address, int length);
  // Sockets made and not yet closed.
  int OpenSockets() const;

  // Error information for the calling thread, taken by GetErrorInfo.
  static void SetThreadErrorInfo(const ComErrorInfo& info);
  static void ClearThreadErrorInfo();

  // --- WinApi -----------------------------------------------------------------
  DWORD GetSysColor(int nIndex) override;
  BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) override;
  DWORD GetLastError() override;
  void SetLastError(DWORD dwErrCode) override;
  HANDLE GetCurrentProcess() override;
  BOOL CloseHandle(HANDLE hObject) override;
  DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                       LPSTR lpBuffer, DWORD nSize, va_list* Arguments) override;
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
  DWORD WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword, LPCSTR lpUserName,
                            DWORD dwFlags) override;
  DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA lpNetResource,
                      LPHANDLE lphEnum) override;
  DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                          LPDWORD lpBufferSize) override;
  DWORD WNetCloseEnum(HANDLE hEnum) override;
  NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                               LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                               LPCWSTR domain, LPDWORD resume_handle) override;
  NET_API_STATUS NetApiBufferFree(LPVOID Buffer) override;
  HRESULT CoInitialize(LPVOID pvReserved) override;
  HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) override;
  HRESULT GetErrorInfo(DWORD dwReserved, ComErrorInfo& info) override;
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

  void Record(std::string name, std::vector<std::string> args);

private:
  mutable std::mutex mutex_;
  std::vector<RecordedCall> calls_;
  std::uintptr_t nextHandle_ = 0x1000;
  int openSockets_ = 0;
};

} // namespace skarvet::test
