// What the implementations of the seam off Windows have in common: the
// simulated network (platform/sim/) and the real one (platform/smb/) keep
// only what differs between them and derive from this base.
//
// It owns the bookkeeping that Windows does locally, answering as Windows
// does: the per-thread last error; the handle table of tokens; logons that
// only remember their account (new credentials) and the thread's
// impersonation; the process token and LookupPrivilegeValueA's names; the
// enumeration handles of WNetOpenEnumA / WNetEnumResourceA / WNetCloseEnum and
// the buffers of NetServerEnum / NetApiBufferFree; the thread's component
// initialisation and error information; the system texts and colours; the
// shell; and Winsock's calls, handed to the implementation's sockets. What reaches the network (the
// listings, a logon checked by a computer, the connections, the shutdown request, the script
// control) is the implementation's, through the hooks below.
//
// Every table belongs to its instance (a test may make several); only the
// last error and the impersonation are kept per thread, as on Windows.
// Thread-safe.
#pragma once

#include "platform/WinApi.h"
#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/NetListing.h"
#include "platform/desktop/SystemColors.h"
#include "platform/desktop/Winsock.h"
#include "platform/text/SecretText.h"

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skarvet {

// An account as a logon or a connection names it. Never written to any log.
struct Account {
  bool given = false; // false: the program's own (its user's logon)
  // As written: a domain's NetBIOS or DNS name, a computer's name, or empty.
  std::string domain;
  std::string user;
  SecretText password;

  bool operator==(const Account&) const = default;
};

// An account name as Windows takes it: "DOMAIN\\user", "user@dns.domain" (the
// domain kept as written, DNS name and all) or a bare "user" (domain empty).
Account ParseAccount(std::string_view name, std::string_view password);

// The NetBIOS name a domain name stands for: the first label of a DNS name
// ("ondravel.example" -> "ondravel"), any other name as it is.
std::string_view ShortDomainName(std::string_view domain);

// "\\SERVER\share": false when the name is not of that form (no server, no
// share, or more than one level below the server).
bool ParseShareName(std::string_view remote, std::string& server, std::string& share);

class DesktopWinApi : public WinApi {
public:
  DesktopWinApi();
  ~DesktopWinApi() override;

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
  // ole32: the thread's initialisation and error information (the script
  // control itself is the implementation's)
  HRESULT CoInitialize(LPVOID pvReserved) override;
  HRESULT GetErrorInfo(DWORD dwReserved, ComErrorInfo& info) override;
  // shell32
  HINSTANCE ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                          LPCSTR lpDirectory, INT nShowCmd) override;
  // ws2_32: handed to the implementation's sockets (SocketLayer)
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
  // The thread's last error, as on Windows.
  int WSAGetLastError() override;

  // The calling thread's error information, as a failed component call
  // leaves it. Every call of a component clears it first, as the system's
  // do, so that no call reports the text of an earlier failure.
  static void SetThreadErrorInfo(const ComErrorInfo& info);
  static void ClearThreadErrorInfo();

  // --- for tests ------------------------------------------------------------
  // Changes one system colour of this instance (Windows' default scheme
  // otherwise).
  void SetSysColor(int nIndex, DWORD color);
  // How a web page is handed to the desktop; replaceable so tests open nothing.
  void SetUrlOpener(UrlOpener opener);

protected:
  // Guards the tables below and whatever the implementation keeps besides.
  // Never held while a call waits for the network.
  mutable std::mutex mutex_;

  // A token: the process's own (its privileges are the process's), or a
  // logon's, which carries the logon's account.
  struct Token {
    bool processToken = false;
    DWORD access = 0; // the rights the handle was opened with
    Account account;  // a logon token's network identity
    // A logon token's privileges (by LUID): held, and enabled or not; kept
    // by implementations that model them.
    std::map<DWORD, bool> privileges;
  };
  std::map<HANDLE, Token> tokens_;
  // A new handle: tokens and enumerations share one numbering, never 0.
  HANDLE NewHandleLocked();

  // Whether the calling thread has called CoInitialize.
  static bool ThreadComInitialized();

  // The account the calling thread impersonates on this instance, if any.
  std::optional<Account> ImpersonatedAccount() const;
  // The calling thread's identity: its impersonation, else the program's own.
  Account ThreadAccount() const;

  // --- hooks: what the implementation decides ------------------------------
  // LogonUserA once the arguments are read: 0 to keep `token` (the account
  // filled in, all access), else the error. Called without the lock.
  virtual DWORD AcceptLogon(DWORD logonType, Token& token) = 0;
  // AdjustTokenPrivileges on a token opened for it, with the pointers
  // checked; the lock is held. Sets the last error as the call does.
  virtual BOOL AdjustPrivilegesLocked(Token& token, BOOL DisableAllPrivileges,
                                      PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                      PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) = 0;
  // WNetAddConnection2A once the resource is read: the Win32 result.
  struct ConnectionRequest {
    std::string server;    // of "\\\\server\\share"
    std::string share;     // as written
    std::string localName; // the device to redirect; empty for none
    LPCSTR userName;       // null: the caller's own account
    LPCSTR password;       // null: the account's own
  };
  virtual DWORD AddConnection(const ConnectionRequest& request) = 0;
  // LookupPrivilegeValueA names a system: 0 when it answers, else the error.
  // Called without the lock. The default asks nobody.
  virtual DWORD ReachPrivilegeSystem(LPCSTR systemName);
  // The resources WNetOpenEnumA lists: below `parent` for the browsing tree
  // (null = the providers; always null for the other scopes; else it has a
  // remote name and is a container). False with the error when there is no
  // such listing. Called without the lock.
  virtual bool ListResources(DWORD scope, const NETRESOURCEA* parent,
                             std::vector<ListedResource>& out, DWORD& error) = 0;
  // Called before WNetEnumResourceA hands out entries (not at the end of a
  // listing), without the lock: an implementation whose listing answers take
  // time waits here.
  virtual void BeforeEnumerationRead() {}
  // NetServerEnum at level 101 once the arguments are checked: the rows, or
  // the failure status. Called without the lock.
  virtual NET_API_STATUS ListServers(LPCWSTR servername, DWORD servertype, LPCWSTR domain,
                                     std::vector<ServerRow>& rows) = 0;
  // The sockets Winsock's calls go to: the system's or a simulated network's.
  virtual Winsock& SocketLayer() = 0;
  // A system text of the implementation's own (for a result of its own), or
  // null for Windows' texts.
  virtual const char* OwnSystemMessage(DWORD id) const;

private:
  const std::uint64_t instanceId_;
  std::uintptr_t nextHandle_ = 0x100;
  std::array<DWORD, kSystemColorCount> sysColors_;
  // An open WNetOpenEnumA handle: the resources read when it was opened,
  // handed out in order by WNetEnumResourceA.
  struct Enumeration {
    std::vector<ListedResource> entries;
    std::size_t next = 0;
  };
  std::map<HANDLE, Enumeration> enumerations_;
  // Buffers NetServerEnum handed out and NetApiBufferFree has not yet taken.
  std::map<void*, std::unique_ptr<unsigned char[]>> netBuffers_;
  DesktopShell shell_;
};

} // namespace skarvet
