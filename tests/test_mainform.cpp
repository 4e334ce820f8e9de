// The main window driven offscreen: layout, input rules, credential choice,
// busy and idle looks, status line, tab order and colours.
#include "app/Application.h"
#include "controls/ClassicStyle.h"
#include "controls/ImageUnit.h"
#include "controls/ProgressBarXPUnit.h"
#include "mainwindow/MainFormUnit.h"
#include "platform/sim/SimulatedWinApi.h"
#include "tests/support/RecordingWinApi.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace skarvet;

namespace {

class MainFormTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { RegisterApplicationFonts(); }

  void SetUp() override { form = std::make_unique<TMainForm>(); }

  template <class T = QWidget> T* Find(const char* name) const {
    T* widget = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit* Name() const { return Find<QLineEdit>("ComputerNameEdit"); }
  QLabel* Status() const { return Find<QLabel>("StatusLabel"); }
  TProgressBarXP* Bar() const { return Find<TProgressBarXP>("StatusProgressBar"); }
  QTimer* Timer() const { return Find<QTimer>("ProgressTimer"); }

  // The six controls of the computer-name rule.
  std::vector<QWidget*> ActionControls() const {
    return {Find("RestartButton"),          Find("ShutdownButton"),
            Find("LogoffButton"),           Find("ShutdownReasonLabel"),
            Find("ShutdownReasonComboBox"), Find("ShutdownReasonHelpButton")};
  }
  void ExpectActionControlsEnabled(bool enabled) const {
    for (QWidget* control : ActionControls())
      EXPECT_EQ(control->isEnabled(), enabled) << control->objectName().toStdString();
  }

  static QColor Colour(DWORD rgb) { return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)); }

  // The credential fields as the user sees them.
  void ExpectCredentialFields(bool enabled, const QColor& background) const {
    for (const char* name : {"UserNameLabel", "PasswordLabel", "DomainLabel"})
      EXPECT_EQ(Find(name)->isEnabled(), enabled) << name;
    for (const char* name : {"UserNameEdit", "PasswordEdit", "DomainEdit"}) {
      QLineEdit* edit = Find<QLineEdit>(name);
      EXPECT_EQ(edit->isEnabled(), enabled) << name;
      EXPECT_EQ(edit->palette().color(QPalette::Base), background) << name;
      // And painted so: a pixel inside the frame, away from any text.
      const QImage shot = edit->grab().toImage();
      EXPECT_EQ(QColor(shot.pixel(shot.width() - 6, shot.height() / 2)), background) << name;
    }
  }

  std::unique_ptr<TMainForm> form;
};

// --- layout -------------------------------------------------------------------

struct Placement {
  const char* name;
  const char* kind;   // class the control is, or derives from
  const char* parent; // object name of the parent
  int left, top, width, height;
  const char* text; // nullptr where the control has none
  bool bold;
};

// Widths of self-sizing labels are those of the design font.
const Placement kLayout[] = {
    {"Image1", "skarvet::TImage", "TMainForm", 0, 0, 429, 85, nullptr, false},
    {"Panel2", "QFrame", "TMainForm", 9, 92, 415, 55, nullptr, false},
    {"Panel1", "QFrame", "TMainForm", 9, 152, 415, 96, nullptr, false},
    {"Panel3", "QFrame", "TMainForm", 9, 253, 415, 133, nullptr, false},
    {"Label4", "QLabel", "TMainForm", 8, 387, 302, 13,
     "Need to make this change to many computers on your network?", false},
    {"ExitButton", "QPushButton", "TMainForm", 346, 390, 75, 25, "Exit", false},
    {"Label1", "QLabel", "Panel2", 4, 7, 296, 13,
     "Step 1 - Select the computer to reboot or shutdown.", true},
    {"Label2", "QLabel", "Panel2", 5, 30, 94, 13, "Computer Name:", true},
    {"ComputerNameEdit", "QLineEdit", "Panel2", 101, 27, 211, 21, "", true},
    {"ComputerBrowseButton", "QPushButton", "Panel2", 315, 26, 24, 23, "...", false},
    {"Label3", "QLabel", "Panel1", 4, 3, 266, 13, "Step 2 - Authentication: Use another account?",
     true},
    {"YesRadioButton", "QRadioButton", "Panel1", 273, 2, 40, 17, "Yes", false},
    {"NoRadioButton", "QRadioButton", "Panel1", 315, 2, 37, 17, "No", false},
    {"AuthenticationImage", "skarvet::TImage", "Panel1", 8, 30, 44, 49, nullptr, false},
    {"UserNameLabel", "QLabel", "Panel1", 61, 25, 61, 13, "Username:", true},
    {"PasswordLabel", "QLabel", "Panel1", 63, 49, 59, 13, "Password:", true},
    {"DomainLabel", "QLabel", "Panel1", 75, 73, 47, 13, "Domain:", true},
    {"UserNameEdit", "QLineEdit", "Panel1", 128, 22, 175, 21, "", false},
    {"PasswordEdit", "QLineEdit", "Panel1", 128, 46, 176, 21, "", false},
    {"DomainEdit", "QLineEdit", "Panel1", 128, 70, 176, 21, "", false},
    {"Label7", "QLabel", "Panel3", 4, 3, 158, 13, "Step 3 - Pick action to take", true},
    {"ForceCheckbox", "QCheckBox", "Panel3", 188, 1, 163, 17, "Force Shutdown/Restart", true},
    {"RestartButton", "QPushButton", "Panel3", 6, 22, 75, 25, "Restart", false},
    {"ShutdownButton", "QPushButton", "Panel3", 83, 22, 75, 25, "Shutdown", false},
    {"LogoffButton", "QPushButton", "Panel3", 160, 22, 75, 25, "Logoff", false},
    {"CancelButton", "QPushButton", "Panel3", 238, 22, 75, 25, "Cancel", false},
    {"ShutdownReasonLabel", "QLabel", "Panel3", 7, 55, 40, 13, "Reason:", false},
    {"ShutdownReasonComboBox", "QComboBox", "Panel3", 51, 52, 269, 21, nullptr, false},
    {"ShutdownReasonHelpButton", "QPushButton", "Panel3", 323, 51, 25, 23, "?", false},
    {"StatusLabel", "QLabel", "Panel3", 9, 80, 342, 25, "", true},
    {"StatusProgressBar", "skarvet::TProgressBarXP", "Panel3", 6, 113, 404, 14, nullptr, false},
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  return {};
}

TEST_F(MainFormTest, EveryControlHasItsNameKindParentPlaceTextAndWeight) {
  const bool designFont = QFontInfo(form->font()).family() == QStringLiteral("MS Sans Serif");
  for (const Placement& p : kLayout) {
    SCOPED_TRACE(p.name);
    QWidget* widget = Find(p.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(widget->inherits(p.kind));
    EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(p.parent));
    EXPECT_EQ(widget->x(), p.left);
    EXPECT_EQ(widget->y(), p.top);
    EXPECT_EQ(widget->height(), p.height);
    // Labels size themselves to their text: exact in the design font.
    if (!qobject_cast<QLabel*>(widget) || designFont || p.width == 342) {
      EXPECT_EQ(widget->width(), p.width);
    }
    if (p.text) {
      EXPECT_EQ(TextOf(widget), QString::fromLatin1(p.text));
    }
    EXPECT_EQ(widget->font().bold(), p.bold);
    EXPECT_EQ(widget->font().pixelSize(), 11);
  }
}

TEST_F(MainFormTest, CredentialLabelsEndSixPixelsLeftOfTheEdits) {
  for (const char* name : {"UserNameLabel", "PasswordLabel", "DomainLabel"}) {
    QWidget* label = Find(name);
    EXPECT_EQ(label->x() + label->width(), 122) << name;
  }
}

TEST_F(MainFormTest, TheLinkLabelSizesToItsBoldUnderlinedBlueText) {
  auto* link = Find<QLabel>("Label5");
  EXPECT_EQ(link->text(), QStringLiteral("Brandolin can do it for you"));
  EXPECT_EQ(link->geometry().topLeft(), QPoint(8, 403));
  EXPECT_EQ(link->height(), 13);
  // Sized to its text, with the pixel of overhang of emboldened text.
  EXPECT_EQ(link->width(),
            link->sizeHint().width() + (TClassicStyle::NeedsSyntheticBold(link->font()) ? 1 : 0));
  EXPECT_TRUE(link->font().bold());
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(Find("Image1")->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(MainFormTest, WindowIsAFixedSizeTitledWindowWithoutMaximizeCentredOnTheScreen) {
  EXPECT_TRUE(form->isWindow());
  EXPECT_EQ(form->windowTitle(), QStringLiteral("Ondravel Skarvet"));
  EXPECT_EQ(form->size(), QSize(429, 423));
  EXPECT_EQ(form->minimumSize(), QSize(429, 423));
  EXPECT_EQ(form->maximumSize(), QSize(429, 423));
  const Qt::WindowFlags flags = form->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  const QRect area = form->screen()->availableGeometry();
  EXPECT_LE(std::abs(form->geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(form->geometry().center().y() - area.center().y()), 1);
  const QList<QSize> sizes = form->windowIcon().availableSizes();
  for (const QSize size : {QSize(16, 16), QSize(32, 32), QSize(48, 48)})
    EXPECT_TRUE(sizes.contains(size)) << size.width();
}

TEST_F(MainFormTest, TheDesignFontIsMsSansSerifElevenPixels) {
  EXPECT_EQ(form->font().family(), QStringLiteral("MS Sans Serif"));
  EXPECT_EQ(form->font().pixelSize(), 11);
  if (QFontInfo(form->font()).family() == QStringLiteral("MS Sans Serif")) {
    // The metric-compatible font: a 13-pixel line, as the layout assumes.
    EXPECT_EQ(QFontMetrics(form->font()).height(), 13);
  }
}

// --- colours -------------------------------------------------------------------

TEST_F(MainFormTest, PanelsAreButtonFaceBlocksOnTheWhiteWindow) {
  test::RecordingWinApi colours;
  colours.onGetSysColor = [](int index) -> DWORD {
    switch (index) {
    case COLOR_BTNFACE:
      return RGB(200, 190, 170);
    case COLOR_WINDOW:
      return RGB(250, 250, 240);
    default:
      return RGB(0, 0, 0);
    }
  };
  ScopedWinApi use(colours);
  TMainForm themed; // reads the colours through the seam
  const QImage shot = themed.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(5, 200)), QColor(255, 255, 255));   // window, left of the panels
  EXPECT_EQ(QColor(shot.pixel(428, 40)), QColor(255, 255, 255));  // right of the 428-pixel banner
  EXPECT_EQ(QColor(shot.pixel(420, 95)), QColor(200, 190, 170));  // Panel2
  EXPECT_EQ(QColor(shot.pixel(420, 240)), QColor(200, 190, 170)); // Panel1
  EXPECT_EQ(QColor(shot.pixel(420, 380)), QColor(200, 190, 170)); // Panel3
  EXPECT_EQ(QColor(shot.pixel(5, 150)), QColor(255, 255, 255));   // between the panels
  EXPECT_GE(colours.CountOf("GetSysColor"), 1);
  // The keys picture: its white background is not painted.
  QWidget* keys = themed.findChild<QWidget*>(QStringLiteral("AuthenticationImage"));
  const QPoint lowerLeft = keys->mapTo(&themed, QPoint(0, 48));
  EXPECT_EQ(QColor(shot.pixel(lowerLeft)), QColor(200, 190, 170));
}

TEST_F(MainFormTest, TextColoursOfTheLabelsAndTheStatusLine) {
  EXPECT_EQ(Find("Label4")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(Status()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(form->palette().color(QPalette::Window), QColor(255, 255, 255));
}

// --- pictures ----------------------------------------------------------------------

TEST_F(MainFormTest, BannerIsDrawnUnscaledAtTheTopLeft) {
  auto* banner = Find<TImage>("Image1");
  ASSERT_FALSE(banner->Picture().isNull());
  EXPECT_EQ(banner->Picture().size(), QSize(428, 85));
  const QImage shot = banner->grab().toImage();
  for (const QPoint at : {QPoint(0, 0), QPoint(200, 40), QPoint(427, 84)})
    EXPECT_EQ(shot.pixel(at), banner->Picture().pixel(at)) << at.x();
}

TEST_F(MainFormTest, KeysPictureIsTheTransparentBitmap) {
  auto* keys = Find<TImage>("AuthenticationImage");
  EXPECT_TRUE(keys->Transparent());
  const QImage& picture = keys->Picture();
  ASSERT_EQ(picture.size(), QSize(44, 49));
  EXPECT_EQ(QColor(picture.pixel(0, 48)), QColor(255, 255, 255));
  int drawn = 0;
  for (int y = 0; y < 49; ++y)
    for (int x = 0; x < 44; ++x) {
      const bool background = picture.pixel(x, y) == picture.pixel(0, 48);
      EXPECT_EQ(qAlpha(keys->ShownPicture().pixel(x, y)), background ? 0 : 255);
      drawn += background ? 0 : 1;
    }
  EXPECT_GT(drawn, 200); // there are keys in it
}

// --- initial state -----------------------------------------------------------------

TEST_F(MainFormTest, AFreshWindowIsIdleWithNothingToActOn) {
  EXPECT_EQ(MainForm, form.get());
  EXPECT_TRUE(Name()->text().isEmpty());
  ExpectActionControlsEnabled(false);
  for (const char* name :
       {"ShutdownReasonLabel", "ShutdownReasonComboBox", "ShutdownReasonHelpButton"})
    EXPECT_TRUE(Find(name)->isVisibleTo(form.get())) << name;
  EXPECT_FALSE(Find("CancelButton")->isEnabled());
  EXPECT_TRUE(Find("ExitButton")->isEnabled());
  EXPECT_TRUE(Find("ComputerBrowseButton")->isEnabled());
  EXPECT_TRUE(Name()->isEnabled());
  EXPECT_TRUE(Find<QRadioButton>("NoRadioButton")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("YesRadioButton")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("ForceCheckbox")->isChecked());
  ExpectCredentialFields(false, Colour(Api().GetSysColor(COLOR_BTNFACE)));
  EXPECT_FALSE(Bar()->isVisibleTo(form.get()));
  EXPECT_EQ(Bar()->Position(), 0);
  EXPECT_EQ(Bar()->MinPosition(), 0);
  EXPECT_EQ(Bar()->MaxPosition(), 100);
  EXPECT_EQ(Timer()->interval(), 20);
  EXPECT_FALSE(Timer()->isActive());
  EXPECT_TRUE(Status()->text().isEmpty());
  EXPECT_EQ(form->CurrentThread(), nullptr);

  auto* reasons = Find<QComboBox>("ShutdownReasonComboBox");
  EXPECT_FALSE(reasons->isEditable());
  EXPECT_EQ(reasons->currentIndex(), -1);
  EXPECT_EQ(reasons->maxVisibleItems(), 8);
}

TEST_F(MainFormTest, TheComputerNameHasTheFocusWhenTheWindowFirstShows) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  EXPECT_EQ(QApplication::focusWidget(), Name());
}

TEST_F(MainFormTest, TheGlobalPointerFollowsTheNewestWindowAndIsClearedWithIt) {
  auto second = std::make_unique<TMainForm>();
  EXPECT_EQ(MainForm, second.get());
  form.reset(); // an older window going away leaves the newer one in place
  EXPECT_EQ(MainForm, second.get());
  second.reset();
  EXPECT_EQ(MainForm, nullptr);
}

// --- computer-name rule -------------------------------------------------------------

TEST_F(MainFormTest, TypingOneCharacterEnablesTheSixAndDeletingItDisablesThemAgain) {
  QTest::keyClicks(Name(), QStringLiteral("a"));
  ExpectActionControlsEnabled(true);
  EXPECT_FALSE(Find("CancelButton")->isEnabled()); // the rule leaves Cancel alone
  QTest::keyClick(Name(), Qt::Key_Backspace);
  EXPECT_TRUE(Name()->text().isEmpty());
  ExpectActionControlsEnabled(false);
}

TEST_F(MainFormTest, BlanksAndControlCharactersCountAsEmpty) {
  QTest::keyClicks(Name(), QStringLiteral("    "));
  ExpectActionControlsEnabled(false);
  Name()->setText(QStringLiteral(" \t\r\n\x01\x1f "));
  ExpectActionControlsEnabled(false);
  Name()->setText(QString(3, QChar(0)));
  ExpectActionControlsEnabled(false);
  Name()->setText(QStringLiteral("\x7f")); // code 127 is not trimmed
  ExpectActionControlsEnabled(true);
  Name()->setText(QStringLiteral(" \x01x\x01 ")); // a character between them
  ExpectActionControlsEnabled(true);
}

TEST_F(MainFormTest, LeadingAndTrailingBlanksEnableAndTheTextStaysAsTyped) {
  QTest::keyClicks(Name(), QStringLiteral("  ALPHA  "));
  ExpectActionControlsEnabled(true);
  EXPECT_EQ(Name()->text(), QStringLiteral("  ALPHA  "));
}

TEST_F(MainFormTest, NamesOfAnyLengthOrCharacterSetAreHandled) {
  Name()->setText(QString(10000, QLatin1Char('x')));
  ExpectActionControlsEnabled(true);
  EXPECT_EQ(Name()->text().size(), 10000);
  // No length limit, not even the toolkit's default one.
  Name()->setText(QString(40000, QLatin1Char('y')));
  EXPECT_EQ(Name()->text().size(), 40000);
  Name()->setText(QString(10000, QLatin1Char(' ')));
  ExpectActionControlsEnabled(false);
  // Outside the ANSI code page: the characters become "?" and count.
  Name()->setText(QStringLiteral("\u65e5\u672c"));
  ExpectActionControlsEnabled(true);
  Name()->setText(QStringLiteral("\u3000")); // ideographic space: not a blank here
  ExpectActionControlsEnabled(true);
  Name()->setText(QString::fromUcs4(U"\U0001F600"));
  ExpectActionControlsEnabled(true);
  Name()->setText(QStringLiteral("\u00e9")); // in the code page
  ExpectActionControlsEnabled(true);
  Name()->clear();
  ExpectActionControlsEnabled(false);
}

TEST_F(MainFormTest, TheRuleTouchesOnlyTheEnabledStateNeverVisibility) {
  form->EnterBusyState();
  QTest::keyClicks(Name(), QStringLiteral("b"));
  ExpectActionControlsEnabled(true); // in force while busy, too
  for (const char* name :
       {"ShutdownReasonLabel", "ShutdownReasonComboBox", "ShutdownReasonHelpButton"})
    EXPECT_FALSE(Find(name)->isVisibleTo(form.get())) << name;
  EXPECT_TRUE(Find("CancelButton")->isEnabled());
}

// --- credential choice ----------------------------------------------------------------

TEST_F(MainFormTest, ChoosingYesWithTheMouseEnablesTheFieldsAndNoGreysThemKeepingTheText) {
  const QColor window = Colour(Api().GetSysColor(COLOR_WINDOW));
  const QColor face = Colour(Api().GetSysColor(COLOR_BTNFACE));
  auto* yes = Find<QRadioButton>("YesRadioButton");
  auto* no = Find<QRadioButton>("NoRadioButton");
  QTest::mouseClick(yes, Qt::LeftButton);
  EXPECT_TRUE(yes->isChecked());
  ExpectCredentialFields(true, window);

  QTest::keyClicks(Find<QLineEdit>("UserNameEdit"), QStringLiteral("admin"));
  QTest::keyClicks(Find<QLineEdit>("PasswordEdit"), QStringLiteral("s3cret"));
  QTest::keyClicks(Find<QLineEdit>("DomainEdit"), QStringLiteral("CORP"));

  QTest::mouseClick(no, Qt::LeftButton);
  EXPECT_TRUE(no->isChecked());
  EXPECT_FALSE(yes->isChecked());
  ExpectCredentialFields(false, face);
  EXPECT_EQ(Find<QLineEdit>("UserNameEdit")->text(), QStringLiteral("admin"));
  EXPECT_EQ(Find<QLineEdit>("PasswordEdit")->text(), QStringLiteral("s3cret"));
  EXPECT_EQ(Find<QLineEdit>("DomainEdit")->text(), QStringLiteral("CORP"));
}

TEST_F(MainFormTest, AnyMouseButtonReleasedOverARadioButtonAppliesTheChoice) {
  auto* yes = Find<QRadioButton>("YesRadioButton");
  yes->setChecked(true); // no handler runs for a change made this way
  ExpectCredentialFields(false, Colour(Api().GetSysColor(COLOR_BTNFACE)));
  // The right button does not change the choice, but its release is reported.
  QTest::mouseClick(Find("NoRadioButton"), Qt::RightButton);
  EXPECT_TRUE(yes->isChecked());
  ExpectCredentialFields(true, Colour(Api().GetSysColor(COLOR_WINDOW)));
}

TEST_F(MainFormTest, ACharacterKeyOnARadioButtonAppliesTheChoiceOtherKeysDoNot) {
  auto* yes = Find<QRadioButton>("YesRadioButton");
  auto* no = Find<QRadioButton>("NoRadioButton");
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  no->setFocus();
  yes->setChecked(true);
  QTest::keyClick(no, Qt::Key_F5); // types nothing
  ExpectCredentialFields(false, Colour(Api().GetSysColor(COLOR_BTNFACE)));
  QTest::keyClick(no, Qt::Key_Shift);
  ExpectCredentialFields(false, Colour(Api().GetSysColor(COLOR_BTNFACE)));
  QTest::keyClick(no, Qt::Key_X);
  ExpectCredentialFields(true, Colour(Api().GetSysColor(COLOR_WINDOW)));
  no->setChecked(true);
  QTest::keyClick(no, Qt::Key_Return); // Enter types a character, too
  ExpectCredentialFields(false, Colour(Api().GetSysColor(COLOR_BTNFACE)));
}

TEST_F(MainFormTest, ThePasswordIsShownAsStars) {
  auto* password = Find<QLineEdit>("PasswordEdit");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  password->setText(QStringLiteral("abc d"));
  EXPECT_EQ(password->displayText(), QStringLiteral("*****"));
  EXPECT_EQ(password->text(), QStringLiteral("abc d"));
}

// --- busy and idle ----------------------------------------------------------------------

TEST_F(MainFormTest, EnterBusyStateShowsTheRunningLookAndLeavesPositionAndStatusAlone) {
  form->ShowStatusSuccess("Restarting ALPHA");
  QTest::keyClicks(Name(), QStringLiteral("ALPHA"));
  form->EnterBusyState();
  for (const char* name : {"RestartButton", "ShutdownButton", "LogoffButton"})
    EXPECT_FALSE(Find(name)->isEnabled()) << name;
  EXPECT_TRUE(Find("CancelButton")->isEnabled());
  EXPECT_TRUE(Timer()->isActive());
  EXPECT_TRUE(Bar()->isVisibleTo(form.get()));
  EXPECT_EQ(Bar()->Position(), 0);
  for (const char* name :
       {"ShutdownReasonLabel", "ShutdownReasonComboBox", "ShutdownReasonHelpButton"})
    EXPECT_FALSE(Find(name)->isVisibleTo(form.get())) << name;
  EXPECT_EQ(Status()->text(), QStringLiteral("Restarting ALPHA"));
  form->LeaveBusyState();
}

TEST_F(MainFormTest, LeaveBusyStateEnablesTheActionsEvenWithAnEmptyName) {
  form->ShowStatusError("Access Denied");
  form->EnterBusyState();
  Bar()->SetPosition(40);
  ASSERT_TRUE(Name()->text().isEmpty());
  form->LeaveBusyState();
  for (const char* name : {"RestartButton", "ShutdownButton", "LogoffButton"})
    EXPECT_TRUE(Find(name)->isEnabled()) << name;
  EXPECT_FALSE(Find("CancelButton")->isEnabled());
  EXPECT_FALSE(Timer()->isActive());
  EXPECT_EQ(Bar()->Position(), 0);
  EXPECT_FALSE(Bar()->isVisibleTo(form.get()));
  for (const char* name :
       {"ShutdownReasonLabel", "ShutdownReasonComboBox", "ShutdownReasonHelpButton"})
    EXPECT_TRUE(Find(name)->isVisibleTo(form.get())) << name;
  EXPECT_EQ(Status()->text(), QStringLiteral("Error: (Access Denied)")); // the last report stays

  // The next change of the field applies the rule again.
  QTest::keyClicks(Name(), QStringLiteral(" "));
  ExpectActionControlsEnabled(false);
}

// --- status line -------------------------------------------------------------------------

TEST_F(MainFormTest, SuccessIsBlueAndUntrimmedErrorsAreRedTrimmedAndParenthesised) {
  const QColor blue(0, 0, 255), red(255, 0, 0);
  form->ShowStatusSuccess("  BRAVO  was restarted.");
  EXPECT_EQ(Status()->text(), QStringLiteral("  BRAVO  was restarted."));
  EXPECT_EQ(Status()->palette().color(QPalette::WindowText), blue);

  form->ShowStatusError("Access Denied");
  EXPECT_EQ(Status()->text(), QStringLiteral("Error: (Access Denied)"));
  EXPECT_EQ(Status()->palette().color(QPalette::WindowText), red);

  form->ShowStatusError("The network path was not found.\r\n");
  EXPECT_EQ(Status()->text(), QStringLiteral("Error: (The network path was not found.)"));
  form->ShowStatusError(" \t Could not reach X \n");
  EXPECT_EQ(Status()->text(), QStringLiteral("Error: (Could not reach X)"));
  form->ShowStatusError("");
  EXPECT_EQ(Status()->text(), QStringLiteral("Error: ()"));
  form->ShowStatusError("\r\n");
  EXPECT_EQ(Status()->text(), QStringLiteral("Error: ()"));

  form->ShowStatusSuccess("");
  EXPECT_TRUE(Status()->text().isEmpty());
  EXPECT_EQ(Status()->palette().color(QPalette::WindowText), blue);
}

// The pixels of the text in an image, cropped to where there are any.
std::vector<std::string> Ink(const QImage& image) {
  std::vector<std::string> rows;
  int first = image.width(), last = -1;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 96) first = std::min(first, x), last = std::max(last, x);
  for (int y = 0; y < image.height(); ++y) {
    std::string row;
    for (int x = first; x <= last; ++x) row += qGray(image.pixel(x, y)) < 96 ? '#' : '.';
    if (row.find('#') != std::string::npos) rows.push_back(row);
  }
  return rows;
}

TEST_F(MainFormTest, TheNameFieldIsBoldTheWayTheLabelsAre) {
  auto* label = Find<QLabel>("Label2");
  EXPECT_EQ(QFontInfo(Name()->font()).family().toStdString(),
            QFontInfo(label->font()).family().toStdString());
  EXPECT_EQ(Name()->font().letterSpacing(), label->font().letterSpacing());
  // The same text, the same pixels.
  Name()->setText(label->text());
  const auto typed = Ink(Name()->grab().toImage());
  ASSERT_FALSE(typed.empty());
  EXPECT_EQ(typed, Ink(label->grab().toImage()));
}

TEST_F(MainFormTest, StatusTextIsShownLiterallyFromTheAnsiCodePage) {
  form->ShowStatusSuccess("Restarting <b>X</b> & \xe9\x80");
  EXPECT_EQ(Status()->textFormat(), Qt::PlainText); // a name is never markup
  EXPECT_EQ(Status()->text(), QStringLiteral("Restarting <b>X</b> & \u00e9\u20ac"));
}

TEST_F(MainFormTest, TheStatusLineKeepsItsSizeWrapsAndClips) {
  const QSize size(342, 25);
  form->ShowStatusError(std::string(5000, 'w') + " " + std::string(300, 'z'));
  EXPECT_EQ(Status()->size(), size);
  EXPECT_EQ(Status()->minimumSize(), size);
  EXPECT_EQ(Status()->maximumSize(), size);
  EXPECT_TRUE(Status()->wordWrap());
  form->ShowStatusSuccess("Restarting a computer whose name is long enough to need a second "
                          "line and then a third one that does not fit");
  EXPECT_EQ(Status()->size(), size);
  EXPECT_EQ(Status()->geometry().topLeft(), QPoint(9, 80));
  EXPECT_EQ(Bar()->geometry(), QRect(6, 113, 404, 14));
}

// --- tab order ------------------------------------------------------------------------------

const char* const kTabOrder[] = {"ComputerNameEdit",
                                 "ComputerBrowseButton",
                                 "YesRadioButton",
                                 "NoRadioButton",
                                 "UserNameEdit",
                                 "PasswordEdit",
                                 "DomainEdit",
                                 "RestartButton",
                                 "ShutdownButton",
                                 "CancelButton",
                                 "ForceCheckbox",
                                 "LogoffButton",
                                 "ShutdownReasonHelpButton",
                                 "ShutdownReasonComboBox",
                                 "ExitButton"};

TEST_F(MainFormTest, TheFocusChainFollowsTheDesignedTabOrder) {
  std::vector<std::string> chain;
  QWidget* widget = Name();
  do {
    if (widget->focusPolicy() & Qt::TabFocus) chain.push_back(widget->objectName().toStdString());
    widget = widget->nextInFocusChain();
  } while (widget != Name());
  EXPECT_EQ(chain, std::vector<std::string>(std::begin(kTabOrder), std::end(kTabOrder)));
}

TEST_F(MainFormTest, TabWalksTheWindowSkippingDisabledAndHiddenControls) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  auto walk = [&] {
    std::vector<std::string> seen;
    for (int i = 0; i < 20; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      const std::string name = QApplication::focusWidget()->objectName().toStdString();
      if (name == "ComputerNameEdit") break;
      seen.push_back(name);
    }
    return seen;
  };
  // A fresh window: both radio buttons are tab stops, the action controls
  // and the credential fields are disabled.
  EXPECT_EQ(walk(), (std::vector<std::string>{"ComputerBrowseButton", "YesRadioButton",
                                              "NoRadioButton", "ForceCheckbox", "ExitButton"}));
  // The arrow keys move between the two and choose, and Tab still stops at both.
  auto* yes = Find<QRadioButton>("YesRadioButton");
  auto* no = Find<QRadioButton>("NoRadioButton");
  yes->setFocus();
  QTest::keyClick(yes, Qt::Key_Right);
  EXPECT_TRUE(no->hasFocus());
  EXPECT_TRUE(no->isChecked());
  QTest::keyClick(no, Qt::Key_Left);
  EXPECT_TRUE(yes->hasFocus());
  EXPECT_TRUE(yes->isChecked());
  QTest::keyClick(yes, Qt::Key_Tab);
  EXPECT_TRUE(no->hasFocus());
  QTest::mouseClick(no, Qt::LeftButton);

  QTest::keyClicks(Name(), QStringLiteral("ALPHA"));
  QTest::mouseClick(Find("YesRadioButton"), Qt::LeftButton);
  Name()->setFocus();
  // Both radio buttons; Cancel is disabled.
  EXPECT_EQ(walk(), (std::vector<std::string>{
                        "ComputerBrowseButton", "YesRadioButton", "NoRadioButton", "UserNameEdit",
                        "PasswordEdit", "DomainEdit", "RestartButton", "ShutdownButton",
                        "ForceCheckbox", "LogoffButton", "ShutdownReasonHelpButton",
                        "ShutdownReasonComboBox", "ExitButton"}));
  // Busy, with "No" chosen: the reason row is hidden and the fields disabled.
  QTest::mouseClick(Find("NoRadioButton"), Qt::LeftButton);
  form->EnterBusyState();
  Name()->setFocus();
  EXPECT_EQ(walk(),
            (std::vector<std::string>{"ComputerBrowseButton", "YesRadioButton", "NoRadioButton",
                                      "CancelButton", "ForceCheckbox", "ExitButton"}));
  form->LeaveBusyState();
}

// --- event bindings -------------------------------------------------------------------------

TEST_F(MainFormTest, TheProgressTimerDrivesTheAnimation) {
  form->EnterBusyState();
  QTest::qWait(150);
  EXPECT_GT(Bar()->Position(), 0);
  form->LeaveBusyState();
}

TEST_F(MainFormTest, BannerAndLinkClicksOpenThePagesAndChangeNothingElse) {
  test::RecordingWinApi shell;
  ScopedWinApi use(shell);
  QTest::mouseClick(Find("Image1"), Qt::LeftButton, {}, QPoint(380, 40));
  QTest::mouseClick(Find("Label5"), Qt::LeftButton, {}, QPoint(10, 6));
  const auto calls = shell.CallsNamed("ShellExecuteA");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_NE(calls[0].args[2].find(kDownloadPageAddress), std::string::npos);
  EXPECT_NE(calls[1].args[2].find(kProductPageAddress), std::string::npos);
  EXPECT_TRUE(Name()->text().isEmpty());
  ExpectActionControlsEnabled(false);
}

TEST_F(MainFormTest, AClickIsAPressAndAReleaseOverThePicture) {
  auto* banner = Find<TImage>("Image1");
  int clicks = 0;
  QObject::connect(banner, &TImage::clicked, [&] { ++clicks; });
  QTest::mouseClick(banner, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(banner, Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(clicks, 1);
  QTest::mouseRelease(banner, Qt::LeftButton, {}, QPoint(10, 10)); // no press before it
  EXPECT_EQ(clicks, 1);
  QTest::mousePress(banner, Qt::LeftButton, {}, QPoint(10, 10));
  QTest::mouseRelease(banner, Qt::LeftButton, {}, QPoint(500, 10)); // released elsewhere
  EXPECT_EQ(clicks, 1);
}

TEST_F(MainFormTest, TheReasonListDropsDownEightEntriesOfThirteenPixels) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QTest::keyClicks(Name(), QStringLiteral("ALPHA"));
  auto* reasons = Find<QComboBox>("ShutdownReasonComboBox");
  for (int i = reasons->count(); i < 12; ++i) reasons->addItem(QStringLiteral("entry %1").arg(i));
  reasons->showPopup();
  QAbstractItemView* list = reasons->view();
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(list->sizeHintForRow(0), 13);
  EXPECT_EQ(list->viewport()->height(), 8 * 13);
  reasons->hidePopup();
}

} // namespace
