// The remote routines end to end against the simulated Windows network:
// every outcome a user can meet, on worker threads as the program runs them.
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"
#include "remote/GlobalUnit.h"
#include "remote/RemoteLogoffUnit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <thread>

using namespace skarvet;
using namespace std::chrono_literals;

namespace {

// A network of its own for each test, answering at once.
struct NetworkTest : ::testing::Test {
  SimulatedWinApi api{sim::Network::Default(), 0ms};
  ScopedWinApi use{api};

  sim::Computer Computer(const std::string& name) {
    sim::Computer copy;
    api.WithNetwork([&](sim::Network& net) { copy = *net.FindComputer(name); });
    return copy;
  }
};

// What the worker does for a restart or shutdown, on a thread of its own
// (impersonation belongs to that thread and ends with it).
std::int32_t Shutdown(const std::string& computer, bool powerOff, const std::string& user = "",
                      const std::string& password = "", const std::string& domain = "") {
  std::int32_t result = 12345;
  std::thread worker([&] {
    HANDLE token = nullptr;
    ConnectAsUser(user, password, domain, computer, token);
    result = RemoteShutdown(computer, powerOff, false, 0x00010000);
    CloseLogonToken(token);
  });
  worker.join();
  return result;
}

std::string Logoff(const std::string& computer, const std::string& account = "",
                   const std::string& password = "") {
  std::string error = "not run";
  std::thread worker([&] { RemoteLogoff(computer, account, password, error); });
  worker.join();
  return error;
}

} // namespace

// --- restart and shutdown -----------------------------------------------------------

TEST_F(NetworkTest, RestartWithOwnAccountThenUnreachableThenBack) {
  api.WithNetwork([](sim::Network& net) { net.restartDowntime = 150ms; });
  EXPECT_EQ(Shutdown("ALPHA", false), 0);
  sim::Computer alpha = Computer("ALPHA");
  EXPECT_EQ(alpha.restarts, 1);
  EXPECT_EQ(alpha.lastReasonAndFlags, "reason=0x00010000, force=0, reboot=1");
  EXPECT_EQ(alpha.interactiveUser, ""); // the restart ended the session
  EXPECT_EQ(Shutdown("ALPHA", false), -2);
  EXPECT_EQ(Logoff("ALPHA"), "The RPC server is unavailable");
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(Shutdown("alpha", false), 0); // names are not case-sensitive
  EXPECT_EQ(Computer("ALPHA").restarts, 2);
}

TEST_F(NetworkTest, ShutDownComputerStaysOffline) {
  api.WithNetwork([](sim::Network& net) { net.restartDowntime = 1ms; });
  EXPECT_EQ(Shutdown("ECHO", true), 0);
  EXPECT_EQ(Computer("ECHO").state, sim::HostState::Offline);
  EXPECT_EQ(Computer("ECHO").lastReasonAndFlags, "reason=0x00010000, force=0, reboot=0");
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(Shutdown("ECHO", false), -2);
  EXPECT_EQ(Computer("ECHO").shutdowns, 1);
}

TEST_F(NetworkTest, RightsDecideAndEveryRefusalIsAccessDenied) {
  EXPECT_EQ(Shutdown("BRAVO", false), -1);                                     // own: no rights
  EXPECT_EQ(Shutdown("BRAVO", false, "admin", "wrong", "ONDRAVEL"), -1);       // wrong password
  EXPECT_EQ(Shutdown("BRAVO", false, "helpdesk", "helpdesk", "ONDRAVEL"), -1); // no rights
  EXPECT_EQ(Shutdown("BRAVO", false, "nobody", "x", "ONDRAVEL"), -1);          // no such account
  EXPECT_EQ(Computer("BRAVO").restarts, 0);
  EXPECT_EQ(Shutdown("BRAVO", false, " admin ", "Secret1", " ONDRAVEL "), 0);
  EXPECT_EQ(Computer("BRAVO").restarts, 1);
}

TEST_F(NetworkTest, LocalAccountOfAWorkgroupComputerWithABlankDomain) {
  EXPECT_EQ(Shutdown("KITCHEN", false), -1);
  EXPECT_EQ(Shutdown("KITCHEN", false, "Administrator", "KITCHEN", ""), -1); // case matters
  // A domain account means nothing to a workgroup computer.
  EXPECT_EQ(Shutdown("KITCHEN", false, "admin", "Secret1", "ONDRAVEL"), -1);
  EXPECT_EQ(Shutdown("KITCHEN", false, "administrator", "kitchen", ""), 0);
  EXPECT_EQ(Computer("KITCHEN").restarts, 1);
}

TEST_F(NetworkTest, UnreachableAndRpcUnavailableComputers) {
  EXPECT_EQ(Shutdown("CHARLIE", false), -2);
  EXPECT_EQ(Shutdown("LAPTOP7", true, "Administrator", "x", ""), -2);
  EXPECT_EQ(Shutdown("ZULU", false), -2);
  EXPECT_EQ(Shutdown("DELTA", false), 1722);
  EXPECT_EQ(SystemErrorText(1722), "The RPC server is unavailable.");
  // Blanks around a name are passed on, and the network knows no such name.
  EXPECT_EQ(Shutdown(" ALPHA ", false), -2);
  EXPECT_EQ(Computer("ALPHA").restarts, 0);
}

TEST_F(NetworkTest, TheNetworksOwnErrorNumbers) {
  // As the worker would meet them, read straight from the calls.
  std::thread worker([&] {
    HANDLE token = nullptr;
    EXPECT_EQ(RemoteShutdown("ECHO", false, false, 0), 0); // enables the privilege
    auto attempt = [&](const char* name) {
      char message[1] = {};
      std::string machine = name;
      return api.InitiateSystemShutdownExA(machine.data(), message, 0, FALSE, TRUE, 0)
                 ? 0u
                 : api.GetLastError();
    };
    EXPECT_EQ(attempt("BRAVO"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(attempt("CHARLIE"), ERROR_BAD_NETPATH);
    EXPECT_EQ(attempt("DELTA"), RPC_S_SERVER_UNAVAILABLE);
    ConnectAsUser("admin", "wrong", "ONDRAVEL", "BRAVO", token);
    EXPECT_EQ(attempt("BRAVO"), ERROR_LOGON_FAILURE);
    CloseLogonToken(token);
    // The impersonation outlives the token, as on Windows.
    EXPECT_EQ(attempt("\\\\bravo"), ERROR_LOGON_FAILURE);
    EXPECT_FALSE(api.CloseHandle(token)); // closed once, by CloseLogonToken
    EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
  });
  worker.join();
}

TEST_F(NetworkTest, ShutdownPrivilegeMustBeEnabledInTheProcessToken) {
  std::thread worker([&] {
    char message[1] = {};
    std::string machine = "ALPHA";
    EXPECT_FALSE(api.InitiateSystemShutdownExA(machine.data(), message, 0, FALSE, TRUE, 0));
    EXPECT_EQ(api.GetLastError(), ERROR_PRIVILEGE_NOT_HELD);
    EXPECT_EQ(MapShutdownError(), -1);
  });
  worker.join();
  EXPECT_EQ(Shutdown("ALPHA", false), 0);
  // Enabled once, it stays enabled for the process: another thread's raw
  // call now goes through.
  std::thread later([&] {
    char message[1] = {};
    std::string machine = "ECHO";
    EXPECT_TRUE(api.InitiateSystemShutdownExA(machine.data(), message, 0, FALSE, TRUE, 0));
  });
  later.join();
}

TEST_F(NetworkTest, BlankNameNeverActsOnThisComputer) {
  EXPECT_EQ(Shutdown("  ", false), static_cast<int>(ERROR_INVALID_COMPUTERNAME));
  EXPECT_EQ(SystemErrorText(ERROR_INVALID_COMPUTERNAME),
            "The format of the specified computer name is invalid.");
  EXPECT_EQ(Logoff(" \t", "ONDRAVEL\\admin", "Secret1"),
            "The format of the specified computer name is invalid.");
  // A bare "\\" is this computer to the system as well.
  EXPECT_EQ(Shutdown("\\\\", false), static_cast<int>(ERROR_INVALID_COMPUTERNAME));
  EXPECT_EQ(Logoff(" \\\\\t", "", ""), "The format of the specified computer name is invalid.");
  const sim::Computer self = Computer("ADMINPC");
  EXPECT_EQ(self.restarts, 0);
  EXPECT_EQ(self.logoffs, 0);
  EXPECT_EQ(self.interactiveUser, "ONDRAVEL\\operator");
}

TEST_F(NetworkTest, ShareConnectionLendsItsCredentialsToTheWholeProcess) {
  std::thread connect([&] {
    EXPECT_EQ(AddNetConnection("", "\\\\BRAVO\\ipc$", "ONDRAVEL\\admin", "wrong"),
              ERROR_LOGON_FAILURE);
    EXPECT_EQ(AddNetConnection("", "\\\\CHARLIE\\ipc$", "ONDRAVEL\\admin", "Secret1"),
              ERROR_BAD_NETPATH);
    EXPECT_EQ(AddNetConnection("", "\\\\BRAVO\\nosuch", "ONDRAVEL\\admin", "Secret1"),
              ERROR_BAD_NET_NAME);
    EXPECT_EQ(AddNetConnection("", "\\\\BRAVO\\ipc$", "ONDRAVEL\\admin", "Secret1"), 0u);
    // One set of credentials per server.
    EXPECT_EQ(AddNetConnection("", "\\\\BRAVO\\ipc$", "ONDRAVEL\\helpdesk", "helpdesk"), 1219u);
    EXPECT_EQ(AddNetConnection("", "\\\\BRAVO\\ipc$", "ONDRAVEL\\admin", "Secret1"), 0u);
  });
  connect.join();
  // Another thread, no impersonation: the process's connection carries it.
  EXPECT_EQ(Shutdown("BRAVO", false), 0);
  // An impersonating thread uses its own credentials instead.
  api.WithNetwork([](sim::Network& net) { net.FindComputer("BRAVO")->unreachableUntil = {}; });
  EXPECT_EQ(Shutdown("BRAVO", false, "helpdesk", "helpdesk", "ONDRAVEL"), -1);
}

TEST_F(NetworkTest, TwoWorkersWithDifferentAccountsDoNotDisturbEachOther) {
  api.SetLatency(20ms);
  // Back at once, so that the order in which the two arrive does not matter.
  api.WithNetwork([](sim::Network& net) { net.restartDowntime = 0ms; });
  std::barrier bothImpersonating(2);
  std::int32_t admin = 99, helpdesk = 99;
  auto run = [&](const char* user, const char* password, std::int32_t& result) {
    HANDLE token = nullptr;
    ConnectAsUser(user, password, "ONDRAVEL", "BRAVO", token);
    bothImpersonating.arrive_and_wait();
    result = RemoteShutdown("BRAVO", false, false, 0);
    CloseLogonToken(token);
  };
  std::thread a(run, "admin", "Secret1", std::ref(admin));
  std::thread b(run, "helpdesk", "helpdesk", std::ref(helpdesk));
  a.join();
  b.join();
  EXPECT_EQ(admin, 0);
  EXPECT_EQ(helpdesk, -1);
  EXPECT_EQ(Computer("BRAVO").restarts, 1);
}

TEST_F(NetworkTest, TwoLogoffsAtOnceWithDifferentAccounts) {
  api.SetLatency(20ms);
  std::string first, second;
  std::thread a([&] { RemoteLogoff("ALPHA", "ONDRAVEL\\admin", "Secret1", first); });
  std::thread b([&] { RemoteLogoff("BRAVO", "ONDRAVEL\\helpdesk", "helpdesk", second); });
  a.join();
  b.join();
  EXPECT_EQ(first, "");
  EXPECT_EQ(second, "Access is denied");
  EXPECT_EQ(Computer("ALPHA").interactiveUser, "");
  EXPECT_EQ(Computer("BRAVO").interactiveUser, "ONDRAVEL\\mjones");
}

TEST_F(NetworkTest, FoxtrotNeverAnswersAndHoldsOnlyItsOwnCaller) {
  api.WithNetwork([](sim::Network& net) { net.noAnswerWait = 500ms; });
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> shutdownReturned{false}, logoffReturned{false};
  std::int32_t silent = 0;
  std::string silentLogoff;
  std::thread waiting([&] {
    silent = Shutdown("FOXTROT", false);
    shutdownReturned = true;
  });
  std::thread waitingLogoff([&] {
    silentLogoff = Logoff("FOXTROT");
    logoffReturned = true;
  });
  std::this_thread::sleep_for(20ms);
  // Meanwhile the rest of the network answers: the wait holds no lock.
  EXPECT_EQ(Shutdown("ALPHA", false), 0);
  EXPECT_EQ(Logoff("BRAVO", "ONDRAVEL\\admin", "Secret1"), "");
  EXPECT_FALSE(shutdownReturned);
  EXPECT_FALSE(logoffReturned);
  waiting.join();
  waitingLogoff.join();
  EXPECT_GE(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_EQ(silent, -2);
  EXPECT_EQ(silentLogoff, "The RPC server is unavailable");
}

// --- logoff ------------------------------------------------------------------------------------

TEST_F(NetworkTest, LogoffOutcomes) {
  EXPECT_EQ(Logoff("ALPHA"), "");
  EXPECT_EQ(Computer("ALPHA").interactiveUser, "");
  EXPECT_EQ(Computer("ALPHA").logoffs, 1);
  EXPECT_EQ(Logoff("BRAVO"), "Access is denied");
  EXPECT_EQ(Logoff("BRAVO", "ONDRAVEL\\admin", "secret1"), "Access is denied");
  EXPECT_EQ(Logoff("BRAVO", "ONDRAVEL\\admin", "Secret1"), "");
  EXPECT_EQ(Logoff("CHARLIE"), "The RPC server is unavailable");
  EXPECT_EQ(Logoff("DELTA"), "The RPC server is unavailable");
  EXPECT_EQ(Logoff("ZULU", "ONDRAVEL\\admin", "Secret1"), "The RPC server is unavailable");
  EXPECT_EQ(Logoff("KITCHEN", "Administrator", "kitchen"), "");
  EXPECT_EQ(Computer("KITCHEN").interactiveUser, "");
  // Nobody logged on: the script still runs and counts as success.
  EXPECT_EQ(Logoff("ECHO"), "");
  EXPECT_EQ(Computer("ECHO").logoffs, 1);
}

TEST_F(NetworkTest, LogoffValuesWithQuotesReachTheServiceVerbatim) {
  std::vector<SimulatedWinApi::ManagementConnect> seen;
  api.SetManagementConnectObserver(
      [&](const SimulatedWinApi::ManagementConnect& c) { seen.push_back(c); });
  api.WithNetwork([](sim::Network& net) {
    net.accounts.push_back({"ONDRAVEL", "o\"brien", "a\"b\r\nc d'e", {"ALPHA"}});
  });
  EXPECT_EQ(Logoff("ALPHA", "ONDRAVEL\\o\"brien", "a\"b\r\nc d'e"), "");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].server, u"ALPHA");
  EXPECT_EQ(seen[0].nameSpace, u"root\\cimv2");
  EXPECT_EQ(seen[0].user, u"ONDRAVEL\\o\"brien");
  EXPECT_EQ(seen[0].password, u"a\"b\r\nc d'e");
  // A quote in the name no longer breaks the script: the name is simply unknown.
  EXPECT_EQ(Logoff("AL\"PHA"), "The RPC server is unavailable");
}

TEST_F(NetworkTest, NewCredentialsLogonChecksNothingOtherLogonsCheckHere) {
  HANDLE token = nullptr;
  EXPECT_TRUE(api.LogonUserA("nobody", "NOWHERE", "x", LOGON32_LOGON_NEW_CREDENTIALS,
                             LOGON32_PROVIDER_WINNT50, &token));
  EXPECT_TRUE(api.CloseHandle(token));
  EXPECT_FALSE(api.LogonUserA("admin", "ONDRAVEL", "wrong", LOGON32_LOGON_INTERACTIVE,
                              LOGON32_PROVIDER_DEFAULT, &token));
  EXPECT_EQ(api.GetLastError(), ERROR_LOGON_FAILURE);
  EXPECT_EQ(token, nullptr);
  EXPECT_TRUE(api.LogonUserA("admin", "ONDRAVEL", "Secret1", LOGON32_LOGON_INTERACTIVE,
                             LOGON32_PROVIDER_DEFAULT, &token));
  EXPECT_TRUE(api.CloseHandle(token));
  EXPECT_FALSE(api.LogonUserA(nullptr, "ONDRAVEL", "x", 9, 3, &token));
  EXPECT_EQ(api.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(api.ImpersonateLoggedOnUser(reinterpret_cast<HANDLE>(0x5)));
  EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(NetworkTest, ProcessTokenPrivileges) {
  HANDLE token = nullptr;
  EXPECT_FALSE(
      api.OpenProcessToken(reinterpret_cast<HANDLE>(0x40), TOKEN_ADJUST_PRIVILEGES, &token));
  EXPECT_EQ(api.GetLastError(), ERROR_INVALID_HANDLE);

  LUID luid{};
  ASSERT_TRUE(api.LookupPrivilegeValueA(nullptr, "seshutdownprivilege", &luid));
  EXPECT_EQ(luid.LowPart, 19u);
  EXPECT_FALSE(api.LookupPrivilegeValueA(nullptr, "SeNoSuchPrivilege", &luid));
  EXPECT_EQ(api.GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
  EXPECT_FALSE(api.LookupPrivilegeValueA("CHARLIE", "SeShutdownPrivilege", &luid));
  EXPECT_EQ(api.GetLastError(), RPC_S_SERVER_UNAVAILABLE);

  // A handle opened for reading only may not adjust.
  ASSERT_TRUE(api.OpenProcessToken(api.GetCurrentProcess(), TOKEN_QUERY, &token));
  TOKEN_PRIVILEGES state{1, {{LUID{19, 0}, SE_PRIVILEGE_ENABLED}}};
  DWORD length = 0;
  EXPECT_FALSE(api.AdjustTokenPrivileges(token, FALSE, &state, sizeof state, nullptr, &length));
  EXPECT_EQ(api.GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(api.CloseHandle(token));

  ASSERT_TRUE(api.OpenProcessToken(api.GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
  // The previous state does not fit: nothing changes.
  TOKEN_PRIVILEGES previous{};
  EXPECT_FALSE(api.AdjustTokenPrivileges(token, FALSE, &state, 4, &previous, &length));
  EXPECT_EQ(api.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, 16u);
  char message[1] = {};
  std::string machine = "ALPHA";
  EXPECT_FALSE(api.InitiateSystemShutdownExA(machine.data(), message, 0, FALSE, TRUE, 0));
  EXPECT_EQ(api.GetLastError(), ERROR_PRIVILEGE_NOT_HELD);
  // Enabled, with the previous state handed back.
  EXPECT_TRUE(api.AdjustTokenPrivileges(token, FALSE, &state, sizeof previous, &previous, &length));
  EXPECT_EQ(api.GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(previous.PrivilegeCount, 1u);
  EXPECT_EQ(previous.Privileges[0].Attributes, 0u);
  // A privilege the token does not hold: success, but not all assigned.
  TOKEN_PRIVILEGES tcb{1, {{LUID{7, 0}, SE_PRIVILEGE_ENABLED}}};
  EXPECT_TRUE(api.AdjustTokenPrivileges(token, FALSE, &tcb, 0, nullptr, nullptr));
  EXPECT_EQ(api.GetLastError(), ERROR_NOT_ALL_ASSIGNED);
  EXPECT_TRUE(api.CloseHandle(token));
  EXPECT_TRUE(api.InitiateSystemShutdownExA(machine.data(), message, 0, FALSE, TRUE, 0));
}

TEST_F(NetworkTest, LatencyIsAddedToCallsThatReachTheNetwork) {
  api.SetLatency(40ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Shutdown("CHARLIE", false), -2);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
}
