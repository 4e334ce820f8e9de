// What assistive technology reads of the program's own controls through
// Qt's accessible interfaces, on every platform: the status line, the
// progress bar's value, presses of links and pictures, the tree's states.
// The names and roles of every control, the announcements and a whole
// restart are proven through the real AT-SPI bridge by
// tests/accessibility/atspi-test.sh.
#include "app/Application.h"
#include "controls/Accessibility.h"
#include "controls/ImageUnit.h"
#include "controls/LinkLabel.h"
#include "controls/ProgressBarXPUnit.h"
#include "mainwindow/MainFormUnit.h"
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "tests/test_networkbrowser_support.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace skarvet {
namespace {

QAccessibleInterface* Accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

class AccessibilityTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { InstallAccessibleInterfaces(); }
};

TEST_F(AccessibilityTest, StatusLineIsAStatusBarNamedByWhatItSays) {
  TMainForm form;
  QAccessibleInterface* status = Accessible(form.findChild<QWidget*>("StatusLabel"));
  EXPECT_EQ(status->role(), QAccessible::StatusBar);
  EXPECT_EQ(status->text(QAccessible::Name), QString());
  form.ShowStatusError("Access Denied\r\n");
  EXPECT_EQ(status->text(QAccessible::Name), "Error: (Access Denied)");
  form.ShowStatusSuccess("ALPHA was restarted.");
  EXPECT_EQ(status->text(QAccessible::Name), "ALPHA was restarted.");
}

TEST_F(AccessibilityTest, ProgressBarTellsItsPositionWithinItsRange) {
  TProgressBarXP bar;
  bar.SetMinPosition(10);
  bar.SetMaxPosition(30);
  bar.SetPosition(15);
  QAccessibleValueInterface* value = Accessible(&bar)->valueInterface();
  ASSERT_TRUE(value);
  EXPECT_EQ(value->currentValue().toInt(), 15);
  EXPECT_EQ(value->minimumValue().toInt(), 10);
  EXPECT_EQ(value->maximumValue().toInt(), 30);
  EXPECT_EQ(Accessible(&bar)->text(QAccessible::Value), "25 %");
  // Its value is the bar's to set, not the listener's.
  value->setCurrentValue(20);
  EXPECT_EQ(bar.Position(), 15);
}

TEST_F(AccessibilityTest, PressingALinkOrAClickablePictureClicksIt) {
  TLinkLabel link;
  TImage picture;
  int linkClicks = 0, pictureClicks = 0;
  QObject::connect(&link, &TLinkLabel::clicked, [&] { ++linkClicks; });
  EXPECT_EQ(Accessible(&picture)->role(), QAccessible::Graphic);
  QObject::connect(&picture, &TImage::clicked, [&] { ++pictureClicks; });
  EXPECT_EQ(Accessible(&picture)->role(), QAccessible::Link);

  Accessible(&link)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  Accessible(&picture)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  // Queued, so that the caller is answered before whatever the click opens.
  EXPECT_EQ(linkClicks + pictureClicks, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(linkClicks, 1);
  EXPECT_EQ(pictureClicks, 1);

  link.setEnabled(false);
  Accessible(&link)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  QCoreApplication::processEvents();
  EXPECT_EQ(linkClicks, 1) << "a disabled link was pressed";
}

// The tree's node of a given text, as assistive technology sees it.
QAccessibleInterface* Node(QAccessibleInterface* tree, const QString& text) {
  for (int i = 0; i < tree->childCount(); ++i)
    if (tree->child(i)->text(QAccessible::Name) == text) return tree->child(i);
  return nullptr;
}

TEST_F(AccessibilityTest, TreeNodesAreExpandableExpandedAndChecked) {
  test::HoldingWinApi net;
  ScopedWinApi use{net};
  {
    TComputerBrowserForm browser; // check boxes, as the dialog is laid out
    browser.show();
    TNetworkBrowser* tree = browser.NetworkBrowser();
    ASSERT_TRUE(test::WaitFor([&] { return tree->isEnabled() && tree->topLevelItemCount() > 0; }));
    QAccessibleInterface* view = Accessible(tree);
    EXPECT_EQ(view->role(), QAccessible::Tree);
    EXPECT_EQ(view->text(QAccessible::Name), "Network");
    EXPECT_FALSE(Node(view, "1")) << "a column header called 1";

    QTreeWidgetItem* domain = tree->findItems("ONDRAVEL", Qt::MatchExactly).value(0);
    ASSERT_TRUE(domain);
    EXPECT_TRUE(Node(view, "ONDRAVEL")->state().expandable);
    EXPECT_FALSE(Node(view, "ONDRAVEL")->state().expanded);
    tree->expandItem(domain);
    ASSERT_TRUE(test::WaitFor([&] { return tree->isEnabled() && domain->childCount() > 0; }));
    EXPECT_TRUE(Node(view, "ONDRAVEL")->state().expanded);

    const QString computer = domain->child(0)->text(0);
    EXPECT_FALSE(Node(view, computer)->state().checked);
    tree->setFocus();
    tree->setCurrentItem(domain->child(0));
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_TRUE(Node(view, computer)->state().checked);
    QTest::keyClick(tree, Qt::Key_Space);
    EXPECT_FALSE(Node(view, computer)->state().checked);
    browser.hide();
    net.Release();
  }
  EXPECT_TRUE(test::AllWorkersGone());
}

} // namespace
} // namespace skarvet
