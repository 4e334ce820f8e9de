// The simulated script control (its VBScript engine and the management
// service scripts reach) and the system message texts of the simulated
// network.
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace skarvet;
using namespace std::chrono_literals;

namespace {

constexpr char16_t kCompile[] = u"Microsoft VBScript compilation error";
constexpr char16_t kRuntime[] = u"Microsoft VBScript runtime error";

HRESULT Hr(std::uint32_t value) {
  return static_cast<HRESULT>(value);
}

struct Outcome {
  HRESULT hr = S_OK;
  std::u16string description;
  std::u16string source;
};

struct ScriptTest : ::testing::Test {
  SimulatedWinApi api{sim::Network::Default(), 0ms};
  std::vector<SimulatedWinApi::ManagementConnect> connects;

  void SetUp() override {
    ComErrorInfo stale; // left on this thread by an earlier test
    api.GetErrorInfo(0, stale);
    api.CoInitialize(nullptr);
    api.SetManagementConnectObserver(
        [this](const SimulatedWinApi::ManagementConnect& c) { connects.push_back(c); });
  }

  std::unique_ptr<ScriptControlObject> NewControl() {
    std::unique_ptr<ScriptControlObject> control;
    EXPECT_EQ(api.CoCreateScriptControl(control), S_OK);
    EXPECT_EQ(control->PutProperty(1500, ScriptValue::Text(u"VBScript")), S_OK);
    EXPECT_EQ(control->PutProperty(1503, ScriptValue::Integer(-1)), S_OK);
    EXPECT_EQ(control->QueryScriptControl(), S_OK);
    return control;
  }

  Outcome Taken(HRESULT hr) {
    Outcome outcome;
    outcome.hr = hr;
    ComErrorInfo info;
    if (api.GetErrorInfo(0, info) == S_OK) {
      outcome.description = info.description;
      outcome.source = info.source;
    }
    return outcome;
  }

  // AddCode, then (if it compiled) ExecuteStatement("Main").
  Outcome Run(const std::u16string& code) {
    auto control = NewControl();
    const HRESULT added = control->AddCode(code);
    if (FAILED(added)) return Taken(added);
    return Taken(control->ExecuteStatement(u"Main"));
  }

  Outcome Compile(const std::u16string& code) { return Taken(NewControl()->AddCode(code)); }

  sim::Computer Computer(const std::string& name) {
    sim::Computer copy;
    api.WithNetwork([&](sim::Network& net) { copy = *net.FindComputer(name); });
    return copy;
  }
};

std::u16string Wrap(const std::u16string& body) {
  return u"Sub Main\r\n" + body + u"\r\nEnd Sub\r\n";
}

const std::u16string kLogoff =
    u"Sub Main\r\n"
    u"Set poLocator = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
    u"Set poConnection = poLocator.ConnectServer(\"ALPHA\",\"root\\cimv2\",\"\",\"\")\r\n"
    u"Set poWindows = poConnection.ExecQuery(\"Select Name From Win32_OperatingSystem\")\r\n"
    u"for each poSys in poWindows\r\n"
    u"poSys.Win32Shutdown(4)\r\n"
    u"next\r\n"
    u"End Sub\r\n";

} // namespace

// --- the script control component -------------------------------------------------------

TEST_F(ScriptTest, LogoffScriptLogsTheInteractiveUserOff) {
  const Outcome outcome = Run(kLogoff);
  EXPECT_EQ(outcome.hr, S_OK);
  EXPECT_EQ(Computer("ALPHA").interactiveUser, "");
  EXPECT_EQ(Computer("ALPHA").logoffs, 1);
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].server, u"ALPHA");
  EXPECT_EQ(connects[0].nameSpace, u"root\\cimv2");
}

TEST_F(ScriptTest, CompileErrorsCarryVBScriptsWordingAndCode) {
  struct Case {
    std::u16string code;
    std::uint32_t hr;
    std::u16string description;
  };
  const std::vector<Case> cases = {
      {Wrap(u"x = \"abc"), 0x800A0409, u"Unterminated string constant"},
      {Wrap(u"x = \"a\r\nb\""), 0x800A0409, u"Unterminated string constant"},
      {Wrap(u"x = 1 2"), 0x800A0401, u"Expected end of statement"},
      {Wrap(u"Set x = CreateObject(\"a\" \"b\")"), 0x800A03EE, u"Expected ')'"},
      {Wrap(u"x = (1"), 0x800A03EE, u"Expected ')'"},
      {u"Sub Main\r\nx = 1\r\n", 0x800A03F6, u"Expected 'End'"},
      {u"Sub Main\r\nEnd Function\r\n", 0x800A03F8, u"Expected 'Sub'"},
      {Wrap(u"For Each a In b\r\nx = 1"), 0x800A03FC, u"Expected 'Next'"},
      {Wrap(u"For Each a b\r\nNext"), 0x800A0416, u"Expected 'In'"},
      {Wrap(u"Next"), 0x800A041F, u"Unexpected 'Next'"},
      {Wrap(u"Foo(1, 2)"), 0x800A0414, u"Cannot use parentheses when calling a Sub"},
      {Wrap(u"x = $"), 0x800A0408, u"Invalid character"},
      {Wrap(u"x ="), 0x800A03FF, u"Expected expression"},
      {Wrap(u"Set x 1"), 0x800A03F3, u"Expected '='"},
      {Wrap(u") = 1"), 0x800A0400, u"Expected statement"},
      {Wrap(u"Dim 1"), 0x800A03F2, u"Expected identifier"},
      {Wrap(u"") + u"Sub main\r\nEnd Sub\r\n", 0x800A0411, u"Name redefined"},
      {Wrap(u"x = " + std::u16string(256, u'a')), 0x800A0406, u"Identifier too long"},
      {Wrap(u"x = " + std::u16string(300, u'(')), 0x800A03E9, u"Out of memory"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Compile(c.code);
    EXPECT_EQ(outcome.hr, Hr(c.hr)) << std::string(c.description.begin(), c.description.end());
    EXPECT_EQ(outcome.description, c.description);
    EXPECT_EQ(outcome.source, kCompile);
  }
}

TEST_F(ScriptTest, NothingOfAScriptThatDoesNotCompileIsAdded) {
  auto control = NewControl();
  EXPECT_EQ(control->AddCode(u"Sub Helper\r\nEnd Sub\r\nSub Main\r\nx = \"\r\nEnd Sub\r\n"),
            Hr(0x800A0409));
  EXPECT_EQ(control->ExecuteStatement(u"Helper"), Hr(0x800A000D));
  EXPECT_EQ(Taken(S_OK).description, u"Type mismatch: 'Helper'");
  EXPECT_EQ(control->AddCode(u"Sub Helper\r\nEnd Sub\r\n"), S_OK);
  EXPECT_EQ(control->ExecuteStatement(u"Helper"), S_OK);
}

TEST_F(ScriptTest, KeywordsAndNamesIgnoreCaseAndTheUsualLayoutWorks) {
  const std::u16string code =
      u"sUB mAIN ' the entry\r\n"
      u"  dim a, b : a = \"x\" & \"\"\"q\"\"\" & Chr(65) & ChrW(&H42) & 7 & -1\r\n"
      u"\tSET poLocator = createobject(\"wbemscripting.swbemlocator\")\r\n"
      u"  set poConnection = POLOCATOR.connectserver(\"bravo\", _\r\n"
      u"      \"root/cimv2\", \"ondravel\\admin\", \"Secret1\")\r\n"
      u"  REM the query\r\n"
      u"  FOR EACH o IN poConnection.InstancesOf(\"win32_operatingsystem\")\r\n"
      u"    Call o.Win32Shutdown(4, 0)\r\n"
      u"  NEXT\r\n"
      u"  MoreStuff a\r\n"
      u"eNd SuB\r\n"
      u"Sub MoreStuff(ByVal text)\r\n"
      u"  Set poLocator = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
      u"  poLocator.ConnectServer \"ALPHA\", \"\", \"\", text\r\n"
      u"End Sub\r\n";
  const Outcome outcome = Run(code);
  EXPECT_EQ(outcome.hr, S_OK) << std::string(outcome.description.begin(),
                                             outcome.description.end());
  EXPECT_EQ(Computer("BRAVO").logoffs, 1);
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_EQ(connects[0].user, u"ondravel\\admin");
  EXPECT_EQ(connects[1].password, u"x\"q\"AB7-1");
}

TEST_F(ScriptTest, ConcatenationWithChrCarriesAnyCharacterIntoAnArgument) {
  const Outcome outcome =
      Run(Wrap(u"Set l = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
               u"Set c = l.ConnectServer(\"ALPHA\",\"root\\cimv2\",\"\",\"a\"\"\" & Chr(13) & \"\" "
               u"& Chr(10) & Chr(0) & \":'\" & Chr(200))"));
  EXPECT_EQ(outcome.hr, S_OK);
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].password, std::u16string(u"a\"\r\n\0:'\u00C8", 8));
}

TEST_F(ScriptTest, RuntimeErrorsCarryVBScriptsWordingAndCode) {
  struct Case {
    std::u16string body;
    std::uint32_t hr;
    std::u16string description;
  };
  const std::vector<Case> cases = {
      {u"Nope", 0x800A000D, u"Type mismatch: 'Nope'"},
      {u"Set o = CreateObject(\"Foo.Bar\")", 0x800A01AD,
       u"ActiveX component can't create object: 'Foo.Bar'"},
      {u"Set o = CreateObject(\"WbemScripting.SWbemLocator\")\r\no.Frobnicate 1", 0x800A01B6,
       u"Object doesn't support this property or method: 'o.Frobnicate'"},
      {u"x.Foo", 0x800A01A8, u"Object required: 'x'"},
      {u"Set x = Nothing\r\nx.Foo", 0x800A005B, u"Object variable not set"},
      {u"Set x = \"text\"", 0x800A01A8, u"Object required"},
      {u"x = Chr(256)", 0x800A0005, u"Invalid procedure call or argument: 'Chr'"},
      {u"x = Chr(\"a\")", 0x800A000D, u"Type mismatch"},
      {u"x = Chr(1, 2)", 0x800A01C2,
       u"Wrong number of arguments or invalid property assignment: 'Chr'"},
      {u"For Each i In 5\r\nNext", 0x800A01C3, u"Object not a collection"},
      {u"Main", 0x800A001C, u"Out of stack space"},
      {u"Main = 1", 0x800A01F5, u"Illegal assignment: 'Main'"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Run(Wrap(c.body));
    EXPECT_EQ(outcome.hr, Hr(c.hr)) << std::string(c.body.begin(), c.body.end());
    EXPECT_EQ(outcome.description, c.description);
    EXPECT_EQ(outcome.source, kRuntime);
  }
}

TEST_F(ScriptTest, ManagementServiceErrorsAreTheComponentsOwn) {
  struct Case {
    std::u16string connect;
    std::uint32_t hr;
    std::u16string description;
  };
  const std::vector<Case> cases = {
      {u"\"CHARLIE\",\"root\\cimv2\",\"\",\"\"", 0x800706BA, u"The RPC server is unavailable. "},
      {u"\"DELTA\",\"root\\cimv2\",\"\",\"\"", 0x800706BA, u"The RPC server is unavailable. "},
      {u"\"BRAVO\",\"root\\cimv2\",\"\",\"\"", 0x80070005, u"Access is denied. "},
      {u"\"BRAVO\",\"root\\cimv2\",\"ONDRAVEL\\admin\",\"x\"", 0x80070005, u"Access is denied. "},
      {u"\"ALPHA\",\"root\\nowhere\",\"\",\"\"", 0x8004100E, u"Invalid namespace "},
      {u"\"\",\"root\\cimv2\",\"ONDRAVEL\\admin\",\"Secret1\"", 0x80041064,
       u"User credentials cannot be used for local connections "},
  };
  for (const Case& c : cases) {
    const Outcome outcome =
        Run(Wrap(u"Set l = CreateObject(\"WbemScripting.SWbemLocator\")\r\nSet s = "
                 u"l.ConnectServer(" +
                 c.connect + u")"));
    EXPECT_EQ(outcome.hr, Hr(c.hr)) << std::string(c.connect.begin(), c.connect.end());
    EXPECT_EQ(outcome.description, c.description);
    EXPECT_EQ(outcome.source, u"SWbemLocator");
  }

  const std::u16string connected =
      u"Set l = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
      u"Set s = l.ConnectServer(\"ALPHA\",\"root\\cimv2\",\"\",\"\")\r\n";
  Outcome outcome =
      Run(Wrap(connected + u"For Each o In s.ExecQuery(\"Delete Everything\")\r\nNext"));
  EXPECT_EQ(outcome.hr, Hr(0x80041017));
  EXPECT_EQ(outcome.description, u"Invalid query ");
  outcome =
      Run(Wrap(connected + u"For Each o In s.ExecQuery(\"Select * From Win32_Nope\")\r\nNext"));
  EXPECT_EQ(outcome.hr, Hr(0x80041010));
  EXPECT_EQ(outcome.description, u"Invalid class ");
  outcome =
      Run(Wrap(connected + u"For Each o In s.ExecQuery(\"Select * From Win32_OperatingSystem\")\r\n"
                           u"o.Win32Shutdown 1\r\nNext"));
  EXPECT_EQ(outcome.hr, Hr(0x80041062));
  EXPECT_EQ(outcome.description, u"Privilege not held ");
  EXPECT_EQ(Computer("ALPHA").shutdowns, 0);
}

TEST_F(ScriptTest, ConnectionToAComputerThatWentAwayFailsAtTheNextCall) {
  auto control = NewControl();
  ASSERT_EQ(control->AddCode(u"Set l = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
                             u"Set s = l.ConnectServer(\"ECHO\",\"root\\cimv2\",\"\",\"\")\r\n"),
            S_OK);
  api.WithNetwork([](sim::Network& net) {
    net.FindComputer("ECHO")->unreachableUntil = std::chrono::steady_clock::now() + 10s;
  });
  const Outcome gone = Taken(
      control->ExecuteStatement(u"For Each o In s.InstancesOf(\"Win32_OperatingSystem\") : Next"));
  EXPECT_EQ(gone.hr, Hr(0x800706BE));
  EXPECT_EQ(gone.description, u"The remote procedure call failed. ");
}

TEST_F(ScriptTest, PropertiesOfTheControl) {
  std::unique_ptr<ScriptControlObject> control;
  ASSERT_EQ(api.CoCreateScriptControl(control), S_OK);
  ASSERT_EQ(control->QueryScriptControl(), S_OK);
  // Without a language there is nothing to run the code.
  EXPECT_EQ(control->AddCode(u"x = 1"), Hr(0x8000FFFF));
  // Each call starts by clearing the thread's error information: a refused
  // write reports no text, not the one the failure before it left.
  const Outcome refused = Taken(control->PutProperty(1500, ScriptValue::Text(u"Klingon")));
  EXPECT_EQ(refused.hr, Hr(0x800401F3));
  EXPECT_EQ(refused.description, u"");
  EXPECT_EQ(control->PutProperty(1500, ScriptValue::Text(u"vbscript")), S_OK);
  EXPECT_EQ(control->PutProperty(1501, ScriptValue::Integer(2)), Hr(0x80070057));
  EXPECT_EQ(control->PutProperty(1503, ScriptValue::Text(u"-1")), S_OK);
  EXPECT_EQ(control->PutProperty(1503, ScriptValue::Text(u"soon")), Hr(0x80020005));
  EXPECT_EQ(control->PutProperty(1503, ScriptValue::Integer(-2)), Hr(0x80070057));
  EXPECT_EQ(control->PutProperty(1499, ScriptValue::Integer(0)), Hr(0x80020003));
  EXPECT_EQ(control->PutProperty(1505, ScriptValue::Integer(-1)), S_OK);
  // The safe subset refuses components not marked safe for scripting.
  EXPECT_EQ(control->AddCode(u"Set l = CreateObject(\"WbemScripting.SWbemLocator\")"),
            Hr(0x800A01AD));
  // A null in the text ends it, as it ends the engine's C string.
  EXPECT_EQ(control->AddCode(std::u16string(u"x = 1\0 $$$ garbage", 18)), S_OK);
}

TEST_F(ScriptTest, TimeoutStopsALongRunBetweenStatements) {
  api.SetLatency(30ms);
  auto control = NewControl();
  ASSERT_EQ(control->PutProperty(1503, ScriptValue::Integer(10)), S_OK);
  const HRESULT hr = control->AddCode(u"Set l = CreateObject(\"WbemScripting.SWbemLocator\")\r\n"
                                      u"Set s = l.ConnectServer(\"ECHO\",\"\",\"\",\"\")\r\n"
                                      u"x = 1\r\n");
  EXPECT_EQ(hr, Hr(0x800705B4));
  EXPECT_EQ(Taken(hr).description, u"");
}

TEST_F(ScriptTest, ComponentNeedsTheThreadInitialisedAndErrorsStayWithTheirThread) {
  std::thread other([&] {
    std::unique_ptr<ScriptControlObject> control;
    EXPECT_EQ(api.CoCreateScriptControl(control), CO_E_NOTINITIALIZED);
    EXPECT_EQ(api.CoInitialize(nullptr), S_OK);
    EXPECT_EQ(api.CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(api.CoCreateScriptControl(control), S_OK);
    control->PutProperty(1500, ScriptValue::Text(u"VBScript"));
    control->QueryScriptControl();
    EXPECT_EQ(control->AddCode(u"x = \""), Hr(0x800A0409));
  });
  other.join();
  // The other thread's error information is not this thread's.
  ComErrorInfo info;
  EXPECT_EQ(api.GetErrorInfo(0, info), S_FALSE);
  auto control = NewControl();
  EXPECT_EQ(control->AddCode(u"x = \""), Hr(0x800A0409));
  EXPECT_EQ(api.GetErrorInfo(0, info), S_OK);
  EXPECT_EQ(api.GetErrorInfo(0, info), S_FALSE); // taken once
}

// --- system message texts ---------------------------------------------------------------------

namespace {

struct Formatted {
  DWORD length;
  std::string text;
  DWORD error;
};

Formatted Format(SimulatedWinApi& api, DWORD id, DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM,
                 DWORD size = 1024, DWORD language = 0) {
  std::vector<char> buffer(size + 1, 'X');
  api.SetLastError(0);
  const DWORD length =
      api.FormatMessageA(flags, nullptr, id, language, buffer.data(), size, nullptr);
  return {length, length ? std::string(buffer.data()) : std::string(), api.GetLastError()};
}

} // namespace

TEST(SimulatedMessages, EveryNumberTheNetworkProducesHasWindowsText) {
  SimulatedWinApi api(sim::Network::Default(), 0ms);
  for (DWORD id : {2u,    5u,    6u,    53u,   66u,   67u,   85u,   87u,   122u,  998u,
                   1115u, 1200u, 1204u, 1210u, 1219u, 1222u, 1265u, 1300u, 1313u, 1314u,
                   1326u, 1327u, 1330u, 1331u, 1355u, 1722u, 1723u, 1726u, 1815u, 6118u}) {
    const Formatted f = Format(api, id);
    ASSERT_GT(f.length, 2u) << id;
    EXPECT_EQ(f.length, f.text.size()) << id;
    EXPECT_EQ(f.text.substr(f.text.size() - 2), "\r\n") << id;
  }
  EXPECT_EQ(Format(api, 5).text, "Access is denied.\r\n");
  EXPECT_EQ(Format(api, 53).text, "The network path was not found.\r\n");
  EXPECT_EQ(Format(api, 1326).text, "The user name or password is incorrect.\r\n");
  EXPECT_EQ(Format(api, 1314).text, "A required privilege is not held by the client.\r\n");
  EXPECT_EQ(Format(api, 1722).text, "The RPC server is unavailable.\r\n");
  // A system error wrapped as a component result.
  EXPECT_EQ(Format(api, 0x800706BA).text, "The RPC server is unavailable.\r\n");
  EXPECT_EQ(Format(api, 0x80040154).text, "Class not registered\r\n");
}

TEST(SimulatedMessages, UnknownNumbersAndSmallBuffersGiveNothing) {
  SimulatedWinApi api(sim::Network::Default(), 0ms);
  for (DWORD id : {65000u, 0x800A0409u, 0x80041064u}) {
    const Formatted f = Format(api, id);
    EXPECT_EQ(f.length, 0u) << id;
    EXPECT_EQ(f.error, 317u) << id;
  }
  const std::string denied = "Access is denied.\r\n";
  Formatted f = Format(api, 5, FORMAT_MESSAGE_FROM_SYSTEM, static_cast<DWORD>(denied.size()));
  EXPECT_EQ(f.length, 0u);
  EXPECT_EQ(f.error, ERROR_INSUFFICIENT_BUFFER);
  f = Format(api, 5, FORMAT_MESSAGE_FROM_SYSTEM, static_cast<DWORD>(denied.size() + 1));
  EXPECT_EQ(f.text, denied);
  EXPECT_EQ(Format(api, 5, FORMAT_MESSAGE_FROM_SYSTEM, 1024, 0x0407).error, 1815u);
}

TEST(SimulatedMessages, InsertsWidthAndFlags) {
  SimulatedWinApi api(sim::Network::Default(), 0ms);
  // A message with inserts and no arguments cannot be formatted ...
  Formatted f = Format(api, 317);
  EXPECT_EQ(f.length, 0u);
  EXPECT_EQ(f.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // ... unless the inserts are left alone.
  f = Format(api, 317, FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS);
  EXPECT_NE(f.text.find("0x%1"), std::string::npos);
  // Filling in arguments, wrapping lines and formatting a caller's string
  // are not done here, and say so.
  const char* inserts[] = {"2A", "System"};
  char buffer[256];
  EXPECT_EQ(api.FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                               317, 0, buffer, sizeof buffer,
                               reinterpret_cast<va_list*>(const_cast<char**>(inserts))),
            0u);
  EXPECT_EQ(api.GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_EQ(Format(api, 1722, FORMAT_MESSAGE_FROM_SYSTEM | 12).error, ERROR_NOT_SUPPORTED);
  EXPECT_EQ(
      api.FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "text", 0, 0, buffer, sizeof buffer, nullptr),
      0u);
  EXPECT_EQ(api.GetLastError(), ERROR_NOT_SUPPORTED);
  // The largest width drops the line break.
  EXPECT_EQ(Format(api, 5, FORMAT_MESSAGE_FROM_SYSTEM | 0xFF).text, "Access is denied.");
  EXPECT_EQ(Format(api, 5, FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER).error,
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
