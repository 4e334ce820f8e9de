// Opening web pages (OpenWebPage and the simulated desktop's shell) and the
// main window's side actions: browse for a computer, banner and link.
#include "mainwindow/MainFormUnit.h"
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"
#include "remote/GlobalUnit.h"
#include "tests/support/ModalRun.h"
#include "tests/support/RecordingWinApi.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace skarvet;
using skarvet::test::RecordingWinApi;

namespace {

// The arguments of the one ShellExecuteA call in the log, as logged.
std::vector<std::string> OnlyShellCall(const RecordingWinApi& fake) {
  const auto calls = fake.CallsNamed("ShellExecuteA");
  EXPECT_EQ(calls.size(), 1u);
  return calls.empty() ? std::vector<std::string>{} : calls.front().args;
}

// Logged argument positions of ShellExecuteA.
enum { kOwner, kVerb, kFile, kParameters, kDirectory, kShow };

#ifndef _WIN32
// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};
#endif

std::intptr_t AsInt(HINSTANCE result) {
  return reinterpret_cast<std::intptr_t>(result);
}

} // namespace

// --- OpenWebPage ---------------------------------------------------------------

TEST(OpenWebPage, BlankAddressesDoNothing) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  OpenWebPage("");
  OpenWebPage(" \t\r\n");
  OpenWebPage(std::string("\0\x01\x1f ", 4));
  EXPECT_EQ(fake.Calls().size(), 0u);
}

TEST(OpenWebPage, AsksTheShellToOpenTheUntrimmedAddressWithoutParameters) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  HWND seenOwner = reinterpret_cast<HWND>(0x1);
  fake.onShellExecuteA = [&](HWND owner, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    seenOwner = owner;
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(42));
  };
  const HWND mainWindow = reinterpret_cast<HWND>(static_cast<std::intptr_t>(0x5150));
  SetMainWindowHandle(mainWindow);
  EXPECT_EQ(MainWindowHandle(), mainWindow);

  OpenWebPage(" https://www.ondravel.example/downloads ");
  const auto args = OnlyShellCall(fake);
  ASSERT_EQ(args.size(), 6u);
  EXPECT_EQ(seenOwner, mainWindow);
  EXPECT_EQ(args[kVerb], "\"open\"");
  EXPECT_EQ(args[kFile], "\" https://www.ondravel.example/downloads \"");
  EXPECT_EQ(args[kParameters], "null");
  EXPECT_EQ(args[kShow], std::to_string(SW_SHOWNORMAL));
  EXPECT_EQ(SW_SHOWNORMAL, 1);
  SetMainWindowHandle(nullptr);
}

TEST(OpenWebPage, WorkingDirectoryIsTheDirectoryPartOfTheText) {
  struct Case {
    const char* text;
    const char* directory; // as logged
  };
  const Case cases[] = {
      // Before the last backslash.
      {R"(C:\Program Files\Ondravel\readme.txt)", R"("C:\Program Files\Ondravel")"},
      {R"(\\server\share\page.htm)", R"("\\server\share")"},
      {R"(C:\readme.txt)", R"("C:")"},
      {R"(folder\)", R"("folder")"},
      // A colon after the last backslash: up to and including it.
      {"C:readme.txt", R"("C:")"},
      {"https://www.ondravel.example/downloads", R"("https:")"},
      {R"(D:\docs\a:b)", R"("D:\docs\a:")"},
      {"https://www.ondravel.example:8080/x", R"("https://www.ondravel.example:")"},
      // A colon before the last backslash counts for nothing.
      {R"(C:\dir\file)", R"("C:\dir")"},
      // Neither: no directory, which asks for the current one.
      {"www.ondravel.example/downloads", "null"},
      {"readme.txt", "null"},
      {R"(\readme.txt)", "null"},
  };
  for (const Case& c : cases) {
    RecordingWinApi fake;
    ScopedWinApi use(fake);
    OpenWebPage(c.text);
    const auto args = OnlyShellCall(fake);
    ASSERT_EQ(args.size(), 6u) << c.text;
    EXPECT_EQ(args[kDirectory], c.directory) << c.text;
  }
}

TEST(OpenWebPage, AFailingShellIsIgnored) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onShellExecuteA = [](HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(2)); // SE_ERR_FNF
  };
  EXPECT_NO_THROW(OpenWebPage("https://www.ondravel.example/missing"));
  EXPECT_NO_THROW(OpenWebPage("https://www.ondravel.example/missing"));
  // Asked each time, and nothing else was done about the failure.
  EXPECT_EQ(fake.CallNames(), (std::vector<std::string>{"ShellExecuteA", "ShellExecuteA"}));
}

// --- the simulated desktop's shell ---------------------------------------------

TEST(SimulatedShell, HandsTheAddressToTheOpenerAndReportsTheOutcome) {
  SimulatedWinApi api(sim::Network::Default(), std::chrono::milliseconds(0));
  std::vector<std::string> opened;
  bool accept = true;
  api.SetUrlOpener([&](const std::string& address) {
    opened.push_back(address);
    return accept;
  });
  const char* page = "https://www.ondravel.example/brandolin?Source=Skarvet";
  EXPECT_GT(AsInt(api.ShellExecuteA(nullptr, "open", page, nullptr, "https:", SW_SHOWNORMAL)), 32);
  EXPECT_GT(AsInt(api.ShellExecuteA(nullptr, nullptr, page, nullptr, nullptr, SW_SHOWNORMAL)), 32);
  accept = false;
  EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "open", page, nullptr, nullptr, SW_SHOWNORMAL)), 32);
  EXPECT_EQ(api.GetLastError(), 1155u); // ERROR_NO_ASSOCIATION
  EXPECT_EQ(opened, (std::vector<std::string>{page, page, page}));
}

TEST(SimulatedShell, RefusesWhatItCannotOpen) {
  SimulatedWinApi api(sim::Network::Default(), std::chrono::milliseconds(0));
  int opened = 0;
  api.SetUrlOpener([&](const std::string&) { return ++opened, true; });
  // Unknown verb, no file, an empty file, and a text the opener would take
  // for one of its options.
  EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "print", "https://a.example/", nullptr, nullptr, 1)),
            32);
  EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, 1)), 32);
  EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "open", "", nullptr, nullptr, 1)), 32);
  EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "open", "--version", nullptr, nullptr, 1)), 32);
  EXPECT_EQ(opened, 0);
}

#ifndef _WIN32
// The simulated desktop's shell off Windows: the desktop's opener, started
// and reaped. (On Windows the simulated network hands addresses to the real
// shell.)
class SimulatedDesktop : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/skarvet-shell-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A stand-in for xdg-open: writes its arguments, talks on both output
  // streams, then waits until the test lets it end.
  void InstallOpener() {
    const std::string script = dir_ + "/xdg-open";
    std::ofstream(script) << "#!/bin/sh\n"
                             "echo noise; echo more noise >&2\n"
                             "printf '%s\\n' \"$#\" \"$1\" > \""
                          << dir_ << "/args.tmp\"\n"
                          << "mv \"" << dir_ << "/args.tmp\" \"" << dir_ << "/args\"\n"
                          << "i=0\n"
                             "while [ ! -e \""
                          << dir_
                          << "/release\" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n";
    chmod(script.c_str(), 0755);
  }

  bool WaitFor(const std::string& path) {
    for (int i = 0; i < 400; ++i) {
      if (std::filesystem::exists(path)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }

  // Children of this process that still exist (running or not yet reaped).
  static int ChildCount() {
    int count = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    while (dirent* entry = readdir(proc)) {
      std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      const auto close = line.rfind(')');
      if (close == std::string::npos) continue;
      char state = 0;
      long parent = 0;
      if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 &&
          parent == getpid())
        ++count;
    }
    closedir(proc);
    return count;
  }

  std::string dir_;
};

TEST_F(SimulatedDesktop, StartsTheDesktopOpenerWithoutWaitingAndReapsIt) {
  InstallOpener();
  ScopedEnv path("PATH", (dir_ + ":/usr/bin:/bin").c_str());
  ScopedEnv display("DISPLAY", ":99");
  SimulatedWinApi api(sim::Network::Default(), std::chrono::milliseconds(0));
  const int childrenBefore = ChildCount();

  const char* page = "https://www.ondravel.example/a b?x=1&y=$(true)";
  // Returns while the opener is still running: it waits for "release".
  EXPECT_GT(AsInt(api.ShellExecuteA(nullptr, "open", page, nullptr, nullptr, SW_SHOWNORMAL)), 32);

  ASSERT_TRUE(WaitFor(dir_ + "/args"));
  std::ifstream args(dir_ + "/args");
  std::string count, first;
  std::getline(args, count);
  std::getline(args, first);
  EXPECT_EQ(count, "1");
  EXPECT_EQ(first, page); // one argument, exactly as given, no shell in between

  std::ofstream(dir_ + "/release") << "";
  bool reaped = false;
  for (int i = 0; i < 400 && !reaped; ++i) {
    reaped = ChildCount() <= childrenBefore;
    if (!reaped) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(reaped) << "the opener was left as a zombie";
}

TEST_F(SimulatedDesktop, FailsLikeTheShellWithoutADisplayOrAnOpener) {
  InstallOpener();
  SimulatedWinApi api(sim::Network::Default(), std::chrono::milliseconds(0));
  const char* page = "https://www.ondravel.example/downloads";
  {
    // An opener but nowhere to show a browser.
    ScopedEnv path("PATH", (dir_ + ":/usr/bin:/bin").c_str());
    ScopedEnv display("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "open", page, nullptr, nullptr, 1)), 32);
  }
  {
    // A display but no opener.
    std::filesystem::create_directory(dir_ + "/empty");
    ScopedEnv path("PATH", (dir_ + "/empty").c_str());
    ScopedEnv display("DISPLAY", ":99");
    EXPECT_LE(AsInt(api.ShellExecuteA(nullptr, "open", page, nullptr, nullptr, 1)), 32);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/args"));
}
#endif // _WIN32

// --- the main window's side actions ----------------------------------------------

namespace {

using skarvet::test::ModalRun;
using skarvet::test::RunModal;

// Everything a user could see of a window: enabled and shown states, texts,
// the picked reason.
std::vector<std::string> Snapshot(QWidget& window) {
  std::vector<std::string> state;
  state.push_back(QString("%1,%2").arg(window.x()).arg(window.y()).toStdString());
  for (QWidget* child : window.findChildren<QWidget*>()) {
    if (child->window() != &window) continue; // the dialogs are windows of their own
    QString line = child->objectName() + (child->isEnabled() ? " on" : " off") +
                   (child->isVisibleTo(&window) ? " shown" : " hidden");
    if (auto* edit = qobject_cast<QLineEdit*>(child)) line += " " + edit->text();
    if (auto* label = qobject_cast<QLabel*>(child)) line += " " + label->text();
    if (auto* combo = qobject_cast<QComboBox*>(child))
      line += " " + QString::number(combo->currentIndex());
    state.push_back(line.toStdString());
  }
  return state;
}

class SideActions : public ::testing::Test {
protected:
  void SetUp() override {
    main_ = std::make_unique<TMainForm>();
    browser_ = new TComputerBrowserForm(main_.get());
    main_->SetDialogs(nullptr, browser_);
    main_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    nameEdit_ = main_->findChild<QLineEdit*>("ComputerNameEdit");
    browseButton_ = main_->findChild<QPushButton*>("ComputerBrowseButton");
    ASSERT_TRUE(nameEdit_ && browseButton_);
  }

  QPushButton* Button(const char* name) const { return main_->findChild<QPushButton*>(name); }

  // The action controls of the computer-name rule, enabled or not.
  std::vector<bool> ActionsEnabled() const {
    std::vector<bool> enabled;
    for (const char* name :
         {"RestartButton", "ShutdownButton", "LogoffButton", "ShutdownReasonLabel",
          "ShutdownReasonComboBox", "ShutdownReasonHelpButton"})
      enabled.push_back(main_->findChild<QWidget*>(name)->isEnabled());
    return enabled;
  }

  // Presses "..." and runs `whileOpen` in the browser dialog.
  ModalRun Browse(const std::function<void(QWidget*)>& whileOpen) {
    return RunModal([&] { QTest::mouseClick(browseButton_, Qt::LeftButton); }, whileOpen);
  }

  // In the open dialog: waits for the network to be listed, opens `domain`
  // and selects `computer` the way a click on it does.
  bool Pick(const char* domain, const char* computer) {
    TNetworkBrowser* tree = browser_->NetworkBrowser();
    QTreeWidgetItem* domainNode = nullptr;
    if (!QTest::qWaitFor([&] {
          const auto found = tree->findItems(domain, Qt::MatchExactly);
          domainNode = found.isEmpty() ? nullptr : found.front();
          return domainNode != nullptr && !tree->ActiveThread();
        }))
      return false;
    tree->expandItem(domainNode);
    QTreeWidgetItem* computerNode = nullptr;
    if (!QTest::qWaitFor([&] {
          for (int i = 0; i < domainNode->childCount(); ++i)
            if (domainNode->child(i)->text(0) == computer) computerNode = domainNode->child(i);
          return computerNode != nullptr && !tree->ActiveThread();
        }))
      return false;
    tree->setCurrentItem(computerNode);
    return tree->iComputerCount() == 1;
  }

  std::unique_ptr<TMainForm> main_;
  TComputerBrowserForm* browser_ = nullptr; // owned by main_
  QLineEdit* nameEdit_ = nullptr;
  QPushButton* browseButton_ = nullptr;
};

const std::vector<bool> kAllOn(6, true);
const std::vector<bool> kAllOff(6, false);

} // namespace

TEST_F(SideActions, BrowseOkWithNothingSelectedEmptiesTheNameAndDisablesTheActions) {
  nameEdit_->setText("ALPHA");
  ASSERT_EQ(ActionsEnabled(), kAllOn);
  const ModalRun run = Browse([&](QWidget*) { browser_->ConnectButton()->click(); });
  EXPECT_TRUE(run.opened);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(nameEdit_->text(), "");
  EXPECT_EQ(ActionsEnabled(), kAllOff);
}

TEST_F(SideActions, BrowseOkRunsTheNameRuleAlsoWhenTheNameStaysTheSame) {
  // An operation ended while the field was empty: the actions are enabled
  // whatever the field holds, until the rule runs again.
  main_->EnterBusyState();
  main_->LeaveBusyState();
  ASSERT_TRUE(Button("RestartButton")->isEnabled());
  const ModalRun run = Browse([&](QWidget*) { browser_->ConnectButton()->click(); });
  EXPECT_TRUE(run.opened);
  EXPECT_EQ(nameEdit_->text(), "");
  EXPECT_EQ(ActionsEnabled(), kAllOff);
}

TEST_F(SideActions, BrowseCancelOrCloseBoxLeavesTheNameAlone) {
  nameEdit_->setText(" ALPHA ");
  // An earlier pick still held by the dialog is not read on Cancel.
  browser_->ComputerNames = "BRAVO";
  const auto before = Snapshot(*main_);
  ModalRun run = Browse([&](QWidget*) { browser_->cxButton2()->click(); });
  EXPECT_TRUE(run.opened);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(nameEdit_->text(), " ALPHA ");
  run = Browse([](QWidget* modal) { modal->close(); });
  EXPECT_TRUE(run.opened);
  EXPECT_EQ(nameEdit_->text(), " ALPHA ");
  EXPECT_EQ(Snapshot(*main_), before);
}

TEST_F(SideActions, BrowseAlwaysOpensInSingleSelection) {
  for (int showing = 0; showing < 2; ++showing) {
    // As the dialog's own design asks, or as something else left it.
    browser_->NetworkBrowser()->SetbMultiSelect(true);
    bool multiSelectWhileOpen = true;
    const ModalRun run = Browse([&](QWidget*) {
      multiSelectWhileOpen = browser_->NetworkBrowser()->bMultiSelect();
      browser_->cxButton2()->click();
    });
    EXPECT_TRUE(run.opened);
    EXPECT_FALSE(multiSelectWhileOpen) << "showing " << showing;
  }
}

TEST_F(SideActions, APickedComputerGoesIntoTheNameField) {
  bool picked = false;
  const ModalRun run = Browse([&](QWidget*) {
    picked = Pick("ONDRAVEL", "BRAVO");
    browser_->ConnectButton()->click();
  });
  EXPECT_FALSE(run.timedOut);
  ASSERT_TRUE(picked);
  EXPECT_EQ(nameEdit_->text(), "BRAVO");
  EXPECT_EQ(ActionsEnabled(), kAllOn);
}

TEST_F(SideActions, APickDuringARunningOperationReEnablesTheActions) {
  nameEdit_->setText("ALPHA");
  main_->EnterBusyState();
  ASSERT_FALSE(Button("RestartButton")->isEnabled());
  ASSERT_TRUE(browseButton_->isEnabled()); // "..." stays usable
  bool picked = false;
  const ModalRun run = Browse([&](QWidget*) {
    picked = Pick("ONDRAVEL", "ECHO");
    browser_->ConnectButton()->click();
  });
  EXPECT_FALSE(run.timedOut);
  ASSERT_TRUE(picked);
  EXPECT_EQ(nameEdit_->text(), "ECHO");
  EXPECT_EQ(ActionsEnabled(), kAllOn);
  // The rule leaves Cancel to the running operation.
  EXPECT_TRUE(Button("CancelButton")->isEnabled());
  main_->LeaveBusyState();
}

TEST_F(SideActions, BannerAndLinkOpenTheMakersPagesAndChangeNothing) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  std::vector<HWND> owners;
  fake.onShellExecuteA = [&](HWND owner, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    owners.push_back(owner);
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(2)); // and it fails
  };
  nameEdit_->setText("ALPHA");
  const auto before = Snapshot(*main_);

  QWidget* banner = main_->findChild<QWidget*>("Image1");
  QWidget* link = main_->findChild<QWidget*>("Label5");
  ASSERT_TRUE(banner && link);
  QTest::mouseClick(banner, Qt::LeftButton, {}, QPoint(200, 40));
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(5, 5));

  const auto calls = fake.CallsNamed("ShellExecuteA");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].args[kFile], std::string("\"") + kDownloadPageAddress + "\"");
  EXPECT_EQ(calls[1].args[kFile], std::string("\"") + kProductPageAddress + "\"");
  EXPECT_EQ(calls[0].args[kDirectory], "\"https:\"");
  EXPECT_NE(std::string(kProductPageAddress).find("Source=Skarvet"), std::string::npos);
  EXPECT_EQ(std::string(kDownloadPageAddress).rfind("https://www.ondravel.example/", 0), 0u);
  EXPECT_EQ(std::string(kProductPageAddress).rfind("https://www.ondravel.example/", 0), 0u);
  // The shell is told which window asks: the main window.
  const HWND mainHandle = reinterpret_cast<HWND>(main_->winId());
  EXPECT_EQ(owners, (std::vector<HWND>{mainHandle, mainHandle}));

  QApplication::processEvents();
  EXPECT_EQ(Snapshot(*main_), before);
  SetMainWindowHandle(nullptr);
}
