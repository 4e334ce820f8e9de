// The simulated Windows network: the default implementation of the seam off
// Windows. It answers every call the program makes the way Windows would,
// against the in-process network of SimNetwork.h, so the program does real
// work here. Thread-safe: worker threads call in concurrently.
//
// Per-thread state (last error, impersonation, component initialisation,
// error information) is kept per thread as on Windows; share connections
// belong to the whole process.
#pragma once

#include "platform/WinApi.h"
#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/NetListing.h"
#include "platform/desktop/SystemColors.h"
#include "platform/sim/SimNetwork.h"
#include "platform/sim/SimSockets.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace skarvet {

class SimulatedWinApi : public WinApi {
public:
  // The latency is added to every call that reaches the network, so that
  // the program's progress animation can be seen. Tests pass zero.
  static constexpr std::chrono::milliseconds kDefaultLatency{300};

  explicit SimulatedWinApi(sim::Network network = sim::Network::Default(),
                           std::chrono::milliseconds latency = kDefaultLatency);
  ~SimulatedWinApi() override;

  // user32
  DWORD GetSysColor(int nIndex) override;
  BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString) override;
  // kernel32
  DWORD GetLastError() override;
  void SetLastError(DWORD dwErrCode) override;
  HANDLE GetCurrentProcess() override;
  BOOL CloseHandle(HANDLE hObject) override;
  DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                       LPSTR lpBuffer, DWORD nSize, va_list* Arguments) override;
  // advapi32
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
  // mpr
  DWORD WNetAddConnection2A(LPNETRESOURCEA lpNetResource, LPCSTR lpPassword, LPCSTR lpUserName,
                            DWORD dwFlags) override;
  DWORD WNetOpenEnumA(DWORD dwScope, DWORD dwType, DWORD dwUsage, LPNETRESOURCEA lpNetResource,
                      LPHANDLE lphEnum) override;
  DWORD WNetEnumResourceA(HANDLE hEnum, LPDWORD lpcCount, LPVOID lpBuffer,
                          LPDWORD lpBufferSize) override;
  DWORD WNetCloseEnum(HANDLE hEnum) override;
  // netapi32
  NET_API_STATUS NetServerEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                               LPDWORD entriesread, LPDWORD totalentries, DWORD servertype,
                               LPCWSTR domain, LPDWORD resume_handle) override;
  NET_API_STATUS NetApiBufferFree(LPVOID Buffer) override;
  // ole32
  HRESULT CoInitialize(LPVOID pvReserved) override;
  HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) override;
  HRESULT GetErrorInfo(DWORD dwReserved, ComErrorInfo& info) override;
  // shell32
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

  // --- for tests and the README's tour ------------------------------------
  void SetLatency(std::chrono::milliseconds latency);
  std::chrono::milliseconds Latency() const;
  void SetSysColor(int nIndex, DWORD color);
  // Runs `f` on the network under the lock, to inspect or change it.
  void WithNetwork(const std::function<void(sim::Network&)>& f);
  // How a web page is handed to the desktop; replaceable so tests open nothing.
  void SetUrlOpener(std::function<bool(const std::string&)> opener);
  // What the management service's ConnectServer was given, reported before
  // it acts (on the calling thread, no lock held).
  struct ManagementConnect {
    std::u16string server;
    std::u16string nameSpace;
    std::u16string user;
    std::u16string password;
  };
  void SetManagementConnectObserver(std::function<void(const ManagementConnect&)> observer);

  // Per-thread error information, left by a failed script control call.
  // Every call of the component clears it first, as the system's does, so
  // that no call reports the text of an earlier failure.
  static void SetThreadErrorInfo(const ComErrorInfo& info);
  static void ClearThreadErrorInfo();

protected:
  // Waits for the simulated network's answer time (no lock held).
  void SimulateLatency() const;

  // Identity the calling thread acts with on the network: the impersonated
  // token's credentials, or the program's own account.
  struct Credentials {
    std::string authority; // domain or computer name
    std::string user;
    std::string password;
    bool own = true; // the program's own account (no password check)
  };

  mutable std::mutex mutex_;
  sim::Network network_;
  std::atomic<long long> latencyMs_;
  std::array<DWORD, kSystemColorCount> sysColors_{};

  // Handles: tokens and enumerations share one numbering, never 0.
  std::uintptr_t nextHandle_ = 0x100;
  HANDLE NewHandleLocked();

  // --- security and shutdown (SimulatedSecurity.cpp) ----------------------
  struct Token {
    bool processToken = false;
    DWORD access = 0;                 // the rights the handle was opened with
    Credentials credentials;          // a logon token's network identity
    std::map<DWORD, bool> privileges; // a logon token's privileges: held, enabled
  };
  std::map<HANDLE, Token> tokens_;
  // The privileges the process token holds (by LUID), each enabled or not.
  std::map<DWORD, bool> processPrivileges_ = DefaultPrivileges();
  static std::map<DWORD, bool> DefaultPrivileges();
  struct ShareConnection {
    std::string computer;  // upper case, no backslashes
    std::string share;     // lower case
    std::string localName; // the redirected device; empty for none
    Credentials credentials;
  };
  std::vector<ShareConnection> shareConnections_;
  // Impersonation belongs to the calling thread; it is kept per thread and
  // per instance, since a test may build several networks.
  const std::uint64_t instanceId_ = NextInstanceId();
  static std::uint64_t NextInstanceId();
  // Credentials that reach `computer` from the calling thread (impersonation
  // first, then a share connection of the process, then the own account).
  Credentials CredentialsForLocked(const std::string& computer) const;
  // The calling thread's identity for calls that use no share connection:
  // its impersonation, else the program's own account.
  Credentials ThreadCredentials() const;
  // "DOMAIN\\user", "user@domain" or a bare "user" (authority left empty).
  static Credentials ParseAccount(const std::string& account, const std::string& password);

  // How a named computer answers a call.
  enum class Answer { Reachable, NotFound, Down, RpcDown, Silent };
  // The computer a call names: "NAME", "\\\\NAME" or "name.dns.suffix"; an
  // empty name, "." or "localhost" is this computer. Null when unknown.
  sim::Computer* ResolveLocked(const std::string& name);
  Answer AnswerOfLocked(const sim::Computer* computer) const;
  // Holds the caller the way a host whose packets are dropped does; releases
  // the lock for the wait and never takes it again.
  void WaitForSilentHost(std::unique_lock<std::mutex>& lock) const;
  // Whether `credentials` log on at `computer`: 0 or ERROR_LOGON_FAILURE.
  DWORD AuthenticateLocked(const Credentials& credentials, const sim::Computer& computer) const;
  // Logon and rights together: 0, ERROR_LOGON_FAILURE or ERROR_ACCESS_DENIED.
  DWORD AuthorizeLocked(const Credentials& credentials, const sim::Computer& computer) const;

  // The script control component and the management service its scripts
  // reach (SimulatedScript.cpp).
  class ScriptControl;
  class ManagementService;
  std::function<void(const ManagementConnect&)> connectObserver_;

  // --- listing (SimulatedListing.cpp) -------------------------------------
  // An open WNetOpenEnumA handle: a snapshot of its resources taken when it
  // was opened, handed out in order by WNetEnumResourceA.
  struct Enumeration {
    std::vector<ListedResource> entries;
    std::size_t next = 0;
  };
  std::map<HANDLE, Enumeration> enumerations_;
  // Buffers NetServerEnum handed out and NetApiBufferFree has not yet taken.
  std::map<void*, std::unique_ptr<unsigned char[]>> netBuffers_;
  // The resources below `parent` (null = the providers); false with the
  // error when `parent` names nothing the network knows.
  bool ListResourcesLocked(const NETRESOURCEA* parent, DWORD scope,
                           std::vector<ListedResource>& out, DWORD& error) const;

  // --- shell ---------------------------------------------------------------
  DesktopShell shell_;

  // --- sockets (SimulatedSockets.cpp) ---------------------------------------
  // The computers that answer WS-Discovery now, and the local address.
  std::vector<sim::Responder> RespondersNow() const;
  std::uint32_t LocalAddress() const;

public:
  // The sockets of the network (tests: every socket is closed again).
  sim::Sockets& Sockets() { return sockets_; }

private:
  sim::Sockets sockets_{*this, LocalAddress(), [this] { return RespondersNow(); }};
};

} // namespace skarvet
