// The real Windows network off Windows, through Samba's client library.
//
// Every call answers as Windows does: same results, same per-thread last
// error. A logon (new credentials) only remembers its account; impersonating
// it makes it the calling thread's account for later calls; a connection to
// a host's "ipc$" share logs on there and lends its account to every later
// call to that host from threads that do not impersonate. The shutdown
// request travels as DCE/RPC InitEx over the host's InitShutdown pipe; the
// listings come from the network's browse lists (old SMB1 dialect only).
// Logoff needs the management service, for which no client exists here: the
// script control is not there. Winsock's calls go to the system's sockets.
//
// Thread-safe. Calls that reach the network run one after the other (the
// library's state is process-wide), each bounded by the library's time-out.
#pragma once

#include "platform/WinApi.h"
#include "platform/desktop/BsdSockets.h"
#include "platform/desktop/DesktopShell.h"
#include "platform/desktop/NetListing.h"
#include "platform/smb/SmbAccount.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace skarvet {

namespace smb {
class Session;
}

class SmbWinApi final : public WinApi {
public:
  // An empty `clientConfigFile` means the library's own configuration;
  // otherwise that smb.conf is loaded for every call (name resolution,
  // interfaces, WINS server ...).
  explicit SmbWinApi(std::string clientConfigFile = {});
  ~SmbWinApi() override;

  // The failure code of CoCreateScriptControl, whose system text says what
  // is missing for a logoff.
  static constexpr HRESULT kNoManagementClient = static_cast<HRESULT>(0xA0040001u);

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

  // How a web page is handed to the desktop; replaceable so tests open nothing.
  void SetUrlOpener(UrlOpener opener);

private:
  // The account a call to the host `key` is made with: the thread's
  // impersonation, else the process's connection to that host, else the
  // user's own.
  smb::Account AccountFor(const std::string& key) const;
  // The shutdown request on an open session; the Win32 result.
  DWORD SendInitEx(smb::Session& session, const std::string& urlHost, const std::string& message,
                   DWORD timeout, bool force, bool reboot, DWORD reason);

  const std::string configFile_;
  const std::uint64_t instanceId_;
  mutable std::mutex mutex_;
  std::uintptr_t nextHandle_ = 0x100; // tokens and enumerations share one numbering
  HANDLE NewHandleLocked();

  struct Token {
    bool processToken = false;
    DWORD access = 0;
    smb::Account account;
  };
  std::map<HANDLE, Token> tokens_;
  // Connections of the process, by host key.
  std::map<std::string, smb::Account> connections_;

  // --- listings (SmbListing.cpp) ------------------------------------------
  // An open WNetOpenEnumA handle: the resources read when it was opened,
  // handed out in order by WNetEnumResourceA.
  struct Enumeration {
    std::vector<ListedResource> entries;
    std::size_t next = 0;
  };
  std::map<HANDLE, Enumeration> enumerations_;
  std::map<void*, std::unique_ptr<unsigned char[]>> netBuffers_;
  // One browse list: the workgroups of the network (empty `workgroup`) or
  // the computers of one workgroup (empty: this computer's), as names and
  // comments in UTF-16. False with the Win32 error when the list cannot be
  // read; a network without browse lists gives an empty list.
  struct BrowseEntry {
    std::u16string name;
    std::u16string comment;
  };
  bool ReadBrowseList(bool workgroups, const std::u16string& workgroup,
                      std::vector<BrowseEntry>& out, DWORD& error) const;

  DesktopShell shell_;
  // Winsock on the system's sockets (SmbSockets.cpp): WS-Discovery.
  BsdSockets sockets_{*this};
};

} // namespace skarvet
