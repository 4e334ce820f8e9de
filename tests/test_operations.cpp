// Starting, reporting and cancelling operations on the real main window,
// against a platform that holds every request until the test answers it.
#include "controls/ProgressBarXPUnit.h"
#include "controls/Thread.h"
#include "tests/test_operations_support.h"

#include <QApplication>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

using namespace skarvet;
using namespace skarvet::test;

namespace {

class Operations : public ::testing::Test {
protected:
  HoldingWinApi api;
  ScopedWinApi use{api};
  ScopedDestroyLog destroyed;
  std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>();

  void SetUp() override {
    // System messages for the "other failure" line.
    api.onFormatMessageA = [this](DWORD, LPCVOID, DWORD id, DWORD, LPSTR buffer,
                                  DWORD size) -> DWORD {
      const char* text = id == 1722 ? "The RPC server is unavailable.\r\n" : nullptr;
      if (!text || size <= std::strlen(text)) {
        api.SetLastError(317);
        return 0;
      }
      std::strcpy(buffer, text);
      return static_cast<DWORD>(std::strlen(text));
    };
  }

  void TearDown() override {
    // No worker may outlive the platform and the window it reports to.
    api.held.ReleaseAll();
    EXPECT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }));
    SetRebootThreadFactory({});
  }

  TMainForm& Form() { return *form; }
  TProgressBarXP* Bar() { return Find<TProgressBarXP>(Form(), "StatusProgressBar"); }

  // The worker currently held at the gate has been answered and has ended.
  bool WaitDestroyed(int count) {
    return WaitFor([&] { return DestroyedWorkers::Instance().Count() >= count; });
  }

  void ExpectBusyLook() {
    EXPECT_FALSE(Enabled(Form(), "RestartButton"));
    EXPECT_FALSE(Enabled(Form(), "ShutdownButton"));
    EXPECT_FALSE(Enabled(Form(), "LogoffButton"));
    EXPECT_TRUE(Enabled(Form(), "CancelButton"));
    EXPECT_TRUE(Shown(Form(), "StatusProgressBar"));
    EXPECT_FALSE(Shown(Form(), "ShutdownReasonLabel"));
    EXPECT_FALSE(Shown(Form(), "ShutdownReasonComboBox"));
    EXPECT_FALSE(Shown(Form(), "ShutdownReasonHelpButton"));
    EXPECT_NE(Form().CurrentThread(), nullptr);
  }

  void ExpectIdleLook() {
    EXPECT_TRUE(Enabled(Form(), "RestartButton"));
    EXPECT_TRUE(Enabled(Form(), "ShutdownButton"));
    EXPECT_TRUE(Enabled(Form(), "LogoffButton"));
    EXPECT_FALSE(Enabled(Form(), "CancelButton"));
    EXPECT_FALSE(Shown(Form(), "StatusProgressBar"));
    EXPECT_EQ(Bar()->Position(), 0);
    EXPECT_TRUE(Shown(Form(), "ShutdownReasonLabel"));
    EXPECT_TRUE(Shown(Form(), "ShutdownReasonComboBox"));
    EXPECT_TRUE(Shown(Form(), "ShutdownReasonHelpButton"));
    EXPECT_EQ(Form().CurrentThread(), nullptr);
  }
};

struct Outcome {
  const char* button;
  const char* name;
  HeldRequests::Answer answer;
  const char* started;
  const char* ended;
  QColor colour;
};

// --- the status line from start to outcome -------------------------------------

TEST_F(Operations, StatusLineFromStartToOutcomeForEveryKindAndResult) {
  const Outcome outcomes[] = {
      {"RestartButton", "ALPHA", {true, 0}, "Restarting ALPHA", "ALPHA was restarted.", kBlue},
      {"ShutdownButton", "ALPHA", {true, 0}, "Shutting down ALPHA", "ALPHA was shutdown.", kBlue},
      {"LogoffButton", "ALPHA", {true, 0}, "Logging off ALPHA", "ALPHA was logged off.", kBlue},
      {"RestartButton", "ALPHA", {false, 5}, "Restarting ALPHA", "Error: (Access Denied)", kRed},
      {"ShutdownButton",
       "ALPHA",
       {false, 1326},
       "Shutting down ALPHA",
       "Error: (Access Denied)",
       kRed},
      {"RestartButton",
       "CHARLIE",
       {false, 53},
       "Restarting CHARLIE",
       "Error: (Could not reach CHARLIE)",
       kRed},
      {"RestartButton",
       "DELTA",
       {false, 1722},
       "Restarting DELTA",
       "Error: (The RPC server is unavailable.)",
       kRed},
      {"LogoffButton", "BRAVO", {false, 0}, "Logging off BRAVO", "Error: (Access is denied)", kRed},
      // Names travel and show exactly as typed; only an error text is trimmed.
      {"RestartButton",
       " echo  ",
       {true, 0},
       "Restarting  echo  ",
       " echo   was restarted.",
       kBlue},
      {"ShutdownButton",
       " echo  ",
       {false, 53},
       "Shutting down  echo  ",
       "Error: (Could not reach  echo)",
       kRed},
  };
  int index = 0;
  for (const Outcome& o : outcomes) {
    SCOPED_TRACE(std::string(o.button) + " " + o.name + " -> " + o.ended);
    TypeName(Form(), o.name);
    Click(Form(), o.button);
    // At once, before the worker has done anything.
    EXPECT_EQ(StatusText(Form()).toStdString(), o.started);
    EXPECT_EQ(StatusColour(Form()), kBlue);
    ExpectBusyLook();
    ASSERT_TRUE(api.held.WaitArrived(index + 1));
    EXPECT_EQ(StatusText(Form()).toStdString(), o.started) << "no change while held";
    api.held.Release(index, o.answer);
    ASSERT_TRUE(WaitDestroyed(index + 1));
    EXPECT_EQ(StatusText(Form()).toStdString(), o.ended);
    EXPECT_EQ(StatusColour(Form()), o.colour);
    ExpectIdleLook();
    ++index;
  }
  EXPECT_EQ(DestroyedWorkers::Instance().Count(), index);
}

TEST_F(Operations, TheActionButtonsComeBackAtTheEndEvenWithTheNameEmptied) {
  TypeName(Form(), "ALPHA");
  Click(Form(), "RestartButton");
  TypeName(Form(), "");
  ASSERT_TRUE(api.held.WaitArrived(1));
  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(1));
  ExpectIdleLook();
  TypeName(Form(), "x");
  TypeName(Form(), "");
  EXPECT_FALSE(Enabled(Form(), "RestartButton")) << "the name rule applies again on change";
  EXPECT_FALSE(Enabled(Form(), "LogoffButton"));
}

// --- Cancel ------------------------------------------------------------------------

TEST_F(Operations, CancelEmptiesTheStatusAtOnceAndTheLateOutcomeChangesNothing) {
  for (const bool succeed : {true, false}) {
    SCOPED_TRACE(succeed ? "late success" : "late failure");
    DestroyedWorkers::Instance().Clear();
    const int index = api.held.Arrived();
    TypeName(Form(), "ALPHA");
    Click(Form(), "ShutdownButton");
    ASSERT_TRUE(api.held.WaitArrived(index + 1));
    const TRebootThread* worker = Form().CurrentThread();
    ASSERT_NE(worker, nullptr);

    Click(Form(), "CancelButton");
    EXPECT_EQ(StatusText(Form()), QString());
    EXPECT_EQ(StatusColour(Form()), kBlue) << "the colour stays as it was";
    ExpectIdleLook();
    EXPECT_EQ(DestroyedWorkers::Instance().Count(), 0) << "the worker runs on";

    api.held.Release(index, {succeed, 5});
    ASSERT_TRUE(WaitDestroyed(1));
    QTest::qWait(20); // any stray report would have landed by now
    EXPECT_EQ(StatusText(Form()), QString());
    ExpectIdleLook();
    EXPECT_EQ(DestroyedWorkers::Instance().CountOf(worker), 1);
  }
  // The cancelled requests were still sent.
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 2);
}

TEST_F(Operations, CancelWithNoWorkerDoesNothing) {
  EXPECT_FALSE(Enabled(Form(), "CancelButton"));
  Form().ShowStatusError("Access Denied");
  Form().CancelButtonClick();
  EXPECT_EQ(StatusText(Form()), "Error: (Access Denied)");
  EXPECT_EQ(StatusColour(Form()), kRed);
  EXPECT_FALSE(Enabled(Form(), "CancelButton"));
}

TEST_F(Operations, ASecondRequestAfterCancelReportsUndisturbedByTheFirst) {
  TypeName(Form(), "ALPHA");
  Click(Form(), "RestartButton");
  ASSERT_TRUE(api.held.WaitArrived(1));
  const TRebootThread* first = Form().CurrentThread();
  Click(Form(), "CancelButton");

  TypeName(Form(), "BRAVO");
  Click(Form(), "RestartButton");
  ASSERT_TRUE(api.held.WaitArrived(2));
  const TRebootThread* second = Form().CurrentThread();
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);

  // The first answers late, with a failure: nothing of it shows.
  api.held.Release(0, {false, 53});
  ASSERT_TRUE(WaitDestroyed(1));
  QTest::qWait(20);
  EXPECT_EQ(StatusText(Form()), "Restarting BRAVO");
  ExpectBusyLook();
  EXPECT_EQ(Form().CurrentThread(), second);

  api.held.Release(1);
  ASSERT_TRUE(WaitDestroyed(2));
  EXPECT_EQ(StatusText(Form()), "BRAVO was restarted.");
  EXPECT_EQ(StatusColour(Form()), kBlue);
  ExpectIdleLook();
  EXPECT_EQ(DestroyedWorkers::Instance().CountOf(first), 1);
  EXPECT_EQ(DestroyedWorkers::Instance().Count(), 2);
}

TEST_F(Operations, TwoRequestsLeftRunningBothReportAndTheFirstEndReturnsTheIdleLook) {
  TypeName(Form(), "ALPHA");
  Click(Form(), "RestartButton");
  ASSERT_TRUE(api.held.WaitArrived(1));
  const TRebootThread* first = Form().CurrentThread();

  // A new name during the operation re-enables the action buttons.
  TypeName(Form(), "BRAVO");
  EXPECT_TRUE(Enabled(Form(), "ShutdownButton"));
  Click(Form(), "ShutdownButton");
  ASSERT_TRUE(api.held.WaitArrived(2));
  const TRebootThread* second = Form().CurrentThread();
  EXPECT_NE(second, first) << "the new worker replaces the reference";
  EXPECT_EQ(StatusText(Form()), "Shutting down BRAVO");

  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(1));
  EXPECT_EQ(DestroyedWorkers::Instance().CountOf(first), 1);
  EXPECT_EQ(StatusText(Form()), "ALPHA was restarted.");
  ExpectIdleLook(); // although the second still runs

  api.held.Release(1, {false, 53});
  ASSERT_TRUE(WaitDestroyed(2));
  EXPECT_EQ(StatusText(Form()), "Error: (Could not reach BRAVO)");
  EXPECT_EQ(StatusColour(Form()), kRed);
  ExpectIdleLook();
  EXPECT_EQ(DestroyedWorkers::Instance().Count(), 2);
}

// --- a worker that cannot be created -------------------------------------------------

struct SeenBox {
  bool seen = false;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Closes the next message box that opens, noting what it said.
void CloseNextMessageBox(SeenBox& seen) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, &seen] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (!box || !box->isVisible()) continue;
      seen = {true, box->text(), box->icon()};
      box->done(QMessageBox::Ok);
      timer->stop();
      timer->deleteLater();
      return;
    }
  });
  timer->start();
}

TEST_F(Operations, AWorkerThatCannotBeCreatedIsReportedInTheErrorBoxAndNothingStarts) {
  SetRebootThreadFactory([](OperationKind, DWORD, bool, const std::string&, const std::string&,
                            const std::string&, const std::string&) -> TRebootThread* {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  const std::string systemText =
      std::make_error_code(std::errc::resource_unavailable_try_again).message();

  TypeName(Form(), "ALPHA");
  SeenBox box;
  CloseNextMessageBox(box);
  Click(Form(), "RestartButton");
  ASSERT_TRUE(WaitFor([&] { return box.seen; }));
  EXPECT_EQ(box.text.toStdString(), "Thread creation error: " + systemText);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(StatusText(Form()), "Restarting ALPHA") << "the blue text of the attempt stays";
  EXPECT_EQ(StatusColour(Form()), kBlue);
  ExpectIdleLook();
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 0);
}

TEST_F(Operations, AWorkerThatCannotBeCreatedIsDescribedInTheSystemsWords) {
  api.onFormatMessageA = [](DWORD, LPCVOID, DWORD id, DWORD, LPSTR buffer, DWORD size) -> DWORD {
    const char* text = id == ERROR_NOT_ENOUGH_MEMORY ? "Not enough memory.\r\n" : "";
    return static_cast<DWORD>(std::snprintf(buffer, size, "%s", text));
  };
  SetRebootThreadFactory([](OperationKind, DWORD, bool, const std::string&, const std::string&,
                            const std::string&, const std::string&) -> TRebootThread* {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  });
  TypeName(Form(), "ALPHA");
  SeenBox box;
  CloseNextMessageBox(box);
  Click(Form(), "ShutdownButton");
  ASSERT_TRUE(WaitFor([&] { return box.seen; }));
  EXPECT_EQ(box.text, "Thread creation error: Not enough memory.");
}

TEST_F(Operations, AFailedCreationKeepsTheEarlierWorkerAndTheBusyLook) {
  TypeName(Form(), "ALPHA");
  Click(Form(), "RestartButton");
  ASSERT_TRUE(api.held.WaitArrived(1));
  TRebootThread* first = Form().CurrentThread();

  SetRebootThreadFactory([](OperationKind, DWORD, bool, const std::string&, const std::string&,
                            const std::string&, const std::string&) -> TRebootThread* {
    throw std::system_error(std::make_error_code(std::errc::not_enough_memory));
  });
  TypeName(Form(), "BRAVO");
  SeenBox box;
  CloseNextMessageBox(box);
  Click(Form(), "LogoffButton");
  ASSERT_TRUE(WaitFor([&] { return box.seen; }));
  EXPECT_TRUE(box.text.startsWith("Thread creation error: "));
  EXPECT_EQ(Form().CurrentThread(), first);
  EXPECT_EQ(StatusText(Form()), "Logging off BRAVO");
  EXPECT_TRUE(Enabled(Form(), "CancelButton"));
  EXPECT_TRUE(Shown(Form(), "StatusProgressBar"));

  // The first still reports and can still be cancelled: it is the current one.
  Click(Form(), "CancelButton");
  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(1));
  EXPECT_EQ(StatusText(Form()), QString());
  ExpectIdleLook();
}

// --- progress animation ------------------------------------------------------------

TEST_F(Operations, ProgressMovesByTwoAndWrapsFrom98StraightToEmpty) {
  TProgressBarXP* bar = Bar();
  ASSERT_EQ(bar->Position(), 0);
  for (int sweep = 0; sweep < 2; ++sweep) {
    for (int tick = 1; tick <= 49; ++tick) {
      Form().ProgressTimerTimer();
      ASSERT_EQ(bar->Position(), 2 * tick) << "sweep " << sweep;
    }
    Form().ProgressTimerTimer(); // the fiftieth tick reaches 100 and empties at once
    ASSERT_EQ(bar->Position(), 0) << "sweep " << sweep;
  }
}

TEST_F(Operations, TheTimerTicksEvery20msOnlyWhileBusyAndTheNextRunStartsEmpty) {
  auto* timer = Form().findChild<QTimer*>("ProgressTimer");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 20);
  EXPECT_FALSE(timer->isActive());

  TypeName(Form(), "ALPHA");
  Click(Form(), "RestartButton");
  EXPECT_TRUE(timer->isActive());
  ASSERT_TRUE(api.held.WaitArrived(1));
  ASSERT_TRUE(WaitFor([&] { return Bar()->Position() >= 6; })) << "the bar moves by itself";
  EXPECT_EQ(Bar()->Position() % 2, 0);
  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(1));
  EXPECT_FALSE(timer->isActive());
  EXPECT_EQ(Bar()->Position(), 0);
}

// --- what reaches the platform ------------------------------------------------------

TEST_F(Operations, TheReasonCodeForNoPickIndexZeroIndexOneAndAfterAnOperation) {
  auto* list = Find<QComboBox>(Form(), "ShutdownReasonComboBox");
  TypeName(Form(), "ALPHA");
  int index = 0;
  auto reasonSent = [&](const char* button) {
    Click(Form(), button);
    EXPECT_TRUE(api.held.WaitArrived(index + 1));
    api.held.Release(index);
    EXPECT_TRUE(WaitDestroyed(index + 1));
    ++index;
    const auto calls = api.CallsNamed("InitiateSystemShutdownExA");
    return calls.empty() ? std::string() : calls.back().args.at(5);
  };
  const std::string noPick = RecordingWinApi::Num(0x00010000);
  EXPECT_EQ(reasonSent("RestartButton"), noPick);
  EXPECT_EQ(reasonSent("ShutdownButton"), noPick);
  list->setCurrentIndex(0);
  EXPECT_EQ(reasonSent("RestartButton"), RecordingWinApi::Num(0));
  list->setCurrentIndex(1);
  EXPECT_EQ(reasonSent("ShutdownButton"), RecordingWinApi::Num(0x80000000u));
  EXPECT_EQ(list->currentIndex(), 1) << "an operation leaves the pick alone";
  EXPECT_EQ(reasonSent("RestartButton"), RecordingWinApi::Num(0x80000000u));

  // A cancelled operation leaves it alone too; a logoff carries it as well.
  Click(Form(), "LogoffButton");
  ASSERT_TRUE(api.held.WaitArrived(index + 1));
  EXPECT_EQ(Form().CurrentThread()->ReasonCode, 0x80000000u);
  Click(Form(), "CancelButton");
  api.held.Release(index++);
  ASSERT_TRUE(WaitDestroyed(index));
  EXPECT_EQ(reasonSent("ShutdownButton"), RecordingWinApi::Num(0x80000000u));
}

TEST_F(Operations, TheForceFlagAndTheRestartShutdownChoiceReachThePlatform) {
  TypeName(Form(), "ALPHA");
  Find<QAbstractButton>(Form(), "ForceCheckbox")->setChecked(true);
  Click(Form(), "RestartButton");
  ASSERT_TRUE(api.held.WaitArrived(1));
  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(1));
  Find<QAbstractButton>(Form(), "ForceCheckbox")->setChecked(false);
  Click(Form(), "ShutdownButton");
  ASSERT_TRUE(api.held.WaitArrived(2));
  api.held.Release(1);
  ASSERT_TRUE(WaitDestroyed(2));
  const auto calls = api.CallsNamed("InitiateSystemShutdownExA");
  ASSERT_EQ(calls.size(), 2u);
  // name, message, time-out, force, reboot, reason
  EXPECT_EQ(calls[0].args[3], RecordingWinApi::Num(1));
  EXPECT_EQ(calls[0].args[4], RecordingWinApi::Num(1));
  EXPECT_EQ(calls[1].args[3], RecordingWinApi::Num(0));
  EXPECT_EQ(calls[1].args[4], RecordingWinApi::Num(0));
}

TEST_F(Operations, YesSendsTheCredentialTextsAsTypedNoSendsNoneOfThem) {
  auto* yes = Find<QRadioButton>(Form(), "YesRadioButton");
  auto* no = Find<QRadioButton>(Form(), "NoRadioButton");
  Find<QLineEdit>(Form(), "UserNameEdit")->setText(" admin ");
  Find<QLineEdit>(Form(), "PasswordEdit")->setText(" Secret1 ");
  Find<QLineEdit>(Form(), "DomainEdit")->setText("  ONDRAVEL ");
  TypeName(Form(), " alpha ");
  int index = 0;
  auto run = [&](const char* button) {
    Click(Form(), button);
    EXPECT_TRUE(api.held.WaitArrived(index + 1));
    const TRebootThread* worker = Form().CurrentThread();
    std::vector<std::string> texts = {worker->UserName, std::string(worker->Password.view()),
                                      worker->Domain};
    api.held.Release(index++);
    EXPECT_TRUE(WaitDestroyed(index));
    return texts;
  };

  yes->setChecked(true);
  Form().UpdateCredentialFields();
  // The worker trims the domain in place once it has built the account.
  EXPECT_EQ(run("RestartButton"), (std::vector<std::string>{" admin ", " Secret1 ", "ONDRAVEL"}));
  const auto logon = api.CallsNamed("LogonUserA");
  ASSERT_EQ(logon.size(), 1u);
  EXPECT_EQ(logon[0].args[0], RecordingWinApi::Str("admin"));
  EXPECT_EQ(logon[0].args[1], RecordingWinApi::Str("ONDRAVEL"));
  EXPECT_EQ(logon[0].args[2], RecordingWinApi::Str(" Secret1 ")) << "never trimmed";
  EXPECT_EQ(api.CallsNamed("InitiateSystemShutdownExA").back().args[0],
            RecordingWinApi::Str(" alpha "))
      << "name untrimmed";
  run("LogoffButton");
  EXPECT_NE(api.CallsNamed("ScriptControl.AddCode")
                .back()
                .args[0]
                .find(R"(ConnectServer(" alpha ","root\cimv2","ONDRAVEL\admin"," Secret1 "))"),
            std::string::npos);

  // "No" is the program's own account: the greyed fields keep their text
  // for a later "Yes", but nothing of it travels, whatever the request.
  no->setChecked(true);
  Form().UpdateCredentialFields();
  for (const char* button : {"RestartButton", "ShutdownButton", "LogoffButton"}) {
    SCOPED_TRACE(button);
    EXPECT_EQ(run(button), (std::vector<std::string>{"", "", ""}));
  }
  EXPECT_EQ(api.CountOf("LogonUserA"), 1) << "no logon with the greyed account";
  EXPECT_EQ(api.CountOf("WNetAddConnection2A"), 0);
  EXPECT_NE(api.CallsNamed("ScriptControl.AddCode")
                .back()
                .args[0]
                .find(R"(ConnectServer(" alpha ","root\cimv2","",""))"),
            std::string::npos);
  EXPECT_EQ(Find<QLineEdit>(Form(), "PasswordEdit")->text(), " Secret1 ");
}

TEST_F(Operations, CancelHoldsBackARequestNotYetSentButNotOneOnItsWay) {
  // A gate in front of the request: the worker waits there, not yet sending.
  HeldRequests beforeSending;
  api.onAdjustTokenPrivileges = [&](HANDLE, BOOL, PTOKEN_PRIVILEGES, DWORD, PTOKEN_PRIVILEGES,
                                    PDWORD) -> BOOL {
    beforeSending.Hold();
    return TRUE;
  };
  api.onAddCode = [&](const std::u16string&) -> HRESULT {
    beforeSending.Hold();
    return S_OK;
  };
  TypeName(Form(), "ALPHA");

  for (const char* button : {"RestartButton", "ShutdownButton", "LogoffButton"}) {
    SCOPED_TRACE(button);
    const int arrived = beforeSending.Arrived();
    Click(Form(), button);
    ASSERT_TRUE(beforeSending.WaitArrived(arrived + 1));
    Click(Form(), "CancelButton");
    beforeSending.Release(arrived);
    ASSERT_TRUE(WaitDestroyed(arrived + 1));
  }
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 0);
  EXPECT_EQ(api.CountOf("ScriptControl.ExecuteStatement"), 0);
  EXPECT_EQ(StatusText(Form()), "");

  // Once the call has begun nothing can recall it: it completes.
  beforeSending.ReleaseAll();
  Click(Form(), "RestartButton");
  ASSERT_TRUE(api.held.WaitArrived(1));
  Click(Form(), "CancelButton");
  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(4));
  EXPECT_EQ(api.CountOf("InitiateSystemShutdownExA"), 1);
  EXPECT_EQ(StatusText(Form()), "");
}

// --- the keyboard --------------------------------------------------------------

class OperationsByKeyboard : public Operations {
protected:
  void SetUp() override {
    Operations::SetUp();
    Form().show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Form()));
    TypeName(Form(), "ALPHA");
  }

  // A key goes to the focused control, or to the window when none has it.
  void Press(Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : &Form(), key);
  }

  QWidget* Focus() { return QApplication::focusWidget(); }
  bool Forced() { return Find<QAbstractButton>(Form(), "ForceCheckbox")->isChecked(); }
};

TEST_F(OperationsByKeyboard, DisablingTheFocusedButtonNeverHandsTheFocusToForce) {
  QWidget* restart = Find(Form(), "RestartButton");
  restart->setFocus();
  Press(Qt::Key_Space);
  ASSERT_TRUE(api.held.WaitArrived(1));
  EXPECT_EQ(Focus(), nullptr) << "the focus goes nowhere while busy";
  Press(Qt::Key_Space);
  EXPECT_FALSE(Forced());
  api.held.Release(0);
  ASSERT_TRUE(WaitDestroyed(1));
  EXPECT_EQ(Focus(), restart) << "back on the button that had it";

  // Cancel is disabled under the focus too; it goes back to the name field.
  Press(Qt::Key_Space);
  ASSERT_TRUE(api.held.WaitArrived(2));
  Find(Form(), "CancelButton")->setFocus();
  Press(Qt::Key_Space);
  EXPECT_EQ(Form().CurrentThread(), nullptr);
  EXPECT_EQ(Focus(), Find(Form(), "ComputerNameEdit"));
  EXPECT_FALSE(Forced());

  // Unless the user has put the focus elsewhere meanwhile.
  restart->setFocus();
  Press(Qt::Key_Space);
  ASSERT_TRUE(api.held.WaitArrived(3));
  QWidget* exitButton = Find(Form(), "ExitButton");
  exitButton->setFocus();
  api.held.ReleaseAll();
  ASSERT_TRUE(WaitDestroyed(3));
  EXPECT_EQ(Focus(), exitButton);
}

TEST_F(OperationsByKeyboard, ReturnPressesTheFocusedButtonOnlyAndThereIsNoDefault) {
  Find(Form(), "ComputerNameEdit")->setFocus();
  Press(Qt::Key_Return);
  Find(Form(), "ForceCheckbox")->setFocus();
  Press(Qt::Key_Return);
  EXPECT_EQ(Form().CurrentThread(), nullptr) << "no default button";
  EXPECT_FALSE(Forced());

  Find(Form(), "ShutdownButton")->setFocus();
  Press(Qt::Key_Return);
  ASSERT_TRUE(api.held.WaitArrived(1));
  EXPECT_EQ(StatusText(Form()), "Shutting down ALPHA");
  Find(Form(), "CancelButton")->setFocus();
  QTest::keyClick(Focus(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(Form().CurrentThread(), nullptr) << "the keypad's Enter presses it too";
  EXPECT_EQ(StatusText(Form()), "");
}

} // namespace
