// Logon, impersonation, connections, the process token and the shutdown
// request of the real network off Windows.
//
// As on Windows, a new-credentials logon checks nothing: it remembers the
// account, and the target checks it when a call reaches it. The process
// token's privileges are the target's business (it checks its own right to
// shut down), so the local token calls succeed.
#include "platform/smb/SmbWinApi.h"

#include "platform/desktop/Privileges.h"
#include "platform/smb/SmbSession.h"

#include "platform/smb/DceRpc.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace skarvet {
namespace {

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD kTokenAllAccess = 0x000F01FF;
constexpr DWORD kErrorNoAccess = 998;                          // ERROR_NOACCESS
constexpr DWORD kErrorBadDevice = 1200;                        // ERROR_BAD_DEVICE
constexpr DWORD kErrorBadProvider = 1204;                      // ERROR_BAD_PROVIDER
constexpr DWORD kErrorCredentialConflict = 1219;               // ERROR_SESSION_CREDENTIAL_CONFLICT
constexpr DWORD kRpcServerUnavailable = 1722;                  // RPC_S_SERVER_UNAVAILABLE
constexpr DWORD kRpcUnknownInterface = 1717;                   // RPC_S_UNKNOWN_IF
constexpr DWORD kRpcCallFailed = 1726;                         // RPC_S_CALL_FAILED
constexpr DWORD kRpcProtocolError = 1728;                      // RPC_S_PROTOCOL_ERROR
constexpr DWORD kMaxShutdownTimeout = 10 * 365 * 24 * 60 * 60; // ten years, in seconds

// A thread's impersonation, per instance (a test may make several).
thread_local std::map<std::uint64_t, smb::Account> t_impersonation;

bool EqualsIgnoreCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return *a == *b;
}

// The message as the pipe carries it. The program's texts are ASCII; other
// bytes are taken as Latin-1.
std::u16string Widen(const char* text) {
  std::u16string wide;
  for (const char* p = text; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

} // namespace

smb::Account SmbWinApi::AccountFor(const std::string& key) const {
  auto impersonated = t_impersonation.find(instanceId_);
  if (impersonated != t_impersonation.end()) return impersonated->second;
  std::lock_guard lock(mutex_);
  auto connection = connections_.find(key);
  if (connection != connections_.end()) return connection->second;
  return {};
}

// --- logon and impersonation ------------------------------------------------------

BOOL SmbWinApi::LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword,
                           DWORD dwLogonType, DWORD dwLogonProvider, PHANDLE phToken) {
  if (!phToken) {
    SetLastError(kErrorNoAccess);
    return FALSE;
  }
  *phToken = nullptr;
  if (!lpszUsername || dwLogonProvider > LOGON32_PROVIDER_WINNT50) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Only a logon for the network can be made here: this computer's own
  // logons are not Windows'.
  if (dwLogonType != LOGON32_LOGON_NEW_CREDENTIALS) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  smb::Account account = smb::ParseAccount(lpszUsername, lpszPassword ? lpszPassword : "");
  if (lpszDomain && *lpszDomain) account.domain = lpszDomain;

  std::lock_guard lock(mutex_);
  Token token;
  token.access = kTokenAllAccess;
  token.account = std::move(account);
  const HANDLE handle = NewHandleLocked();
  tokens_[handle] = std::move(token);
  *phToken = handle;
  return TRUE;
}

BOOL SmbWinApi::ImpersonateLoggedOnUser(HANDLE hToken) {
  std::lock_guard lock(mutex_);
  auto it = tokens_.find(hToken);
  if (it == tokens_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second.processToken) {
    t_impersonation.erase(instanceId_); // the process's own identity again
    return TRUE;
  }
  t_impersonation[instanceId_] = it->second.account;
  return TRUE;
}

// --- the process token -------------------------------------------------------------------

BOOL SmbWinApi::OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  if (ProcessHandle != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!TokenHandle) {
    SetLastError(kErrorNoAccess);
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

BOOL SmbWinApi::LookupPrivilegeValueA(LPCSTR /*lpSystemName*/, LPCSTR lpName, PLUID lpLuid) {
  if (!lpName || !lpLuid) {
    SetLastError(lpLuid ? ERROR_INVALID_PARAMETER : kErrorNoAccess);
    return FALSE;
  }
  DWORD luid = 0;
  if (FindPrivilege(lpName, luid)) {
    lpLuid->LowPart = luid;
    lpLuid->HighPart = 0;
    return TRUE;
  }
  SetLastError(ERROR_NO_SUCH_PRIVILEGE);
  return FALSE;
}

BOOL SmbWinApi::AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                      PTOKEN_PRIVILEGES NewState, DWORD /*BufferLength*/,
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
    SetLastError(kErrorNoAccess);
    return FALSE;
  }
  // The target checks its own right; locally every privilege is held, and
  // nothing was enabled before.
  if (PreviousState) {
    *ReturnLength = sizeof(TOKEN_PRIVILEGES);
    PreviousState->PrivilegeCount = 0;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// --- the shutdown request ----------------------------------------------------------------

BOOL SmbWinApi::InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                          BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                          DWORD dwReason) {
  if (dwTimeout > kMaxShutdownTimeout) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string urlHost;
  std::string key;
  DWORD error = ERROR_SUCCESS;
  if (!smb::HostOfName(lpMachineName, urlHost, key, error)) {
    SetLastError(error);
    return FALSE;
  }
  const smb::Account account = AccountFor(key);
  if (!account.Fits()) {
    SetLastError(ERROR_LOGON_FAILURE);
    return FALSE;
  }
  smb::Session session(configFile_, account, smb::Dialect::Calls);
  if (!session.Ready()) {
    SetLastError(smb::ConnectError(session.Errno()));
    return FALSE;
  }
  const DWORD result =
      SendInitEx(session, urlHost, lpMessage ? lpMessage : "", dwTimeout, bForceAppsClosed != FALSE,
                 bRebootAfterShutdown != FALSE, dwReason);
  SetLastError(result);
  return result == ERROR_SUCCESS ? TRUE : FALSE;
}

DWORD SmbWinApi::SendInitEx(smb::Session& session, const std::string& urlHost,
                            const std::string& message, DWORD timeout, bool force, bool reboot,
                            DWORD reason) {
  dcerpc::InitExArguments arguments;
  arguments.message = Widen(message.c_str());
  arguments.timeout = timeout;
  arguments.forceApps = force;
  arguments.reboot = reboot;
  arguments.reason = reason;
  const dcerpc::Bytes request = dcerpc::EncodeInitExRequest(2, arguments);
  if (request.empty()) return ERROR_INVALID_PARAMETER; // a message too long to send

  SMBCFILE* pipe = session.Open("smb://" + urlHost + "/IPC$/InitShutdown", O_RDWR);
  // A host that answers and lets the account in, but has no such pipe, has
  // no shutdown service to call.
  if (!pipe) return errno == ENOENT ? kRpcServerUnavailable : smb::ConnectError(errno);

  // One PDU: its header first, then exactly the rest it announces (a read
  // of more would wait for bytes that never come).
  auto readAnswer = [&](dcerpc::Bytes& pdu) -> DWORD {
    pdu.assign(dcerpc::kHeaderSize, 0);
    if (!session.ReadExactly(pipe, pdu.data(), pdu.size())) return kRpcCallFailed;
    const auto header = dcerpc::DecodeHeader(pdu);
    if (!header) return kRpcProtocolError;
    pdu.resize(header->fragLength);
    if (!session.ReadExactly(pipe, pdu.data() + dcerpc::kHeaderSize,
                             pdu.size() - dcerpc::kHeaderSize))
      return kRpcCallFailed;
    return ERROR_SUCCESS;
  };

  DWORD result = ERROR_SUCCESS;
  dcerpc::Bytes answer;
  const dcerpc::Bytes bind = dcerpc::EncodeBind(1);
  if (!session.WriteAll(pipe, bind.data(), bind.size())) {
    result = kRpcServerUnavailable;
  } else if (const DWORD read = readAnswer(answer); read != ERROR_SUCCESS) {
    result = read == kRpcCallFailed ? kRpcServerUnavailable : read;
  } else {
    const dcerpc::Answer bound = dcerpc::DecodeBindAnswer(answer, 1);
    if (bound.kind == dcerpc::Answer::Kind::BindRejected) {
      result = kRpcUnknownInterface;
    } else if (bound.kind != dcerpc::Answer::Kind::BindAccepted) {
      result = kRpcProtocolError;
    } else if (!session.WriteAll(pipe, request.data(), request.size())) {
      result = kRpcCallFailed;
    } else if (const DWORD read2 = readAnswer(answer); read2 != ERROR_SUCCESS) {
      result = read2;
    } else {
      const dcerpc::Answer called = dcerpc::DecodeCallAnswer(answer, 2);
      switch (called.kind) {
      case dcerpc::Answer::Kind::Result:
        result = called.status;
        break;
      case dcerpc::Answer::Kind::Fault:
        result = dcerpc::FaultToWin32(called.status);
        break;
      default:
        result = kRpcProtocolError;
        break;
      }
    }
  }
  session.Close(pipe);
  return result;
}

// --- connections ------------------------------------------------------------------------

DWORD SmbWinApi::WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword,
                                     LPCSTR lpUserName, DWORD /*dwFlags*/) {
  auto fail = [this](DWORD error) {
    SetLastError(error);
    return error;
  };
  if (!lpNetResource) return fail(ERROR_INVALID_ADDRESS);
  if (!lpNetResource->lpRemoteName) return fail(ERROR_BAD_NET_NAME);
  if (lpNetResource->dwType > 2) return fail(ERROR_INVALID_PARAMETER);
  if (lpNetResource->lpProvider &&
      !EqualsIgnoreCase(lpNetResource->lpProvider, "Microsoft Windows Network"))
    return fail(kErrorBadProvider);
  // No device of this system can be redirected to a share.
  if (lpNetResource->lpLocalName && *lpNetResource->lpLocalName) return fail(kErrorBadDevice);

  // "\\SERVER\share"
  const std::string remote = lpNetResource->lpRemoteName;
  if (remote.size() < 5 || remote[0] != '\\' || remote[1] != '\\') return fail(ERROR_BAD_NET_NAME);
  const auto slash = remote.find('\\', 2);
  if (slash == std::string::npos || slash == 2 || slash + 1 >= remote.size())
    return fail(ERROR_BAD_NET_NAME);
  const std::string share = remote.substr(slash + 1);
  if (share.find('\\') != std::string::npos) return fail(ERROR_BAD_NET_NAME);
  std::string urlHost;
  std::string key;
  DWORD error = ERROR_SUCCESS;
  if (!smb::HostOfName(remote.substr(2, slash - 2).c_str(), urlHost, key, error))
    return fail(error);
  for (char c : share) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '$';
    if (!allowed) return fail(ERROR_BAD_NET_NAME);
  }
  const bool ipc = EqualsIgnoreCase(share.c_str(), "ipc$");

  smb::Account account;
  if (lpUserName) {
    account = smb::ParseAccount(lpUserName, lpPassword ? lpPassword : "");
  } else {
    account = AccountFor(key);
    if (lpPassword && account.given) account.password = lpPassword;
  }
  if (!account.Fits()) return fail(ERROR_LOGON_FAILURE);
  {
    // One account per host and logon session.
    std::lock_guard lock(mutex_);
    auto existing = connections_.find(key);
    if (existing != connections_.end() && !(existing->second == account))
      return fail(kErrorCredentialConflict);
  }

  smb::Session session(configFile_, account, smb::Dialect::Calls);
  if (!session.Ready()) return fail(smb::ConnectError(session.Errno()));
  if (ipc) {
    // Logging on to the share is what counts; a pipe every server has
    // proves it.
    SMBCFILE* pipe = session.Open("smb://" + urlHost + "/IPC$/srvsvc", O_RDWR);
    // A missing pipe is reported only after the logon has succeeded.
    if (!pipe && errno != ENOENT) return fail(smb::ConnectError(errno));
    session.Close(pipe);
  } else {
    SMBCFILE* dir = session.OpenDir("smb://" + urlHost + "/" + share + "/");
    if (!dir) return fail(errno == ENOENT ? ERROR_BAD_NET_NAME : smb::ConnectError(errno));
    session.CloseDir(dir);
  }

  std::lock_guard lock(mutex_);
  connections_.emplace(key, account);
  return NO_ERROR;
}

} // namespace skarvet
