// The network browser tree offscreen: browsing, expansion, both selection
// modes by mouse and keyboard, the check-box column, busy and idle looks,
// stopping and restarting browses, and the workers' lifetimes.
#include "netbrowse/NetworkBrowser.h"

#include "tests/test_networkbrowser_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace skarvet {
namespace {

using test::AllWorkersGone;
using test::HoldingWinApi;
using test::WaitFor;

class NetworkBrowserTest : public ::testing::Test {
protected:
  HoldingWinApi net;
  ScopedWinApi use{net};
  std::unique_ptr<TNetworkBrowser> tree;
  // The control as its handlers see it, also while it is being destroyed.
  TNetworkBrowser* view = nullptr;
  int begins = 0;
  int ends = 0;
  // Top-level nodes present when each OnEnd was raised.
  std::vector<int> nodesAtEnd;

  void SetUp() override {
    tree = std::make_unique<TNetworkBrowser>();
    view = tree.get();
    tree->setIndentation(19);
    tree->resize(275, 219);
    tree->SetImages(test::PlainImageList());
    tree->SetStateImages(test::PlainImageList());
    tree->SetOnBegin([this](QObject* sender) {
      EXPECT_EQ(sender, view);
      ++begins;
    });
    tree->SetOnEnd([this](QObject* sender) {
      EXPECT_EQ(sender, view);
      ++ends;
      nodesAtEnd.push_back(view->topLevelItemCount());
    });
    tree->show();
  }

  void TearDown() override {
    net.Release();
    tree.reset();
    EXPECT_TRUE(AllWorkersGone());
  }

  bool WaitIdle() {
    return WaitFor([&] { return tree->ActiveThread() == nullptr && tree->isEnabled(); });
  }

  void BrowseAndWait() {
    tree->BrowseNetwork();
    ASSERT_TRUE(WaitIdle());
  }

  TTreeNode* Top(const QString& name) {
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
      if (tree->topLevelItem(i)->text(0) == name)
        return static_cast<TTreeNode*>(tree->topLevelItem(i));
    return nullptr;
  }

  static TTreeNode* Child(QTreeWidgetItem* parent, int index) {
    return static_cast<TTreeNode*>(parent->child(index));
  }

  static QStringList Texts(QTreeWidgetItem* parent) {
    QStringList texts;
    for (int i = 0; i < parent->childCount(); ++i) texts << parent->child(i)->text(0);
    return texts;
  }

  QStringList ComputersOf(const std::string& domain) {
    QStringList names;
    net.WithNetwork([&](sim::Network& network) {
      for (const auto& c : network.computers)
        if (sim::EqualsIgnoreCase(c.domain, domain)) names << QString::fromStdString(c.name);
    });
    return names;
  }

  void ExpandAndWait(TTreeNode* node) {
    tree->expandItem(node);
    ASSERT_TRUE(WaitIdle());
  }

  QPoint At(QTreeWidgetItem* item, int x) {
    return QPoint(x, tree->visualItemRect(item).center().y());
  }

  void Press(QTreeWidgetItem* item, int x, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(tree->viewport(), button, {}, At(item, x));
  }

  std::vector<std::string> Selection() {
    std::vector<std::string> names;
    for (int i = 0; i < tree->iComputerCount(); ++i) {
      std::string name;
      tree->GetSelectedComputer(i, name);
      names.push_back(name);
    }
    return names;
  }

  // A whole-network browse with ONDRAVEL listed, in check-box mode.
  TTreeNode* ListedDomainInCheckBoxMode() {
    tree->SetbMultiSelect(true);
    BrowseAndWait();
    TTreeNode* domain = Top("ONDRAVEL");
    if (domain) ExpandAndWait(domain);
    return domain;
  }
};

TEST_F(NetworkBrowserTest, WholeNetworkBrowseListsDomainsWithExpandButtons) {
  tree->BrowseNetwork();
  BrowseAndWait();
  QStringList top;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    auto* node = static_cast<TTreeNode*>(tree->topLevelItem(i));
    top << node->text(0);
    EXPECT_EQ(node->ImageIndex, 1);
    EXPECT_EQ(node->SelectedIndex, 1);
    EXPECT_EQ(node->StateIndex, -1);
    EXPECT_EQ(node->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(node->childCount(), 0);
  }
  // In the listing's order, the workgroup of two providers twice.
  EXPECT_EQ(top, (QStringList{"ONDRAVEL", "WORKGROUP", "LAB", "WORKGROUP"}));
  // No OnBegin for the whole network; one OnEnd per browse (the first one
  // was stopped by the second).
  EXPECT_EQ(begins, 0);
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(net.topLevelOpens, 2);
}

TEST_F(NetworkBrowserTest, BusyAndIdleLooksComeFromTheSystemColours) {
  net.SetSysColor(COLOR_BTNFACE, RGB(10, 20, 30));
  net.SetSysColor(COLOR_GRAYTEXT, RGB(40, 50, 60));
  net.SetSysColor(COLOR_WINDOW, RGB(250, 240, 230));
  net.SetSysColor(COLOR_WINDOWTEXT, RGB(1, 2, 3));
  net.holdNextTopLevelOpen = true;
  tree->BrowseNetwork();
  EXPECT_FALSE(tree->isEnabled());
  EXPECT_EQ(tree->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(tree->palette().color(QPalette::Disabled, QPalette::Base), QColor(10, 20, 30));
  EXPECT_EQ(tree->palette().color(QPalette::Disabled, QPalette::Text), QColor(40, 50, 60));
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(tree->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(tree->palette().color(QPalette::Active, QPalette::Base), QColor(250, 240, 230));
  EXPECT_EQ(tree->palette().color(QPalette::Active, QPalette::Text), QColor(1, 2, 3));
}

TEST_F(NetworkBrowserTest, FirstExpansionListsTheDomainOnce) {
  BrowseAndWait();
  TTreeNode* domain = Top("ONDRAVEL");
  ASSERT_NE(domain, nullptr);
  const int before = net.serverEnums;
  ExpandAndWait(domain);
  EXPECT_EQ(net.serverEnums, before + 1);
  EXPECT_EQ(Texts(domain), ComputersOf("ONDRAVEL"));
  EXPECT_TRUE(domain->isExpanded());
  for (int i = 0; i < domain->childCount(); ++i) {
    EXPECT_EQ(Child(domain, i)->ImageIndex, 0);
    EXPECT_EQ(Child(domain, i)->StateIndex, -1); // single selection
  }
  EXPECT_EQ(domain->StateIndex, -1);
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(ends, 2);

  // Collapsing and expanding again lists nothing.
  tree->collapseItem(domain);
  tree->expandItem(domain);
  QTest::qWait(20);
  EXPECT_EQ(net.serverEnums, before + 1);
  EXPECT_EQ(begins, 1);
  EXPECT_EQ(domain->childCount(), ComputersOf("ONDRAVEL").size());
}

TEST_F(NetworkBrowserTest, AnEmptyDomainLosesItsExpandButtonForGood) {
  tree->SetbMultiSelect(true);
  BrowseAndWait();
  TTreeNode* lab = Top("LAB");
  ASSERT_NE(lab, nullptr);
  ExpandAndWait(lab);
  EXPECT_EQ(lab->childCount(), 0);
  EXPECT_EQ(lab->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
  EXPECT_FALSE(lab->isExpanded());
  EXPECT_EQ(lab->StateIndex, -1); // no check box without computers

  // Neither the tree nor the keyboard lists it again.
  const int before = net.serverEnums;
  tree->setCurrentItem(lab);
  tree->expandItem(lab);
  QTest::keyClick(tree.get(), Qt::Key_Right);
  QTest::keyClick(tree.get(), Qt::Key_Plus);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, At(lab, 60));
  QTest::qWait(20);
  EXPECT_EQ(net.serverEnums, before);
  EXPECT_TRUE(tree->isEnabled());
}

TEST_F(NetworkBrowserTest, TheExpandButtonAndTheKeyboardListTheDomain) {
  BrowseAndWait();
  TTreeNode* workgroup = Top("WORKGROUP");
  Press(workgroup, 9); // centre of the expand button column
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Texts(workgroup), ComputersOf("WORKGROUP"));

  // And the keyboard, on the same workgroup from the other provider.
  TTreeNode* second = static_cast<TTreeNode*>(tree->topLevelItem(3));
  tree->setFocus();
  tree->setCurrentItem(second);
  QTest::keyClick(tree.get(), Qt::Key_Right);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Texts(second), ComputersOf("WORKGROUP"));
}

TEST_F(NetworkBrowserTest, CheckBoxesAppearOnlyInCheckBoxModeAndOnlyAfterListing) {
  BrowseAndWait();
  TTreeNode* domain = Top("ONDRAVEL");
  ExpandAndWait(domain);
  // Switched on afterwards: nodes keep their lack of boxes.
  tree->SetbMultiSelect(true);
  EXPECT_EQ(domain->StateIndex, -1);
  tree->setCurrentItem(Child(domain, 0));
  Press(Child(domain, 0), 40);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(tree->iComputerCount(), 0);
  EXPECT_EQ(Child(domain, 0)->StateIndex, -1);

  // A domain listed in check-box mode gets boxes, itself after the listing.
  TTreeNode* workgroup = Top("WORKGROUP");
  EXPECT_EQ(workgroup->StateIndex, -1);
  ExpandAndWait(workgroup);
  EXPECT_EQ(workgroup->StateIndex, 3);
  for (int i = 0; i < workgroup->childCount(); ++i) EXPECT_EQ(Child(workgroup, i)->StateIndex, 3);
}

TEST_F(NetworkBrowserTest, MouseTogglesInTheCheckBoxColumnAtBothEndsWithEitherButton) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  ASSERT_NE(domain, nullptr);
  TTreeNode* alpha = Child(domain, 1);
  TTreeNode* bravo = Child(domain, 2);

  // Computers: 38 to 54. Outside it, nothing toggles (the press still selects).
  Press(alpha, 37);
  EXPECT_EQ(tree->Selected(), alpha);
  EXPECT_EQ(alpha->StateIndex, 3);
  Press(alpha, 55);
  EXPECT_EQ(alpha->StateIndex, 3);
  Press(alpha, 38);
  EXPECT_EQ(alpha->StateIndex, 2);
  EXPECT_EQ(Selection(), std::vector<std::string>{alpha->text(0).toStdString()});
  Press(alpha, 54);
  EXPECT_EQ(alpha->StateIndex, 3);
  EXPECT_EQ(tree->iComputerCount(), 0);

  // A left press on another row selects that row first, then toggles it.
  Press(bravo, 45);
  EXPECT_EQ(tree->Selected(), bravo);
  EXPECT_EQ(bravo->StateIndex, 2);

  // The right button selects nothing and toggles the selected node.
  Press(alpha, 45, Qt::RightButton);
  EXPECT_EQ(tree->Selected(), bravo);
  EXPECT_EQ(bravo->StateIndex, 3);
  EXPECT_EQ(alpha->StateIndex, 3);
  Press(bravo, 54, Qt::RightButton);
  EXPECT_EQ(bravo->StateIndex, 2);

  // Domains: 19 to 35.
  tree->setCurrentItem(domain);
  Press(domain, 18, Qt::RightButton);
  EXPECT_EQ(domain->StateIndex, 3);
  Press(domain, 36, Qt::RightButton);
  EXPECT_EQ(domain->StateIndex, 3);
  Press(domain, 19);
  EXPECT_EQ(domain->StateIndex, 2);
  Press(domain, 35);
  EXPECT_EQ(domain->StateIndex, 3);
}

TEST_F(NetworkBrowserTest, ADoubleClickInTheColumnTogglesTwice) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  TTreeNode* alpha = Child(domain, 1);
  tree->setCurrentItem(alpha);
  QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, At(alpha, 45));
  EXPECT_EQ(alpha->StateIndex, 3);
  EXPECT_EQ(tree->iComputerCount(), 0);
}

TEST_F(NetworkBrowserTest, SpaceTogglesOnlyInCheckBoxMode) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  TTreeNode* echo = Child(domain, 5);
  tree->setFocus();
  tree->setCurrentItem(echo);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(echo->StateIndex, 2);
  EXPECT_EQ(Selection(), std::vector<std::string>{"ECHO"});
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(echo->StateIndex, 3);
  EXPECT_EQ(tree->iComputerCount(), 0);

  // Single selection: the key reaches the tree and no box changes.
  tree->SetbMultiSelect(false);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(echo->StateIndex, 3);
  EXPECT_TRUE(echo->isSelected());
}

TEST_F(NetworkBrowserTest, CheckingADomainCarriesItsComputersAlong) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  const QStringList names = Texts(domain);
  ASSERT_GE(names.size(), 4);

  // One computer checked first keeps its place at the head of the list.
  tree->setCurrentItem(Child(domain, 2));
  QTest::keyClick(tree.get(), Qt::Key_Space);
  tree->setCurrentItem(domain);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(domain->StateIndex, 2);
  std::vector<std::string> expected{names[2].toStdString()};
  for (int i = 0; i < names.size(); ++i)
    if (i != 2) expected.push_back(names[i].toStdString());
  EXPECT_EQ(Selection(), expected); // the domain itself never counts

  // Unchecking one computer, then the domain, empties the list.
  tree->setCurrentItem(Child(domain, 0));
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(tree->iComputerCount(), names.size() - 1);
  tree->setCurrentItem(domain);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(domain->StateIndex, 3);
  EXPECT_EQ(tree->iComputerCount(), 0);
  for (int i = 0; i < domain->childCount(); ++i) EXPECT_EQ(Child(domain, i)->StateIndex, 3);

  // The domain's box does not follow its computers.
  tree->setCurrentItem(Child(domain, 1));
  QTest::keyClick(tree.get(), Qt::Key_Space);
  EXPECT_EQ(domain->StateIndex, 3);
}

TEST_F(NetworkBrowserTest, SingleSelectionFollowsTheSelectedNode) {
  BrowseAndWait();
  TTreeNode* domain = Top("ONDRAVEL");
  ExpandAndWait(domain);
  tree->setCurrentItem(Child(domain, 1));
  EXPECT_EQ(tree->iComputerCount(), 1);
  EXPECT_EQ(Selection(), std::vector<std::string>{Child(domain, 1)->text(0).toStdString()});
  Press(Child(domain, 3), 80);
  EXPECT_EQ(Selection(), std::vector<std::string>{Child(domain, 3)->text(0).toStdString()});
  tree->setCurrentItem(domain);
  EXPECT_EQ(tree->iComputerCount(), 0);
  // A press in the check-box column toggles nothing in single selection.
  Press(Child(domain, 0), 40);
  EXPECT_EQ(tree->iComputerCount(), 1);
  EXPECT_EQ(Child(domain, 0)->StateIndex, -1);
}

TEST_F(NetworkBrowserTest, AClickBelowTheLastNodeOrCtrlSpaceKeepsTheSelection) {
  tree->resize(275, 600); // room below the last node
  BrowseAndWait();
  TTreeNode* domain = Top("WORKGROUP");
  ExpandAndWait(domain);
  TTreeNode* computer = Child(domain, 0);
  Press(computer, 80);
  const std::vector<std::string> picked{computer->text(0).toStdString()};
  ASSERT_EQ(Selection(), picked);
  tree->setFocus();
  QTest::keyClick(tree.get(), Qt::Key_Space, Qt::ControlModifier);
  EXPECT_TRUE(computer->isSelected());
  EXPECT_EQ(Selection(), picked);
  const QPoint below(80, tree->viewport()->height() - 4);
  ASSERT_EQ(tree->itemAt(below), nullptr);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, below);
  EXPECT_TRUE(computer->isSelected());
  EXPECT_EQ(tree->Selected(), computer);
  EXPECT_EQ(Selection(), picked);

  // In check-box mode the click below still toggles the selected node by X.
  tree->SetbMultiSelect(true);
  TTreeNode* ondravel = Top("ONDRAVEL");
  ExpandAndWait(ondravel);
  TTreeNode* alpha = Child(ondravel, 1);
  Press(alpha, 80);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(45, below.y()));
  EXPECT_TRUE(alpha->isSelected());
  EXPECT_EQ(alpha->StateIndex, 2);
  // (The computer picked in single selection stays in the list.)
  EXPECT_EQ(Selection(), (std::vector<std::string>{picked[0], alpha->text(0).toStdString()}));
}

TEST_F(NetworkBrowserTest, GetSelectedComputerOutsideTheListLeavesTheName) {
  BrowseAndWait();
  TTreeNode* domain = Top("ONDRAVEL");
  ExpandAndWait(domain);
  tree->setCurrentItem(Child(domain, 0));
  ASSERT_EQ(tree->iComputerCount(), 1);
  for (int index : {-1, 1, 2, 100, INT_MIN, INT_MAX}) {
    std::string name = "unchanged";
    tree->GetSelectedComputer(index, name);
    EXPECT_EQ(name, "unchanged") << index;
  }
  std::string name = "unchanged";
  tree->GetSelectedComputer(0, name);
  EXPECT_EQ(name, Child(domain, 0)->text(0).toStdString());
}

TEST_F(NetworkBrowserTest, StateImagesAreDrawnInTheColumnTheMouseTests) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  tree->setCurrentItem(Child(domain, 1));
  QTest::keyClick(tree.get(), Qt::Key_Space);
  tree->setCurrentItem(nullptr);
  tree->clearSelection();
  const QImage image = tree->viewport()->grab().toImage();

  auto columnOf = [&](QTreeWidgetItem* item, QColor colour) {
    const int y = tree->visualItemRect(item).center().y();
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) == colour) {
        if (first < 0) first = x;
        last = x;
      }
    }
    return std::make_pair(first, last);
  };
  EXPECT_EQ(columnOf(domain, test::kUncheckedColour), std::make_pair(19, 34));
  EXPECT_EQ(columnOf(Child(domain, 0), test::kUncheckedColour), std::make_pair(38, 53));
  EXPECT_EQ(columnOf(Child(domain, 1), test::kCheckedColour), std::make_pair(38, 53));
  // The node's own image follows the box, inside the item's margin.
  const int computerImage = columnOf(Child(domain, 0), QColor(0, 0, 255)).first;
  EXPECT_GE(computerImage, 54);
  EXPECT_LE(computerImage, 58);
  const int domainImage = columnOf(domain, QColor(255, 255, 0)).first;
  EXPECT_GE(domainImage, 35);
  EXPECT_LE(domainImage, 39);
}

TEST_F(NetworkBrowserTest, BrowseNetworkDuringABrowseEndsItFirstAndDropsItsNames) {
  tree->SetbMultiSelect(true);
  BrowseAndWait();
  TTreeNode* domain = Top("ONDRAVEL");
  net.holdNextServerEnum = true;
  tree->expandItem(domain);
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  EXPECT_FALSE(tree->isEnabled());
  ASSERT_EQ(begins, 1);
  const int endsBefore = ends;

  tree->BrowseNetwork();
  // The stopped browse ended while its tree was still there.
  ASSERT_EQ(ends, endsBefore + 1);
  EXPECT_EQ(nodesAtEnd.back(), 4);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ends, endsBefore + 2);

  // The stopped worker answers late; its computers go nowhere.
  net.Release();
  ASSERT_TRUE(AllWorkersGone());
  QTest::qWait(10);
  ASSERT_EQ(tree->topLevelItemCount(), 4);
  for (int i = 0; i < tree->topLevelItemCount(); ++i)
    EXPECT_EQ(tree->topLevelItem(i)->childCount(), 0);
  EXPECT_EQ(ends, endsBefore + 2);
}

TEST_F(NetworkBrowserTest, TheSelectionIsEmptiedWhenTheTreeIsCleared) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  tree->setCurrentItem(domain);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  ASSERT_GT(tree->iComputerCount(), 0);
  net.holdNextTopLevelOpen = true;
  tree->BrowseNetwork();
  EXPECT_EQ(tree->iComputerCount(), 0);
  std::string name = "kept";
  tree->GetSelectedComputer(0, name);
  EXPECT_EQ(name, "kept");
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(tree->iComputerCount(), 0);
}

TEST_F(NetworkBrowserTest, ADeletedComputerLeavesTheSelection) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  tree->setCurrentItem(domain);
  QTest::keyClick(tree.get(), Qt::Key_Space);
  const int count = tree->iComputerCount();
  const std::string last = Selection().back();
  delete Child(domain, 0);
  EXPECT_EQ(tree->iComputerCount(), count - 1);
  EXPECT_EQ(Selection().back(), last);
  delete domain;
  EXPECT_EQ(tree->iComputerCount(), 0);
}

TEST_F(NetworkBrowserTest, AnEditedComputerTextIsWhatTheSelectionYields) {
  BrowseAndWait();
  TTreeNode* domain = Top("ONDRAVEL");
  ExpandAndWait(domain);
  tree->setFocus();
  tree->setCurrentItem(Child(domain, 1));
  QTest::keyClick(tree.get(), Qt::Key_F2);
  auto* editor = tree->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "RENAMED");
  QTest::keyClick(editor, Qt::Key_Return);
  // The editor hands its text over once the key has been handled.
  ASSERT_TRUE(WaitFor([&] { return Child(domain, 1)->text(0) == "RENAMED"; }));
  EXPECT_EQ(Selection(), std::vector<std::string>{"RENAMED"});
}

TEST_F(NetworkBrowserTest, AClickOnTheSelectedNodesTextEditsItButNotOnItsBox) {
  TTreeNode* domain = ListedDomainInCheckBoxMode();
  TTreeNode* bravo = Child(domain, 2);
  tree->setCurrentItem(bravo);
  const int wait = QApplication::doubleClickInterval() + 100;
  // The box of the selected node: toggles, no editor.
  Press(bravo, 45);
  QTest::qWait(wait);
  EXPECT_EQ(tree->findChild<QLineEdit*>(), nullptr);
  EXPECT_EQ(bravo->StateIndex, 2);
  // Its text: a slow second click opens the editor.
  Press(bravo, 120);
  ASSERT_TRUE(WaitFor([&] {
    auto* editor = tree->findChild<QLineEdit*>();
    return editor && editor->isVisible();
  }));
  EXPECT_EQ(bravo->StateIndex, 2);
}

TEST_F(NetworkBrowserTest, AWorkerThatCompletesIsReleased) {
  for (int i = 0; i < 3; ++i) {
    BrowseAndWait();
    EXPECT_TRUE(AllWorkersGone());
  }
  ExpandAndWait(Top("ONDRAVEL"));
  EXPECT_TRUE(AllWorkersGone());
}

TEST_F(NetworkBrowserTest, ABrowseMayStartFromAnOnEndHandler) {
  int restarts = 0;
  tree->SetOnEnd([&](QObject*) {
    ++ends;
    if (restarts < 2) {
      ++restarts;
      tree->BrowseNetwork();
    }
  });
  // From the end of a completed browse...
  tree->BrowseNetwork();
  ASSERT_TRUE(WaitFor([&] { return restarts == 2 && tree->ActiveThread() == nullptr; }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(tree->topLevelItemCount(), 4);
  EXPECT_EQ(ends, 3);
  EXPECT_TRUE(AllWorkersGone());

  // ...and from the end of a stopped one.
  restarts = 1;
  ends = 0;
  net.holdNextTopLevelOpen = true;
  tree->BrowseNetwork();
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  tree->BrowseNetwork(); // stops the held browse; its OnEnd starts another
  EXPECT_EQ(restarts, 2);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(tree->topLevelItemCount(), 4);
  net.Release();
  EXPECT_TRUE(AllWorkersGone());
}

TEST_F(NetworkBrowserTest, DestroyingTheControlEndsTheBrowseAndFreesTheWorkerLater) {
  net.holdNextTopLevelOpen = true;
  tree->BrowseNetwork();
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  const int before = ends;
  tree.reset();
  EXPECT_EQ(ends, before + 1);
  EXPECT_EQ(TBrowseThread::InstanceCount(), 1);
  net.Release();
  EXPECT_TRUE(AllWorkersGone());
}

TEST_F(NetworkBrowserTest, AFailedWorkerKeepsTheBusyLookUntilTheNextBrowseAndIsFreed) {
  net.throwOnTopLevelOpen = true;
  tree->BrowseNetwork();
  ASSERT_TRUE(AllWorkersGone());
  QTest::qWait(10);
  EXPECT_FALSE(tree->isEnabled());
  EXPECT_EQ(tree->ActiveThread(), nullptr);
  EXPECT_EQ(ends, 0);

  net.throwOnTopLevelOpen = false;
  BrowseAndWait();
  EXPECT_EQ(ends, 2); // the failed browse, then the new one
  EXPECT_EQ(nodesAtEnd.front(), 0);
  EXPECT_EQ(tree->topLevelItemCount(), 4);
}

} // namespace
} // namespace skarvet
