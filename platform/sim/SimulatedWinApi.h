// The simulated Windows network: the default implementation of the seam off
// Windows. It answers every call the program makes the way Windows would,
// against the in-process network of SimNetwork.h, so the program does real
// work here. Thread-safe: worker threads call in concurrently.
//
// Per-thread state (last error, impersonation, component initialisation,
// error information) is kept per thread as on Windows; share connections
// belong to the whole process.
#pragma once

#include "platform/desktop/DesktopWinApi.h"
#include "platform/sim/SimNetwork.h"
#include "platform/sim/SimSockets.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace skarvet {

class SimulatedWinApi : public DesktopWinApi {
public:
  // The latency is added to every call that reaches the network, so that
  // the program's progress animation can be seen. Tests pass zero.
  static constexpr std::chrono::milliseconds kDefaultLatency{300};

  explicit SimulatedWinApi(sim::Network network = sim::Network::Default(),
                           std::chrono::milliseconds latency = kDefaultLatency);
  ~SimulatedWinApi() override;

  // advapi32
  BOOL InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                 BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                 DWORD dwReason) override;
  // ole32
  HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) override;

  // --- for tests and the README's tour ------------------------------------
  void SetLatency(std::chrono::milliseconds latency);
  std::chrono::milliseconds Latency() const;
  // Runs `f` on the network under the lock, to inspect or change it.
  void WithNetwork(const std::function<void(sim::Network&)>& f);
  // What the management service's ConnectServer was given, reported before
  // it acts (on the calling thread, no lock held).
  struct ManagementConnect {
    std::u16string server;
    std::u16string nameSpace;
    std::u16string user;
    std::u16string password;
  };
  void SetManagementConnectObserver(std::function<void(const ManagementConnect&)> observer);

protected:
  // Waits for the simulated network's answer time (no lock held).
  void SimulateLatency() const;

  // --- the base's hooks -----------------------------------------------------
  DWORD AcceptLogon(DWORD logonType, Token& token) override;
  BOOL AdjustPrivilegesLocked(Token& token, BOOL DisableAllPrivileges, PTOKEN_PRIVILEGES NewState,
                              DWORD BufferLength, PTOKEN_PRIVILEGES PreviousState,
                              PDWORD ReturnLength) override;
  DWORD AddConnection(const ConnectionRequest& request) override;
  DWORD ReachPrivilegeSystem(LPCSTR systemName) override;
  bool ListResources(DWORD scope, const NETRESOURCEA* parent, std::vector<ListedResource>& out,
                     DWORD& error) override;
  void BeforeEnumerationRead() override;
  NET_API_STATUS ListServers(LPCWSTR servername, DWORD servertype, LPCWSTR domain,
                             std::vector<ServerRow>& rows) override;

  sim::Network network_; // guarded by mutex_
  std::atomic<long long> latencyMs_;

  // --- security and shutdown (SimulatedSecurity.cpp) ----------------------
  // The privileges the process token holds (by LUID), each enabled or not.
  std::map<DWORD, bool> processPrivileges_ = DefaultPrivileges();
  static std::map<DWORD, bool> DefaultPrivileges();
  struct ShareConnection {
    std::string computer;  // upper case, no backslashes
    std::string share;     // lower case
    std::string localName; // the redirected device; empty for none
    Account account;
  };
  std::vector<ShareConnection> shareConnections_;
  // The account that reaches `computer` from the calling thread (impersonation
  // first, then a share connection of the process, then the own account).
  Account AccountForLocked(const std::string& computer) const;

  // How a named computer answers a call.
  enum class Answer { Reachable, NotFound, Down, RpcDown, Silent };
  // The computer a call names: "NAME", "\\\\NAME" or "name.dns.suffix"; an
  // empty name, "." or "localhost" is this computer. Null when unknown.
  sim::Computer* ResolveLocked(const std::string& name);
  Answer AnswerOfLocked(const sim::Computer* computer) const;
  // Holds the caller the way a host whose packets are dropped does; releases
  // the lock for the wait and never takes it again.
  void WaitForSilentHost(std::unique_lock<std::mutex>& lock) const;
  // Whether `account` logs on at `computer`: 0 or ERROR_LOGON_FAILURE.
  DWORD AuthenticateLocked(const Account& account, const sim::Computer& computer) const;
  // Logon and rights together: 0, ERROR_LOGON_FAILURE or ERROR_ACCESS_DENIED.
  DWORD AuthorizeLocked(const Account& account, const sim::Computer& computer) const;

  // The script control component and the management service its scripts
  // reach (SimulatedScript.cpp).
  class ScriptControl;
  class ManagementService;
  std::function<void(const ManagementConnect&)> connectObserver_;

  // --- listing (SimulatedListing.cpp) -------------------------------------
  bool ListResourcesLocked(const NETRESOURCEA* parent, DWORD scope,
                           std::vector<ListedResource>& out, DWORD& error) const;

  // --- sockets (SimulatedSockets.cpp) ---------------------------------------
  // The computers that answer WS-Discovery now, and the local address.
  std::vector<sim::Responder> RespondersNow() const;
  std::uint32_t LocalAddress() const;
  Winsock& SocketLayer() override { return sockets_; }

public:
  // The sockets of the network (tests: every socket is closed again).
  sim::Sockets& Sockets() { return sockets_; }

private:
  sim::Sockets sockets_{*this, LocalAddress(), [this] { return RespondersNow(); }};
};

} // namespace skarvet
