// WS-Discovery against real wsdd hosts and a hostile responder, on the real
// network from Linux: through the seam, and through the program's browser
// dialog. Runs under tests/peer/wsdd-peer.sh; skipped without it.
#include "controls/Thread.h"
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "netbrowse/WsDiscovery.h"
#include "platform/smb/SmbWinApi.h"
#include "tests/support/ModalRun.h"
#include "tests/test_operations_support.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <set>

using namespace skarvet;
using namespace skarvet::test;

namespace {

constexpr const char* kNoPeer = "no wsdd peers: run through tests/peer/wsdd-peer.sh (as root)";

class WsdPeer : public ::testing::Test {
protected:
  std::unique_ptr<WinApi> network;
  std::optional<ScopedWinApi> use;

  void SetUp() override {
    if (!std::getenv("SKARVET_WSD_PEER")) GTEST_SKIP() << kNoPeer;
    setenv("SKARVET_NETWORK", "real", 1);
    setenv("SKARVET_SMB_CONF", std::getenv("SKARVET_WSD_PEER_CONF"), 1);
    network = CreateDefaultWinApi();
    ASSERT_NE(dynamic_cast<SmbWinApi*>(network.get()), nullptr);
    use.emplace(*network);
  }
};

TEST_F(WsdPeer, FindsEachHostOnceWithItsWorkgroupOrDomain) {
  QElapsedTimer clock;
  clock.start();
  const TDiscoveredList found = DiscoverComputers();
  const qint64 elapsed = clock.elapsed();
  std::set<std::string> names;
  for (const auto& c : found) names.insert(c.Name + "@" + c.Group + (c.Domain ? " (domain)" : ""));
  // Two hosts that claim one endpoint are two computers; the one without
  // metadata and the hostile one give nothing.
  EXPECT_EQ(names, (std::set<std::string>{"MERIDIAN@HARBOURWG", "BEACON@HARBOURWG",
                                          "lantern@harbour.example (domain)"}));
  EXPECT_EQ(found.size(), 3u);
  // The hostile host holds its metadata connection open: the listing still
  // ends within its bound.
  EXPECT_LT(elapsed, 3000);
  std::printf("discovery of the wsdd peers: %lld ms\n", static_cast<long long>(elapsed));
}

TEST_F(WsdPeer, TheBrowserListsTheWorkgroupAndTheDomainAndAPickFillsTheName) {
  TMainForm form;
  auto* browser = new TComputerBrowserForm(&form);
  form.SetDialogs(nullptr, browser);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  TNetworkBrowser* tree = browser->NetworkBrowser();
  QStringList top, workgroup, domain;
  const ModalRun run = RunModal(
      [&] { Click(form, "ComputerBrowseButton"); },
      [&](QWidget*) {
        if (!WaitFor([&] { return tree->topLevelItemCount() > 0 && !tree->ActiveThread(); }, 30000))
          return;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) top << tree->topLevelItem(i)->text(0);
        auto list = [&](const QString& name, QStringList& children) -> QTreeWidgetItem* {
          QTreeWidgetItem* node = tree->findItems(name, Qt::MatchExactly).value(0);
          if (!node) return nullptr;
          tree->expandItem(node);
          if (!WaitFor([&] { return !tree->ActiveThread() && tree->isEnabled(); }, 30000))
            return nullptr;
          for (int i = 0; i < node->childCount(); ++i) children << node->child(i)->text(0);
          return node;
        };
        list("harbour.example", domain);
        QTreeWidgetItem* harbour = list("HARBOURWG", workgroup);
        if (!harbour || harbour->childCount() == 0) return;
        for (int i = 0; i < harbour->childCount(); ++i)
          if (harbour->child(i)->text(0) == "BEACON") tree->setCurrentItem(harbour->child(i));
        browser->ConnectButton()->click();
      },
      60000);
  EXPECT_TRUE(run.opened);
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(top.contains("HARBOURWG")) << top.join(",").toStdString();
  EXPECT_TRUE(top.contains("harbour.example")) << top.join(",").toStdString();
  workgroup.sort();
  EXPECT_EQ(workgroup, (QStringList{"BEACON", "MERIDIAN"}));
  EXPECT_EQ(domain, (QStringList{"lantern"}));
  EXPECT_EQ(Find<QLineEdit>(form, "ComputerNameEdit")->text(), "BEACON");
  EXPECT_TRUE(WaitFor([] { return TBrowseThread::InstanceCount() == 0; }, 30000));
}

} // namespace
