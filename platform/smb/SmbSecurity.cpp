// Logon, impersonation, connections, the process token and the shutdown
// request of the real network off Windows.
//
// As on Windows, a new-credentials logon checks nothing: it remembers the
// account, and the target checks it when a call reaches it. The process
// token's privileges are the target's business (it checks its own right to
// shut down), so the local token calls succeed.
#include "platform/smb/SmbWinApi.h"

#include "platform/smb/DceRpc.h"
#include "platform/smb/SmbSession.h"
#include "platform/text/TextHelpers.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace skarvet {
namespace {

// The message as the pipe carries it. The program's texts are ASCII; other
// bytes are taken as Latin-1.
std::u16string Widen(const char* text) {
  std::u16string wide;
  for (const char* p = text; *p; ++p) wide.push_back(static_cast<unsigned char>(*p));
  return wide;
}

} // namespace

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
  if (!pipe) return errno == ENOENT ? RPC_S_SERVER_UNAVAILABLE : smb::ConnectError(errno);

  // One PDU: its header first, then exactly the rest it announces (a read
  // of more would wait for bytes that never come).
  auto readAnswer = [&](dcerpc::Bytes& pdu) -> DWORD {
    pdu.assign(dcerpc::kHeaderSize, 0);
    if (!session.ReadExactly(pipe, pdu.data(), pdu.size())) return RPC_S_CALL_FAILED;
    const auto header = dcerpc::DecodeHeader(pdu);
    if (!header) return RPC_S_PROTOCOL_ERROR;
    pdu.resize(header->fragLength);
    if (!session.ReadExactly(pipe, pdu.data() + dcerpc::kHeaderSize,
                             pdu.size() - dcerpc::kHeaderSize))
      return RPC_S_CALL_FAILED;
    return ERROR_SUCCESS;
  };

  DWORD result = ERROR_SUCCESS;
  dcerpc::Bytes answer;
  const dcerpc::Bytes bind = dcerpc::EncodeBind(1);
  if (!session.WriteAll(pipe, bind.data(), bind.size())) {
    result = RPC_S_SERVER_UNAVAILABLE;
  } else if (const DWORD read = readAnswer(answer); read != ERROR_SUCCESS) {
    result = read == RPC_S_CALL_FAILED ? RPC_S_SERVER_UNAVAILABLE : read;
  } else {
    const dcerpc::Answer bound = dcerpc::DecodeBindAnswer(answer, 1);
    if (bound.kind == dcerpc::Answer::Kind::BindRejected) {
      result = RPC_S_UNKNOWN_IF;
    } else if (bound.kind != dcerpc::Answer::Kind::BindAccepted) {
      result = RPC_S_PROTOCOL_ERROR;
    } else if (!session.WriteAll(pipe, request.data(), request.size())) {
      result = RPC_S_CALL_FAILED;
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
        result = RPC_S_PROTOCOL_ERROR;
        break;
      }
    }
  }
  session.Close(pipe);
  return result;
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
  const bool ipc = EqualsIgnoreCase(share, "ipc$");

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

  smb::Session session(configFile_, account, smb::Dialect::Calls);
  if (!session.Ready()) return smb::ConnectError(session.Errno());
  if (ipc) {
    // Logging on to the share is what counts; a pipe every server has
    // proves it.
    SMBCFILE* pipe = session.Open("smb://" + urlHost + "/IPC$/srvsvc", O_RDWR);
    // A missing pipe is reported only after the logon has succeeded.
    if (!pipe && errno != ENOENT) return smb::ConnectError(errno);
    session.Close(pipe);
  } else {
    SMBCFILE* dir = session.OpenDir("smb://" + urlHost + "/" + share + "/");
    if (!dir) return errno == ENOENT ? ERROR_BAD_NET_NAME : smb::ConnectError(errno);
    session.CloseDir(dir);
  }

  std::lock_guard lock(mutex_);
  connections_.emplace(key, account);
  return NO_ERROR;
}

} // namespace skarvet
