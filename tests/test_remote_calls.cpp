// The remote routines against the recording fake: which system calls they
// make, in which order, with which arguments, and how each outcome becomes
// a result code or a text.
#include "platform/WinApi.h"
#include "remote/GlobalUnit.h"
#include "remote/MSScriptControl_TLB.h"
#include "remote/RemoteLogoffUnit.h"
#include "tests/support/RecordingWinApi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace skarvet;
using skarvet::test::RecordedCall;
using skarvet::test::RecordingWinApi;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::string H(HANDLE handle) {
  return RecordingWinApi::Num(reinterpret_cast<std::intptr_t>(handle));
}

// A FormatMessageA handler that answers like the system for a few numbers.
std::function<DWORD(DWORD, LPCVOID, DWORD, DWORD, LPSTR, DWORD)>
SystemTexts(RecordingWinApi& fake, std::map<DWORD, std::string> texts) {
  return [&fake, texts](DWORD, LPCVOID, DWORD id, DWORD, LPSTR buffer, DWORD size) -> DWORD {
    auto it = texts.find(id);
    if (it == texts.end() || it->second.size() + 1 > size) {
      fake.SetLastError(it == texts.end() ? 317 : ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(buffer, it->second.c_str(), it->second.size() + 1);
    return static_cast<DWORD>(it->second.size());
  };
}

const std::string kScriptHead = "Sub Main\r\n"
                                "Set poLocator = CreateObject(\"WbemScripting.SWbemLocator\")\r\n";
const std::string kScriptTail =
    "Set poWindows = poConnection.ExecQuery(\"Select Name From Win32_OperatingSystem\")\r\n"
    "for each poSys in poWindows\r\n"
    "poSys.Win32Shutdown(4)\r\n"
    "next\r\n"
    "End Sub\r\n";

std::string Script(const std::string& line3) {
  return kScriptHead + line3 + "\r\n" + kScriptTail;
}

} // namespace

// --- ConnectAsUser, AddNetConnection, CloseLogonToken -----------------------------

TEST(ConnectAsUser, BlankUserNameDoesNothingWhateverTheOtherFieldsHold) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  HANDLE token = reinterpret_cast<HANDLE>(0x77);
  ConnectAsUser(" \t\r\n", "password", "ONDRAVEL", "ALPHA", token);
  ConnectAsUser("", "", "", "", token);
  EXPECT_THAT(fake.Calls(), IsEmpty());
  EXPECT_EQ(token, reinterpret_cast<HANDLE>(0x77)); // left untouched
}

TEST(ConnectAsUser, NewCredentialsLogonWithTrimmedNamesThenImpersonation) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  HANDLE token = nullptr;
  ConnectAsUser("  admin\t", " pass word ", " ONDRAVEL ", " ALPHA ", token);
  ASSERT_NE(token, nullptr);
  const auto calls = fake.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "LogonUserA");
  // Type 9 (new credentials), provider 3 (WinNT 5.0); the password untrimmed.
  EXPECT_THAT(calls[0].args, ElementsAre("\"admin\"", "\"ONDRAVEL\"", "\" pass word \"", "9", "3"));
  EXPECT_EQ(calls[1].name, "ImpersonateLoggedOnUser");
  EXPECT_THAT(calls[1].args, ElementsAre(H(token)));
}

TEST(ConnectAsUser, EmptyPasswordIsAnEmptyTextNotNull) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  HANDLE token = nullptr;
  ConnectAsUser("admin", "", "ONDRAVEL", "ALPHA", token);
  ASSERT_EQ(fake.CountOf("LogonUserA"), 1);
  EXPECT_EQ(fake.CallsNamed("LogonUserA")[0].args[2], "\"\"");
}

TEST(ConnectAsUser, BlankDomainNamesAnAccountOfTheTargetAndTheFallbackUsesItsShare) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onLogonUserA = [&](LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, PHANDLE) {
    fake.SetLastError(ERROR_LOGON_FAILURE);
    return FALSE;
  };
  HANDLE token = nullptr;
  ConnectAsUser("Administrator", " secret ", "  ", " KITCHEN ", token);
  const auto calls = fake.Calls();
  ASSERT_EQ(calls.size(), 2u);
  // The domain substitute is the computer name as typed (untrimmed) ...
  EXPECT_THAT(calls[0].args,
              ElementsAre("\"Administrator\"", "\" KITCHEN \"", "\" secret \"", "9", "3"));
  // ... while the share path is built from the trimmed name.
  EXPECT_EQ(calls[1].name, "WNetAddConnection2A");
  EXPECT_THAT(calls[1].args, ElementsAre("0", "\"\"", "\"\\\\KITCHEN\\ipc$\"", "null",
                                         "\" secret \"", "\" KITCHEN \\Administrator\"", "0"));
}

TEST(ConnectAsUser, FailedImpersonationFallsBackToTheShareAndKeepsTheToken) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onImpersonateLoggedOnUser = [&](HANDLE) {
    fake.SetLastError(ERROR_BAD_IMPERSONATION_LEVEL);
    return FALSE;
  };
  HANDLE token = nullptr;
  ConnectAsUser("admin", "Secret1", "ONDRAVEL", "BRAVO", token);
  EXPECT_NE(token, nullptr); // open: the caller closes it later
  EXPECT_THAT(fake.CallNames(),
              ElementsAre("LogonUserA", "ImpersonateLoggedOnUser", "WNetAddConnection2A"));
  EXPECT_EQ(fake.CountOf("CloseHandle"), 0);
  const auto share = fake.CallsNamed("WNetAddConnection2A")[0];
  EXPECT_EQ(share.args[2], "\"\\\\BRAVO\\ipc$\"");
  EXPECT_EQ(share.args[4], "\"Secret1\"");
  EXPECT_EQ(share.args[5], "\"ONDRAVEL\\admin\"");
}

TEST(AddNetConnection, PassesTheRecordAndReturnsTheSystemsResult) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  NETRESOURCEA seen{};
  fake.onWNetAddConnection2A = [&](LPNETRESOURCEA resource, LPCSTR, LPCSTR, DWORD) -> DWORD {
    seen = *resource;
    return 1219;
  };
  EXPECT_EQ(AddNetConnection("", "\\\\ALPHA\\ipc$", "ONDRAVEL\\admin", "pw"), 1219u);
  EXPECT_EQ(seen.dwType, RESOURCETYPE_ANY);
  EXPECT_EQ(seen.lpProvider, nullptr);
  ASSERT_NE(seen.lpLocalName, nullptr); // an empty text redirects no device
  EXPECT_THAT(fake.CallsNamed("WNetAddConnection2A")[0].args,
              ElementsAre("0", "\"\"", "\"\\\\ALPHA\\ipc$\"", "null", "\"pw\"",
                          "\"ONDRAVEL\\admin\"", "0"));
}

TEST(CloseLogonToken, ClosesANonZeroHandleAndIgnoresZero) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  CloseLogonToken(nullptr);
  EXPECT_THAT(fake.Calls(), IsEmpty());
  CloseLogonToken(reinterpret_cast<HANDLE>(0x1234));
  EXPECT_THAT(fake.CallNames(), ElementsAre("CloseHandle"));
  EXPECT_THAT(fake.Calls()[0].args, ElementsAre("4660"));
}

// --- SystemErrorText -------------------------------------------------------------------

TEST(SystemErrorText, AsksTheSystemAndDropsTheLineBreak) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onFormatMessageA = SystemTexts(
      fake, {{1722, "The RPC server is unavailable.\r\n"}, {42, " \t padded text \r\n"}});
  EXPECT_EQ(SystemErrorText(1722), "The RPC server is unavailable.");
  EXPECT_EQ(SystemErrorText(42), "padded text");
  // FROM_SYSTEM alone, no source, language 0, a 1024-byte buffer, no arguments.
  EXPECT_THAT(fake.CallsNamed("FormatMessageA")[0].args,
              ElementsAre("4096", "null", "1722", "0", "ptr", "1024", "null"));
}

TEST(SystemErrorText, NumberWithoutAMessageGivesAnEmptyText) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  EXPECT_EQ(SystemErrorText(0xDEADBEEF), "");
}

// --- RemoteShutdown and MapShutdownError ----------------------------------------------------

TEST(RemoteShutdown, CallSequenceAndArgumentsOfARestart) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  HANDLE processToken = nullptr;
  fake.onOpenProcessToken = [&](HANDLE, DWORD, PHANDLE out) {
    *out = processToken = fake.NewHandle();
    return TRUE;
  };
  fake.onLookupPrivilegeValueA = [](LPCSTR, LPCSTR, PLUID luid) {
    luid->LowPart = 0x13579;
    luid->HighPart = 7;
    return TRUE;
  };
  EXPECT_EQ(RemoteShutdown(" ALPHA ", false, false, 0x80020003u), 0);

  const auto calls = fake.Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].name, "GetCurrentProcess");
  EXPECT_EQ(calls[1].name, "OpenProcessToken");
  EXPECT_THAT(calls[1].args, ElementsAre("-1", "32")); // TOKEN_ADJUST_PRIVILEGES only
  EXPECT_EQ(calls[2].name, "LookupPrivilegeValueA");
  EXPECT_THAT(calls[2].args, ElementsAre("null", "\"SeShutdownPrivilege\""));
  EXPECT_EQ(calls[3].name, "AdjustTokenPrivileges");
  // Token, disable-all false, one entry with the looked-up LUID enabled (2),
  // a 16-byte buffer, no previous state, the returned length set to 0.
  EXPECT_THAT(calls[3].args,
              ElementsAre(H(processToken), "0", "1", "79225", "7", "2", "16", "null", "0"));
  EXPECT_EQ(calls[4].name, "InitiateSystemShutdownExA");
  // The name unchanged, an empty message (not null), time-out 0, no force,
  // reboot for a restart, the reason unchanged.
  EXPECT_THAT(calls[4].args,
              ElementsAre("\" ALPHA \"", "\"\"", "0", "0", "1", std::to_string(0x80020003u)));
  EXPECT_EQ(calls[5].name, "CloseHandle");
  EXPECT_THAT(calls[5].args, ElementsAre(H(processToken)));
}

TEST(RemoteShutdown, RebootFlagComesFromPowerOffAndForceIsPassedThrough) {
  struct Case {
    bool powerOff, force;
    const char *forceArg, *rebootArg;
  };
  for (const Case& c : {Case{false, false, "0", "1"}, Case{false, true, "1", "1"},
                        Case{true, false, "0", "0"}, Case{true, true, "1", "0"}}) {
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    EXPECT_EQ(RemoteShutdown("BRAVO", c.powerOff, c.force, 0x00010000), 0);
    const auto call = fake.CallsNamed("InitiateSystemShutdownExA").at(0);
    EXPECT_EQ(call.args[2], "0"); // the force flag never changes the time-out
    EXPECT_EQ(call.args[3], c.forceArg);
    EXPECT_EQ(call.args[4], c.rebootArg);
    EXPECT_EQ(call.args[5], "65536");
  }
}

TEST(RemoteShutdown, AcceptedEvenWhenNotAllPrivilegesWereAssigned) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onAdjustTokenPrivileges = [&](HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                     PDWORD) {
    fake.SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
  };
  EXPECT_EQ(RemoteShutdown("ALPHA", false, false, 0), 0);
  EXPECT_EQ(fake.CountOf("InitiateSystemShutdownExA"), 1);
}

TEST(RemoteShutdown, FailedTokenStepsStopBeforeTheRemoteCallAndCloseAnOpenedToken) {
  { // The token cannot be opened: nothing to close.
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    fake.onOpenProcessToken = [&](HANDLE, DWORD, PHANDLE) {
      fake.SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    };
    EXPECT_EQ(RemoteShutdown("ALPHA", false, false, 0), -1);
    EXPECT_THAT(fake.CallNames(), ElementsAre("GetCurrentProcess", "OpenProcessToken"));
  }
  { // The privilege is unknown.
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    fake.onLookupPrivilegeValueA = [&](LPCSTR, LPCSTR, PLUID) {
      fake.SetLastError(ERROR_NO_SUCH_PRIVILEGE);
      return FALSE;
    };
    EXPECT_EQ(RemoteShutdown("ALPHA", false, false, 0), -1);
    EXPECT_THAT(fake.CallNames(), ElementsAre("GetCurrentProcess", "OpenProcessToken",
                                              "LookupPrivilegeValueA", "CloseHandle"));
  }
  { // The token cannot be adjusted: the error number itself.
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    fake.onAdjustTokenPrivileges = [&](HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                       PDWORD) {
      fake.SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    };
    EXPECT_EQ(RemoteShutdown("ALPHA", false, false, 0), 6);
    EXPECT_EQ(fake.CountOf("InitiateSystemShutdownExA"), 0);
    EXPECT_EQ(fake.CallNames().back(), "CloseHandle");
  }
}

TEST(RemoteShutdown, RemoteFailureIsMappedBeforeTheTokenIsClosed) {
  for (auto [error, expected] :
       std::vector<std::pair<DWORD, int>>{{ERROR_BAD_NETPATH, -2},
                                          {ERROR_ACCESS_DENIED, -1},
                                          {ERROR_LOGON_FAILURE, -1},
                                          {RPC_S_SERVER_UNAVAILABLE, 1722},
                                          {ERROR_PRIVILEGE_NOT_HELD, -1}}) {
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    fake.onInitiateSystemShutdownExA = [&, error = error](LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) {
      fake.SetLastError(error);
      return FALSE;
    };
    // Closing the handle would overwrite the last error if it came first.
    fake.onCloseHandle = [&](HANDLE) {
      fake.SetLastError(ERROR_INVALID_HANDLE);
      return TRUE;
    };
    EXPECT_EQ(RemoteShutdown("ALPHA", true, true, 0), expected) << "error " << error;
    EXPECT_EQ(fake.CallNames().back(), "CloseHandle");
    EXPECT_EQ(fake.CountOf("CloseHandle"), 1);
  }
}

TEST(RemoteShutdown, BlankComputerNameIsRefusedWithoutAnyCall) {
  for (const char* name : {"", " ", " \t\r\n "}) {
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    EXPECT_EQ(RemoteShutdown(name, false, true, 0), static_cast<int>(ERROR_INVALID_COMPUTERNAME));
    EXPECT_THAT(fake.Calls(), IsEmpty()) << "name \"" << name << "\"";
  }
}

// The system reads a bare "\\" as this computer too, whatever blanks
// surround it; a name behind the backslashes still goes out as typed.
TEST(RemoteShutdown, ABareDoubleBackslashNamesNoComputer) {
  for (const char* name : {"\\\\", " \\\\ ", "\t\\\\\x1f\r\n", "\\\\\x01 \t"}) {
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    EXPECT_EQ(RemoteShutdown(name, false, true, 0), static_cast<int>(ERROR_INVALID_COMPUTERNAME));
    EXPECT_THAT(fake.Calls(), IsEmpty()) << "name \"" << name << "\"";
    std::string error;
    RemoteLogoff(name, "", "", error);
    EXPECT_EQ(error, "Unknown Error") << "name \"" << name << "\"";
    EXPECT_EQ(fake.CountOf("CoCreateScriptControl"), 0);
  }
  for (const char* name : {" \\\\ALPHA\t", "\\\\\\\\", "\\ "}) {
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    EXPECT_EQ(RemoteShutdown(name, false, true, 0), 0);
    const auto asked = fake.CallsNamed("InitiateSystemShutdownExA");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].args[0], RecordingWinApi::Str(name));
  }
}

TEST(MapShutdownError, MapsTheLastErrorWithItsBoundaries) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  const std::vector<std::pair<DWORD, int>> table = {
      {0, 0},     {4, 4},       {5, -1},      {6, 6},       {49, 49},
      {50, -2},   {53, -2},     {59, -2},     {60, 60},     {1264, 1264},
      {1265, -1}, {1266, 1266}, {1299, 1299}, {1300, -1},   {1326, -1},
      {1399, -1}, {1400, 1400}, {1722, 1722}, {6118, 6118}, {0x7FFFFFFF, 0x7FFFFFFF}};
  for (auto [error, expected] : table) {
    fake.SetLastError(error);
    EXPECT_EQ(MapShutdownError(), expected) << "last error " << error;
  }
}

// --- RemoteLogoff ------------------------------------------------------------------------------

TEST(RemoteLogoff, PropertiesScriptAndCallsInOrder) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  std::string error = "stale";
  RemoteLogoff("ALPHA", "ONDRAVEL\\admin", "Secret1", error);
  EXPECT_EQ(error, "");
  const auto calls = fake.Calls();
  ASSERT_EQ(calls.size(), 8u);
  EXPECT_EQ(calls[0].name, "CoInitialize");
  EXPECT_THAT(calls[0].args, ElementsAre("null"));
  EXPECT_EQ(calls[1].name, "CoCreateScriptControl");
  EXPECT_EQ(calls[2].name, "ScriptControl.PutProperty");
  EXPECT_THAT(calls[2].args, ElementsAre("1500", "\"VBScript\""));
  EXPECT_EQ(calls[3].name, "ScriptControl.PutProperty");
  EXPECT_THAT(calls[3].args, ElementsAre("1503", "-1"));
  EXPECT_EQ(calls[4].name, "ScriptControl.QueryScriptControl");
  EXPECT_EQ(calls[5].name, "ScriptControl.AddCode");
  EXPECT_EQ(calls[5].args.at(0),
            Script("Set poConnection = poLocator.ConnectServer(\"ALPHA\",\"root\\cimv2\","
                   "\"ONDRAVEL\\admin\",\"Secret1\")"));
  EXPECT_EQ(calls[6].name, "ScriptControl.ExecuteStatement");
  EXPECT_THAT(calls[6].args, ElementsAre("Main"));
  EXPECT_EQ(calls[7].name, "ScriptControl.Release");
}

TEST(RemoteLogoff, EmptyAccountLeavesTwoAdjacentQuotesAndValuesStayUntrimmed) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  std::string error;
  RemoteLogoff(" ALPHA ", "", " pw ", error);
  const std::string code = fake.CallsNamed("ScriptControl.AddCode").at(0).args.at(0);
  EXPECT_EQ(code, Script("Set poConnection = poLocator.ConnectServer(\" ALPHA \",\"root\\cimv2\","
                         "\"\",\" pw \")"));
  // Every line ends in CR LF, the last one too.
  EXPECT_EQ(code.substr(code.size() - 9), "End Sub\r\n");
}

TEST(RemoteLogoff, QuotesAndLineBreaksInValuesCannotEndTheLiteral) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  std::string error;
  RemoteLogoff("AL\"PHA", "a\r\nb", std::string("p\"\")\0q:'", 8), error);
  const std::string code = fake.CallsNamed("ScriptControl.AddCode").at(0).args.at(0);
  EXPECT_EQ(code, Script("Set poConnection = poLocator.ConnectServer(\"AL\"\"PHA\",\"root\\cimv2\","
                         "\"a\" & Chr(13) & \"\" & Chr(10) & \"b\",\"p\"\"\"\")\" & Chr(0) & "
                         "\"q:'\")"));
}

TEST(RemoteLogoff, BlankComputerNameGivesTheInvalidNameTextWithoutRunningAnything) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onFormatMessageA =
      SystemTexts(fake, {{1210, "The format of the specified computer name is invalid.\r\n"}});
  std::string error;
  RemoteLogoff(" \t ", "ONDRAVEL\\admin", "Secret1", error);
  EXPECT_EQ(error, "The format of the specified computer name is invalid.");
  EXPECT_THAT(fake.CallNames(), ElementsAre("FormatMessageA"));

  // Without a system text the failure still shows as one.
  RecordingWinApi silent;
  ScopedWinApi useSilent(silent);
  RemoteLogoff("", "", "", error);
  EXPECT_EQ(error, "Unknown Error");
  EXPECT_EQ(silent.CountOf("CoCreateScriptControl"), 0);
}

TEST(RemoteLogoff, ScriptErrorDescriptionIsTrimmedOfBlanksControlsAndFullStops) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onExecuteStatement = [](const std::u16string&) {
    RecordingWinApi::SetThreadErrorInfo({u"The RPC server is unavailable. ", u"SWbemLocator"});
    return static_cast<HRESULT>(0x800706BAu);
  };
  std::string error;
  RemoteLogoff("CHARLIE", "", "", error);
  EXPECT_EQ(error, "The RPC server is unavailable");
  EXPECT_EQ(fake.CallNames().back(), "ScriptControl.Release");
  EXPECT_EQ(fake.CountOf("FormatMessageA"), 0); // the description sufficed

  fake.onExecuteStatement = [](const std::u16string&) {
    RecordingWinApi::SetThreadErrorInfo({u"Stopped... .\r\n\t ", u""});
    return E_FAIL;
  };
  RemoteLogoff("ALPHA", "", "", error);
  EXPECT_EQ(error, "Stopped");
}

TEST(RemoteLogoff, CompileErrorStopsBeforeTheStatementAndFreesTheControl) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onAddCode = [](const std::u16string&) {
    RecordingWinApi::SetThreadErrorInfo(
        {u"Unterminated string constant", u"Microsoft VBScript compilation error"});
    return static_cast<HRESULT>(0x800A0409u);
  };
  std::string error;
  RemoteLogoff("ALPHA", "", "", error);
  EXPECT_EQ(error, "Unterminated string constant");
  EXPECT_EQ(fake.CountOf("ScriptControl.ExecuteStatement"), 0);
  EXPECT_EQ(fake.CountOf("ScriptControl.Release"), 1);
}

TEST(RemoteLogoff, WithoutADescriptionTheSystemTextForTheCodeThenTheCodeInHex) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onFormatMessageA = SystemTexts(fake, {{0x80070005u, "Access is denied.\r\n"}});
  HRESULT code = static_cast<HRESULT>(0x80070005u);
  fake.onExecuteStatement = [&](const std::u16string&) {
    RecordingWinApi::SetThreadErrorInfo({u" . ", u"x"}); // nothing left once trimmed
    return code;
  };
  std::string error;
  RemoteLogoff("BRAVO", "", "", error);
  EXPECT_EQ(error, "Access is denied");
  // FROM_SYSTEM | IGNORE_INSERTS | ARGUMENT_ARRAY, the code, a 256-byte buffer.
  EXPECT_THAT(fake.CallsNamed("FormatMessageA").at(0).args,
              ElementsAre("12800", "null", std::to_string(0x80070005u), "0", "ptr", "256", "null"));

  code = static_cast<HRESULT>(0x800A0409u);
  fake.onExecuteStatement = [&](const std::u16string&) {
    RecordingWinApi::ClearThreadErrorInfo(); // no error information at all
    return code;
  };
  RemoteLogoff("BRAVO", "", "", error);
  EXPECT_EQ(error, "OLE error 800A0409");
  code = static_cast<HRESULT>(0x8000abcdu);
  RemoteLogoff("BRAVO", "", "", error);
  EXPECT_EQ(error, "OLE error 8000ABCD");
}

TEST(RemoteLogoff, ComponentThatCannotBeCreatedGivesTheSystemTextForItsCode) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onCoCreateScriptControl = [] { return REGDB_E_CLASSNOTREG; };
  fake.onFormatMessageA = SystemTexts(fake, {{0x80040154u, "Class not registered\r\n"}});
  std::string error;
  RemoteLogoff("ALPHA", "", "", error);
  EXPECT_EQ(error, "Class not registered");
  EXPECT_EQ(fake.CountOf("GetErrorInfo"), 0);
  EXPECT_EQ(fake.CountOf("ScriptControl.PutProperty"), 0);

  fake.onFormatMessageA = nullptr;
  RemoteLogoff("ALPHA", "", "", error);
  EXPECT_EQ(error, "OLE error 80040154");
}

TEST(RemoteLogoff, RefusedPropertyEndsTheRunWithItsSystemText) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onPutProperty = [](DISPID dispId, const ScriptValue&) {
    return dispId == 1503 ? static_cast<HRESULT>(0x80020005u) : S_OK;
  };
  fake.onFormatMessageA = SystemTexts(fake, {{0x80020005u, "Type mismatch.\r\n"}});
  std::string error;
  RemoteLogoff("ALPHA", "", "", error);
  EXPECT_EQ(error, "Type mismatch");
  EXPECT_EQ(fake.CountOf("ScriptControl.AddCode"), 0);
  EXPECT_EQ(fake.CountOf("ScriptControl.Release"), 1);
}

TEST(RemoteLogoff, RefusedPropertyWithErrorInformationGivesItsDescription) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onPutProperty = [](DISPID dispId, const ScriptValue&) {
    if (dispId != 1500) return S_OK;
    RecordingWinApi::SetThreadErrorInfo({u"Language not installed. \r\n", u"ScriptControl"});
    return static_cast<HRESULT>(0x80020009u); // an exception occurred
  };
  fake.onFormatMessageA = SystemTexts(fake, {{0x80020009u, "Exception occurred.\r\n"}});
  std::string error;
  RemoteLogoff("ALPHA", "", "", error);
  EXPECT_EQ(error, "Language not installed");
  EXPECT_EQ(fake.CountOf("ScriptControl.PutProperty"), 1);
  EXPECT_EQ(fake.CountOf("ScriptControl.Release"), 1);
}

TEST(RemoteLogoff, AnythingThrownBecomesText) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onAddCode = [](const std::u16string&) -> HRESULT { throw 42; };
  std::string error;
  EXPECT_NO_THROW(RemoteLogoff("ALPHA", "", "", error));
  EXPECT_EQ(error, "Unknown Error");
}

// --- TScriptControl
// ---------------------------------------------------------------------------------

TEST(TScriptControl, QueriesTheInterfaceOnceOnTheFirstMethodCall) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  {
    TScriptControl control;
    control.SetLanguage(u"VBScript");
    control.SetTimeout(NoTimeout);
    EXPECT_EQ(fake.CountOf("ScriptControl.QueryScriptControl"), 0);
    control.AddCode(u"Sub Main\r\nEnd Sub\r\n");
    control.ExecuteStatement(u"Main");
    control.AddCode(u"x = 1");
  }
  EXPECT_THAT(fake.CallNames(),
              ElementsAre("CoCreateScriptControl", "ScriptControl.PutProperty",
                          "ScriptControl.PutProperty", "ScriptControl.QueryScriptControl",
                          "ScriptControl.AddCode", "ScriptControl.ExecuteStatement",
                          "ScriptControl.AddCode", "ScriptControl.Release"));
  const auto puts = fake.CallsNamed("ScriptControl.PutProperty");
  EXPECT_THAT(puts[0].args, ElementsAre("1500", "\"VBScript\""));
  EXPECT_THAT(puts[1].args, ElementsAre("1503", "-1"));
}

TEST(TScriptControl, MissingInterfaceRaisesAndTheMethodIsNotCalled) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onQueryScriptControl = [] { return E_NOINTERFACE; };
  TScriptControl control;
  try {
    control.AddCode(u"x = 1");
    FAIL() << "no error raised";
  } catch (const EOleError& e) {
    EXPECT_EQ(e.ErrorCode, E_NOINTERFACE);
    EXPECT_STREQ(e.what(), "OLE error 80004002");
  }
  EXPECT_EQ(fake.CountOf("ScriptControl.AddCode"), 0);
}

TEST(TScriptControl, TrimMessageEndRemovesOnlyTheEnd) {
  EXPECT_EQ(TrimMessageEnd("  a. b .. \r\n\x01"), "  a. b");
  EXPECT_EQ(TrimMessageEnd("...."), "");
  EXPECT_EQ(TrimMessageEnd("x\x7f"), "x\x7f");
}
