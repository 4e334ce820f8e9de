// The reason help dialog: its layout and behaviour, and how the main
// window's "?" button shows it.
#include "controls/ShutdownReasonHelpFormUnit.h"
#include "mainwindow/MainFormUnit.h"
#include "platform/WinApi.h"
#include "tests/support/ModalRun.h"
#include "tests/support/RecordingWinApi.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace skarvet;
using skarvet::test::RecordingWinApi;

namespace {

using skarvet::test::ModalRun;
using skarvet::test::RunModal;

QColor PixelAt(QWidget& widget, QPoint at) {
  return widget.grab().toImage().pixelColor(at);
}

} // namespace

// --- the dialog on its own -----------------------------------------------------

TEST(ReasonHelpDialog, LayoutMatchesTheDesign) {
  TShutdownReasonHelpForm form;
  EXPECT_EQ(form.size(), QSize(292, 101));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()); // not resizable
  EXPECT_TRUE(form.windowTitle().isEmpty());
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
  EXPECT_FALSE(form.isSizeGripEnabled());

  QFrame* panel = form.findChild<QFrame*>("Panel1");
  QLabel* label = form.findChild<QLabel*>("Label1");
  QPushButton* ok = form.findChild<QPushButton*>("ExitButton");
  ASSERT_TRUE(panel && label && ok);
  EXPECT_EQ(panel->geometry(), QRect(10, 8, 273, 57));
  EXPECT_EQ(panel->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(label->parentWidget(), panel);
  EXPECT_EQ(label->geometry(), QRect(9, 7, 256, 50));
  EXPECT_EQ(label->text(), "The reason you select is recorded in the event log on Windows 2003, "
                           "Windows XP, and Windows Vista");
  EXPECT_TRUE(label->wordWrap());
  EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_TRUE(label->font().bold());
  EXPECT_EQ(label->font().pixelSize(), 11);
  EXPECT_FALSE(form.font().bold());
  EXPECT_EQ(ok->geometry(), QRect(109, 72, 75, 25));
  EXPECT_EQ(ok->text(), "OK");
  EXPECT_FALSE(ok->isDefault());
  EXPECT_FALSE(ok->autoDefault());

  // OK is the only control that takes the focus.
  EXPECT_EQ(panel->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
  EXPECT_NE(ok->focusPolicy() & Qt::TabFocus, 0);
}

TEST(ReasonHelpDialog, WhiteDialogWithTheTextOnTheButtonFaceColour) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  DWORD buttonFace = RGB(10, 200, 30);
  fake.onGetSysColor = [&](int index) {
    if (index == COLOR_BTNFACE) return buttonFace;
    if (index == COLOR_WINDOWTEXT) return RGB(1, 2, 3);
    return RGB(128, 128, 128);
  };
  TShutdownReasonHelpForm form;
  form.show();
  QApplication::processEvents();
  EXPECT_EQ(PixelAt(form, QPoint(3, 3)), QColor(Qt::white));      // dialog
  EXPECT_EQ(PixelAt(form, QPoint(12, 10)), QColor(10, 200, 30));  // panel's own edge
  EXPECT_EQ(PixelAt(form, QPoint(280, 62)), QColor(10, 200, 30)); // panel's last pixel
  EXPECT_EQ(PixelAt(form, QPoint(283, 62)), QColor(Qt::white));   // just outside
  EXPECT_EQ(PixelAt(form, QPoint(20, 60)), QColor(10, 200, 30));  // label, no text
  EXPECT_EQ(form.Label1()->palette().color(QPalette::WindowText), QColor(1, 2, 3));
  form.hide();

  // The next showing takes the colour scheme as it is then.
  buttonFace = RGB(200, 100, 50);
  form.show();
  QApplication::processEvents();
  EXPECT_EQ(PixelAt(form, QPoint(12, 10)), QColor(200, 100, 50));
  form.hide();
}

TEST(ReasonHelpDialog, OkClosesWithTheOkResultAndHasTheFocus) {
  TShutdownReasonHelpForm form;
  QWidget* focused = nullptr;
  int result = -1;
  const ModalRun run = RunModal([&] { result = form.exec(); },
                                [&](QWidget* modal) {
                                  focused = modal->focusWidget();
                                  QTest::mouseClick(form.ExitButton(), Qt::LeftButton);
                                });
  EXPECT_TRUE(run.opened);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(focused, form.ExitButton());
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(form.isVisible());
}

TEST(ReasonHelpDialog, KeysPressTheFocusedOkButEscapeIsNoCancel) {
  TShutdownReasonHelpForm form;
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    bool stillOpenAfterEscape = false;
    int result = -1;
    const ModalRun run = RunModal([&] { result = form.exec(); },
                                  [&](QWidget*) {
                                    QTest::keyClick(form.ExitButton(), Qt::Key_Escape);
                                    stillOpenAfterEscape = form.isVisible();
                                    QTest::keyClick(form.ExitButton(), key);
                                  });
    EXPECT_FALSE(run.timedOut) << key;
    EXPECT_TRUE(stillOpenAfterEscape) << key;
    EXPECT_EQ(result, 1) << key;
  }
}

TEST(ReasonHelpDialog, TheCloseBoxClosesIt) {
  TShutdownReasonHelpForm form;
  int result = -1;
  const ModalRun run =
      RunModal([&] { result = form.exec(); }, [](QWidget* modal) { modal->close(); });
  EXPECT_TRUE(run.opened);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(form.isVisible());
}

// --- shown from the main window --------------------------------------------------

class HelpFromMainWindow : public ::testing::Test {
protected:
  void SetUp() override {
    main_ = std::make_unique<TMainForm>();
    help_ = new TShutdownReasonHelpForm(main_.get());
    main_->SetDialogs(help_, nullptr);
    main_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main_.get()));
    // "?" is usable once a computer is named.
    main_->findChild<QLineEdit*>("ComputerNameEdit")->setText("ALPHA");
    helpButton_ = main_->findChild<QPushButton*>("ShutdownReasonHelpButton");
    ASSERT_TRUE(helpButton_);
    ASSERT_TRUE(helpButton_->isEnabled());
  }

  // Presses "?" and returns where the dialog's frame stood while it was open.
  QRect PressHelp(const std::function<void(QWidget*)>& close = {}) {
    QRect shownAt;
    const ModalRun run = RunModal([&] { QTest::mouseClick(helpButton_, Qt::LeftButton); },
                                  [&](QWidget* modal) {
                                    shownAt = modal->frameGeometry();
                                    EXPECT_EQ(modal, help_);
                                    if (close)
                                      close(modal);
                                    else
                                      help_->ExitButton()->click();
                                  });
    EXPECT_TRUE(run.opened);
    EXPECT_FALSE(run.timedOut);
    EXPECT_FALSE(help_->isVisible());
    return shownAt;
  }

  // Where the main window's frame stands.
  QPoint MainOuterTopLeft() const { return main_->frameGeometry().topLeft(); }

  std::unique_ptr<TMainForm> main_;
  TShutdownReasonHelpForm* help_ = nullptr; // owned by main_
  QPushButton* helpButton_ = nullptr;
};

TEST_F(HelpFromMainWindow, CentredOnTheMainWindowWhereverItWasMoved) {
  main_->move(100, 60);
  QApplication::processEvents();
  // The design size, 429 x 423: (429 - 292) / 2 = 68.5 goes to 68,
  // (423 - 101) / 2 = 161.
  EXPECT_EQ(PressHelp().topLeft(), MainOuterTopLeft() + QPoint(68, 161));

  // Moved: the next showing follows it, not where the dialog was last.
  main_->move(340, 250);
  QApplication::processEvents();
  EXPECT_EQ(PressHelp().topLeft(), MainOuterTopLeft() + QPoint(68, 161));
}

TEST_F(HelpFromMainWindow, NoIconAndNoTitleAlthoughTheMainWindowHasBoth) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  ASSERT_FALSE(main_->windowIcon().isNull());
  PressHelp([&](QWidget* modal) {
    EXPECT_TRUE(modal->windowIcon().isNull());
    EXPECT_TRUE(modal->windowHandle()->icon().isNull());
    EXPECT_EQ(modal->windowTitle(), QString());
    // The system is told too, since the toolkit names an untitled window.
    const auto titled = fake.CallsNamed("SetWindowTextA");
    ASSERT_EQ(titled.size(), 1u);
    EXPECT_EQ(titled[0].args[0], RecordingWinApi::Num(static_cast<long long>(modal->winId())));
    EXPECT_EQ(titled[0].args[1], RecordingWinApi::Str(""));
    help_->ExitButton()->click();
  });
}

TEST_F(HelpFromMainWindow, HalvesRoundToTheEvenNeighbour) {
  main_->move(50, 40);
  // (431 - 292) / 2 = 69.5 goes up to 70; (424 - 101) / 2 = 161.5 to 162.
  main_->setFixedSize(431, 424);
  QApplication::processEvents();
  EXPECT_EQ(PressHelp().topLeft(), MainOuterTopLeft() + QPoint(70, 162));
  // (433 - 292) / 2 = 70.5 goes down to 70; (426 - 101) / 2 = 162.5 to 162.
  main_->setFixedSize(433, 426);
  QApplication::processEvents();
  EXPECT_EQ(PressHelp().topLeft(), MainOuterTopLeft() + QPoint(70, 162));
}

TEST_F(HelpFromMainWindow, CloseBoxAndOkLeaveTheMainWindowTheSame) {
  auto* reasons = main_->findChild<QComboBox*>("ShutdownReasonComboBox");
  ASSERT_TRUE(reasons);
  reasons->setCurrentIndex(3);
  main_->move(120, 80);
  QApplication::processEvents();

  // Everything a user could see of the main window.
  const auto snapshot = [&] {
    std::vector<std::string> state;
    state.push_back(QString("%1,%2 %3x%4")
                        .arg(main_->x())
                        .arg(main_->y())
                        .arg(main_->width())
                        .arg(main_->height())
                        .toStdString());
    for (QWidget* child : main_->findChildren<QWidget*>()) {
      if (child->window() != main_.get()) continue; // the dialog is a window of its own
      QString line = child->objectName() + (child->isEnabled() ? " on" : " off") +
                     (child->isVisibleTo(main_.get()) ? " shown" : " hidden");
      if (auto* edit = qobject_cast<QLineEdit*>(child)) line += " " + edit->text();
      if (auto* label = qobject_cast<QLabel*>(child)) line += " " + label->text();
      if (auto* combo = qobject_cast<QComboBox*>(child))
        line += " " + QString::number(combo->currentIndex());
      state.push_back(line.toStdString());
    }
    return state;
  };
  const auto before = snapshot();

  PressHelp([](QWidget* modal) { modal->close(); });
  QApplication::processEvents();
  const auto afterCloseBox = snapshot();
  PressHelp();
  QApplication::processEvents();
  const auto afterOk = snapshot();

  EXPECT_EQ(afterCloseBox, before);
  EXPECT_EQ(afterOk, before);
  EXPECT_TRUE(main_->isVisible());
}
