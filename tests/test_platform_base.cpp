// The base of the implementations off Windows (platform/desktop/): how
// account and share names are read, and the bookkeeping every implementation
// relies on (per-instance and per-thread state, handles that end).
#include "platform/desktop/DesktopWinApi.h"
#include "platform/sim/SimSockets.h"
#include "platform/text/TextHelpers.h"

#include <gtest/gtest.h>

#include <thread>

using namespace skarvet;

namespace {

TEST(AccountNames, DomainUserUpnAndBareNames) {
  Account a = ParseAccount("ONDRAVEL\\admin", "pw");
  EXPECT_TRUE(a.given);
  EXPECT_EQ(a.domain, "ONDRAVEL");
  EXPECT_EQ(a.user, "admin");
  EXPECT_EQ(a.password, "pw");
  // A user principal name keeps its DNS domain as written ...
  a = ParseAccount("admin@ondravel.example", "");
  EXPECT_EQ(a.domain, "ondravel.example");
  EXPECT_EQ(a.user, "admin");
  // ... and stands for the NetBIOS domain of its first label.
  EXPECT_EQ(ShortDomainName(a.domain), "ondravel");
  EXPECT_EQ(ShortDomainName("ONDRAVEL"), "ONDRAVEL");
  EXPECT_EQ(ShortDomainName(""), "");
  a = ParseAccount("admin", "");
  EXPECT_EQ(a.domain, "");
  EXPECT_EQ(a.user, "admin");
  // The first backslash separates, whatever follows.
  a = ParseAccount("DOM\\user@elsewhere", "");
  EXPECT_EQ(a.domain, "DOM");
  EXPECT_EQ(a.user, "user@elsewhere");
  a = ParseAccount("\\user", "");
  EXPECT_EQ(a.domain, "");
  EXPECT_EQ(a.user, "user");
  // The program's own account is none of these.
  EXPECT_FALSE(Account{}.given);
}

TEST(ShareNames, OnlyServerAndOneShare) {
  std::string server;
  std::string share;
  ASSERT_TRUE(ParseShareName("\\\\BRAVO\\ipc$", server, share));
  EXPECT_EQ(server, "BRAVO");
  EXPECT_EQ(share, "ipc$");
  ASSERT_TRUE(ParseShareName("\\\\192.0.2.2\\C$", server, share));
  EXPECT_EQ(server, "192.0.2.2");
  for (const char* bad : {"", "\\\\", "\\\\a", "\\\\a\\", "\\\\\\ipc$", "\\\\a\\b\\c", "//a/ipc$",
                          "a\\ipc$", "\\a\\ipc$"})
    EXPECT_FALSE(ParseShareName(bad, server, share)) << bad;
}

TEST(NameComparison, AsciiLettersOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Microsoft Windows Network", "MICROSOFT windows network"));
  EXPECT_FALSE(EqualsIgnoreCase("ALPHA", "ALPH"));
  // Bytes of other scripts compare exactly, as the code page does not fold them.
  EXPECT_FALSE(EqualsIgnoreCase("BJ\xD6RK", "bj\xF6rk"));
  EXPECT_EQ(UpperAscii("adminpc-7\xF6"), "ADMINPC-7\xF6");
}

// The base alone, with listings of one entry and no network behind it.
class BareWinApi : public DesktopWinApi {
public:
  BOOL InitiateSystemShutdownExA(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) override { return FALSE; }
  HRESULT CoCreateScriptControl(std::unique_ptr<ScriptControlObject>&) override { return E_FAIL; }

protected:
  DWORD AcceptLogon(DWORD, Token&) override { return ERROR_SUCCESS; }
  DWORD AddConnection(const ConnectionRequest&) override { return ERROR_BAD_NETPATH; }
  // Sockets of an empty network.
  Winsock& SocketLayer() override { return sockets_; }
  sim::Sockets sockets_{*this, 0, [] { return std::vector<sim::Responder>{}; }};
  BOOL AdjustPrivilegesLocked(Token&, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                              PDWORD) override {
    return TRUE;
  }
  bool ListResources(DWORD, const NETRESOURCEA*, std::vector<ListedResource>& out,
                     DWORD&) override {
    out = {{RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEDISPLAYTYPE_NETWORK,
            RESOURCEUSAGE_CONTAINER, kWindowsNetwork, "", kWindowsNetwork}};
    return true;
  }
  NET_API_STATUS ListServers(LPCWSTR, DWORD, LPCWSTR, std::vector<ServerRow>&) override {
    return NERR_Success;
  }

public:
  Account Identity() const { return ThreadAccount(); }
};

TEST(DesktopBase, ImpersonationBelongsToOneThreadOfOneInstance) {
  BareWinApi first;
  BareWinApi second;
  HANDLE token = nullptr;
  ASSERT_TRUE(first.LogonUserA("admin@dom.example", nullptr, "pw", LOGON32_LOGON_NEW_CREDENTIALS,
                               LOGON32_PROVIDER_DEFAULT, &token));
  // Another instance knows nothing of the first's handles.
  EXPECT_FALSE(second.ImpersonateLoggedOnUser(token));
  EXPECT_EQ(second.GetLastError(), ERROR_INVALID_HANDLE);
  ASSERT_TRUE(first.ImpersonateLoggedOnUser(token));
  EXPECT_EQ(first.Identity(), ParseAccount("admin@dom.example", "pw"));
  EXPECT_FALSE(second.Identity().given);
  std::thread([&] {
    EXPECT_FALSE(first.Identity().given);
    // The last error is the thread's too.
    first.SetLastError(1234);
  }).join();
  EXPECT_EQ(first.GetLastError(), ERROR_INVALID_HANDLE);
  // Closing the token leaves the impersonation, as on Windows.
  EXPECT_TRUE(first.CloseHandle(token));
  EXPECT_TRUE(first.Identity().given);
}

TEST(DesktopBase, EnumerationHandlesEnd) {
  BareWinApi api;
  HANDLE listing = nullptr;
  ASSERT_EQ(api.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &listing),
            NO_ERROR);
  // An enumeration handle is no token.
  EXPECT_FALSE(api.CloseHandle(listing));
  alignas(NETRESOURCEA) unsigned char buffer[512];
  DWORD count = 1;
  DWORD size = sizeof buffer;
  EXPECT_EQ(api.WNetEnumResourceA(listing, &count, buffer, &size), NO_ERROR);
  EXPECT_EQ(api.WNetEnumResourceA(listing, &count, buffer, &size), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(api.WNetCloseEnum(listing), NO_ERROR);
  count = 1;
  EXPECT_EQ(api.WNetEnumResourceA(listing, &count, buffer, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(api.WNetCloseEnum(listing), ERROR_INVALID_HANDLE);
  // Filtered by usage, the listing is empty.
  ASSERT_EQ(api.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONNECTABLE,
                              nullptr, &listing),
            NO_ERROR);
  count = 1;
  EXPECT_EQ(api.WNetEnumResourceA(listing, &count, buffer, &size), ERROR_NO_MORE_ITEMS);
}

} // namespace
