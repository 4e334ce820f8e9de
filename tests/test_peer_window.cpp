// The program on the real network (SKARVET_NETWORK=real) against a real
// Samba server, through its main window and its computer browser: what the
// server received, what the status line says, and what the browser lists.
// Runs under tests/peer/samba-peer.sh --browse; skipped without it.
#include "controls/Thread.h"
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "platform/smb/SmbWinApi.h"
#include "tests/peer/PeerSupport.h"
#include "tests/support/ModalRun.h"
#include "tests/test_operations_support.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidgetItem>
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <optional>

using namespace skarvet;
using namespace skarvet::test;

namespace {

// A host that never answers gives up within this; the window must be idle
// again by then.
constexpr int kTimeLimitMs = 60000;

class PeerWindow : public ::testing::Test {
protected:
  std::optional<Peer> peer = Peer::FromEnvironment();
  std::unique_ptr<WinApi> network;
  std::optional<ScopedWinApi> use;
  std::unique_ptr<TMainForm> form;
  TComputerBrowserForm* browser = nullptr; // owned by the form

  void SetUp() override {
    if (!peer) GTEST_SKIP() << kNoPeer;
    peer->ClearRecords();
    // The network a user chooses for the program.
    setenv("SKARVET_NETWORK", "real", 1);
    setenv("SKARVET_SMB_CONF", peer->conf.c_str(), 1);
    network = CreateDefaultWinApi();
    ASSERT_NE(dynamic_cast<SmbWinApi*>(network.get()), nullptr);
    use.emplace(*network);
    form = std::make_unique<TMainForm>();
    browser = new TComputerBrowserForm(form.get());
    form->SetDialogs(nullptr, browser);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  void TearDown() override {
    if (!peer) return;
    peer->Release();
    EXPECT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }, kTimeLimitMs));
    EXPECT_TRUE(WaitFor([] { return TBrowseThread::InstanceCount() == 0; }, kTimeLimitMs));
    form.reset();
  }

  void UseAccount(const std::string& user, const std::string& password) {
    Find<QRadioButton>(*form, "YesRadioButton")->setChecked(true);
    form->UpdateCredentialFields();
    Find<QLineEdit>(*form, "UserNameEdit")->setText(QString::fromStdString(user));
    Find<QLineEdit>(*form, "PasswordEdit")->setText(QString::fromStdString(password));
    Find<QLineEdit>(*form, "DomainEdit")->clear();
  }

  void ChooseReason(const char* text, bool force) {
    auto* list = Find<QComboBox>(*form, "ShutdownReasonComboBox");
    const int index = list->findText(QString::fromLatin1(text));
    ASSERT_GE(index, 0) << text;
    list->setCurrentIndex(index);
    Find<QAbstractButton>(*form, "ForceCheckbox")->setChecked(force);
  }

  // Clicks `button` for `name`; true when the window is idle again within
  // the time limit.
  bool Operate(const char* button, const std::string& name) {
    TypeName(*form, QString::fromStdString(name));
    Click(*form, button);
    return WaitFor([&] { return form->CurrentThread() == nullptr; }, kTimeLimitMs) &&
           Enabled(*form, "RestartButton") && !Enabled(*form, "CancelButton");
  }

  void ExpectStatus(const std::string& text, const QColor& colour) {
    EXPECT_EQ(StatusText(*form).toStdString(), text);
    EXPECT_EQ(StatusColour(*form), colour) << text;
  }
};

TEST_F(PeerWindow, RestartAndShutdownArriveWithTheChosenReasonAndForce) {
  UseAccount(peer->admin, peer->adminPassword);
  ChooseReason("Operating System: Upgrade (Planned)", true);
  ASSERT_TRUE(Operate("RestartButton", peer->name));
  ExpectStatus(peer->name + " was restarted.", kBlue);

  ChooseReason("Power Failure: Cord Unplugged", false);
  ASSERT_TRUE(Operate("ShutdownButton", peer->host));
  ExpectStatus(peer->host + " was shutdown.", kBlue);

  const auto records = peer->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0].reboot);
  EXPECT_TRUE(records[0].force);
  EXPECT_EQ(records[0].reason, SignedDecimal(0x80020003u));
  EXPECT_FALSE(records[1].reboot);
  EXPECT_FALSE(records[1].force);
  EXPECT_EQ(records[1].reason, SignedDecimal(0x0006000Bu));
}

TEST_F(PeerWindow, EveryFailureEndsInItsRedTextInTime) {
  const std::string accessDenied = "Error: (Access Denied)";
  UseAccount(peer->admin, "not" + peer->adminPassword);
  ASSERT_TRUE(Operate("RestartButton", peer->name));
  ExpectStatus(accessDenied, kRed);

  UseAccount(peer->user, peer->userPassword);
  ASSERT_TRUE(Operate("ShutdownButton", peer->name));
  ExpectStatus(accessDenied, kRed);

  UseAccount(peer->admin, peer->adminPassword);
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(Operate("RestartButton", peer->downHost));
  ExpectStatus("Error: (Could not reach " + peer->downHost + ")", kRed);
  EXPECT_LT(clock.elapsed(), kTimeLimitMs);
  ASSERT_TRUE(Operate("RestartButton", peer->host2));
  ExpectStatus("Error: (Could not reach " + peer->host2 + ")", kRed);

  // Logoff has no client for the management service here: it says so.
  ASSERT_TRUE(Operate("LogoffButton", peer->name));
  EXPECT_EQ(StatusColour(*form), kRed);
  EXPECT_TRUE(StatusText(*form).startsWith("Error: (Logoff is not available here"))
      << StatusText(*form).toStdString();

  EXPECT_TRUE(peer->Records().empty());
}

TEST_F(PeerWindow, NoSendsTheRequestWithoutTheGreyedAccount) {
  UseAccount(peer->admin, peer->adminPassword);
  Find<QRadioButton>(*form, "NoRadioButton")->setChecked(true);
  form->UpdateCredentialFields();
  ASSERT_TRUE(Operate("RestartButton", peer->name));
  // The program's own account here is an anonymous one (no ticket), which
  // holds no right to shut the peer down; the administrator's would have.
  ExpectStatus("Error: (Access Denied)", kRed);
  EXPECT_TRUE(peer->Records().empty());
}

// A worker that waits, before its body, until the test lets it go on: a
// request that has not yet left.
class GatedWorker : public TRebootThread {
public:
  GatedWorker(std::shared_future<void> gate, OperationKind operation, DWORD reason, bool force,
              const std::string& name, const std::string& user, const std::string& password,
              const std::string& domain)
      : TRebootThread(operation, reason, force, name, user, password, domain),
        gate_(std::move(gate)) {}

protected:
  void Execute() override {
    gate_.wait();
    TRebootThread::Execute();
  }

private:
  std::shared_future<void> gate_;
};

TEST_F(PeerWindow, ACancelledRequestThatHadNotLeftNeverReachesThePeer) {
  std::promise<void> open;
  std::shared_future<void> gate = open.get_future().share();
  SetRebootThreadFactory([&](OperationKind operation, DWORD reason, bool force,
                             const std::string& name, const std::string& user,
                             const std::string& password, const std::string& domain) {
    return new GatedWorker(gate, operation, reason, force, name, user, password, domain);
  });
  UseAccount(peer->admin, peer->adminPassword);
  TypeName(*form, QString::fromStdString(peer->name));
  Click(*form, "RestartButton");
  Click(*form, "CancelButton");
  SetRebootThreadFactory({});
  open.set_value();
  ASSERT_TRUE(WaitFor([] { return TThread::RunningCount() == 0; }, kTimeLimitMs));
  EXPECT_TRUE(peer->Records().empty());
  EXPECT_EQ(StatusText(*form), "");

  // The peer was there all along.
  ASSERT_TRUE(Operate("RestartButton", peer->name));
  ExpectStatus(peer->name + " was restarted.", kBlue);
  EXPECT_EQ(peer->Records().size(), 1u);
}

TEST_F(PeerWindow, CancelledHangingRequestsHoldUpNoLaterRestart) {
  UseAccount(peer->admin, peer->adminPassword);
  // Each of these waits for the library's time-out (many seconds), on the
  // network, when it is cancelled.
  for (const std::string& hanging : {peer->silentHost, peer->downHost}) {
    TypeName(*form, QString::fromStdString(hanging));
    Click(*form, "RestartButton");
    QTest::qWait(500);
    ASSERT_NE(form->CurrentThread(), nullptr) << hanging << " answered at once";
    Click(*form, "CancelButton");
  }
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(Operate("RestartButton", peer->name));
  ExpectStatus(peer->name + " was restarted.", kBlue);
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(peer->Records().size(), 1u);
}

TEST_F(PeerWindow, TheBrowserListsTheWorkgroupAndAPickFillsTheName) {
  TNetworkBrowser* tree = browser->NetworkBrowser();
  QStringList computers;
  bool picked = false;
  const ModalRun run =
      RunModal([&] { Click(*form, "ComputerBrowseButton"); },
               [&](QWidget*) {
                 QTreeWidgetItem* workgroup = nullptr;
                 const QString workgroupName = QString::fromStdString(peer->workgroup);
                 if (!WaitFor(
                         [&] {
                           const auto found = tree->findItems(workgroupName, Qt::MatchExactly);
                           workgroup = found.isEmpty() ? nullptr : found.front();
                           return workgroup && !tree->ActiveThread();
                         },
                         kTimeLimitMs))
                   return;
                 tree->expandItem(workgroup);
                 if (!WaitFor([&] { return workgroup->childCount() > 0 && !tree->ActiveThread(); },
                              kTimeLimitMs))
                   return;
                 QTreeWidgetItem* second = nullptr;
                 for (int i = 0; i < workgroup->childCount(); ++i) {
                   computers << workgroup->child(i)->text(0);
                   if (workgroup->child(i)->text(0) == QString::fromStdString(peer->name2))
                     second = workgroup->child(i);
                 }
                 if (!second) return;
                 tree->setCurrentItem(second);
                 picked = tree->iComputerCount() == 1;
                 browser->ConnectButton()->click();
               },
               2 * kTimeLimitMs);
  EXPECT_TRUE(run.opened);
  EXPECT_FALSE(run.timedOut);
  computers.sort();
  EXPECT_EQ(computers,
            QStringList({QString::fromStdString(peer->name), QString::fromStdString(peer->name2)}));
  EXPECT_TRUE(picked);
  EXPECT_EQ(Find<QLineEdit>(*form, "ComputerNameEdit")->text().toStdString(), peer->name2);
}

// Takes the server down: runs on a peer of its own (tests/peer/CMakeLists.txt).
TEST_F(PeerWindow, TheServerKilledDuringARestart) {
  UseAccount(peer->admin, peer->adminPassword);
  peer->Hold();
  TypeName(*form, QString::fromStdString(peer->name));
  Click(*form, "RestartButton");
  ASSERT_TRUE(peer->WaitHeldRequest());
  ASSERT_TRUE(peer->KillFileServer());
  ASSERT_TRUE(WaitFor([&] { return form->CurrentThread() == nullptr; }, kTimeLimitMs));
  ExpectStatus("Error: (The remote procedure call failed.)", kRed);
  EXPECT_TRUE(Enabled(*form, "RestartButton"));
}

} // namespace
