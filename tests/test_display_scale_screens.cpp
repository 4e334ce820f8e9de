// A window moved between a screen at 100 % and one at 200 % (two offscreen
// screens: CTest runs this program with tests/two-screens.json): its text
// follows, into the scalable stand-in and back into the design font, with
// the bold and the label widths each needs.
#include "app/Application.h"
#include "controls/ClassicStyle.h"
#include "controls/DisplayScale.h"
#include "mainwindow/MainFormUnit.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

namespace skarvet {
namespace {

QScreen* ScreenOfRatio(qreal ratio) {
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->devicePixelRatio() == ratio) return screen;
  return nullptr;
}

TEST(DisplayScaleScreens, TextFollowsTheWindowToAScreenOfAnotherScale) {
  RegisterApplicationFonts();
  QScreen* plain = ScreenOfRatio(1);
  QScreen* scaled = ScreenOfRatio(2);
  if (!plain || !scaled)
    GTEST_SKIP() << "needs a screen at 100 % and one at 200 % (two-screens.json)";

  TMainForm form;
  form.show();
  form.windowHandle()->setScreen(plain);
  auto* heading = form.findChild<QLabel*>(QStringLiteral("Label3"));
  auto* user = form.findChild<QLabel*>(QStringLiteral("UserNameLabel"));
  const int userRight = user->geometry().right();
  const QFont designBold = heading->font();
  EXPECT_EQ(designBold.family(), QLatin1String(kDesignFontFamily));

  form.windowHandle()->setScreen(scaled);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.devicePixelRatioF(), 2);
  EXPECT_EQ(heading->font().family(), DesignFontFamily(2));
  EXPECT_NE(heading->font().family(), QLatin1String(kDesignFontFamily));
  EXPECT_FALSE(TClassicStyle::DrawsSyntheticBold(heading->font()));
  // The labels sized themselves to the new face and kept their right edge.
  EXPECT_EQ(heading->width(), heading->sizeHint().width() +
                                  (TClassicStyle::NeedsSyntheticBold(heading->font()) ? 1 : 0));
  EXPECT_EQ(user->geometry().right(), userRight);

  form.windowHandle()->setScreen(plain);
  QCoreApplication::processEvents();
  EXPECT_EQ(heading->font().family(), QLatin1String(kDesignFontFamily));
  EXPECT_EQ(heading->font().letterSpacing(), designBold.letterSpacing());
  EXPECT_EQ(heading->font().letterSpacingType(), designBold.letterSpacingType());
  EXPECT_EQ(user->geometry().right(), userRight);
}

} // namespace
} // namespace skarvet
