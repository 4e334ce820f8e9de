// The reboot worker on its own: the account it builds, the calls it makes in
// which order, the texts its reports hand the window, and its end.
#include "controls/Thread.h"
#include "tests/test_operations_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace skarvet;
using namespace skarvet::test;

namespace {

// Keeps what the body left in its fields, read as the object goes away.
struct Remains {
  std::string domain;
  std::int32_t resultCode = 0;
  std::string errorText;
  bool cancelled = false;
};

class ProbedThread : public TRebootThread {
public:
  ProbedThread(Remains& remains, OperationKind operation, DWORD reason, bool force,
               const std::string& name, const std::string& user, const std::string& password,
               const std::string& domain)
      : TRebootThread(operation, reason, force, name, user, password, domain), remains_(remains) {}
  ~ProbedThread() override {
    remains_.domain = Domain;
    remains_.resultCode = ResultCode;
    remains_.errorText = ErrorText;
    remains_.cancelled = Cancelled;
  }

private:
  Remains& remains_;
};

class RebootWorker : public ::testing::Test {
protected:
  RecordingWinApi api;
  ScopedWinApi use{api};
  ScopedDestroyLog destroyed;
  std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>();
  Remains remains;

  void TearDown() override {
    EXPECT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }));
  }

  // Runs one worker to its end, as the window would start it.
  void Run(OperationKind operation, const std::string& name, const std::string& user = "",
           const std::string& password = "", const std::string& domain = "", bool force = false,
           DWORD reason = 0x00010000) {
    const int before = DestroyedWorkers::Instance().Count();
    auto* worker =
        new ProbedThread(remains, operation, reason, force, name, user, password, domain);
    form->SetCurrentThread(worker);
    form->EnterBusyState();
    worker->Resume();
    ASSERT_TRUE(WaitFor([&] { return DestroyedWorkers::Instance().Count() > before; }));
  }

  std::string LogoffScript() {
    const auto code = api.CallsNamed("ScriptControl.AddCode");
    return code.empty() ? std::string() : code.back().args.at(0);
  }
};

TEST_F(RebootWorker, StartsWithAnEmptyOutcomeAndNothingMarked) {
  auto worker =
      std::make_unique<TRebootThread>(okShutdown, 0x80020003u, true, " A ", " u ", " p ", " d ");
  EXPECT_EQ(worker->Operation, okShutdown);
  EXPECT_EQ(worker->ReasonCode, 0x80020003u);
  EXPECT_TRUE(worker->Force);
  EXPECT_EQ(worker->ComputerName, " A ");
  EXPECT_EQ(worker->UserName, " u ");
  EXPECT_EQ(worker->Password, " p ");
  EXPECT_EQ(worker->Domain, " d ");
  EXPECT_EQ(worker->ResultCode, 0);
  EXPECT_EQ(worker->ErrorText, "");
  EXPECT_FALSE(worker->Cancelled);
  EXPECT_FALSE(worker->FreeOnTerminate());
  // Never started: deleting it from outside is allowed and ends its thread.
  worker.reset();
  EXPECT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }));
}

TEST_F(RebootWorker, TheLogoffAccountIsBuiltFromTheTrimmedParts) {
  struct Case {
    const char* user;
    const char* domain;
    const char* account;
    const char* domainAfter;
  };
  const Case cases[] = {
      {"", " LAB ", "", " LAB "},               // own account: the domain is left alone
      {" \t ", "LAB", "", "LAB"},               // a blank user name is no user name
      {" bob ", "  ", "bob", ""},               // no domain: the user name alone
      {" bob ", " LAB\r\n", "LAB\\bob", "LAB"}, // trimmed in place
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("user '") + c.user + "' domain '" + c.domain + "'");
    api.Clear();
    Run(okLogoff, " kitchen ", c.user, " p w ", c.domain);
    EXPECT_NE(LogoffScript().find(std::string("ConnectServer(\" kitchen \",\"root\\cimv2\",\"") +
                                  c.account + "\",\" p w \")"),
              std::string::npos)
        << LogoffScript();
    EXPECT_EQ(remains.domain, c.domainAfter);
  }
}

TEST_F(RebootWorker, ALogoffNeverSetsUpASessionNorCallsTheShutdown) {
  Run(okLogoff, "ALPHA", "admin", "pw", "ONDRAVEL", true, 0x80000000u);
  EXPECT_EQ(api.CountOf("LogonUserA"), 0);
  EXPECT_EQ(api.CountOf("WNetAddConnection2A"), 0);
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 0);
  EXPECT_EQ(api.CountOf("ScriptControl.ExecuteStatement"), 1);
  EXPECT_EQ(StatusText(*form), "ALPHA was logged off.");
}

TEST_F(RebootWorker, RestartSetsUpTheSessionThenAsksAndClosesTheTokenAfterReporting) {
  // What the window showed as each handle was closed. The worker waits while
  // a report runs, and nothing else writes the status line meanwhile.
  std::vector<std::pair<std::string, std::string>> shownAtClose;
  api.onCloseHandle = [&](HANDLE handle) {
    shownAtClose.emplace_back(RecordingWinApi::Num(reinterpret_cast<std::intptr_t>(handle)),
                              StatusText(*form).toStdString());
    return TRUE;
  };
  Run(okRestart, " ALPHA ", " admin ", " pw ", " ONDRAVEL ", true, 0x80010002u);
  const auto names = api.CallNames();
  auto position = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  ASSERT_LT(position("LogonUserA"), static_cast<long>(names.size()));
  EXPECT_LT(position("LogonUserA"), position("ImpersonateLoggedOnUser"));
  EXPECT_LT(position("ImpersonateLoggedOnUser"), position("OpenProcessToken"));
  EXPECT_LT(position("OpenProcessToken"), position("InitiateSystemShutdownExA"));

  const auto logon = api.CallsNamed("LogonUserA");
  ASSERT_EQ(logon.size(), 1u);
  // ConnectAsUser gets the fields untrimmed and trims user and domain itself.
  EXPECT_EQ(logon[0].args[0], RecordingWinApi::Str("admin"));
  EXPECT_EQ(logon[0].args[1], RecordingWinApi::Str("ONDRAVEL"));
  EXPECT_EQ(logon[0].args[2], RecordingWinApi::Str(" pw "));
  const auto shutdown = api.CallsNamed("InitiateSystemShutdownExA");
  ASSERT_EQ(shutdown.size(), 1u);
  EXPECT_EQ(shutdown[0].args[0], RecordingWinApi::Str(" ALPHA "));
  EXPECT_EQ(shutdown[0].args[3], RecordingWinApi::Num(1)) << "force";
  EXPECT_EQ(shutdown[0].args[4], RecordingWinApi::Num(1)) << "reboot";
  EXPECT_EQ(shutdown[0].args[5], RecordingWinApi::Num(0x80010002u));
  // The logon token is the last handle closed.
  const auto closed = api.CallsNamed("CloseHandle");
  ASSERT_GE(closed.size(), 2u);
  EXPECT_EQ(api.CallNames().back(), "CloseHandle");
  // It is closed once the outcome has been reported, the process token before.
  ASSERT_EQ(shownAtClose.size(), 2u);
  EXPECT_EQ(shownAtClose[1].first, api.CallsNamed("ImpersonateLoggedOnUser").at(0).args.at(0));
  EXPECT_EQ(shownAtClose[1].second, " ALPHA  was restarted.");
  EXPECT_EQ(shownAtClose[0].second, "");
  EXPECT_EQ(StatusText(*form), " ALPHA  was restarted.");
  EXPECT_EQ(StatusColour(*form), kBlue);
  EXPECT_EQ(form->CurrentThread(), nullptr);
}

TEST_F(RebootWorker, TheLogonTokenIsClosedAfterAFailedRequestToo) {
  api.onInitiateSystemShutdownExA = [&](LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) -> BOOL {
    api.SetLastError(5);
    return FALSE;
  };
  Run(okShutdown, "BRAVO", "helpdesk", "helpdesk");
  EXPECT_EQ(remains.resultCode, -1);
  EXPECT_EQ(StatusText(*form), "Error: (Access Denied)");
  EXPECT_EQ(api.CallNames().back(), "CloseHandle");
  // Own account: no logon, so only the process token is closed.
  api.Clear();
  Run(okShutdown, "BRAVO");
  EXPECT_EQ(api.CountOf("LogonUserA"), 0);
  EXPECT_EQ(api.CountOf("CloseHandle"), 1);
}

TEST_F(RebootWorker, FailureTextsByResultCode) {
  DWORD error = 0;
  api.onInitiateSystemShutdownExA = [&](LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) -> BOOL {
    api.SetLastError(error);
    return FALSE;
  };
  api.onFormatMessageA = [&](DWORD, LPCVOID, DWORD id, DWORD, LPSTR buffer, DWORD) -> DWORD {
    if (id != 1115) return 0;
    std::strcpy(buffer, " A system shutdown is in progress.\r\n");
    return 36;
  };
  struct Case {
    DWORD error;
    std::int32_t result;
    const char* status;
  };
  const Case cases[] = {
      {5, -1, "Error: (Access Denied)"},
      {1300 + 99, -1, "Error: (Access Denied)"},
      {53, -2, "Error: (Could not reach  DELTA)"},
      {1115, 1115, "Error: (A system shutdown is in progress.)"},
      {4242, 4242, "Error: ()"}, // no message for it: nothing stale is shown
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    error = c.error;
    Run(okRestart, " DELTA ");
    EXPECT_EQ(remains.resultCode, c.result);
    EXPECT_EQ(StatusText(*form).toStdString(), c.status);
    EXPECT_EQ(StatusColour(*form), kRed);
  }
}

TEST_F(RebootWorker, ALogoffScriptErrorIsShownAsItsText) {
  api.onExecuteStatement = [](const std::u16string&) -> HRESULT {
    RecordingWinApi::SetThreadErrorInfo({u"The RPC server is unavailable. ", u"SWbemLocator"});
    return static_cast<HRESULT>(0x800706BAu);
  };
  Run(okLogoff, "DELTA");
  EXPECT_EQ(remains.resultCode, -3);
  EXPECT_EQ(remains.errorText, "The RPC server is unavailable");
  EXPECT_EQ(StatusText(*form), "Error: (The RPC server is unavailable)");
}

TEST_F(RebootWorker, ARoutineThatThrowsStillReportsAndFinishes) {
  api.onLogonUserA = [](LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, PHANDLE) -> BOOL {
    throw std::runtime_error("out of resources");
  };
  Run(okRestart, "ALPHA", "admin", "Secret1");
  EXPECT_EQ(StatusText(*form), "Error: (out of resources)");
  EXPECT_EQ(form->CurrentThread(), nullptr) << "the window is not left busy";
  EXPECT_TRUE(Enabled(*form, "RestartButton"));
}

TEST_F(RebootWorker, AWorkerCancelledBeforeItSendsSendsNothingAndReportsNothing) {
  form->ShowStatusError("earlier");
  for (OperationKind operation : {okRestart, okLogoff}) {
    auto* worker =
        new ProbedThread(remains, operation, 0x00010000, false, "ALPHA", "admin", "Secret1", "");
    worker->Cancelled = true;
    worker->SetFreeOnTerminate(true);
    worker->Resume();
  }
  ASSERT_TRUE(WaitFor([] { return DestroyedWorkers::Instance().Count() == 2; }));
  EXPECT_EQ(api.CountOf("LogonUserA"), 0);
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 0);
  EXPECT_EQ(api.CountOf("ScriptControl.ExecuteStatement"), 0);
  EXPECT_EQ(StatusText(*form), "Error: (earlier)");
  EXPECT_EQ(form->CurrentThread(), nullptr);
}

TEST_F(RebootWorker, WithoutAWindowTheReportsAreDroppedAndTheWorkerStillEnds) {
  form.reset();
  ASSERT_EQ(MainForm, nullptr);
  auto* worker = new ProbedThread(remains, okShutdown, 0x00010000, false, "ALPHA", "", "", "");
  worker->Resume();
  ASSERT_TRUE(WaitFor([] { return DestroyedWorkers::Instance().Count() == 1; }));
  EXPECT_TRUE(remains.cancelled);
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 1);
}

} // namespace
