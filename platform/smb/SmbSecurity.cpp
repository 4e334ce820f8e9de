// Logon, impersonation, connections, the process token and the shutdown
// request of the real network off Windows.
//
// As on Windows, a new-credentials logon checks nothing: it remembers the
// account, and the target checks it when a call reaches it. The process
// token's privileges are the target's business (it checks its own right to
// shut down), so the local token calls succeed.
#include "platform/smb/SmbWinApi.h"

#include "platform/smb/SmbAccount.h"
#include "platform/smb/SmbCalls.h"
#include "platform/text/TextHelpers.h"

namespace skarvet {
Account SmbWinApi::AccountFor(const std::string& key) const {
  if (auto impersonated = ImpersonatedAccount()) return *impersonated;
  std::lock_guard lock(mutex_);
  auto connection = connections_.find(key);
  if (connection != connections_.end()) return connection->second;
  return {};
}

// --- logon and the process token ---------------------------------------------------

DWORD SmbWinApi::AcceptLogon(DWORD logonType, Token& /*token*/) {
  // Only a logon for the network can be made here: this computer's own
  // logons are not Windows'.
  return logonType == LOGON32_LOGON_NEW_CREDENTIALS ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED;
}

BOOL SmbWinApi::AdjustPrivilegesLocked(Token& /*token*/, BOOL /*DisableAllPrivileges*/,
                                       PTOKEN_PRIVILEGES /*NewState*/, DWORD /*BufferLength*/,
                                       PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
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
  if (dwTimeout > MAX_SHUTDOWN_TIMEOUT) {
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
  const Account account = AccountFor(key);
  if (!smb::AccountFits(account)) {
    SetLastError(ERROR_LOGON_FAILURE);
    return FALSE;
  }
  smb::CallRequest call;
  call.kind = smb::CallKind::Shutdown;
  call.configFile = configFile_;
  call.account = account;
  call.urlHost = urlHost;
  call.message = lpMessage ? lpMessage : "";
  call.timeout = dwTimeout;
  call.force = bForceAppsClosed != FALSE;
  call.reboot = bRebootAfterShutdown != FALSE;
  call.reason = dwReason;
  const DWORD result = smb::CallInHelper(call).error;
  SetLastError(result);
  return result == ERROR_SUCCESS ? TRUE : FALSE;
}

// --- connections ------------------------------------------------------------------------

DWORD SmbWinApi::AddConnection(const ConnectionRequest& request) {
  // No device of this system can be redirected to a share.
  if (!request.localName.empty()) return ERROR_BAD_DEVICE;
  const std::string& share = request.share;
  std::string urlHost;
  std::string key;
  DWORD error = ERROR_SUCCESS;
  if (!smb::HostOfName(request.server.c_str(), urlHost, key, error)) return error;
  for (char c : share) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '$';
    if (!allowed) return ERROR_BAD_NET_NAME;
  }
  Account account;
  if (request.userName) {
    account = ParseAccount(request.userName, request.password ? request.password : "");
  } else {
    account = AccountFor(key);
    if (request.password && account.given) account.password = request.password;
  }
  if (!smb::AccountFits(account)) return ERROR_LOGON_FAILURE;
  {
    // One account per host and logon session.
    std::lock_guard lock(mutex_);
    auto existing = connections_.find(key);
    if (existing != connections_.end() && !(existing->second == account))
      return ERROR_SESSION_CREDENTIAL_CONFLICT;
  }

  smb::CallRequest call;
  call.kind = smb::CallKind::Connect;
  call.configFile = configFile_;
  call.account = account;
  call.urlHost = urlHost;
  call.share = share;
  if (const DWORD result = smb::CallInHelper(call).error; result != NO_ERROR) return result;

  std::lock_guard lock(mutex_);
  connections_.emplace(key, account);
  return NO_ERROR;
}

} // namespace skarvet
