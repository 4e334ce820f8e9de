#include "platform/desktop/DesktopWinApi.h"

#include "platform/desktop/Privileges.h"
#include "platform/desktop/SystemMessages.h"
#include "platform/text/TextHelpers.h"

#include <atomic>

namespace skarvet {
namespace {

thread_local DWORD t_lastError = 0;
thread_local int t_comInitialized = 0;
thread_local bool t_hasErrorInfo = false;
thread_local ComErrorInfo t_errorInfo;
// A thread's impersonation, per instance.
thread_local std::map<std::uint64_t, Account> t_impersonation;

std::uint64_t NextInstanceId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1);
}

} // namespace

Account ParseAccount(std::string_view name, std::string_view password) {
  Account account;
  account.given = true;
  account.password = SecretText(password);
  const auto backslash = name.find('\\');
  const auto at = name.find('@');
  if (backslash != std::string_view::npos) {
    account.domain = name.substr(0, backslash);
    account.user = name.substr(backslash + 1);
  } else if (at != std::string_view::npos) {
    account.user = name.substr(0, at);
    account.domain = name.substr(at + 1);
  } else {
    account.user = name;
  }
  return account;
}

std::string_view ShortDomainName(std::string_view domain) {
  return domain.substr(0, domain.find('.'));
}

bool ParseShareName(std::string_view remote, std::string& server, std::string& share) {
  if (remote.size() < 5 || remote[0] != '\\' || remote[1] != '\\') return false;
  const auto slash = remote.find('\\', 2);
  if (slash == std::string_view::npos || slash == 2 || slash + 1 >= remote.size()) return false;
  if (remote.find('\\', slash + 1) != std::string_view::npos) return false;
  server = remote.substr(2, slash - 2);
  share = remote.substr(slash + 1);
  return true;
}

DesktopWinApi::DesktopWinApi() : instanceId_(NextInstanceId()), sysColors_(DefaultSystemColors()) {}

DesktopWinApi::~DesktopWinApi() = default;

// --- user32 ------------------------------------------------------------------------

DWORD DesktopWinApi::GetSysColor(int nIndex) {
  std::lock_guard lock(mutex_);
  // Windows answers 0 (black) for an index it does not know.
  if (nIndex < 0 || nIndex >= static_cast<int>(sysColors_.size())) return 0;
  return sysColors_[static_cast<std::size_t>(nIndex)];
}

void DesktopWinApi::SetSysColor(int nIndex, DWORD color) {
  std::lock_guard lock(mutex_);
  if (nIndex >= 0 && nIndex < static_cast<int>(sysColors_.size()))
    sysColors_[static_cast<std::size_t>(nIndex)] = color;
}

BOOL DesktopWinApi::SetWindowTextA(HWND /*hWnd*/, LPCSTR /*lpString*/) {
  // No windows of this system's own: the windows are the desktop's, which
  // keep their titles. The call succeeds.
  return TRUE;
}

// --- kernel32 ----------------------------------------------------------------------

DWORD DesktopWinApi::GetLastError() {
  return t_lastError;
}

void DesktopWinApi::SetLastError(DWORD dwErrCode) {
  t_lastError = dwErrCode;
}

HANDLE DesktopWinApi::GetCurrentProcess() {
  return CurrentProcessPseudoHandle();
}

HANDLE DesktopWinApi::NewHandleLocked() {
  nextHandle_ += 4;
  return reinterpret_cast<HANDLE>(nextHandle_);
}

BOOL DesktopWinApi::CloseHandle(HANDLE hObject) {
  std::lock_guard lock(mutex_);
  if (tokens_.erase(hObject) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD DesktopWinApi::FormatMessageA(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId,
                                    DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                    va_list* Arguments) {
  DWORD error = ERROR_SUCCESS;
  const DWORD length = FormatSystemMessageA(dwFlags, dwMessageId, OwnSystemMessage(dwMessageId),
                                            dwLanguageId, lpBuffer, nSize, Arguments, error);
  if (length == 0) SetLastError(error);
  return length;
}

const char* DesktopWinApi::OwnSystemMessage(DWORD /*id*/) const {
  return nullptr;
}

// --- advapi32 ----------------------------------------------------------------------

BOOL DesktopWinApi::LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword,
                               DWORD dwLogonType, DWORD dwLogonProvider, PHANDLE phToken) {
  if (!phToken) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  *phToken = nullptr;
  if (!lpszUsername || dwLogonProvider > LOGON32_PROVIDER_WINNT50) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Token token;
  token.access = TOKEN_ALL_ACCESS;
  token.account = ParseAccount(lpszUsername, lpszPassword ? lpszPassword : "");
  if (lpszDomain && *lpszDomain) token.account.domain = lpszDomain;
  const DWORD accepted = AcceptLogon(dwLogonType, token);
  if (accepted != ERROR_SUCCESS) {
    SetLastError(accepted);
    return FALSE;
  }
  std::lock_guard lock(mutex_);
  const HANDLE handle = NewHandleLocked();
  tokens_[handle] = std::move(token);
  *phToken = handle;
  return TRUE;
}

BOOL DesktopWinApi::ImpersonateLoggedOnUser(HANDLE hToken) {
  std::lock_guard lock(mutex_);
  auto it = tokens_.find(hToken);
  if (it == tokens_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second.processToken) {
    // Impersonation needs the query and duplicate rights; a handle opened
    // only to adjust privileges has neither.
    constexpr DWORD needed = TOKEN_QUERY | TOKEN_DUPLICATE;
    if ((it->second.access & needed) != needed) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    t_impersonation.erase(instanceId_); // the process's own identity again
    return TRUE;
  }
  t_impersonation[instanceId_] = it->second.account;
  return TRUE;
}

std::optional<Account> DesktopWinApi::ImpersonatedAccount() const {
  auto it = t_impersonation.find(instanceId_);
  if (it == t_impersonation.end()) return std::nullopt;
  return it->second;
}

Account DesktopWinApi::ThreadAccount() const {
  return ImpersonatedAccount().value_or(Account{});
}

BOOL DesktopWinApi::OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                                     PHANDLE TokenHandle) {
  if (ProcessHandle != CurrentProcessPseudoHandle()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!TokenHandle) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  std::lock_guard lock(mutex_);
  Token token;
  token.processToken = true;
  token.access = DesiredAccess;
  const HANDLE handle = NewHandleLocked();
  tokens_[handle] = std::move(token);
  *TokenHandle = handle;
  return TRUE;
}

DWORD DesktopWinApi::ReachPrivilegeSystem(LPCSTR /*systemName*/) {
  return ERROR_SUCCESS;
}

BOOL DesktopWinApi::LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
  if (!lpName || !lpLuid) {
    SetLastError(lpLuid ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS);
    return FALSE;
  }
  if (lpSystemName && *lpSystemName) {
    // The names are asked of the named system's security service.
    const DWORD reached = ReachPrivilegeSystem(lpSystemName);
    if (reached != ERROR_SUCCESS) {
      SetLastError(reached);
      return FALSE;
    }
  }
  DWORD luid = 0;
  if (!FindPrivilege(lpName, luid)) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  lpLuid->LowPart = luid;
  lpLuid->HighPart = 0;
  return TRUE;
}

BOOL DesktopWinApi::AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                          PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                          PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
  std::lock_guard lock(mutex_);
  auto it = tokens_.find(TokenHandle);
  if (it == tokens_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(it->second.access & TOKEN_ADJUST_PRIVILEGES)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if ((PreviousState && !ReturnLength) || (!DisableAllPrivileges && !NewState)) {
    SetLastError(ERROR_NOACCESS);
    return FALSE;
  }
  return AdjustPrivilegesLocked(it->second, DisableAllPrivileges, NewState, BufferLength,
                                PreviousState, ReturnLength);
}

// --- mpr ---------------------------------------------------------------------------

DWORD DesktopWinApi::WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword,
                                         LPCSTR lpUserName, DWORD /*dwFlags*/) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lpNetResource) return fail(ERROR_INVALID_ADDRESS);
  if (!lpNetResource->lpRemoteName) return fail(ERROR_BAD_NET_NAME);
  if (lpNetResource->dwType > 2) return fail(ERROR_INVALID_PARAMETER); // any, disk or print
  if (lpNetResource->lpProvider && !EqualsIgnoreCase(lpNetResource->lpProvider, kWindowsNetwork))
    return fail(ERROR_BAD_PROVIDER);
  ConnectionRequest request{{}, {}, {}, lpUserName, lpPassword};
  if (!ParseShareName(lpNetResource->lpRemoteName, request.server, request.share))
    return fail(ERROR_BAD_NET_NAME);
  if (lpNetResource->lpLocalName) request.localName = lpNetResource->lpLocalName;
  const DWORD result = AddConnection(request);
  if (result != NO_ERROR) return fail(result);
  return NO_ERROR;
}

DWORD DesktopWinApi::WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage,
                                   LPNETRESOURCEA lpNetResource, LPHANDLE lphEnum) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lphEnum) return fail(ERROR_INVALID_ADDRESS);
  if (dwScope != RESOURCE_CONNECTED && dwScope != RESOURCE_GLOBALNET &&
      dwScope != RESOURCE_REMEMBERED)
    return fail(ERROR_INVALID_PARAMETER);
  if (dwType > 2) return fail(ERROR_INVALID_PARAMETER); // ANY, DISK, PRINT

  if (dwScope == RESOURCE_GLOBALNET && lpNetResource) {
    if (!lpNetResource->lpRemoteName) return fail(ERROR_INVALID_PARAMETER);
    if ((lpNetResource->dwUsage & RESOURCEUSAGE_CONTAINER) == 0) return fail(ERROR_NOT_CONTAINER);
  }

  Enumeration enumeration;
  DWORD error = NO_ERROR;
  if (!ListResources(dwScope, dwScope == RESOURCE_GLOBALNET ? lpNetResource : nullptr,
                     enumeration.entries, error))
    return fail(error);
  if (dwUsage != 0) {
    std::erase_if(enumeration.entries,
                  [&](const ListedResource& entry) { return (entry.usage & dwUsage) == 0; });
  }
  std::lock_guard lock(mutex_);
  const HANDLE handle = NewHandleLocked();
  enumerations_.emplace(handle, std::move(enumeration));
  *lphEnum = handle;
  return NO_ERROR;
}

DWORD DesktopWinApi::WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                                       LPDWORD lpBufferSize) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lpcCount || !lpBufferSize) return fail(ERROR_INVALID_ADDRESS);
  if (*lpcCount == 0) return fail(ERROR_INVALID_PARAMETER);

  // Looked up before and after the wait: another thread may close the
  // handle meanwhile. The end of a listing is known without waiting.
  auto find = [&]() -> Enumeration* {
    auto it = enumerations_.find(hEnum);
    return it == enumerations_.end() ? nullptr : &it->second;
  };
  {
    std::lock_guard lock(mutex_);
    const Enumeration* enumeration = find();
    if (!enumeration) return fail(ERROR_INVALID_HANDLE);
    if (enumeration->next >= enumeration->entries.size()) {
      *lpcCount = 0;
      return fail(ERROR_NO_MORE_ITEMS);
    }
  }
  BeforeEnumerationRead();

  std::lock_guard lock(mutex_);
  Enumeration* enumeration = find();
  if (!enumeration) return fail(ERROR_INVALID_HANDLE);
  const DWORD result =
      PackResources(enumeration->entries, enumeration->next, lpcCount, lpBuffer, lpBufferSize);
  if (result != NO_ERROR) return fail(result);
  return NO_ERROR;
}

DWORD DesktopWinApi::WNetCloseEnum(HANDLE hEnum) {
  std::lock_guard lock(mutex_);
  if (enumerations_.erase(hEnum) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return ERROR_INVALID_HANDLE;
  }
  return NO_ERROR;
}

// --- netapi32 ----------------------------------------------------------------------

NET_API_STATUS DesktopWinApi::NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                            DWORD prefmaxlen, LPDWORD entriesread,
                                            LPDWORD totalentries, DWORD servertype, LPCWSTR domain,
                                            LPDWORD resume_handle) {
  if (!bufptr || !entriesread || !totalentries) return ERROR_INVALID_PARAMETER;
  *bufptr = nullptr;
  *entriesread = 0;
  *totalentries = 0;
  if (level != 101) return ERROR_INVALID_LEVEL;

  std::vector<ServerRow> rows;
  const NET_API_STATUS listed = ListServers(servername, servertype, domain, rows);
  if (listed != NERR_Success) return listed;

  std::unique_ptr<unsigned char[]> block;
  const NET_API_STATUS status =
      PackServerInfo101(rows, prefmaxlen, block, entriesread, totalentries, resume_handle);
  if (block) {
    *bufptr = block.get();
    std::lock_guard lock(mutex_);
    netBuffers_.emplace(block.get(), std::move(block));
  }
  return status;
}

NET_API_STATUS DesktopWinApi::NetApiBufferFree(LPVOID Buffer) {
  if (!Buffer) return NERR_Success;
  std::lock_guard lock(mutex_);
  if (netBuffers_.erase(Buffer) == 0) return ERROR_INVALID_PARAMETER;
  return NERR_Success;
}

// --- ole32 -------------------------------------------------------------------------

HRESULT DesktopWinApi::CoInitialize(LPVOID pvReserved) {
  if (pvReserved) return E_INVALIDARG;
  return t_comInitialized++ == 0 ? S_OK : S_FALSE;
}

bool DesktopWinApi::ThreadComInitialized() {
  return t_comInitialized > 0;
}

HRESULT DesktopWinApi::GetErrorInfo(DWORD /*dwReserved*/, ComErrorInfo& info) {
  if (!t_hasErrorInfo) return S_FALSE;
  info = t_errorInfo;
  // Taking the error information clears it, as GetErrorInfo does.
  ClearThreadErrorInfo();
  return S_OK;
}

void DesktopWinApi::SetThreadErrorInfo(const ComErrorInfo& info) {
  t_errorInfo = info;
  t_hasErrorInfo = true;
}

void DesktopWinApi::ClearThreadErrorInfo() {
  t_hasErrorInfo = false;
  t_errorInfo = {};
}

// --- shell32 -----------------------------------------------------------------------

HINSTANCE DesktopWinApi::ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile,
                                       LPCSTR /*lpParameters*/, LPCSTR /*lpDirectory*/,
                                       INT /*nShowCmd*/) {
  return shell_.ShellExecuteA(lpOperation, lpFile, *this);
}

void DesktopWinApi::SetUrlOpener(UrlOpener opener) {
  shell_.SetUrlOpener(std::move(opener));
}

// --- ws2_32 ------------------------------------------------------------------------

SOCKET DesktopWinApi::socket(int af, int type, int protocol) {
  return SocketLayer().socket(af, type, protocol);
}

int DesktopWinApi::closesocket(SOCKET s) {
  return SocketLayer().closesocket(s);
}

int DesktopWinApi::bind(SOCKET s, const sockaddr* name, int namelen) {
  return SocketLayer().bind(s, name, namelen);
}

int DesktopWinApi::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  return SocketLayer().setsockopt(s, level, optname, optval, optlen);
}

int DesktopWinApi::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  return SocketLayer().ioctlsocket(s, cmd, argp);
}

int DesktopWinApi::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                            LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                            LPWSAOVERLAPPED lpOverlapped,
                            LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  return SocketLayer().WSAIoctl(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer,
                                cbOutBuffer, lpcbBytesReturned, lpOverlapped, lpCompletionRoutine);
}

int DesktopWinApi::connect(SOCKET s, const sockaddr* name, int namelen) {
  return SocketLayer().connect(s, name, namelen);
}

int DesktopWinApi::send(SOCKET s, const char* buf, int len, int flags) {
  return SocketLayer().send(s, buf, len, flags);
}

int DesktopWinApi::recv(SOCKET s, char* buf, int len, int flags) {
  return SocketLayer().recv(s, buf, len, flags);
}

int DesktopWinApi::sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                          int tolen) {
  return SocketLayer().sendto(s, buf, len, flags, to, tolen);
}

int DesktopWinApi::recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  return SocketLayer().recvfrom(s, buf, len, flags, from, fromlen);
}

int DesktopWinApi::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  return SocketLayer().WSAPoll(fdArray, fds, timeout);
}

int DesktopWinApi::WSAGetLastError() {
  return static_cast<int>(GetLastError());
}

} // namespace skarvet
