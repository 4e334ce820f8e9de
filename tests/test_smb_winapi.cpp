// The real network's implementation of the seam, where no host is needed:
// the choice of the network, names that can reach no host, the local calls,
// the logoff text, and the text conversions that carry names to the network.
// Requests that reach a host are tested against a Samba peer elsewhere.
#include "platform/WinApi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#ifdef SKARVET_HAVE_SMB
#include "platform/sim/SimulatedWinApi.h"
#include "platform/smb/SmbAccount.h"
#include "platform/smb/SmbCalls.h"
#include "platform/smb/SmbWinApi.h"
#include "remote/GlobalUnit.h"
#include "remote/RemoteLogoffUnit.h"
#endif

using namespace skarvet;

namespace {

// Sets an environment variable for the scope, restoring it afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    had_ = std::getenv(name) != nullptr;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, previous_.c_str(), 1);
    else
      unsetenv(name_);
  }

private:
  const char* name_;
  std::string previous_;
  bool had_ = false;
};

TEST(NetworkChoice,
     SimulatedByDefaultRealOnRequestAndNothingElse){{ScopedEnv env("SKARVET_NETWORK", nullptr);
EXPECT_EQ(DefaultWinApiError(), "");
} // namespace
{
  ScopedEnv env("SKARVET_NETWORK", "simulated");
  EXPECT_EQ(DefaultWinApiError(), "");
}
{
  // A near miss is an error, never a quiet fall back to the simulation.
  ScopedEnv env("SKARVET_NETWORK", "Real");
  const std::string error = DefaultWinApiError();
  EXPECT_NE(error.find("SKARVET_NETWORK=Real"), std::string::npos) << error;
  EXPECT_THROW(CreateDefaultWinApi(), std::runtime_error);
}
#ifdef SKARVET_HAVE_SMB
{
  ScopedEnv env("SKARVET_NETWORK", "real");
  EXPECT_EQ(DefaultWinApiError(), "");
  auto api = CreateDefaultWinApi();
  EXPECT_NE(dynamic_cast<SmbWinApi*>(api.get()), nullptr);
}
#endif
}

#ifdef SKARVET_HAVE_SMB

TEST(SmbNames, ComputersAreNamedAsWindowsAcceptsThem) {
  std::string host;
  std::string key;
  DWORD error = 0;
  ASSERT_TRUE(smb::HostOfName("\\\\peer", host, key, error));
  EXPECT_EQ(host, "peer");
  EXPECT_EQ(key, "PEER");
  ASSERT_TRUE(smb::HostOfName("host.example.org", host, key, error));
  EXPECT_EQ(host, "host.example.org");
  ASSERT_TRUE(smb::HostOfName("192.0.2.2", host, key, error));
  EXPECT_EQ(host, "192.0.2.2");
  // IPv6 addresses as the library reads them in a URL (no colons), every
  // spelling of one address remembered under one key.
  std::string firstKey;
  for (const char* name : {"2001:db8::2", "[2001:DB8::2]", "\\\\2001:db8:0:0::2"}) {
    ASSERT_TRUE(smb::HostOfName(name, host, key, error)) << name;
    EXPECT_EQ(host, "2001-db8--2.ipv6-literal.net") << name;
    if (firstKey.empty()) firstKey = key;
    EXPECT_EQ(key, firstKey) << name;
  }
  ASSERT_TRUE(smb::HostOfName("::ffff:192.0.2.2", host, key, error));
  EXPECT_EQ(host, "192.0.2.2");
  // A name in the program's code page travels in UTF-8.
  ASSERT_TRUE(smb::HostOfName("BJ\xD6RK", host, key, error));
  EXPECT_EQ(host, "BJ\xC3\x96RK");

  // Empty names are this computer, which is never asked remotely.
  for (const char* name : {"", "\\\\"}) {
    EXPECT_FALSE(smb::HostOfName(name, host, key, error)) << name;
    EXPECT_EQ(error, ERROR_INVALID_COMPUTERNAME);
  }
  EXPECT_FALSE(smb::HostOfName(nullptr, host, key, error));

  // Names that would change the address they are put into, or that no
  // computer can have, reach nothing.
  const std::string tooLong(256, 'a');
  const std::string tooLongBracketed = "[" + std::string(64, ':') + "]";
  for (const char* name :
       {"user@host", "host/IPC$", "a\\b", "host?x", "h%41", "host;x", "two words", "line\nbreak",
        "-option", "[::1", "::g", "2001:db8::2%eth0", "[2001:db8::2]:445", "2001:db8::2/64",
        ":::", "[]", "1:2:3:4:5:6:7:8:9", tooLong.c_str(), tooLongBracketed.c_str()}) {
    error = 0;
    EXPECT_FALSE(smb::HostOfName(name, host, key, error)) << name;
    EXPECT_EQ(error, ERROR_BAD_NETPATH) << name;
  }
}

TEST(SmbNames, AccountsAndTheirLimits) {
  // How names are read is the base's (test_platform_base); what the library
  // takes is this network's.
  EXPECT_TRUE(smb::AccountFits(ParseAccount("admin@dom.example", "pw")));
  EXPECT_FALSE(smb::AccountFits(ParseAccount("admin", std::string(256, 'p'))));
  EXPECT_FALSE(smb::AccountFits(ParseAccount(std::string(256, 'd') + "\\admin", "pw")));
}

TEST(SmbCallHelper, RequestAndReplyCrossIntactAndNothingTruncatedPasses) {
  smb::CallRequest request;
  request.kind = smb::CallKind::Shutdown;
  request.configFile = "/etc/samba/smb.conf";
  request.account = ParseAccount("DOM\\admin", std::string("p\0w", 3));
  request.urlHost = "[2001:db8::2]";
  request.message = "Going down";
  request.timeout = 30;
  request.reboot = true;
  request.reason = 0x80020003u;
  const WipingString bytes = smb::EncodeRequest(request);
  smb::CallRequest read;
  ASSERT_TRUE(smb::DecodeRequest(bytes, read));
  EXPECT_EQ(read.account, request.account);
  EXPECT_EQ(read.urlHost, request.urlHost);
  EXPECT_EQ(read.message, request.message);
  EXPECT_EQ(read.timeout, 30u);
  EXPECT_TRUE(read.reboot);
  EXPECT_FALSE(read.force);
  EXPECT_EQ(read.reason, 0x80020003u);
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(smb::DecodeRequest(bytes.substr(0, n), read)) << n;
  EXPECT_FALSE(smb::DecodeRequest(bytes + '\0', read));

  smb::CallReply reply;
  reply.entries = {{"SKPEER1", "Skarvet test peer"}, {"SKPEER2", ""}};
  const std::string replyBytes = smb::EncodeReply(reply);
  smb::CallReply back;
  ASSERT_TRUE(smb::DecodeReply(replyBytes, back));
  ASSERT_EQ(back.entries.size(), 2u);
  EXPECT_EQ(back.entries[0].comment, "Skarvet test peer");
  EXPECT_EQ(back.entries[1].name, "SKPEER2");
  for (std::size_t n = 0; n < replyBytes.size(); ++n)
    EXPECT_FALSE(smb::DecodeReply(replyBytes.substr(0, n), back)) << n;
  // A count of entries that the bytes cannot hold is refused before any is
  // made.
  std::string lying = replyBytes;
  lying[4] = lying[5] = lying[6] = lying[7] = '\xFF';
  EXPECT_FALSE(smb::DecodeReply(lying, back));
}

TEST(SmbWinApiLocal, RequestsThatCannotReachAHostFailAtOnce) {
  SmbWinApi api;
  char empty[] = "";
  char odd[] = "host/IPC$/InitShutdown";
  char fine[] = "192.0.2.2";
  api.SetLastError(0);
  EXPECT_FALSE(api.InitiateSystemShutdownExA(empty, empty, 0, FALSE, TRUE, 0));
  EXPECT_EQ(api.GetLastError(), ERROR_INVALID_COMPUTERNAME);
  EXPECT_FALSE(api.InitiateSystemShutdownExA(odd, empty, 0, FALSE, TRUE, 0));
  EXPECT_EQ(api.GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_FALSE(api.InitiateSystemShutdownExA(fine, empty, 0xFFFFFFFF, FALSE, TRUE, 0));
  EXPECT_EQ(api.GetLastError(), ERROR_INVALID_PARAMETER);

  // Connections: malformed paths and devices that cannot be redirected.
  NETRESOURCEA resource{};
  EXPECT_EQ(api.WNetAddConnection2A(&resource, "pw", "user", 0), ERROR_BAD_NET_NAME);
  std::string remote = "\\\\server";
  resource.lpRemoteName = remote.data();
  EXPECT_EQ(api.WNetAddConnection2A(&resource, "pw", "user", 0), ERROR_BAD_NET_NAME);
  remote = "\\\\a@b\\ipc$";
  resource.lpRemoteName = remote.data();
  EXPECT_EQ(api.WNetAddConnection2A(&resource, "pw", "user", 0), ERROR_BAD_NETPATH);
  remote = "\\\\server\\ipc$";
  resource.lpRemoteName = remote.data();
  std::string drive = "Z:";
  resource.lpLocalName = drive.data();
  EXPECT_EQ(api.WNetAddConnection2A(&resource, "pw", "user", 0), 1200u); // ERROR_BAD_DEVICE
  EXPECT_EQ(api.WNetAddConnection2A(nullptr, "pw", "user", 0), ERROR_INVALID_ADDRESS);

  // A client configuration that cannot be loaded stops every call before it
  // reaches the network.
  SmbWinApi unconfigured("/nonexistent/smb.conf");
  EXPECT_FALSE(unconfigured.InitiateSystemShutdownExA(fine, empty, 0, FALSE, TRUE, 0));
  EXPECT_EQ(unconfigured.GetLastError(), ERROR_NO_NETWORK);
}

TEST(SmbWinApiLocal, TokensAndPrivilegesOfThisProcess) {
  SmbWinApi api;
  HANDLE token = nullptr;
  ASSERT_TRUE(api.LogonUserA("admin", "PEER", "secret", LOGON32_LOGON_NEW_CREDENTIALS,
                             LOGON32_PROVIDER_WINNT50, &token));
  EXPECT_TRUE(api.ImpersonateLoggedOnUser(token));
  EXPECT_TRUE(api.CloseHandle(token));
  EXPECT_FALSE(api.CloseHandle(token));
  EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(api.ImpersonateLoggedOnUser(token));
  // This computer's own logons are not Windows'.
  EXPECT_FALSE(api.LogonUserA("admin", "PEER", "secret", LOGON32_LOGON_INTERACTIVE,
                              LOGON32_PROVIDER_DEFAULT, &token));
  EXPECT_EQ(token, nullptr);

  // The shutdown privilege is held and enabled: the target checks its own
  // right.
  HANDLE process = nullptr;
  ASSERT_TRUE(api.OpenProcessToken(api.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &process));
  LUID luid{};
  ASSERT_TRUE(api.LookupPrivilegeValueA(nullptr, "seshutdownprivilege", &luid));
  EXPECT_EQ(luid.LowPart, 19u);
  EXPECT_FALSE(api.LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(api.GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
  TOKEN_PRIVILEGES privileges{1, {{luid, SE_PRIVILEGE_ENABLED}}};
  EXPECT_TRUE(
      api.AdjustTokenPrivileges(process, FALSE, &privileges, sizeof privileges, nullptr, nullptr));
  EXPECT_EQ(api.GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(api.CloseHandle(process));
}

TEST(SmbWinApiLocal, LogoffSaysWhatIsMissing) {
  SmbWinApi api;
  ScopedWinApi scoped(api);
  std::string error;
  RemoteLogoff("PEER", "admin", "secret", error);
  EXPECT_EQ(error, "Logoff is not available here: it needs the Windows Management "
                   "Instrumentation service, and this system has no client for it");
  // Every other text is the system's, as the simulated network gives it.
  SimulatedWinApi simulated;
  for (DWORD code : {0u, 5u, 53u, 1115u, 1326u, 1722u, 1726u, 1728u}) {
    const std::string smb = SystemErrorText(code);
    ScopedWinApi other(simulated);
    EXPECT_EQ(smb, SystemErrorText(code));
    EXPECT_FALSE(smb.empty()) << code;
  }
}

TEST(SmbWinApiLocal, ListingsWithoutTheNetwork) {
  SmbWinApi api;
  HANDLE top = nullptr;
  ASSERT_EQ(api.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &top), NO_ERROR);
  alignas(NETRESOURCEA) unsigned char buffer[2048];
  DWORD count = 64;
  DWORD size = sizeof buffer;
  ASSERT_EQ(api.WNetEnumResourceA(top, &count, buffer, &size), NO_ERROR);
  ASSERT_EQ(count, 1u);
  const auto* provider = reinterpret_cast<const NETRESOURCEA*>(buffer);
  EXPECT_STREQ(provider->lpRemoteName, "Microsoft Windows Network");
  EXPECT_TRUE(provider->dwUsage & RESOURCEUSAGE_CONTAINER);
  count = 64;
  EXPECT_EQ(api.WNetEnumResourceA(top, &count, buffer, &size), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(api.WNetCloseEnum(top), NO_ERROR);
  EXPECT_EQ(api.WNetCloseEnum(top), ERROR_INVALID_HANDLE);

  LPBYTE servers = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  EXPECT_EQ(api.NetServerEnum(nullptr, 100, &servers, MAX_PREFERRED_LENGTH, &read, &total,
                              SV_TYPE_WORKSTATION, nullptr, nullptr),
            124u); // ERROR_INVALID_LEVEL
  int notHanded = 0;
  EXPECT_EQ(api.NetApiBufferFree(&notHanded), ERROR_INVALID_PARAMETER);
}

#endif // SKARVET_HAVE_SMB

} // namespace
