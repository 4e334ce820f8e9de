// A password typed for another account leaves no copy in the program's own
// memory once its request is over: only the password field keeps it. The
// process reads its own writable memory (heap, anonymous mappings, stacks),
// freed blocks included, as a core dump would show it; and since a freed
// block may be handed out again before the scan, every block the program
// gives back meanwhile is searched as it goes.
#include "controls/Thread.h"
#include "platform/sim/SimulatedWinApi.h"
#include "tests/support/MemoryScan.h"
#include "tests/test_operations_support.h"

#include <QRadioButton>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#ifdef __linux__
#include <malloc.h>
#endif

// The sanitizers keep their own allocator and map terabytes of shadow
// memory: the scan is for plain builds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SKARVET_PLAIN_MEMORY 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SKARVET_PLAIN_MEMORY 0
#endif
#endif
#if !defined(SKARVET_PLAIN_MEMORY) && defined(__linux__)
#define SKARVET_PLAIN_MEMORY 1
#elif !defined(SKARVET_PLAIN_MEMORY)
#define SKARVET_PLAIN_MEMORY 0
#endif

using namespace skarvet;
using namespace skarvet::test;

namespace {

#if SKARVET_PLAIN_MEMORY
// The password being watched for in blocks as they are freed; null: none.
std::atomic<const Masked*> g_watched{nullptr};
std::atomic<int> g_freedHolding{0};

void InspectFreed(void* block) {
  const Masked* masked = g_watched.load();
  if (!masked || !block) return;
  const std::size_t size = malloc_usable_size(block);
  const auto* bytes = static_cast<const unsigned char*>(block);
  const auto password = masked->password;
  for (std::size_t i = 0; i < size; ++i) {
    if ((bytes[i] ^ kMask) != password[0]) continue;
    if ((i + password.size() <= size && MatchesAt(bytes + i, password, 1)) ||
        (i + 2 * password.size() <= size && MatchesAt(bytes + i, password, 2)))
      ++g_freedHolding;
  }
}
#endif

} // namespace

#if SKARVET_PLAIN_MEMORY
// The program's own blocks (not Qt's, which come from malloc) pass here.
void* operator new(std::size_t size) {
  for (;;) {
    if (void* block = std::malloc(size ? size : 1)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}
void operator delete(void* block) noexcept {
  InspectFreed(block);
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  InspectFreed(block);
  std::free(block);
}
#endif

namespace {

class PasswordMemory : public ::testing::Test {
protected:
  SimulatedWinApi network{sim::Network::Default(), std::chrono::milliseconds(0)};
  ScopedWinApi use{network};
  std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>();

  void SetUp() override {
#if !SKARVET_PLAIN_MEMORY
    GTEST_SKIP() << "reads the process's memory through /proc, without sanitizers";
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
#if SKARVET_PLAIN_MEMORY
  for (const Masked& masked : kPasswords) {
    SCOPED_TRACE(masked.password.size());
    TypePassword(masked);
    const Copies before = ScanOwnMemory(masked.Searched());
    ASSERT_EQ(before.ansi, 0) << "the test holds no 8-bit copy itself";
    ASSERT_GE(before.wide, 1) << "the field's own copy is found";

    // Both refused (the password is not admin's) once the logon, the
    // impersonation and the request have each handled the password.
    g_freedHolding = 0;
    g_watched = &masked;
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
    g_watched = nullptr;
    EXPECT_EQ(after.ansi, 0);
    EXPECT_LE(after.wide, before.wide);
    EXPECT_EQ(g_freedHolding.load(), 0) << "blocks given back with the password in them";
  }
#endif
}

} // namespace
