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

#include "platform/desktop/Privileges.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace skarvet {
namespace {

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD TOKEN_ALL_ACCESS_VALUE = 0x000F01FF;
constexpr DWORD SE_PRIVILEGE_REMOVED_VALUE = 0x00000004;
constexpr DWORD ERROR_NOACCESS_VALUE = 998;
constexpr DWORD ERROR_BAD_DEV_TYPE_VALUE = 66;
constexpr DWORD ERROR_ALREADY_ASSIGNED_VALUE = 85;
constexpr DWORD ERROR_BAD_DEVICE_VALUE = 1200;
constexpr DWORD ERROR_BAD_PROVIDER_VALUE = 1204;
constexpr DWORD ERROR_SESSION_CREDENTIAL_CONFLICT_VALUE = 1219;
// The longest countdown InitiateSystemShutdownEx accepts (ten years).
constexpr DWORD MAX_SHUTDOWN_TIMEOUT_VALUE = 10 * 365 * 24 * 60 * 60;
constexpr DWORD kShutdownPrivilege = 19;

// A thread's impersonation, per instance of the simulated network.
struct Impersonation {
  std::string authority;
  std::string user;
  std::string password;
};
thread_local std::map<std::uint64_t, Impersonation> t_impersonation;

bool IsDriveName(const std::string& name) {
  return name.size() == 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return sim::EqualsIgnoreCase(n, name); });
}

bool SameCredentials(const std::string& authorityA, const std::string& userA,
                     const std::string& passwordA, const std::string& authorityB,
                     const std::string& userB, const std::string& passwordB) {
  return sim::EqualsIgnoreCase(authorityA, authorityB) && sim::EqualsIgnoreCase(userA, userB) &&
         passwordA == passwordB;
}

// The account that `authority\\user` names when it logs on at `computer`.
// The computer's domain vouches for its own accounts; any other authority
// (the computer's name, a workgroup, a domain it does not trust) is looked
// up among the computer's local accounts, as Windows does. A bare user name
// is a local account first, then one of the computer's domain.
const sim::Account* AccountAt(const sim::Network& network, const sim::Computer& computer,
                              const std::string& authority, const std::string& user) {
  const sim::Domain* domain = network.FindDomain(computer.domain);
  const bool inDomain = domain && !domain->isWorkgroup;
  if (inDomain && sim::EqualsIgnoreCase(authority, computer.domain) &&
      !sim::EqualsIgnoreCase(authority, computer.name))
    return network.FindAccount(computer.domain, user);
  const sim::Account* local = network.FindAccount(computer.name, user);
  if (!local && inDomain && authority.empty()) return network.FindAccount(computer.domain, user);
  return local;
}

} // namespace

std::uint64_t SimulatedWinApi::NextInstanceId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1);
}

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

SimulatedWinApi::Credentials SimulatedWinApi::ParseAccount(const std::string& account,
                                                           const std::string& password) {
  Credentials credentials;
  credentials.own = false;
  credentials.password = password;
  const auto backslash = account.find('\\');
  const auto at = account.find('@');
  if (backslash != std::string::npos) {
    credentials.authority = account.substr(0, backslash);
    credentials.user = account.substr(backslash + 1);
  } else if (at != std::string::npos) {
    credentials.user = account.substr(0, at);
    // "user@ondravel.example" names the domain by its DNS name.
    const std::string dns = account.substr(at + 1);
    credentials.authority = dns.substr(0, dns.find('.'));
  } else {
    credentials.user = account;
  }
  return credentials;
}

SimulatedWinApi::Credentials SimulatedWinApi::ThreadCredentials() const {
  auto it = t_impersonation.find(instanceId_);
  if (it == t_impersonation.end()) return {};
  Credentials credentials;
  credentials.own = false;
  credentials.authority = it->second.authority;
  credentials.user = it->second.user;
  credentials.password = it->second.password;
  return credentials;
}

SimulatedWinApi::Credentials
SimulatedWinApi::CredentialsForLocked(const std::string& computer) const {
  if (t_impersonation.count(instanceId_)) return ThreadCredentials();
  for (const auto& connection : shareConnections_)
    if (sim::EqualsIgnoreCase(connection.computer, computer)) return connection.credentials;
  return {};
}

sim::Computer* SimulatedWinApi::ResolveLocked(const std::string& name) {
  std::string host = name;
  if (host.size() >= 2 && host[0] == '\\' && host[1] == '\\') host = host.substr(2);
  if (host.empty() || host == "." || sim::EqualsIgnoreCase(host, "localhost"))
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

DWORD SimulatedWinApi::AuthenticateLocked(const Credentials& credentials,
                                          const sim::Computer& computer) const {
  if (credentials.own) return ERROR_SUCCESS; // the program's own logon is trusted
  const sim::Account* account =
      AccountAt(network_, computer, credentials.authority, credentials.user);
  if (!account || account->password != credentials.password) return ERROR_LOGON_FAILURE;
  return ERROR_SUCCESS;
}

DWORD SimulatedWinApi::AuthorizeLocked(const Credentials& credentials,
                                       const sim::Computer& computer) const {
  const DWORD logon = AuthenticateLocked(credentials, computer);
  if (logon != ERROR_SUCCESS) return logon;
  const sim::Account* account = nullptr;
  if (credentials.own) {
    const Credentials own = ParseAccount(network_.ownAccount, {});
    account = network_.FindAccount(own.authority, own.user);
  } else {
    account = AccountAt(network_, computer, credentials.authority, credentials.user);
  }
  if (!account || !Contains(account->adminOn, computer.name)) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// --- logon and impersonation -------------------------------------------------------

BOOL SimulatedWinApi::LogonUserA(LPCSTR lpszUsername, LPCSTR lpszDomain, LPCSTR lpszPassword,
                                 DWORD dwLogonType, DWORD dwLogonProvider, PHANDLE phToken) {
  if (!phToken) {
    SetLastError(ERROR_NOACCESS_VALUE);
    return FALSE;
  }
  *phToken = nullptr;
  const bool knownType = dwLogonType == 2 || dwLogonType == 3 || dwLogonType == 4 ||
                         dwLogonType == 5 || dwLogonType == 7 || dwLogonType == 8 ||
                         dwLogonType == LOGON32_LOGON_NEW_CREDENTIALS;
  if (!lpszUsername || !knownType || dwLogonProvider > LOGON32_PROVIDER_WINNT50) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string password = lpszPassword ? lpszPassword : "";
  Credentials credentials;
  if (lpszDomain && *lpszDomain) {
    credentials = ParseAccount(lpszUsername, password);
    credentials.authority = lpszDomain;
  } else {
    credentials = ParseAccount(lpszUsername, password);
  }

  std::lock_guard lock(mutex_);
  if (dwLogonType != LOGON32_LOGON_NEW_CREDENTIALS) {
    // Every other logon is checked here and now, by this computer.
    sim::Computer* local = network_.FindComputer(network_.localComputer);
    if (!local || AuthenticateLocked(credentials, *local) != ERROR_SUCCESS) {
      SetLastError(ERROR_LOGON_FAILURE);
      return FALSE;
    }
  }
  Token token;
  token.access = TOKEN_ALL_ACCESS_VALUE;
  token.credentials = credentials;
  token.privileges = DefaultPrivileges();
  HANDLE handle = NewHandleLocked();
  tokens_[handle] = std::move(token);
  *phToken = handle;
  return TRUE;
}

BOOL SimulatedWinApi::ImpersonateLoggedOnUser(HANDLE hToken) {
  std::lock_guard lock(mutex_);
  auto it = tokens_.find(hToken);
  if (it == tokens_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second.processToken) {
    // A handle opened only to adjust privileges may not be impersonated
    // (impersonation needs query and duplicate rights).
    if ((it->second.access & 0x000A) != 0x000A) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    t_impersonation.erase(instanceId_); // the process's own identity
    return TRUE;
  }
  const Credentials& c = it->second.credentials;
  t_impersonation[instanceId_] = Impersonation{c.authority, c.user, c.password};
  return TRUE;
}

// --- the process token and its privileges ------------------------------------------------

BOOL SimulatedWinApi::OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                                       PHANDLE TokenHandle) {
  if (ProcessHandle != kCurrentProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!TokenHandle) {
    SetLastError(ERROR_NOACCESS_VALUE);
    return FALSE;
  }
  std::lock_guard lock(mutex_);
  Token token;
  token.processToken = true;
  token.access = DesiredAccess;
  HANDLE handle = NewHandleLocked();
  tokens_[handle] = std::move(token);
  *TokenHandle = handle;
  return TRUE;
}

BOOL SimulatedWinApi::LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
  if (!lpName || !lpLuid) {
    SetLastError(lpLuid ? ERROR_INVALID_PARAMETER : ERROR_NOACCESS_VALUE);
    return FALSE;
  }
  if (lpSystemName && *lpSystemName) {
    // The names are asked of the named system's security service.
    SimulateLatency();
    std::unique_lock lock(mutex_);
    sim::Computer* computer = ResolveLocked(lpSystemName);
    const Answer answer = AnswerOfLocked(computer);
    if (answer == Answer::Silent) WaitForSilentHost(lock);
    if (answer != Answer::Reachable) {
      SetLastError(RPC_S_SERVER_UNAVAILABLE);
      return FALSE;
    }
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

BOOL SimulatedWinApi::AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
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
    SetLastError(ERROR_NOACCESS_VALUE);
    return FALSE;
  }
  std::map<DWORD, bool>& held =
      it->second.processToken ? processPrivileges_ : it->second.privileges;

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
      if (entry.Attributes & SE_PRIVILEGE_REMOVED_VALUE)
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
    if (dwTimeout > MAX_SHUTDOWN_TIMEOUT_VALUE) {
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
  const DWORD rights = AuthorizeLocked(CredentialsForLocked(computer->name), *computer);
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

DWORD SimulatedWinApi::WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword,
                                           LPCSTR lpUserName, DWORD /*dwFlags*/) {
  if (!lpNetResource) return ERROR_INVALID_ADDRESS;
  if (!lpNetResource->lpRemoteName) return ERROR_BAD_NET_NAME;
  if (lpNetResource->dwType > 2) return ERROR_INVALID_PARAMETER; // any, disk or print
  if (lpNetResource->lpProvider &&
      !sim::EqualsIgnoreCase(lpNetResource->lpProvider, "Microsoft Windows Network"))
    return ERROR_BAD_PROVIDER_VALUE;
  const std::string localName = lpNetResource->lpLocalName ? lpNetResource->lpLocalName : "";
  if (!localName.empty() && !IsDriveName(localName)) return ERROR_BAD_DEVICE_VALUE;

  // "\\SERVER\share"
  const std::string remote = lpNetResource->lpRemoteName;
  if (remote.size() < 5 || remote[0] != '\\' || remote[1] != '\\') return ERROR_BAD_NET_NAME;
  const auto slash = remote.find('\\', 2);
  if (slash == std::string::npos || slash == 2 || slash + 1 >= remote.size())
    return ERROR_BAD_NET_NAME;
  const std::string server = remote.substr(2, slash - 2);
  std::string share = remote.substr(slash + 1);
  for (char& c : share)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (share.find('\\') != std::string::npos) return ERROR_BAD_NET_NAME;
  const bool adminShare = share == "admin$" || share == "c$";
  if (share == "ipc$" && !localName.empty()) return ERROR_BAD_DEV_TYPE_VALUE;

  SimulateLatency();
  std::unique_lock lock(mutex_);
  sim::Computer* computer = ResolveLocked(server);
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

  Credentials credentials;
  if (lpUserName) {
    credentials = ParseAccount(lpUserName, lpPassword ? lpPassword : "");
  } else {
    credentials = t_impersonation.count(instanceId_) ? ThreadCredentials() : Credentials{};
    if (lpPassword && !credentials.own) credentials.password = lpPassword;
  }

  // One set of credentials per server and logon session.
  for (const auto& existing : shareConnections_) {
    if (!sim::EqualsIgnoreCase(existing.computer, computer->name)) continue;
    const Credentials& e = existing.credentials;
    const bool same =
        e.own == credentials.own &&
        (credentials.own || SameCredentials(e.authority, e.user, e.password, credentials.authority,
                                            credentials.user, credentials.password));
    if (!same) return ERROR_SESSION_CREDENTIAL_CONFLICT_VALUE;
  }
  if (!localName.empty()) {
    for (const auto& existing : shareConnections_)
      if (sim::EqualsIgnoreCase(existing.localName, localName)) return ERROR_ALREADY_ASSIGNED_VALUE;
  }

  const DWORD check = adminShare ? AuthorizeLocked(credentials, *computer)
                                 : AuthenticateLocked(credentials, *computer);
  if (check != ERROR_SUCCESS) return check;

  const bool known =
      std::any_of(shareConnections_.begin(), shareConnections_.end(), [&](const auto& c) {
        return sim::EqualsIgnoreCase(c.computer, computer->name) && c.share == share &&
               sim::EqualsIgnoreCase(c.localName, localName);
      });
  if (!known) shareConnections_.push_back({computer->name, share, localName, credentials});
  return NO_ERROR;
}

} // namespace skarvet
