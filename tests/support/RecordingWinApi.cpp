#include "tests/support/RecordingWinApi.h"

#include "platform/text/Utf8.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace skarvet::test {
namespace {

thread_local DWORD t_lastError = 0;
thread_local bool t_hasErrorInfo = false;
thread_local ComErrorInfo t_errorInfo;

class RecordingScriptControl : public ScriptControlObject {
public:
  explicit RecordingScriptControl(RecordingWinApi& api) : api_(api) {}
  ~RecordingScriptControl() override { api_.Record("ScriptControl.Release", {}); }

  HRESULT PutProperty(DISPID dispId, const ScriptValue& value) override {
    api_.Record("ScriptControl.PutProperty",
                {RecordingWinApi::Num(dispId), value.kind == ScriptValue::Kind::Text
                                                   ? "\"" + ToUtf8(value.text) + "\""
                                                   : RecordingWinApi::Num(value.integer)});
    return api_.onPutProperty ? api_.onPutProperty(dispId, value) : S_OK;
  }
  HRESULT QueryScriptControl() override {
    api_.Record("ScriptControl.QueryScriptControl", {});
    return api_.onQueryScriptControl ? api_.onQueryScriptControl() : S_OK;
  }
  HRESULT AddCode(const std::u16string& code) override {
    api_.Record("ScriptControl.AddCode", {ToUtf8(code)});
    return api_.onAddCode ? api_.onAddCode(code) : S_OK;
  }
  HRESULT ExecuteStatement(const std::u16string& statement) override {
    api_.Record("ScriptControl.ExecuteStatement", {ToUtf8(statement)});
    return api_.onExecuteStatement ? api_.onExecuteStatement(statement) : S_OK;
  }

private:
  RecordingWinApi& api_;
};

} // namespace

RecordingWinApi::RecordingWinApi() = default;
RecordingWinApi::~RecordingWinApi() = default;

std::vector<RecordedCall> RecordingWinApi::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> RecordingWinApi::CallNames() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const auto& call : calls_) names.push_back(call.name);
  return names;
}

std::vector<RecordedCall> RecordingWinApi::CallsNamed(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::vector<RecordedCall> result;
  for (const auto& call : calls_)
    if (call.name == name) result.push_back(call);
  return result;
}

int RecordingWinApi::CountOf(const std::string& name) const {
  return static_cast<int>(CallsNamed(name).size());
}

void RecordingWinApi::Clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

void RecordingWinApi::Record(std::string name, std::vector<std::string> args) {
  std::lock_guard lock(mutex_);
  calls_.push_back({std::move(name), std::move(args)});
}

std::string RecordingWinApi::Str(LPCSTR text) {
  return text ? "\"" + std::string(text) + "\"" : "null";
}

std::string RecordingWinApi::Str(LPCWSTR text) {
  if (!text) return "null";
  std::u16string wide;
  for (const WIDECHAR* p = text; *p; ++p) wide.push_back(static_cast<char16_t>(*p));
  return "\"" + ToUtf8(wide) + "\"";
}

std::string RecordingWinApi::Num(long long value) {
  return std::to_string(value);
}

std::string RecordingWinApi::Ptr(const void* pointer) {
  return pointer ? "ptr" : "null";
}

HANDLE RecordingWinApi::NewHandle() {
  std::lock_guard lock(mutex_);
  nextHandle_ += 4;
  return reinterpret_cast<HANDLE>(nextHandle_);
}

void RecordingWinApi::SetThreadErrorInfo(const ComErrorInfo& info) {
  t_errorInfo = info;
  t_hasErrorInfo = true;
}

void RecordingWinApi::ClearThreadErrorInfo() {
  t_errorInfo = {};
  t_hasErrorInfo = false;
}

DWORD RecordingWinApi::GetSysColor(int nIndex) {
  Record("GetSysColor", {Num(nIndex)});
  if (onGetSysColor) return onGetSysColor(nIndex);
  return nIndex == COLOR_GRADIENTACTIVECAPTION ? RGB(166, 202, 240) : RGB(128, 128, 128);
}

BOOL RecordingWinApi::SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  Record("SetWindowTextA", {Num(reinterpret_cast<std::intptr_t>(hWnd)), Str(lpString)});
  return onSetWindowTextA ? onSetWindowTextA(hWnd, lpString) : TRUE;
}

DWORD RecordingWinApi::GetLastError() {
  return t_lastError;
}

void RecordingWinApi::SetLastError(DWORD dwErrCode) {
  t_lastError = dwErrCode;
}

HANDLE RecordingWinApi::GetCurrentProcess() {
  Record("GetCurrentProcess", {});
  return CurrentProcessPseudoHandle();
}

BOOL RecordingWinApi::CloseHandle(HANDLE hObject) {
  Record("CloseHandle", {Num(reinterpret_cast<std::intptr_t>(hObject))});
  return onCloseHandle ? onCloseHandle(hObject) : TRUE;
}

DWORD RecordingWinApi::FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                      DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                      va_list* Arguments) {
  Record("FormatMessageA", {Num(dwFlags), Ptr(lpSource), Num(dwMessageId), Num(dwLanguageId),
                            Ptr(lpBuffer), Num(nSize), Ptr(Arguments)});
  if (onFormatMessageA)
    return onFormatMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize);
  t_lastError = 317; // ERROR_MR_MID_NOT_FOUND
  return 0;
}

BOOL RecordingWinApi::LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword,
                                 DWORD dwLogonType, DWORD dwLogonProvider, PHANDLE phToken) {
  Record("LogonUserA", {Str(lpszUsername), Str(lpszDomain), Str(lpszPassword), Num(dwLogonType),
                        Num(dwLogonProvider)});
  if (onLogonUserA)
    return onLogonUserA(lpszUsername, lpszDomain, lpszPassword, dwLogonType, dwLogonProvider,
                        phToken);
  *phToken = NewHandle();
  return TRUE;
}

BOOL RecordingWinApi::ImpersonateLoggedOnUser(HANDLE hToken) {
  Record("ImpersonateLoggedOnUser", {Num(reinterpret_cast<std::intptr_t>(hToken))});
  return onImpersonateLoggedOnUser ? onImpersonateLoggedOnUser(hToken) : TRUE;
}

BOOL RecordingWinApi::OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                                       PHANDLE TokenHandle) {
  Record("OpenProcessToken",
         {Num(reinterpret_cast<std::intptr_t>(ProcessHandle)), Num(DesiredAccess)});
  if (onOpenProcessToken) return onOpenProcessToken(ProcessHandle, DesiredAccess, TokenHandle);
  *TokenHandle = NewHandle();
  return TRUE;
}

BOOL RecordingWinApi::LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
  Record("LookupPrivilegeValueA", {Str(lpSystemName), Str(lpName)});
  if (onLookupPrivilegeValueA) return onLookupPrivilegeValueA(lpSystemName, lpName, lpLuid);
  lpLuid->LowPart = 19; // the shutdown privilege's value on Windows
  lpLuid->HighPart = 0;
  return TRUE;
}

BOOL RecordingWinApi::AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                            PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                            PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
  std::vector<std::string> args = {Num(reinterpret_cast<std::intptr_t>(TokenHandle)),
                                   Num(DisableAllPrivileges)};
  if (NewState) {
    args.push_back(Num(NewState->PrivilegeCount));
    args.push_back(Num(NewState->Privileges[0].Luid.LowPart));
    args.push_back(Num(NewState->Privileges[0].Luid.HighPart));
    args.push_back(Num(NewState->Privileges[0].Attributes));
  } else {
    args.push_back("null");
  }
  args.push_back(Num(BufferLength));
  args.push_back(Ptr(PreviousState));
  args.push_back(ReturnLength ? Num(*ReturnLength) : "null");
  Record("AdjustTokenPrivileges", std::move(args));
  if (onAdjustTokenPrivileges)
    return onAdjustTokenPrivileges(TokenHandle, DisableAllPrivileges, NewState, BufferLength,
                                   PreviousState, ReturnLength);
  t_lastError = ERROR_SUCCESS;
  return TRUE;
}

BOOL RecordingWinApi::InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage,
                                                DWORD dwTimeout, BOOL bForceAppsClosed,
                                                BOOL bRebootAfterShutdown, DWORD dwReason) {
  Record("InitiateSystemShutdownExA",
         {Str(lpMachineName), Str(lpMessage), Num(dwTimeout), Num(bForceAppsClosed),
          Num(bRebootAfterShutdown), Num(dwReason)});
  if (onInitiateSystemShutdownExA)
    return onInitiateSystemShutdownExA(lpMachineName, lpMessage, dwTimeout, bForceAppsClosed,
                                       bRebootAfterShutdown, dwReason);
  return TRUE;
}

DWORD RecordingWinApi::WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword,
                                           LPCSTR lpUserName, DWORD dwFlags) {
  std::vector<std::string> args;
  if (lpNetResource) {
    args = {Num(lpNetResource->dwType), Str(lpNetResource->lpLocalName),
            Str(lpNetResource->lpRemoteName), Str(lpNetResource->lpProvider)};
  } else {
    args = {"null"};
  }
  args.push_back(Str(lpPassword));
  args.push_back(Str(lpUserName));
  args.push_back(Num(dwFlags));
  Record("WNetAddConnection2A", std::move(args));
  return onWNetAddConnection2A
             ? onWNetAddConnection2A(lpNetResource, lpPassword, lpUserName, dwFlags)
             : NO_ERROR;
}

DWORD RecordingWinApi::WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage,
                                     LPNETRESOURCEA lpNetResource, LPHANDLE lphEnum) {
  Record("WNetOpenEnumA", {Num(dwScope), Num(dwType), Num(dwUsage),
                           lpNetResource ? Str(lpNetResource->lpRemoteName) : "null"});
  if (onWNetOpenEnumA) return onWNetOpenEnumA(dwScope, dwType, dwUsage, lpNetResource, lphEnum);
  *lphEnum = NewHandle();
  return NO_ERROR;
}

DWORD RecordingWinApi::WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                                         LPDWORD lpBufferSize) {
  Record("WNetEnumResourceA",
         {Num(reinterpret_cast<std::intptr_t>(hEnum)), lpcCount ? Num(*lpcCount) : "null",
          Ptr(lpBuffer), lpBufferSize ? Num(*lpBufferSize) : "null"});
  if (onWNetEnumResourceA) return onWNetEnumResourceA(hEnum, lpcCount, lpBuffer, lpBufferSize);
  return ERROR_NO_MORE_ITEMS;
}

DWORD RecordingWinApi::WNetCloseEnum(HANDLE hEnum) {
  Record("WNetCloseEnum", {Num(reinterpret_cast<std::intptr_t>(hEnum))});
  return onWNetCloseEnum ? onWNetCloseEnum(hEnum) : NO_ERROR;
}

NET_API_STATUS RecordingWinApi::NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                              DWORD prefmaxlen, LPDWORD entriesread,
                                              LPDWORD totalentries, DWORD servertype,
                                              LPCWSTR domain, LPDWORD resume_handle) {
  Record("NetServerEnum", {Str(servername), Num(level), Num(prefmaxlen), Num(servertype),
                           Str(domain), resume_handle ? Num(*resume_handle) : "null"});
  if (onNetServerEnum)
    return onNetServerEnum(servername, level, bufptr, prefmaxlen, entriesread, totalentries,
                           servertype, domain, resume_handle);
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  return NERR_Success;
}

NET_API_STATUS RecordingWinApi::NetApiBufferFree(LPVOID Buffer) {
  Record("NetApiBufferFree", {Ptr(Buffer)});
  return onNetApiBufferFree ? onNetApiBufferFree(Buffer) : NERR_Success;
}

HRESULT RecordingWinApi::CoInitialize(LPVOID pvReserved) {
  Record("CoInitialize", {Ptr(pvReserved)});
  return onCoInitialize ? onCoInitialize(pvReserved) : S_OK;
}

HRESULT RecordingWinApi::CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) {
  Record("CoCreateScriptControl", {});
  if (onCoCreateScriptControl) {
    const HRESULT hr = onCoCreateScriptControl();
    if (FAILED(hr)) return hr;
  }
  object = std::make_unique<RecordingScriptControl>(*this);
  return S_OK;
}

HRESULT RecordingWinApi::GetErrorInfo(DWORD /*dwReserved*/, ComErrorInfo& info) {
  Record("GetErrorInfo", {});
  if (!t_hasErrorInfo) return S_FALSE;
  info = t_errorInfo;
  ClearThreadErrorInfo();
  return S_OK;
}

HINSTANCE RecordingWinApi::ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile,
                                         LPCSTR lpParameters, LPCSTR lpDirectory, INT nShowCmd) {
  Record("ShellExecuteA", {Ptr(hwnd), Str(lpOperation), Str(lpFile), Str(lpParameters),
                           Str(lpDirectory), Num(nShowCmd)});
  if (onShellExecuteA)
    return onShellExecuteA(hwnd, lpOperation, lpFile, lpParameters, lpDirectory, nShowCmd);
  return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(42));
}

std::string RecordingWinApi::Address(const sockaddr* address, int length) {
  if (!address) return "null";
  if (length < static_cast<int>(sizeof(sockaddr_in))) return "short";
  sockaddr_in in;
  std::memcpy(&in, address, sizeof in);
  const std::uint32_t ip = ntohl(in.sin_addr.s_addr);
  return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 0xFF) + "." +
         std::to_string((ip >> 8) & 0xFF) + "." + std::to_string(ip & 0xFF) + ":" +
         std::to_string(ntohs(in.sin_port));
}

int RecordingWinApi::OpenSockets() const {
  std::lock_guard lock(mutex_);
  return openSockets_;
}

SOCKET RecordingWinApi::socket(int af, int type, int protocol) {
  Record("socket", {Num(af), Num(type), Num(protocol)});
  const SOCKET s = onSocket ? onSocket(af, type, protocol) : reinterpret_cast<SOCKET>(NewHandle());
  if (s != INVALID_SOCKET) {
    std::lock_guard lock(mutex_);
    ++openSockets_;
  }
  return s;
}

int RecordingWinApi::closesocket(SOCKET s) {
  Record("closesocket", {Num(static_cast<long long>(s))});
  std::lock_guard lock(mutex_);
  --openSockets_;
  return 0;
}

int RecordingWinApi::bind(SOCKET s, const sockaddr* name, int namelen) {
  Record("bind", {Num(static_cast<long long>(s)), Address(name, namelen)});
  return onBind ? onBind(s, name, namelen) : 0;
}

int RecordingWinApi::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  Record("setsockopt", {Num(static_cast<long long>(s)), Num(level), Num(optname), Num(optlen)});
  return onSetsockopt ? onSetsockopt(s, level, optname, optval, optlen) : 0;
}

int RecordingWinApi::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  Record("ioctlsocket", {Num(static_cast<long long>(s)), Num(static_cast<long long>(cmd)),
                         argp ? Num(static_cast<long long>(*argp)) : "null"});
  return 0;
}

int RecordingWinApi::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID /*lpvInBuffer*/,
                              DWORD /*cbInBuffer*/, LPVOID lpvOutBuffer, DWORD cbOutBuffer,
                              LPDWORD lpcbBytesReturned, LPWSAOVERLAPPED lpOverlapped,
                              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  Record("WSAIoctl", {Num(static_cast<long long>(s)), Num(dwIoControlCode), Num(cbOutBuffer),
                      Ptr(lpOverlapped), Ptr(reinterpret_cast<const void*>(lpCompletionRoutine))});
  if (dwIoControlCode == SIO_GET_INTERFACE_LIST && onGetInterfaceList)
    return onGetInterfaceList(s, lpvOutBuffer, cbOutBuffer, lpcbBytesReturned);
  if (lpcbBytesReturned) *lpcbBytesReturned = 0;
  return 0;
}

int RecordingWinApi::connect(SOCKET s, const sockaddr* name, int namelen) {
  Record("connect", {Num(static_cast<long long>(s)), Address(name, namelen)});
  if (onConnect) return onConnect(s, name, namelen);
  SetLastError(WSAEWOULDBLOCK);
  return SOCKET_ERROR;
}

int RecordingWinApi::send(SOCKET s, const char* buf, int len, int /*flags*/) {
  Record("send", {Num(static_cast<long long>(s)), Num(len)});
  return onSend ? onSend(s, buf, len) : len;
}

int RecordingWinApi::recv(SOCKET s, char* buf, int len, int /*flags*/) {
  Record("recv", {Num(static_cast<long long>(s)), Num(len)});
  if (onRecv) return onRecv(s, buf, len);
  SetLastError(WSAEWOULDBLOCK);
  return SOCKET_ERROR;
}

int RecordingWinApi::sendto(SOCKET s, const char* buf, int len, int /*flags*/, const sockaddr* to,
                            int tolen) {
  Record("sendto", {Num(static_cast<long long>(s)), Address(to, tolen)});
  return onSendto ? onSendto(s, buf, len, to, tolen) : len;
}

int RecordingWinApi::recvfrom(SOCKET s, char* buf, int len, int /*flags*/, sockaddr* from,
                              int* fromlen) {
  Record("recvfrom", {Num(static_cast<long long>(s)), Num(len)});
  if (onRecvfrom) return onRecvfrom(s, buf, len, from, fromlen);
  SetLastError(WSAEWOULDBLOCK);
  return SOCKET_ERROR;
}

int RecordingWinApi::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  Record("WSAPoll", {Num(fds), Num(timeout)});
  if (onWSAPoll) return onWSAPoll(fdArray, fds, timeout);
  for (ULONG i = 0; i < fds; ++i) fdArray[i].revents = 0;
  if (timeout > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
  return 0;
}

int RecordingWinApi::WSAGetLastError() {
  return static_cast<int>(t_lastError);
}

} // namespace skarvet::test
