// The program's one road to the operating system.
//
// Every member mirrors the Win32 call of the same name: same arguments in the
// same order, same result, and the same per-thread last-error behaviour
// (a failing call leaves its reason for GetLastError of the calling thread).
// The routines of the program call these members only, through Api(), and
// never know which implementation answers: the real system (Windows), the
// simulated Windows network (elsewhere), or a recording fake (tests).
#pragma once

#include "platform/Win32Types.h"

#include <cstdint>
#include <memory>
#include <string>

namespace skarvet {

// A value written into a dispatch property of a component: a text (passed as
// a BSTR) or a 32-bit integer (VT_I4).
struct ScriptValue {
  enum class Kind { Text, Integer };
  Kind kind = Kind::Integer;
  std::u16string text;
  LONG integer = 0;

  static ScriptValue Text(std::u16string value) { return {Kind::Text, std::move(value), 0}; }
  static ScriptValue Integer(LONG value) { return {Kind::Integer, {}, value}; }
};

// The error information a failed component call leaves for the calling
// thread (what IErrorInfo carries).
struct ComErrorInfo {
  std::u16string description;
  std::u16string source;
};

// Dispatch identifiers of the script control's properties, which
// ScriptControlObject::PutProperty writes by identifier.
inline constexpr DISPID DISPID_ScriptControl_Language = 1500;
inline constexpr DISPID DISPID_ScriptControl_State = 1501;
inline constexpr DISPID DISPID_ScriptControl_SitehWnd = 1502;
inline constexpr DISPID DISPID_ScriptControl_Timeout = 1503;
inline constexpr DISPID DISPID_ScriptControl_AllowUI = 1504;
inline constexpr DISPID DISPID_ScriptControl_UseSafeSubset = 1505;

// One instance of the system's script control component, as created by
// CoCreateInstance for its IDispatch. Property writes go through the
// dispatch interface by identifier; AddCode and ExecuteStatement are methods
// of IScriptControl, which QueryScriptControl obtains first.
class ScriptControlObject {
public:
  virtual ~ScriptControlObject() = default;

  // IDispatch::Invoke(dispId, DISPATCH_PROPERTYPUT) with one argument.
  virtual HRESULT PutProperty(DISPID dispId, const ScriptValue& value) = 0;
  // IUnknown::QueryInterface for IScriptControl; needed before the methods.
  virtual HRESULT QueryScriptControl() = 0;
  // IScriptControl::AddCode. A failure leaves error information for the thread.
  virtual HRESULT AddCode(const std::u16string& code) = 0;
  // IScriptControl::ExecuteStatement. A failure leaves error information.
  virtual HRESULT ExecuteStatement(const std::u16string& statement) = 0;
};

// The pseudo handle GetCurrentProcess returns: the current process.
inline HANDLE CurrentProcessPseudoHandle() {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

class WinApi {
public:
  virtual ~WinApi() = default;

  // --- user32 ------------------------------------------------------------
  virtual DWORD GetSysColor(int nIndex) = 0;
  virtual BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) = 0;

  // --- kernel32 ----------------------------------------------------------
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD dwErrCode) = 0;
  virtual HANDLE GetCurrentProcess() = 0;
  virtual BOOL CloseHandle(HANDLE hObject) = 0;
  virtual DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                               DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                               va_list* Arguments) = 0;

  // --- advapi32 ----------------------------------------------------------
  virtual BOOL LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword,
                          DWORD dwLogonType, DWORD dwLogonProvider, PHANDLE phToken) = 0;
  virtual BOOL ImpersonateLoggedOnUser(HANDLE hToken) = 0;
  virtual BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) = 0;
  virtual BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) = 0;
  virtual BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                     PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                     PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) = 0;
  virtual BOOL InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                         BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                         DWORD dwReason) = 0;

  // --- mpr ---------------------------------------------------------------
  virtual DWORD WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword,
                                    LPCSTR lpUserName, DWORD dwFlags) = 0;
  virtual DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage,
                              LPNETRESOURCEA lpNetResource, LPHANDLE lphEnum) = 0;
  virtual DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                                  LPDWORD lpBufferSize) = 0;
  virtual DWORD WNetCloseEnum(HANDLE hEnum) = 0;

  // --- netapi32 ----------------------------------------------------------
  virtual NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                       DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                       DWORD servertype, LPCWSTR domain, LPDWORD resume_handle) = 0;
  virtual NET_API_STATUS NetApiBufferFree(LPVOID Buffer) = 0;

  // --- ole32 / oleaut32 ----------------------------------------------------
  virtual HRESULT CoInitialize(LPVOID pvReserved) = 0;
  // CoCreateInstance of the script control class for its IDispatch; on
  // success `object` holds the new instance.
  virtual HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) = 0;
  // GetErrorInfo(0, ...): takes the error information that the last failed
  // component call left for this thread. S_OK with `info` filled, or
  // S_FALSE when there is none.
  virtual HRESULT GetErrorInfo(DWORD dwReserved, ComErrorInfo& info) = 0;

  // --- shell32 -----------------------------------------------------------
  virtual HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                                  LPCSTR lpDirectory, INT nShowCmd) = 0;

  // --- ws2_32 ------------------------------------------------------------
  // Winsock is started for the process by the implementation (WSAStartup
  // needs no call of the program's). WSAGetLastError is the thread's last
  // error, as on Windows.
  virtual SOCKET socket(int af, int type, int protocol) = 0;
  virtual int closesocket(SOCKET s) = 0;
  virtual int bind(SOCKET s, const sockaddr* name, int namelen) = 0;
  virtual int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) = 0;
  virtual int ioctlsocket(SOCKET s, long cmd, u_long* argp) = 0;
  virtual int WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                       LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                       LPWSAOVERLAPPED lpOverlapped,
                       LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) = 0;
  virtual int connect(SOCKET s, const sockaddr* name, int namelen) = 0;
  virtual int send(SOCKET s, const char* buf, int len, int flags) = 0;
  virtual int recv(SOCKET s, char* buf, int len, int flags) = 0;
  virtual int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                     int tolen) = 0;
  virtual int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) = 0;
  virtual int WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) = 0;
  virtual int WSAGetLastError() = 0;
};

// The implementation in force: a test's (ScopedWinApi), else the one the
// program installed at start-up (InstallWinApi). Calling it before either is
// a fault of the program, which ends it with a message.
WinApi& Api();

// Makes `api` the process's implementation for the rest of the run. It is
// never destroyed, so that a worker thread still inside a call when the
// program ends finds it alive. For the program's start-up, once.
void InstallWinApi(std::unique_ptr<WinApi> api);

// Makes `api` the process-wide instance for the lifetime of this object and
// restores the previous one afterwards. For tests; not for nesting across
// threads.
class ScopedWinApi {
public:
  explicit ScopedWinApi(WinApi& api);
  ~ScopedWinApi();
  ScopedWinApi(const ScopedWinApi&) = delete;
  ScopedWinApi& operator=(const ScopedWinApi&) = delete;

private:
  WinApi* previous_;
};

// Builds the implementation this platform uses by default: the system on
// Windows; elsewhere the simulated network, or the real one (the module
// platform/smb/, loaded now) when the environment asks for it
// (SKARVET_NETWORK=real). Throws std::runtime_error with DefaultWinApiError()'s
// text when the environment asks for a network this build cannot give.
// Defined with the program's start-up (platform/DefaultWinApi.cpp), above the
// implementations, not in skarvet_core.
std::unique_ptr<WinApi> CreateDefaultWinApi();

// Empty when CreateDefaultWinApi can build what the environment asks for;
// otherwise the text that says why not, for the program to show at start-up.
std::string DefaultWinApiError();

} // namespace skarvet
