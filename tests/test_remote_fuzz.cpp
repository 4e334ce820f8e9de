// Random input against the logoff script builder and the simulated script
// runner (bounded, fixed seeds): whatever a user types reaches ConnectServer
// verbatim or fails with a clean error text, and no script text, however
// mangled, crashes the engine or fails without an error to show.
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/TextHelpers.h"
#include "remote/GlobalUnit.h"
#include "remote/MSScriptControl_TLB.h"
#include "remote/RemoteLogoffUnit.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using namespace skarvet;
using namespace std::chrono_literals;

namespace {

constexpr int kIterations = 20000;

// Characters that matter to the script text, and a few real names, more
// often than chance would pick them.
const std::string kInteresting = std::string("\"\r\n\0\t :'&()_,.\\=-", 18);
const std::vector<std::string> kNames = {
    "ALPHA",           "bravo",   "ECHO",    ".",       "localhost",
    "ONDRAVEL\\admin", "Secret1", "KITCHEN", "FOXTROT", "DELTA"};

std::string RandomText(std::mt19937& rng) {
  std::uniform_int_distribution<int> length(0, 24), coin(0, 9), byte(0, 255);
  std::string text;
  if (coin(rng) < 3) {
    text = kNames[static_cast<std::size_t>(coin(rng)) % kNames.size()];
  }
  const int extra = coin(rng) < 5 ? 0 : length(rng);
  for (int i = 0; i < extra; ++i) {
    const int pick = coin(rng);
    if (pick < 4)
      text.push_back(kInteresting[static_cast<std::size_t>(byte(rng)) % kInteresting.size()]);
    else if (pick < 6)
      text.push_back(static_cast<char>('A' + byte(rng) % 26));
    else
      text.push_back(static_cast<char>(byte(rng)));
    // Sometimes the extra characters go in front of the name.
    if (coin(rng) == 0) std::rotate(text.begin(), text.end() - 1, text.end());
  }
  return text;
}

sim::Network QuickNetwork() {
  sim::Network network = sim::Network::Default();
  network.noAnswerWait = 0ms;
  network.restartDowntime = 0ms;
  return network;
}

} // namespace

TEST(LogoffFuzz, TypedValuesReachConnectServerVerbatimOrTheLogoffFailsCleanly) {
  SimulatedWinApi api(QuickNetwork(), 0ms);
  ScopedWinApi use(api);
  std::vector<SimulatedWinApi::ManagementConnect> seen;
  api.SetManagementConnectObserver(
      [&](const SimulatedWinApi::ManagementConnect& c) { seen.push_back(c); });
  const std::set<std::string> cleanFailures = {
      "The RPC server is unavailable", "Access is denied",
      "User credentials cannot be used for local connections"};
  const std::string invalidName = SystemErrorText(ERROR_INVALID_COMPUTERNAME);

  std::mt19937 rng(0x5CA7E);
  int succeeded = 0, refused = 0, blank = 0;
  for (int i = 0; i < kIterations; ++i) {
    const std::string computer = RandomText(rng);
    const std::string account = RandomText(rng);
    const std::string password = RandomText(rng);
    seen.clear();
    std::string error = "not run";
    RemoteLogoff(computer, account, password, error);

    if (Trim(computer).empty()) {
      ++blank;
      ASSERT_EQ(error, invalidName);
      ASSERT_TRUE(seen.empty());
      continue;
    }
    ASSERT_EQ(seen.size(), 1u) << "iteration " << i << ": " << error;
    ASSERT_EQ(seen[0].server, AnsiToWide(computer)) << "iteration " << i;
    ASSERT_EQ(seen[0].nameSpace, u"root\\cimv2") << "iteration " << i;
    ASSERT_EQ(seen[0].user, AnsiToWide(account)) << "iteration " << i;
    ASSERT_EQ(seen[0].password, AnsiToWide(password)) << "iteration " << i;
    if (error.empty()) {
      ++succeeded;
    } else {
      ++refused;
      ASSERT_TRUE(cleanFailures.count(error)) << "iteration " << i << ": " << error;
    }
  }
  // The seed reaches every branch.
  EXPECT_GT(succeeded, 0);
  EXPECT_GT(refused, 0);
  EXPECT_GT(blank, 0);
}

TEST(ScriptFuzz, MangledScriptsRunOrFailWithAnErrorToShow) {
  SimulatedWinApi api(QuickNetwork(), 0ms);
  ScopedWinApi use(api);
  api.CoInitialize(nullptr);
  const std::u16string base =
      u"Sub Main\r\n"
      u"Set poLocator = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
      u"Set poConnection = poLocator.ConnectServer(\"ALPHA\",\"root\\cimv2\",\"\",\"\")\r\n"
      u"Set poWindows = poConnection.ExecQuery(\"Select Name From Win32_OperatingSystem\")\r\n"
      u"for each poSys in poWindows\r\n"
      u"poSys.Win32Shutdown(4)\r\n"
      u"next\r\n"
      u"End Sub\r\n";
  const std::vector<std::u16string> pieces = {
      u"Sub ", u"End Sub", u"For Each x In ", u"Next",      u"(",  u")",    u"\"",
      u"\"\"", u"&",       u" & Chr(",        u"_\r\n",     u":",  u"'",    u"Set ",
      u" = ",  u"Call ",   u"Main",           u"\r\n",      u",",  u".",    u"-",
      u"Dim ", u"Nothing", u"CreateObject(",  u"poLocator", u"&H", u"Rem ", u"9"};

  std::mt19937 rng(0xF022);
  std::uniform_int_distribution<int> coin(0, 9), count(1, 4), unit(0, 0xFFFF);
  int ran = 0, failed = 0;
  for (int i = 0; i < kIterations; ++i) {
    std::u16string text = base;
    if (coin(rng) == 0) {
      text.clear(); // plain noise
      for (int n = unit(rng) % 200; n > 0; --n) text.push_back(static_cast<char16_t>(unit(rng)));
    }
    for (int m = count(rng); m > 0; --m) {
      const std::size_t at = text.empty() ? 0 : static_cast<std::size_t>(unit(rng)) % text.size();
      switch (coin(rng) % 4) {
      case 0:
        text.insert(at, pieces[static_cast<std::size_t>(unit(rng)) % pieces.size()]);
        break;
      case 1:
        text.erase(at, static_cast<std::size_t>(unit(rng) % 12));
        break;
      case 2:
        text.insert(text.begin() + static_cast<std::ptrdiff_t>(at),
                    static_cast<char16_t>(unit(rng) % 256));
        break;
      default:
        text.insert(at, text.substr(at, static_cast<std::size_t>(unit(rng) % 40)));
        break;
      }
    }
    // Values with controls and quotes, as the builder escapes them.
    std::unique_ptr<ScriptControlObject> control;
    ASSERT_EQ(api.CoCreateScriptControl(control), S_OK);
    control->PutProperty(1500, ScriptValue::Text(u"VBScript"));
    control->PutProperty(1503, ScriptValue::Integer(-1));
    control->QueryScriptControl();
    HRESULT hr = control->AddCode(text);
    if (SUCCEEDED(hr)) hr = control->ExecuteStatement(u"Main");
    if (SUCCEEDED(hr)) {
      ++ran;
      continue;
    }
    ++failed;
    ComErrorInfo info;
    ASSERT_EQ(api.GetErrorInfo(0, info), S_OK) << "iteration " << i;
    // What the logoff would show: never empty.
    const bool hasText =
        !TrimMessageEnd(WideToAnsi(info.description)).empty() || !SysErrorMessage(hr).empty();
    ASSERT_TRUE(hasText) << "iteration " << i << ": " << std::hex << hr;
  }
  EXPECT_GT(ran, 0);
  EXPECT_GT(failed, 0);
}
