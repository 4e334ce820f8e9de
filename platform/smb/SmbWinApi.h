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
// Thread-safe. Each call that reaches the network runs in a helper process
// of its own (SmbCalls.h), so none waits for another; each answer is
// bounded by the library's time-out.
#pragma once

#include "platform/desktop/BsdSockets.h"
#include "platform/desktop/DesktopWinApi.h"
#include "platform/smb/SmbAccount.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace skarvet {

class SmbWinApi final : public DesktopWinApi {
public:
  // An empty `clientConfigFile` means the library's own configuration;
  // otherwise that smb.conf is loaded for every call (name resolution,
  // interfaces, WINS server ...).
  explicit SmbWinApi(std::string clientConfigFile = {});
  ~SmbWinApi() override;

  // The failure code of CoCreateScriptControl, whose system text says what
  // is missing for a logoff.
  static constexpr HRESULT kNoManagementClient = static_cast<HRESULT>(0xA0040001u);

  // advapi32
  BOOL InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                 BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                 DWORD dwReason) override;
  // ole32: no script control here
  HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) override;

private:
  // --- the base's hooks -----------------------------------------------------
  DWORD AcceptLogon(DWORD logonType, Token& token) override;
  DWORD AddConnection(const ConnectionRequest& request) override;
  BOOL AdjustPrivilegesLocked(Token& token, BOOL DisableAllPrivileges, PTOKEN_PRIVILEGES NewState,
                              DWORD BufferLength, PTOKEN_PRIVILEGES PreviousState,
                              PDWORD ReturnLength) override;
  bool ListResources(DWORD scope, const NETRESOURCEA* parent, std::vector<ListedResource>& out,
                     DWORD& error) override;
  NET_API_STATUS ListServers(LPCWSTR servername, DWORD servertype, LPCWSTR domain,
                             std::vector<ServerRow>& rows) override;
  const char* OwnSystemMessage(DWORD id) const override;

  // The account a call to the host `key` is made with: the thread's
  // impersonation, else the process's connection to that host, else the
  // user's own.
  Account AccountFor(const std::string& key) const;

  const std::string configFile_;
  // Connections of the process, by host key (guarded by mutex_).
  std::map<std::string, Account> connections_;

  // --- listings (SmbListing.cpp) ------------------------------------------
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

  // Winsock on the system's sockets: WS-Discovery.
  BsdSockets sockets_{*this};
  Winsock& SocketLayer() override { return sockets_; }
};

} // namespace skarvet
