// Whole operations through the real main window against the simulated
// Windows network: what the user reads at the end, and what the target saw.
#include "controls/Thread.h"
#include "platform/sim/SimulatedWinApi.h"
#include "tests/test_operations_support.h"

#include <QRadioButton>
#include <gtest/gtest.h>

#include <memory>

using namespace skarvet;
using namespace skarvet::test;

namespace {

class OperationsOnTheNetwork : public ::testing::Test {
protected:
  SimulatedWinApi network{sim::Network::Default(), std::chrono::milliseconds(0)};
  ScopedWinApi use{network};
  std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>();

  void TearDown() override {
    EXPECT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }));
  }

  // Clicks `button` for `name` and waits for the outcome.
  void Operate(const char* button, const QString& name) {
    TypeName(*form, name);
    Click(*form, button);
    ASSERT_TRUE(WaitFor([&] { return form->CurrentThread() == nullptr; }));
    EXPECT_TRUE(Enabled(*form, "RestartButton"));
    EXPECT_FALSE(Enabled(*form, "CancelButton"));
  }

  void UseAccount(const QString& user, const QString& password, const QString& domain) {
    Find<QRadioButton>(*form, "YesRadioButton")->setChecked(true);
    form->UpdateCredentialFields();
    Find<QLineEdit>(*form, "UserNameEdit")->setText(user);
    Find<QLineEdit>(*form, "PasswordEdit")->setText(password);
    Find<QLineEdit>(*form, "DomainEdit")->setText(domain);
  }

  sim::Computer Computer(const std::string& name) {
    sim::Computer copy;
    network.WithNetwork([&](sim::Network& net) { copy = *net.FindComputer(name); });
    return copy;
  }

  void ExpectStatus(const char* text, const QColor& colour) {
    EXPECT_EQ(StatusText(*form).toStdString(), text);
    EXPECT_EQ(StatusColour(*form), colour);
  }
};

TEST_F(OperationsOnTheNetwork, RestartShutdownAndLogoffOfReachableComputers) {
  Find<QComboBox>(*form, "ShutdownReasonComboBox")->setCurrentIndex(4);
  Find<QAbstractButton>(*form, "ForceCheckbox")->setChecked(true);
  Operate("RestartButton", "ALPHA");
  ExpectStatus("ALPHA was restarted.", kBlue);
  EXPECT_EQ(Computer("ALPHA").restarts, 1);
  EXPECT_EQ(Computer("ALPHA").lastReasonAndFlags, "reason=0x80010001, force=1, reboot=1");

  Find<QAbstractButton>(*form, "ForceCheckbox")->setChecked(false);
  Operate("ShutdownButton", "echo");
  ExpectStatus("echo was shutdown.", kBlue);
  EXPECT_EQ(Computer("ECHO").shutdowns, 1);
  EXPECT_EQ(Computer("ECHO").lastReasonAndFlags, "reason=0x80010001, force=0, reboot=0");

  // Our own account has no rights on a workgroup computer.
  Operate("LogoffButton", "KITCHEN");
  ExpectStatus("Error: (Access is denied)", kRed);
  UseAccount("Administrator", "kitchen", "KITCHEN");
  Operate("LogoffButton", "KITCHEN");
  ExpectStatus("KITCHEN was logged off.", kBlue);
  EXPECT_EQ(Computer("KITCHEN").logoffs, 1);
  EXPECT_EQ(Computer("KITCHEN").interactiveUser, "");
}

TEST_F(OperationsOnTheNetwork, AnotherAccountWithTheRightPasswordGetsThrough) {
  Operate("RestartButton", "BRAVO");
  ExpectStatus("Error: (Access Denied)", kRed);
  EXPECT_EQ(Computer("BRAVO").restarts, 0);

  UseAccount(" admin ", "Secret1", " ONDRAVEL ");
  Operate("RestartButton", "BRAVO");
  ExpectStatus("BRAVO was restarted.", kBlue);
  EXPECT_EQ(Computer("BRAVO").restarts, 1);
}

TEST_F(OperationsOnTheNetwork, AWrongPasswordIsRefused) {
  UseAccount("admin", "secret1", "ONDRAVEL");
  Operate("RestartButton", "BRAVO");
  ExpectStatus("Error: (Access Denied)", kRed);
  Operate("ShutdownButton", "BRAVO");
  ExpectStatus("Error: (Access Denied)", kRed);
  EXPECT_EQ(Computer("BRAVO").restarts, 0);
  EXPECT_EQ(Computer("BRAVO").shutdowns, 0);

  // The management service's refusal, as the script control words it.
  Operate("LogoffButton", "BRAVO");
  ExpectStatus("Error: (Access is denied)", kRed);
  EXPECT_EQ(Computer("BRAVO").logoffs, 0);
  EXPECT_EQ(Computer("BRAVO").interactiveUser, "ONDRAVEL\\mjones");
}

TEST_F(OperationsOnTheNetwork, UnreachableComputers) {
  Operate("RestartButton", "CHARLIE");
  ExpectStatus("Error: (Could not reach CHARLIE)", kRed);
  Operate("ShutdownButton", " laptop7 ");
  ExpectStatus("Error: (Could not reach  laptop7)", kRed);
  Operate("RestartButton", "NOSUCHPC");
  ExpectStatus("Error: (Could not reach NOSUCHPC)", kRed);
  // Up, but its remote procedure call server is not: the system's own text.
  Operate("RestartButton", "DELTA");
  ExpectStatus("Error: (The RPC server is unavailable.)", kRed);

  // A logoff learns of it from the script: the text without its full stop.
  Operate("LogoffButton", "CHARLIE");
  ExpectStatus("Error: (The RPC server is unavailable)", kRed);
}

} // namespace
