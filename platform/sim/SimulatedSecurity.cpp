// Logon, impersonation, share connections, privileges and the shutdown
// request of the simulated network.
//
// As on Windows, a new-credentials logon (type 9) checks nothing: it only
// remembers the credentials, and they are checked by the target when a call
// reaches it. Impersonation belongs to the calling thread; a share
// connection belongs to the whole process and lends its credentials to
// every later call to that computer from a thread that does not
// impersonate.
#include "platform/sim/SimulatedWinApi.h"

#include "platform/text/TextHelpers.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace skarvet {
namespace {

// The LUID of the shutdown privilege.
constexpr DWORD kShutdownPrivilege = 19;

bool IsDriveName(const std::string& name) {
  return name.size() == 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return EqualsIgnoreCase(n, name); });
}

// The same account, as one logon session sees it: names in any case, the
// password exactly.
bool SameAccount(const Account& a, const Account& b) {
  return a.given == b.given &&
         (!a.given || (EqualsIgnoreCase(a.domain, b.domain) && EqualsIgnoreCase(a.user, b.user) &&
                       a.password == b.password));
}

// The account that `domain\\user` names when it logs on at `computer`.
// The computer's domain vouches for its own accounts (by its NetBIOS or DNS
// name); any other authority (the computer's name, a workgroup, a domain it
// does not trust) is looked up among the computer's local accounts, as
// Windows does. A bare user name is a local account first, then one of the
// computer's domain.
const sim::Account* AccountAt(const sim::Network& network, const sim::Computer& computer,
                              const std::string& domain, const std::string& user) {
  const sim::Domain* home = network.FindDomain(computer.domain);
  const bool inDomain = home && !home->isWorkgroup;
  const std::string_view authority = ShortDomainName(domain);
  if (inDomain && EqualsIgnoreCase(authority, computer.domain) &&
      !EqualsIgnoreCase(authority, computer.name))
    return network.FindAccount(computer.domain, user);
  const sim::Account* local = network.FindAccount(computer.name, user);
  if (!local && inDomain && domain.empty()) return network.FindAccount(computer.domain, user);
  return local;
}

} // namespace

std::map<DWORD, bool> SimulatedWinApi::DefaultPrivileges() {
  // An administrator's token (the program asks to run elevated): these are
  // held, and only "change notify" is enabled from the start.
  std::map<DWORD, bool> held;
  for (DWORD luid : {5u,  8u,  9u,  10u, 11u, 12u, 13u, 14u, 15u, 16u, 17u, 18u,
                     19u, 20u, 22u, 23u, 24u, 25u, 28u, 29u, 30u, 33u, 34u, 35u})
    held[luid] = false;
  held[23] = true;
  return held;
}

// --- identities ----------------------------------------------------------------

Account SimulatedWinApi::AccountForLocked(const std::string& computer) const {
  if (auto impersonated = ImpersonatedAccount()) return *impersonated;
  for (const auto& connection : shareConnections_)
    if (EqualsIgnoreCase(connection.computer, computer)) return connection.account;
  return {};
}

sim::Computer* SimulatedWinApi::ResolveLocked(const std::string& name) {
  std::string host = name;
  if (host.size() >= 2 && host[0] == '\\' && host[1] == '\\') host = host.substr(2);
  if (host.empty() || host == "." || EqualsIgnoreCase(host, "localhost"))
    host = network_.localComputer;
  // A DNS name reaches the computer named by its first label.
  const auto dot = host.find('.');
  if (dot != std::string::npos && dot > 0 && dot + 1 < host.size()) host = host.substr(0, dot);
  return network_.FindComputer(host);
}

SimulatedWinApi::Answer SimulatedWinApi::AnswerOfLocked(const sim::Computer* computer) const {
  if (!computer) return Answer::NotFound;
  switch (computer->state) {
  case sim::HostState::Offline:
    return Answer::Down;
  case sim::HostState::NoAnswer:
    return Answer::Silent;
  case sim::HostState::RpcUnavailable:
  case sim::HostState::Online:
    break;
  }
  if (std::chrono::steady_clock::now() < computer->unreachableUntil) return Answer::Down;
  return computer->state == sim::HostState::RpcUnavailable ? Answer::RpcDown : Answer::Reachable;
}

void SimulatedWinApi::WaitForSilentHost(std::unique_lock<std::mutex>& lock) const {
  const auto wait = network_.noAnswerWait;
  lock.unlock();
  // Nothing cuts this short, as nothing cuts a network time-out short; a
  // program that ends meanwhile does not wait for it.
  std::this_thread::sleep_for(wait);
}

DWORD SimulatedWinApi::AuthenticateLocked(const Account& account,
                                          const sim::Computer& computer) const {
  if (!account.given) return ERROR_SUCCESS; // the program's own logon is trusted
  const sim::Account* known = AccountAt(network_, computer, account.domain, account.user);
  if (!known || known->password != account.password) return ERROR_LOGON_FAILURE;
  return ERROR_SUCCESS;
}

DWORD SimulatedWinApi::AuthorizeLocked(const Account& account,
                                       const sim::Computer& computer) const {
  const DWORD logon = AuthenticateLocked(account, computer);
  if (logon != ERROR_SUCCESS) return logon;
  const sim::Account* known = nullptr;
  if (!account.given) {
    const Account own = ParseAccount(network_.ownAccount, {});
    known = network_.FindAccount(own.domain, own.user);
  } else {
    known = AccountAt(network_, computer, account.domain, account.user);
  }
  if (!known || !Contains(known->adminOn, computer.name)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// --- logon --------------------------------------------------------------------------

DWORD SimulatedWinApi::AcceptLogon(DWORD logonType, Token& token) {
  const bool knownType = logonType == 2 || logonType == 3 || logonType == 4 || logonType == 5 ||
                         logonType == 7 || logonType == 8 ||
                         logonType == LOGON32_LOGON_NEW_CREDENTIALS;
  if (!knownType) return ERROR_INVALID_PARAMETER;
  token.privileges = DefaultPrivileges();
  if (logonType == LOGON32_LOGON_NEW_CREDENTIALS) return ERROR_SUCCESS;
  // Every other logon is checked here and now, by this computer.
  std::lock_guard lock(mutex_);
  sim::Computer* local = network_.FindComputer(network_.localComputer);
  if (!local || AuthenticateLocked(token.account, *local) != ERROR_SUCCESS)
    return ERROR_LOGON_FAILURE;
  return ERROR_SUCCESS;
}

// --- privileges ----------------------------------------------------------------------

DWORD SimulatedWinApi::ReachPrivilegeSystem(LPCSTR systemName) {
  SimulateLatency();
  std::unique_lock lock(mutex_);
  sim::Computer* computer = ResolveLocked(systemName);
  const Answer answer = AnswerOfLocked(computer);
  if (answer == Answer::Silent) WaitForSilentHost(lock);
  return answer == Answer::Reachable ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

BOOL SimulatedWinApi::AdjustPrivilegesLocked(Token& token, BOOL DisableAllPrivileges,
                                             PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                             PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
  std::map<DWORD, bool>& held = token.processToken ? processPrivileges_ : token.privileges;

  // Work out every change first: when the previous state does not fit in
  // the caller's buffer, nothing is changed.
  struct Change {
    DWORD luid;
    bool wasEnabled;
    enum { Enable, Disable, Remove } action;
  };
  std::vector<Change> changes;
  bool notAllAssigned = false;
  if (DisableAllPrivileges) {
    for (const auto& [luid, enabled] : held)
      if (enabled) changes.push_back({luid, true, Change::Disable});
  } else {
    if (NewState->PrivilegeCount > 64) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& entry = NewState->Privileges[i];
      auto found = entry.Luid.HighPart == 0 ? held.find(entry.Luid.LowPart) : held.end();
      if (found == held.end()) {
        notAllAssigned = true;
        continue;
      }
      if (entry.Attributes & SE_PRIVILEGE_REMOVED)
        changes.push_back({found->first, found->second, Change::Remove});
      else if ((entry.Attributes & SE_PRIVILEGE_ENABLED) && !found->second)
        changes.push_back({found->first, false, Change::Enable});
      else if (!(entry.Attributes & SE_PRIVILEGE_ENABLED) && found->second)
        changes.push_back({found->first, true, Change::Disable});
    }
  }
  if (PreviousState) {
    const DWORD needed = static_cast<DWORD>(
        sizeof(DWORD) + std::max<std::size_t>(changes.size(), 1) * sizeof(LUID_AND_ATTRIBUTES));
    *ReturnLength = needed;
    if (BufferLength < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    PreviousState->PrivilegeCount = static_cast<DWORD>(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
      PreviousState->Privileges[i].Luid = LUID{changes[i].luid, 0};
      PreviousState->Privileges[i].Attributes = changes[i].wasEnabled ? SE_PRIVILEGE_ENABLED : 0;
    }
  }
  for (const Change& change : changes) {
    if (change.action == Change::Remove)
      held.erase(change.luid);
    else
      held[change.luid] = change.action == Change::Enable;
  }
  SetLastError(notAllAssigned ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS);
  return TRUE;
}

// --- the shutdown request --------------------------------------------------------------------

BOOL SimulatedWinApi::InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR /*lpMessage*/,
                                                DWORD dwTimeout, BOOL bForceAppsClosed,
                                                BOOL bRebootAfterShutdown, DWORD dwReason) {
  {
    std::lock_guard lock(mutex_);
    auto privilege = processPrivileges_.find(kShutdownPrivilege);
    if (privilege == processPrivileges_.end() || !privilege->second) {
      SetLastError(ERROR_PRIVILEGE_NOT_HELD);
      return FALSE;
    }
    if (dwTimeout > MAX_SHUTDOWN_TIMEOUT) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  SimulateLatency();
  std::unique_lock lock(mutex_);
  sim::Computer* computer = ResolveLocked(lpMachineName ? lpMachineName : "");
  switch (AnswerOfLocked(computer)) {
  case Answer::Silent:
    WaitForSilentHost(lock);
    [[fallthrough]];
  case Answer::NotFound:
  case Answer::Down:
    SetLastError(ERROR_BAD_NETPATH);
    return FALSE;
  case Answer::RpcDown:
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
  case Answer::Reachable:
    break;
  }
  const DWORD rights = AuthorizeLocked(AccountForLocked(computer->name), *computer);
  if (rights != ERROR_SUCCESS) {
    SetLastError(rights);
    return FALSE;
  }
  char flags[96];
  std::snprintf(flags, sizeof flags, "reason=0x%08X, force=%d, reboot=%d",
                static_cast<unsigned>(dwReason), bForceAppsClosed ? 1 : 0,
                bRebootAfterShutdown ? 1 : 0);
  computer->lastReasonAndFlags = flags;
  computer->interactiveUser.clear();
  if (bRebootAfterShutdown) {
    ++computer->restarts;
    computer->unreachableUntil = std::chrono::steady_clock::now() + network_.restartDowntime;
  } else {
    ++computer->shutdowns;
    computer->state = sim::HostState::Offline;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

// --- share connections -----------------------------------------------------------------------

DWORD SimulatedWinApi::AddConnection(const ConnectionRequest& request) {
  const std::string& localName = request.localName;
  if (!localName.empty() && !IsDriveName(localName)) return ERROR_BAD_DEVICE;
  const std::string share = LowerAscii(request.share);
  const bool adminShare = share == "admin$" || share == "c$";
  if (share == "ipc$" && !localName.empty()) return ERROR_BAD_DEV_TYPE;

  SimulateLatency();
  std::unique_lock lock(mutex_);
  sim::Computer* computer = ResolveLocked(request.server);
  switch (AnswerOfLocked(computer)) {
  case Answer::Silent:
    WaitForSilentHost(lock);
    return ERROR_BAD_NETPATH;
  case Answer::NotFound:
  case Answer::Down:
    return ERROR_BAD_NETPATH;
  case Answer::RpcDown: // file sharing answers without the RPC server
  case Answer::Reachable:
    break;
  }
  // The share is looked for once the server has answered.
  if (share != "ipc$" && !adminShare) return ERROR_BAD_NET_NAME;

  Account account;
  if (request.userName) {
    account = ParseAccount(request.userName, request.password ? request.password : "");
  } else {
    account = ThreadAccount();
    if (request.password && account.given) account.password = request.password;
  }

  // One account per server and logon session.
  for (const auto& existing : shareConnections_) {
    if (EqualsIgnoreCase(existing.computer, computer->name) &&
        !SameAccount(existing.account, account))
      return ERROR_SESSION_CREDENTIAL_CONFLICT;
  }
  if (!localName.empty()) {
    for (const auto& existing : shareConnections_)
      if (EqualsIgnoreCase(existing.localName, localName)) return ERROR_ALREADY_ASSIGNED;
  }

  const DWORD check =
      adminShare ? AuthorizeLocked(account, *computer) : AuthenticateLocked(account, *computer);
  if (check != ERROR_SUCCESS) return check;

  const bool known =
      std::any_of(shareConnections_.begin(), shareConnections_.end(), [&](const auto& c) {
        return EqualsIgnoreCase(c.computer, computer->name) && c.share == share &&
               EqualsIgnoreCase(c.localName, localName);
      });
  if (!known) shareConnections_.push_back({computer->name, share, localName, account});
  return NO_ERROR;
}

} // namespace skarvet
