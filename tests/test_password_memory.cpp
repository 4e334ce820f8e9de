// A password typed for another account leaves no copy in the program's own
// memory once its request is over: only the password field keeps it. The
// process reads its own writable memory (heap, anonymous mappings, stacks),
// freed blocks included, as a core dump would show it.
#include "controls/Thread.h"
#include "platform/sim/SimulatedWinApi.h"
#include "tests/support/MemoryScan.h"
#include "tests/test_operations_support.h"

#include <QRadioButton>
#include <gtest/gtest.h>

#include <memory>

using namespace skarvet;
using namespace skarvet::test;

namespace {

class PasswordMemory : public ::testing::Test {
protected:
  SimulatedWinApi network{sim::Network::Default(), std::chrono::milliseconds(0)};
  ScopedWinApi use{network};
  std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>();

  void SetUp() override {
#ifndef __linux__
    GTEST_SKIP() << "reads the process's memory through /proc";
#endif
    Find<QRadioButton>(*form, "YesRadioButton")->setChecked(true);
    form->UpdateCredentialFields();
    Find<QLineEdit>(*form, "UserNameEdit")->setText("admin");
    Find<QLineEdit>(*form, "DomainEdit")->setText("ONDRAVEL");
  }

  // Put into the field one character at a time from the masked bytes.
  void TypePassword(const Masked& masked) {
    QString typed;
    typed.reserve(static_cast<qsizetype>(masked.password.size()));
    for (unsigned char c : masked.password) typed.append(QChar(static_cast<char16_t>(c ^ kMask)));
    Find<QLineEdit>(*form, "PasswordEdit")->setText(typed);
  }

  void TearDown() override {
    EXPECT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }));
  }

  // Runs `button`'s request for `computer` to its end.
  void Operate(const char* button, const char* computer) {
    TypeName(*form, computer);
    Click(*form, button);
    ASSERT_TRUE(WaitFor([&] { return form->CurrentThread() == nullptr; }));
    ASSERT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }));
  }
};

TEST_F(PasswordMemory, ARequestLeavesNoCopyBeyondThePasswordField) {
#ifdef __linux__
  for (const Masked& masked : kPasswords) {
    SCOPED_TRACE(masked.password.size());
    TypePassword(masked);
    const Copies before = ScanOwnMemory(masked.Searched());
    ASSERT_EQ(before.ansi, 0) << "the test holds no 8-bit copy itself";
    ASSERT_GE(before.wide, 1) << "the field's own copy is found";

    // Both refused (the password is not admin's) once the logon, the
    // impersonation and the request have each handled the password.
    Operate("RestartButton", "BRAVO");
    Operate("ShutdownButton", "ALPHA");
    EXPECT_EQ(StatusText(*form).toStdString(), "Error: (Access Denied)");

    // The worker's thread drops its impersonation as it ends, just after it
    // counts as ended.
    Copies after;
    WaitFor([&] {
      after = ScanOwnMemory(masked.Searched());
      return after.ansi == 0 && after.wide <= before.wide;
    });
    EXPECT_EQ(after.ansi, 0);
    EXPECT_LE(after.wide, before.wide);
  }
#endif
}

} // namespace
