// The simulated network's own parts, tested directly: the VBScript engine's
// parsing and the errors it reports, and the security model's account and
// right checks. (The routines above test the network as they use it.)
#include "platform/sim/SimulatedWinApi.h"
#include "platform/sim/VbScript.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace skarvet;
using namespace std::chrono_literals;
namespace vbs = skarvet::sim::vbs;

namespace {

// --- the VBScript engine ------------------------------------------------------

// An object that records its calls; "Fail" raises the error a component
// would, "Items" is a collection of two numbers.
class Probe : public vbs::Object {
public:
  std::vector<std::u16string> calls;
  std::optional<vbs::Value> Invoke(std::u16string_view name,
                                   const std::vector<vbs::Value>& args) override {
    if (vbs::SameName(name, "Fail")) {
      vbs::Error error;
      error.code = static_cast<HRESULT>(0x80041064u);
      error.description = u"User credentials cannot be used for local connections ";
      error.source = u"SWbemLocator";
      throw vbs::ScriptException(error);
    }
    if (!vbs::SameName(name, "Say")) return std::nullopt;
    calls.push_back(args.empty() ? u"" : vbs::ToText(args[0]));
    return vbs::Value::Num(0);
  }
  std::optional<std::vector<vbs::Value>> Items() override {
    return std::vector<vbs::Value>{vbs::Value::Num(1), vbs::Value::Num(2)};
  }
};

class Host : public vbs::Host {
public:
  std::shared_ptr<Probe> probe = std::make_shared<Probe>();
  vbs::ObjectRef CreateObject(std::u16string_view progId) override {
    return vbs::SameName(progId, "Test.Probe") ? probe : nullptr;
  }
};

struct Script {
  Host host;
  vbs::Module module{host};
};

TEST(VbScript, RunsTheLanguageAdministrativeScriptsUse) {
  Script s;
  const auto error = s.module.AddCode(u"Sub Main(name)\r\n"
                                      u"  Dim p, item : Set p = CreateObject(\"Test.Probe\")\r\n"
                                      u"  p.Say \"a \"\"quoted\"\" \" & name & Chr(33)\r\n"
                                      u"  For Each item In p\r\n"
                                      u"    Call p.Say(-item)\r\n"
                                      u"  Next ' a comment\r\n"
                                      u"  REM another\r\n"
                                      u"End Sub\r\n");
  ASSERT_FALSE(error) << std::string(error->description.begin(), error->description.end());
  EXPECT_FALSE(s.module.ExecuteStatement(u"main _\r\n \"ALPHA\""));
  EXPECT_EQ(s.host.probe->calls,
            (std::vector<std::u16string>{u"a \"quoted\" ALPHA!", u"-1", u"-2"}));
}

TEST(VbScript, CompileErrorsCarryVbScriptsNumberTextAndPlace) {
  struct Case {
    std::u16string code;
    int number;
    int line;
  };
  const Case cases[] = {
      {u"Sub Main\r\n  x = \"open\r\nEnd Sub", 1033, 2},             // unterminated string
      {u"Sub Main\r\n  For Each x p\r\n  Next\r\nEnd Sub", 1046, 2}, // expected 'In'
      {u"Sub Main\r\n  x = 1", 1014, 2},                             // expected 'End'
      {u"x = 1 #", 1032, 1},                                         // invalid character
      {u"Sub Main\r\nEnd Sub\r\nSub main\r\nEnd Sub", 1041, 0},      // name redefined
  };
  for (const Case& c : cases) {
    Script s;
    const auto error = s.module.AddCode(c.code);
    ASSERT_TRUE(error) << c.number;
    EXPECT_EQ(error->code, vbs::ErrorCode(c.number)) << c.number;
    EXPECT_EQ(error->source, vbs::kCompileErrorSource) << c.number;
    EXPECT_FALSE(error->description.empty()) << c.number;
    if (c.line) {
      EXPECT_EQ(error->line, c.line) << c.number;
    }
  }
  // A text that does not compile adds nothing: its procedure is unknown.
  Script s;
  ASSERT_TRUE(s.module.AddCode(u"Sub Main\r\nEnd Sub\r\nx = ("));
  const auto error = s.module.ExecuteStatement(u"Main");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->source, vbs::kRuntimeErrorSource);
}

TEST(VbScript, RuntimeErrorsNameWhatFailedAndHostErrorsPassThrough) {
  Script s;
  ASSERT_FALSE(s.module.AddCode(u"Sub Make\r\n  Set o = CreateObject(\"No.Such\")\r\nEnd Sub\r\n"
                                u"Sub Ask\r\n  Set o = CreateObject(\"Test.Probe\")\r\n"
                                u"  o.Nothing1\r\nEnd Sub\r\n"
                                u"Sub Fail\r\n  Set o = CreateObject(\"Test.Probe\")\r\n"
                                u"  o.Fail\r\nEnd Sub\r\n"));
  auto error = s.module.ExecuteStatement(u"Make");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, vbs::ErrorCode(429));
  EXPECT_EQ(error->description, u"ActiveX component can't create object: 'No.Such'");
  EXPECT_EQ(error->line, 2);

  error = s.module.ExecuteStatement(u"Ask");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, vbs::ErrorCode(438));
  EXPECT_EQ(error->description, u"Object doesn't support this property or method: 'o.Nothing1'");

  // A component's error reaches the caller as the component gave it.
  error = s.module.ExecuteStatement(u"Fail");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code, static_cast<HRESULT>(0x80041064u));
  EXPECT_EQ(error->source, u"SWbemLocator");
  EXPECT_EQ(error->line, 10);
}

TEST(VbScript, DeepNestingAndEndlessRecursionAreErrorsNotCrashes) {
  Script s;
  const std::u16string deep =
      u"x = " + std::u16string(100000, u'(') + u"1" + std::u16string(100000, u')');
  const auto nested = s.module.AddCode(deep);
  ASSERT_TRUE(nested);
  EXPECT_EQ(nested->source, vbs::kCompileErrorSource);

  ASSERT_FALSE(s.module.AddCode(u"Sub Again\r\n  Again\r\nEnd Sub"));
  const auto recursion = s.module.ExecuteStatement(u"Again");
  ASSERT_TRUE(recursion);
  EXPECT_EQ(recursion->code, vbs::ErrorCode(28)); // out of stack space
}

// --- the security model ---------------------------------------------------------

// Connects to `share` on `computer` with an account; the Win32 result.
DWORD Connect(SimulatedWinApi& api, const char* computer, const char* share, const char* user,
              const char* password) {
  std::string remote = std::string("\\\\") + computer + "\\" + share;
  NETRESOURCEA resource{};
  resource.dwType = RESOURCETYPE_ANY;
  resource.lpRemoteName = remote.data();
  return api.WNetAddConnection2A(&resource, password, user, 0);
}

TEST(SimulatedSecurity, AccountsAreFoundWhereWindowsLooksForThem) {
  // Each case gets a network of its own: a connection lends its account.
  struct Case {
    const char* computer;
    const char* user;
    const char* password;
    DWORD ipc;   // logon only
    DWORD admin; // logon and the right to shut down
  };
  const Case cases[] = {
      // A domain account by its NetBIOS or its DNS domain name.
      {"BRAVO", "ONDRAVEL\\admin", "Secret1", NO_ERROR, NO_ERROR},
      {"BRAVO", "admin@ondravel.example", "Secret1", NO_ERROR, NO_ERROR},
      {"BRAVO", "ondravel.example\\ADMIN", "Secret1", NO_ERROR, NO_ERROR},
      // A bare name is the domain's when the computer has no such local one.
      {"BRAVO", "admin", "Secret1", NO_ERROR, NO_ERROR},
      // Known, but without the right on that computer.
      {"BRAVO", "ONDRAVEL\\helpdesk", "helpdesk", NO_ERROR, ERROR_ACCESS_DENIED},
      {"BRAVO", "ONDRAVEL\\operator", "operator", NO_ERROR, ERROR_ACCESS_DENIED},
      // Wrong password, unknown user, a domain that does not vouch for it.
      {"BRAVO", "ONDRAVEL\\admin", "secret1", ERROR_LOGON_FAILURE, ERROR_LOGON_FAILURE},
      {"BRAVO", "ONDRAVEL\\nobody", "x", ERROR_LOGON_FAILURE, ERROR_LOGON_FAILURE},
      {"BRAVO", "LAB\\admin", "Secret1", ERROR_LOGON_FAILURE, ERROR_LOGON_FAILURE},
      // A workgroup computer knows its local accounts only, by any authority.
      {"KITCHEN", "Administrator", "kitchen", NO_ERROR, NO_ERROR},
      {"KITCHEN", "KITCHEN\\administrator", "kitchen", NO_ERROR, NO_ERROR},
      {"KITCHEN", "WORKGROUP\\Administrator", "kitchen", NO_ERROR, NO_ERROR},
      {"KITCHEN", "ONDRAVEL\\admin", "Secret1", ERROR_LOGON_FAILURE, ERROR_LOGON_FAILURE},
  };
  for (const Case& c : cases) {
    SimulatedWinApi ipc(sim::Network::Default(), 0ms);
    EXPECT_EQ(Connect(ipc, c.computer, "ipc$", c.user, c.password), c.ipc)
        << c.user << " at " << c.computer;
    SimulatedWinApi admin(sim::Network::Default(), 0ms);
    EXPECT_EQ(Connect(admin, c.computer, "admin$", c.user, c.password), c.admin)
        << c.user << " at " << c.computer;
  }
}

TEST(SimulatedSecurity, ShutdownNeedsThePrivilegeAndTheRightOfTheCallersAccount) {
  SimulatedWinApi api(sim::Network::Default(), 0ms);
  // A restart of `computer`: 0 when it was sent, else the last error.
  auto restart = [&](std::string computer) -> DWORD {
    char message[] = "";
    if (api.InitiateSystemShutdownExA(computer.data(), message, 0, FALSE, TRUE, 0x80020003))
      return 0;
    return api.GetLastError();
  };
  // The privilege is held but not enabled at start.
  EXPECT_EQ(restart("BRAVO"), ERROR_PRIVILEGE_NOT_HELD);
  HANDLE process = nullptr;
  ASSERT_TRUE(api.OpenProcessToken(api.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &process));
  LUID luid{};
  ASSERT_TRUE(api.LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &luid));
  TOKEN_PRIVILEGES enable{1, {{luid, SE_PRIVILEGE_ENABLED}}};
  ASSERT_TRUE(api.AdjustTokenPrivileges(process, FALSE, &enable, 0, nullptr, nullptr));

  // The program's own account has no right on BRAVO; an impersonated
  // administrator (named with the domain's DNS name) has, on this thread only.
  EXPECT_EQ(restart("BRAVO"), ERROR_ACCESS_DENIED);
  HANDLE logon = nullptr;
  ASSERT_TRUE(api.LogonUserA("admin", "ondravel.example", "Secret1", LOGON32_LOGON_NEW_CREDENTIALS,
                             LOGON32_PROVIDER_WINNT50, &logon));
  ASSERT_TRUE(api.ImpersonateLoggedOnUser(logon));
  std::thread([&] { EXPECT_EQ(restart("BRAVO"), ERROR_ACCESS_DENIED); }).join();
  EXPECT_EQ(restart("BRAVO"), 0u);
  int restarts = 0;
  api.WithNetwork(
      [&](sim::Network& network) { restarts = network.FindComputer("bravo")->restarts; });
  EXPECT_EQ(restarts, 1);

  // Back to the process's own identity: a handle opened only to adjust
  // privileges may not be impersonated, one opened to query and duplicate may.
  EXPECT_FALSE(api.ImpersonateLoggedOnUser(process));
  EXPECT_EQ(api.GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE self = nullptr;
  ASSERT_TRUE(api.OpenProcessToken(api.GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &self));
  EXPECT_TRUE(api.ImpersonateLoggedOnUser(self));
  EXPECT_EQ(restart("ALPHA"), 0u);
  EXPECT_EQ(restart("DELTA"), RPC_S_SERVER_UNAVAILABLE);
  EXPECT_EQ(restart("KITCHEN"), ERROR_ACCESS_DENIED); // not among the own account's computers
}

} // namespace
