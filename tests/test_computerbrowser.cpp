// The computer browser dialog offscreen: its layout, the busy animation, the
// showings, and the names it hands back.
#include "netbrowse/ComputerBrowserUnit.h"

#include "controls/ProgressBarXPUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "tests/test_networkbrowser_support.h"

#include <QApplication>
#include <QFontInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace skarvet {
namespace {

using test::AllWorkersGone;
using test::HoldingWinApi;
using test::WaitFor;

class ComputerBrowserTest : public ::testing::Test {
protected:
  HoldingWinApi net;
  ScopedWinApi use{net};
  std::unique_ptr<TComputerBrowserForm> form;

  void SetUp() override { form = std::make_unique<TComputerBrowserForm>(); }

  void TearDown() override {
    net.Release();
    form.reset();
    EXPECT_TRUE(AllWorkersGone());
  }

  TNetworkBrowser* Tree() { return form->NetworkBrowser(); }

  bool WaitIdle() {
    return WaitFor([&] { return !Tree()->ActiveThread() && Tree()->isEnabled(); });
  }

  void ShowAndWait() {
    form->show();
    ASSERT_TRUE(WaitIdle());
  }

  TTreeNode* Top(const QString& name) {
    for (int i = 0; i < Tree()->topLevelItemCount(); ++i)
      if (Tree()->topLevelItem(i)->text(0) == name)
        return static_cast<TTreeNode*>(Tree()->topLevelItem(i));
    return nullptr;
  }

  TTreeNode* ListDomain(const QString& name) {
    TTreeNode* domain = Top(name);
    if (!domain) return nullptr;
    Tree()->expandItem(domain);
    return WaitIdle() ? domain : nullptr;
  }

  void Check(QTreeWidgetItem* node) {
    Tree()->setFocus();
    Tree()->setCurrentItem(node);
    QTest::keyClick(Tree(), Qt::Key_Space);
  }

  bool BusyShown() { return !form->BusyLabel()->isHidden() && !form->ProgressBarXP()->isHidden(); }
  bool BusyHidden() { return form->BusyLabel()->isHidden() && form->ProgressBarXP()->isHidden(); }
};

TEST_F(ComputerBrowserTest, LayoutAsDesigned) {
  EXPECT_EQ(form->size(), QSize(291, 322));
  EXPECT_EQ(form->minimumSize(), QSize(291, 322));
  EXPECT_EQ(form->maximumSize(), QSize(291, 322));
  EXPECT_TRUE(form->windowTitle().isEmpty());
  EXPECT_EQ(form->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form->font().family(), "MS Sans Serif");
  EXPECT_EQ(form->font().pixelSize(), 11);

  struct Expected {
    QWidget* widget;
    const char* name;
    QRect geometry;
  };
  const Expected controls[] = {
      {form->Image1(), "Image1", {7, 0, 48, 48}},
      {form->Label1(), "Label1", {56, 12, 192, 22}},
      {form->BusyLabel(), "BusyLabel", {9, 46, 121, 13}},
      {form->ProgressBarXP(), "ProgressBarXP", {135, 46, 148, 13}},
      {Tree(), "NetworkBrowser", {8, 64, 275, 219}},
      {form->ConnectButton(), "ConnectButton", {127, 291, 79, 26}},
      {form->cxButton2(), "cxButton2", {207, 291, 79, 26}},
  };
  // With Arial's metrics the heading has its designed width; a wider
  // stand-in font widens it rather than cut its last letters.
  QLabel* heading = form->Label1();
  const bool arialMetrics =
      QStringList{"Arial", "Liberation Sans"}.contains(QFontInfo(heading->font()).family());
  for (const auto& control : controls) {
    ASSERT_NE(control.widget, nullptr) << control.name;
    EXPECT_EQ(control.widget->objectName(), control.name);
    QRect expected = control.geometry;
    if (control.widget == heading && !arialMetrics)
      expected.setWidth(std::max(expected.width(), heading->sizeHint().width()));
    EXPECT_EQ(control.widget->geometry(), expected) << control.name;
  }
  EXPECT_GE(heading->width(), heading->sizeHint().width());

  EXPECT_EQ(form->Label1()->text(), "Browse for a computer");
  EXPECT_EQ(form->Label1()->font().family(), "Arial");
  EXPECT_EQ(form->Label1()->font().pixelSize(), 19);
  EXPECT_FALSE(form->Label1()->font().bold());
  EXPECT_EQ(form->BusyLabel()->text(), "Searching Network...");
  EXPECT_EQ(form->BusyLabel()->font().pixelSize(), 11);
  EXPECT_TRUE(form->BusyLabel()->font().bold());
  EXPECT_EQ(form->ConnectButton()->text(), "OK");
  EXPECT_EQ(form->cxButton2()->text(), "Cancel");

  // The picture: 48 x 48 with transparent parts.
  const QImage picture = form->Image1()->pixmap().toImage();
  EXPECT_EQ(picture.size(), QSize(48, 48));
  EXPECT_TRUE(picture.hasAlphaChannel());
  EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(picture.pixel(30, 30)), 255);

  // Four 16 x 16 images with transparent backgrounds, in both lists.
  ASSERT_EQ(form->ImageList1().size(), 4);
  for (const QPixmap& image : form->ImageList1()) {
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(image.toImage().pixel(15, 0)), 0);
  }
  EXPECT_EQ(Tree()->StateImages().size(), 4);
  EXPECT_FALSE(Tree()->ImageAt(0).isNull());
  EXPECT_FALSE(Tree()->ImageAt(1).isNull());

  // The tree as placed.
  EXPECT_EQ(Tree()->indentation(), 19);
  EXPECT_TRUE(Tree()->bMultiSelect());
  EXPECT_TRUE(Tree()->isHeaderHidden());
  EXPECT_TRUE(Tree()->rootIsDecorated());
  EXPECT_FALSE(Tree()->isSortingEnabled());
  EXPECT_NE(Tree()->editTriggers(), QAbstractItemView::NoEditTriggers);

  // The bar as loaded, before the first tick; both busy controls visible.
  EXPECT_EQ(form->ProgressBarXP()->MinPosition(), 0);
  EXPECT_EQ(form->ProgressBarXP()->MaxPosition(), 100);
  EXPECT_EQ(form->ProgressBarXP()->Position(), 100);
  EXPECT_TRUE(BusyShown());
  EXPECT_EQ(form->Timer()->interval(), 2);
  EXPECT_TRUE(form->Timer()->isActive());

  // No default button; tab order OK, Cancel, tree.
  for (QPushButton* button : {form->ConnectButton(), form->cxButton2()}) {
    EXPECT_FALSE(button->autoDefault());
    EXPECT_FALSE(button->isDefault());
  }
  EXPECT_TRUE(form->ComputerNames.empty());
}

TEST_F(ComputerBrowserTest, TheTimerSweepsTheBarInHundredTicks) {
  form->Timer()->stop();
  TProgressBarXP* bar = form->ProgressBarXP();
  bar->SetPosition(100);
  form->TimerTimer();
  EXPECT_EQ(bar->Position(), 0);
  for (int i = 1; i <= 99; ++i) {
    form->TimerTimer();
    ASSERT_EQ(bar->Position(), i);
  }
  form->TimerTimer(); // reaches 100 and wraps within the tick
  EXPECT_EQ(bar->Position(), 0);
}

TEST_F(ComputerBrowserTest, TheTimerRunsWhileTheDialogIsHidden) {
  ASSERT_FALSE(form->isVisible());
  const int start = form->ProgressBarXP()->Position();
  EXPECT_TRUE(WaitFor([&] { return form->ProgressBarXP()->Position() != start; }));
}

TEST_F(ComputerBrowserTest, FirstShowingListsTheNetworkBehindTheBusyLabel) {
  net.holdNextTopLevelOpen = true;
  form->show();
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  EXPECT_TRUE(BusyShown());
  EXPECT_FALSE(Tree()->isEnabled());
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(BusyHidden());
  EXPECT_EQ(Tree()->topLevelItemCount(), 4);
}

TEST_F(ComputerBrowserTest, ListingADomainShowsTheBusyLabelUntilItEnds) {
  ShowAndWait();
  net.holdNextServerEnum = true;
  Tree()->expandItem(Top("ONDRAVEL"));
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  EXPECT_TRUE(BusyShown());
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(BusyHidden());
  EXPECT_GT(Top("ONDRAVEL")->childCount(), 0);
}

TEST_F(ComputerBrowserTest, LaterShowingsStartFreshWithoutTheBusyLabel) {
  ShowAndWait();
  ASSERT_NE(ListDomain("ONDRAVEL"), nullptr);
  form->hide();

  net.holdNextTopLevelOpen = true;
  form->show();
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  EXPECT_EQ(Tree()->topLevelItemCount(), 0);
  EXPECT_TRUE(BusyHidden());
  EXPECT_FALSE(Tree()->isEnabled()); // the tree's own busy look shows it
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Tree()->topLevelItemCount(), 4);
  EXPECT_EQ(Top("ONDRAVEL")->childCount(), 0);
  EXPECT_TRUE(BusyHidden());
}

TEST_F(ComputerBrowserTest, OkWithNothingSelectedGivesAnEmptyText) {
  form->ComputerNames = "EARLIER";
  ShowAndWait();
  QTest::mouseClick(form->ConnectButton(), Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), TComputerBrowserForm::mrOk);
  EXPECT_EQ(form->ComputerNames, "");

  // A domain selected in single selection yields nothing either.
  Tree()->SetbMultiSelect(false);
  ShowAndWait();
  Tree()->setCurrentItem(Top("WORKGROUP"));
  QTest::mouseClick(form->ConnectButton(), Qt::LeftButton);
  EXPECT_EQ(form->result(), TComputerBrowserForm::mrOk);
  EXPECT_EQ(form->ComputerNames, "");
}

TEST_F(ComputerBrowserTest, ThreeCheckedComputersAreJoinedByCommas) {
  ShowAndWait();
  TTreeNode* domain = ListDomain("ONDRAVEL");
  ASSERT_NE(domain, nullptr);
  ASSERT_GE(domain->childCount(), 5);
  Check(domain->child(4));
  Check(domain->child(1));
  Check(domain->child(2));
  QTest::mouseClick(form->ConnectButton(), Qt::LeftButton);
  EXPECT_EQ(form->result(), TComputerBrowserForm::mrOk);
  const std::string expected = domain->child(4)->text(0).toStdString() + "," +
                               domain->child(1)->text(0).toStdString() + "," +
                               domain->child(2)->text(0).toStdString();
  EXPECT_EQ(form->ComputerNames, expected);
}

TEST_F(ComputerBrowserTest, CancelAndTheCloseBoxLeaveTheEarlierNames) {
  ShowAndWait();
  TTreeNode* domain = ListDomain("WORKGROUP");
  ASSERT_NE(domain, nullptr);
  Check(domain->child(0));
  QTest::mouseClick(form->ConnectButton(), Qt::LeftButton);
  const std::string chosen = form->ComputerNames;
  ASSERT_FALSE(chosen.empty());

  ShowAndWait();
  Check(Top("ONDRAVEL")); // listed afresh: a box only after a listing
  ASSERT_NE(ListDomain("ONDRAVEL"), nullptr);
  Check(Top("ONDRAVEL"));
  QTest::mouseClick(form->cxButton2(), Qt::LeftButton);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), TComputerBrowserForm::mrCancel);
  EXPECT_EQ(form->ComputerNames, chosen);

  ShowAndWait();
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), TComputerBrowserForm::mrCancel);
  EXPECT_EQ(form->ComputerNames, chosen);
}

TEST_F(ComputerBrowserTest, KeysReturnPressesOnlyAFocusedButtonAndEscapeStays) {
  ShowAndWait();
  // The tab order: OK first, then Cancel, then the tree.
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == form->ConnectButton(); }));
  QTest::keyClick(form->ConnectButton(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), form->cxButton2());
  QTest::keyClick(form->cxButton2(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Tree());
  Tree()->setFocus();
  QTest::keyClick(Tree(), Qt::Key_Return);
  QTest::keyClick(Tree(), Qt::Key_Escape);
  EXPECT_TRUE(form->isVisible());

  form->cxButton2()->setFocus();
  QTest::keyClick(form->cxButton2(), Qt::Key_Return);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(form->result(), TComputerBrowserForm::mrCancel);
}

TEST_F(ComputerBrowserTest, ListingADomainKeepsTheKeyboardOffTheButtonsAndThenOnTheTree) {
  ShowAndWait();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  // Keys go to the focused control, or to the window when none has the focus.
  auto press = [&](Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : form.get(), key);
  };
  TTreeNode* domain = Top("ONDRAVEL");
  Tree()->setFocus();
  Tree()->setCurrentItem(domain);
  net.holdNextServerEnum = true;
  press(Qt::Key_Right);
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  EXPECT_EQ(qobject_cast<QPushButton*>(QApplication::focusWidget()), nullptr);
  press(Qt::Key_Space);
  press(Qt::Key_Return);
  EXPECT_TRUE(form->isVisible());

  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(QApplication::focusWidget(), Tree());
  press(Qt::Key_Space);
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(domain->StateIndex, 2);
  EXPECT_GT(Tree()->iComputerCount(), 0);
}

TEST_F(ComputerBrowserTest, AfterAListingTheFocusStaysWhereTheUserPutIt) {
  ShowAndWait();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  Tree()->setFocus();
  Tree()->setCurrentItem(Top("ONDRAVEL"));
  net.holdNextServerEnum = true;
  QTest::keyClick(Tree(), Qt::Key_Right);
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  ASSERT_EQ(QApplication::focusWidget(), nullptr);
  // The user tabs on while the tree is busy.
  QTest::keyClick(form.get(), Qt::Key_Tab);
  QWidget* chosen = QApplication::focusWidget();
  ASSERT_NE(chosen, nullptr);
  ASSERT_NE(chosen, Tree());
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(QApplication::focusWidget(), chosen);
}

TEST_F(ComputerBrowserTest, TabInTheEditorKeepsTheEditedComputerAndMovesOnToOk) {
  Tree()->SetbMultiSelect(false);
  ShowAndWait();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  TTreeNode* domain = ListDomain("ONDRAVEL");
  ASSERT_NE(domain, nullptr);
  ASSERT_GE(domain->childCount(), 2);
  QTreeWidgetItem* edited = domain->child(0);
  Tree()->setFocus();
  Tree()->setCurrentItem(edited);
  Tree()->editItem(edited);
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("NEWNAME"));
  QTest::keyClick(editor, Qt::Key_Tab);

  EXPECT_EQ(edited->text(0), "NEWNAME");
  EXPECT_EQ(Tree()->currentItem(), edited);
  EXPECT_TRUE(edited->isSelected());
  EXPECT_EQ(QApplication::focusWidget(), form->ConnectButton());
  form->ConnectButton()->click();
  EXPECT_EQ(form->ComputerNames, "NEWNAME");
}

TEST_F(ComputerBrowserTest, AToolWindowHasNoIconNotEvenItsOwners) {
  QWidget owner;
  owner.setWindowIcon(QIcon(QStringLiteral(":/resources/skarvet.ico")));
  ASSERT_FALSE(owner.windowIcon().isNull());
  TComputerBrowserForm dialog(&owner);
  EXPECT_TRUE(dialog.windowIcon().isNull());
}

TEST_F(ComputerBrowserTest, ModalUseAsTheMainWindowMakesIt) {
  Tree()->SetbMultiSelect(false);
  QTimer::singleShot(0, form.get(), [&] {
    if (!WaitIdle()) return form->reject();
    TTreeNode* domain = ListDomain("ONDRAVEL");
    if (!domain) return form->reject();
    Tree()->setCurrentItem(domain->child(2));
    QTest::mouseClick(form->ConnectButton(), Qt::LeftButton);
  });
  EXPECT_EQ(form->exec(), QDialog::Accepted);
  EXPECT_EQ(form->ComputerNames, Top("ONDRAVEL")->child(2)->text(0).toStdString());
  QTimer::singleShot(0, form.get(), [&] { form->cxButton2Click(); });
  EXPECT_EQ(form->exec(), TComputerBrowserForm::mrCancel);
}

TEST_F(ComputerBrowserTest, CentredOnTheScreenAtEveryShowing) {
  form->move(0, 0);
  ShowAndWait();
  const QPoint screenCentre = form->screen()->geometry().center();
  EXPECT_LE((form->frameGeometry().center() - screenCentre).manhattanLength(), 2);
  form->hide();
  form->move(5, 5);
  ShowAndWait();
  EXPECT_LE((form->frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(ComputerBrowserTest, ClosingDoesNotStopARunningBrowse) {
  net.holdNextTopLevelOpen = true;
  form->show();
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  form->cxButton2Click();
  EXPECT_NE(Tree()->ActiveThread(), nullptr);
  net.Release();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Tree()->topLevelItemCount(), 4);
  EXPECT_TRUE(BusyHidden());
}

TEST_F(ComputerBrowserTest, DestroyedDuringABrowseWithoutHarm) {
  net.holdNextTopLevelOpen = true;
  form->show();
  ASSERT_TRUE(WaitFor([&] { return net.waiting == 1; }));
  form.reset();
  net.Release();
  EXPECT_TRUE(AllWorkersGone());
}

} // namespace
} // namespace skarvet
