// The XP progress bar: positions and percent, and the exact pixels it draws.
#include "controls/ColorMath.h"
#include "controls/ProgressBarXPUnit.h"
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"
#include "tests/support/RecordingWinApi.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using namespace skarvet;

namespace {

constexpr QRgb kShadow = 0xFF808080;    // COLOR_BTNSHADOW in the tests
constexpr QRgb kHighlight = 0xFFFFFFFF; // COLOR_BTNHIGHLIGHT in the tests
constexpr QRgb kUntouched = 0xFFFF00FF; // what the image holds before painting

QRgb Rgb(int r, int g, int b) {
  return qRgb(r, g, b);
}

// Row colours of the blocks for G = RGB(166, 202, 240).
// Main window, 404 x 14: blocks on rows 2 to 11, step 17, four upper rows.
const std::map<int, QRgb> kMainRows = {{2, Rgb(131, 167, 205)}, {3, Rgb(148, 184, 222)},
                                       {4, Rgb(165, 201, 239)}, {5, Rgb(166, 202, 240)},
                                       {6, Rgb(149, 185, 223)}, {7, Rgb(132, 168, 206)},
                                       {8, Rgb(115, 151, 189)}, {9, Rgb(98, 134, 172)},
                                       {10, Rgb(81, 117, 155)}, {11, Rgb(64, 100, 138)}};
// Browser dialog, 148 x 13: rows 2 to 10, step 19, four upper rows.
const std::map<int, QRgb> kBrowserRows = {
    {2, Rgb(131, 167, 205)}, {3, Rgb(150, 186, 224)}, {4, Rgb(169, 205, 243)},
    {5, Rgb(166, 202, 240)}, {6, Rgb(147, 183, 221)}, {7, Rgb(128, 164, 202)},
    {8, Rgb(109, 145, 183)}, {9, Rgb(90, 126, 164)},  {10, Rgb(71, 107, 145)}};

// What a bar should look like: `blocks` blocks at pitch `pitch`, block k on
// the columns pitch*k+2 .. pitch*k+pitch-1 and on the rows of `rows`; the
// one-pixel frame on the outermost pixels and the highlight inside.
struct Picture {
  int pitch = 8;
  int blocks = 0;
  std::map<int, QRgb> rows;
};

QRgb ExpectedPixel(int x, int y, int width, int height, const Picture& picture) {
  const auto row = picture.rows.find(y);
  if (row != picture.rows.end()) {
    for (int k = 0; k < picture.blocks; ++k)
      if (x >= picture.pitch * k + 2 && x <= picture.pitch * k + picture.pitch - 1)
        return row->second;
  }
  if (x == 0 || y == 0 || x == width - 1 || y == height - 1) return kShadow;
  return kHighlight;
}

// Compares every pixel; reports the first few that differ.
::testing::AssertionResult LooksLike(const QImage& image, const Picture& picture) {
  int wrong = 0;
  std::string report;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb want = ExpectedPixel(x, y, image.width(), image.height(), picture);
      const QRgb got = image.pixel(x, y) | 0xFF000000;
      if (got == want) continue;
      if (++wrong <= 5)
        report += " (" + std::to_string(x) + "," + std::to_string(y) + ") got " +
                  QColor(got).name().toStdString() + " want " + QColor(want).name().toStdString();
    }
  if (wrong == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << wrong << " pixels differ:" << report;
}

QImage Render(TProgressBarXP& bar) {
  QImage image(bar.size(), QImage::Format_RGB32);
  image.fill(kUntouched);
  bar.render(&image);
  return image;
}

// Known system colours for every test here, answered by a recording fake.
class ProgressBarTest : public ::testing::Test {
protected:
  ProgressBarTest() {
    fake.onGetSysColor = [this](int index) -> DWORD {
      switch (index) {
      case COLOR_BTNSHADOW:
        return shadow;
      case COLOR_BTNHIGHLIGHT:
        return highlight;
      case COLOR_GRADIENTACTIVECAPTION:
        return gradient;
      default:
        return RGB(0, 0, 0);
      }
    };
  }

  // A hidden bar of the given size and positions, as a form would load it.
  static void Setup(TProgressBarXP& bar, int width, int height, int position, int maxPosition = 100,
                    int minPosition = 0) {
    bar.resize(width, height);
    bar.SetMaxPosition(maxPosition);
    bar.SetMinPosition(minPosition);
    bar.SetPosition(position);
  }

  DWORD shadow = RGB(128, 128, 128);
  DWORD highlight = RGB(255, 255, 255);
  DWORD gradient = RGB(166, 202, 240);
  test::RecordingWinApi fake;
  ScopedWinApi use{fake};
};

} // namespace

// --- colour steps -----------------------------------------------------------

TEST(ColorMath, LightenAndDarkenAreAllOrNothing) {
  // Every channel must stay strictly below 255 (lighten) or above 0 (darken).
  EXPECT_EQ(LightenColor(RGB(10, 20, 229), 25), RGB(35, 45, 254));
  EXPECT_EQ(LightenColor(RGB(10, 20, 230), 25), RGB(10, 20, 230));
  EXPECT_EQ(LightenColor(RGB(230, 20, 10), 25), RGB(230, 20, 10));
  EXPECT_EQ(DarkenColor(RGB(36, 100, 200), 35), RGB(1, 65, 165));
  EXPECT_EQ(DarkenColor(RGB(100, 35, 200), 35), RGB(100, 35, 200));
  EXPECT_EQ(DarkenColor(RGB(100, 200, 35), 35), RGB(100, 200, 35));
  // A stopped ramp stays stopped.
  DWORD c = RGB(200, 100, 50);
  for (int i = 0; i < 5; ++i) c = DarkenColor(c, 17);
  EXPECT_EQ(c, RGB(166, 66, 16)) << "two steps, then 16 - 17 holds all three";
  // A negative step never wraps a channel around.
  EXPECT_EQ(LightenColor(RGB(5, 100, 100), -10), RGB(5, 100, 100));
  EXPECT_EQ(DarkenColor(RGB(250, 100, 100), -10), RGB(250, 100, 100));
  EXPECT_EQ(LightenColor(RGB(50, 100, 100), -10), RGB(40, 90, 90));
}

TEST(ColorMath, SystemColourReferencesAreLookedUpAtEachUse) {
  test::RecordingWinApi fake;
  DWORD caption = RGB(166, 202, 240);
  fake.onGetSysColor = [&](int index) -> DWORD {
    return index == COLOR_GRADIENTACTIVECAPTION ? caption : RGB(1, 2, 3);
  };
  ScopedWinApi use(fake);
  EXPECT_EQ(ColorToRGB(clGradientActiveCaption), RGB(166, 202, 240));
  EXPECT_EQ(DarkenColor(clGradientActiveCaption, 35), RGB(131, 167, 205));
  caption = RGB(100, 100, 100);
  EXPECT_EQ(LightenColor(clGradientActiveCaption, 25), RGB(125, 125, 125));
  // An unchanged result is the colour as passed in, still a reference.
  caption = RGB(240, 240, 240);
  EXPECT_EQ(LightenColor(clGradientActiveCaption, 25), clGradientActiveCaption);
  EXPECT_EQ(fake.CountOf("GetSysColor"), 4);
  for (const auto& call : fake.CallsNamed("GetSysColor")) EXPECT_EQ(call.args.at(0), "27");
  // Plain colours never reach the system.
  EXPECT_EQ(ColorToRGB(RGB(9, 8, 7)), RGB(9, 8, 7));
  EXPECT_EQ(fake.CountOf("GetSysColor"), 4);
}

TEST(ColorMath, WalkingOnlyTheVisibleRowsGivesTheSameColours) {
  // Tall blocks settle their ramps early; the walk restricted to a window of
  // rows must colour each of them as the full walk does.
  for (const DWORD gradient : {RGB(166, 202, 240), RGB(200, 100, 50), RGB(3, 250, 128)})
    for (const int hb : {-2, -1, 0, 1, 2, 9, 40, 299, 1000}) {
      const BlockShading shading(10, 10 + hb, gradient);
      std::map<std::int64_t, DWORD> full;
      int visits = 0;
      shading.ForEachRow([&](std::int64_t y, DWORD c) {
        EXPECT_TRUE(full.emplace(y, c).second) << "row " << y << " visited twice";
        ++visits;
      });
      EXPECT_EQ(visits, shading.RowCount());
      for (const auto& [first, last] : std::vector<std::pair<int, int>>{
               {0, 5}, {11, 11}, {15, 30}, {500, 520}, {1009, 1100}, {-50, 2000}}) {
        std::map<std::int64_t, DWORD> part;
        shading.ForEachRow([&](std::int64_t y, DWORD c) { part.emplace(y, c); }, first, last);
        std::map<std::int64_t, DWORD> expected;
        for (const auto& [y, c] : full)
          if (y >= first && y <= last) expected.emplace(y, c);
        EXPECT_EQ(part, expected) << "hb " << hb << " rows " << first << ".." << last;
      }
    }
}

// --- positions and percent -------------------------------------------------

TEST_F(ProgressBarTest, StartsAtZeroOfAHundred) {
  TProgressBarXP bar;
  EXPECT_EQ(bar.MaxPosition(), 100);
  EXPECT_EQ(bar.MinPosition(), 0);
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(bar.Percent(), 0);
}

// A form loads the bar's positions in the order it writes them, and each
// write already clamps against the other two: every form that holds a bar
// writes all three, in the order the bar publishes them.
TEST_F(ProgressBarTest, FormsWriteAllThreePositionsInTheOrderTheBarPublishesThem) {
  const QDir forms(QFileInfo(QString::fromUtf8(__FILE__)).dir().filePath("../resources"));
  int bars = 0;
  for (const QString& name : forms.entryList({QStringLiteral("*.ui")})) {
    QFile file(forms.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
    const QString form = QString::fromUtf8(file.readAll());
    // A bar's own properties come before any widget nested after it.
    for (QString bar : form.split(QStringLiteral("class=\"skarvet::TProgressBarXP\"")).mid(1)) {
      bar.truncate(bar.indexOf(QStringLiteral("</widget>")));
      std::vector<qsizetype> at;
      for (const char* property : {"MaxPosition", "MinPosition", "Position"})
        at.push_back(bar.indexOf(QStringLiteral("name=\"%1\"").arg(QLatin1String(property))));
      EXPECT_TRUE(at[0] >= 0 && at[0] < at[1] && at[1] < at[2]) << name.toStdString();
      ++bars;
    }
  }
  EXPECT_EQ(bars, 2); // the main window's and the browser dialog's
}

TEST_F(ProgressBarTest, WritesAreClampedInOrder) {
  TProgressBarXP bar;
  bar.SetPosition(150);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetPosition(-5);
  EXPECT_EQ(bar.Position(), 0);

  // The lower end wins: a MaxPosition below MinPosition is raised to it.
  bar.SetMinPosition(20);
  bar.SetPosition(50);
  bar.SetMaxPosition(10);
  EXPECT_EQ(bar.MaxPosition(), 20);
  EXPECT_EQ(bar.MinPosition(), 20);
  EXPECT_EQ(bar.Position(), 20);
  EXPECT_EQ(bar.Percent(), 0);

  // A MinPosition above MaxPosition takes MaxPosition and Position with it.
  TProgressBarXP other;
  other.SetPosition(30);
  other.SetMinPosition(120);
  EXPECT_EQ(other.MinPosition(), 120);
  EXPECT_EQ(other.MaxPosition(), 120);
  EXPECT_EQ(other.Position(), 120);

  // Raising MinPosition under MaxPosition pulls Position up only.
  TProgressBarXP third;
  third.SetPosition(10);
  third.SetMinPosition(40);
  EXPECT_EQ(third.MaxPosition(), 100);
  EXPECT_EQ(third.Position(), 40);
  EXPECT_EQ(third.Percent(), 0);
  // Lowering MaxPosition under Position pulls Position down.
  third.SetPosition(90);
  third.SetMaxPosition(70);
  EXPECT_EQ(third.Position(), 70);
  EXPECT_EQ(third.Percent(), 100);
}

TEST_F(ProgressBarTest, ZeroSpanForcesTheOneValueAndGivesNoPercent) {
  TProgressBarXP bar;
  Setup(bar, 404, 14, 100, 50, 50);
  EXPECT_EQ(bar.Position(), 50);
  EXPECT_EQ(bar.Percent(), 0);
  bar.SetPosition(7);
  EXPECT_EQ(bar.Position(), 50);
  EXPECT_EQ(bar.Percent(), 0);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 0, kMainRows}));
}

TEST_F(ProgressBarTest, PercentIsRoundedHalfToEven) {
  TProgressBarXP bar;
  for (int position = 0; position <= 100; ++position) {
    bar.SetPosition(position);
    ASSERT_EQ(bar.Percent(), position);
  }
  bar.SetMaxPosition(3);
  bar.SetPosition(1);
  EXPECT_EQ(bar.Percent(), 33);
  bar.SetPosition(2);
  EXPECT_EQ(bar.Percent(), 67);
  bar.SetPosition(3);
  EXPECT_EQ(bar.Percent(), 100);
  // Exact halves go to the even neighbour, including 23/40 = 57.5, which a
  // naive 23.0 / 40 * 100 makes 57.49999...
  bar.SetMaxPosition(8);
  bar.SetPosition(1);
  EXPECT_EQ(bar.Percent(), 12);
  bar.SetPosition(3);
  EXPECT_EQ(bar.Percent(), 38);
  bar.SetMaxPosition(40);
  bar.SetPosition(23);
  EXPECT_EQ(bar.Percent(), 58);
  // A negative range works the same.
  bar.SetMinPosition(-300);
  bar.SetMaxPosition(-100);
  bar.SetPosition(-200);
  EXPECT_EQ(bar.Percent(), 50);
}

TEST_F(ProgressBarTest, TheFullIntRangeNeverOverflows) {
  TProgressBarXP bar;
  bar.SetMinPosition(INT_MIN);
  bar.SetMaxPosition(INT_MAX);
  bar.SetPosition(INT_MIN);
  EXPECT_EQ(bar.Percent(), 0);
  bar.SetPosition(INT_MIN + 1);
  EXPECT_EQ(bar.Percent(), 0);
  bar.SetPosition(0);
  EXPECT_EQ(bar.Percent(), 50);
  bar.SetPosition(INT_MAX);
  EXPECT_EQ(bar.Percent(), 100);
  bar.resize(404, 14);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 50, kMainRows}));
}

TEST_F(ProgressBarTest, PositionsCanBeWrittenByNameAsFormsDo) {
  TProgressBarXP bar;
  EXPECT_TRUE(bar.setProperty("MaxPosition", 100));
  EXPECT_TRUE(bar.setProperty("MinPosition", 0));
  EXPECT_TRUE(bar.setProperty("Position", 150));
  EXPECT_EQ(bar.property("Position").toInt(), 100);
  EXPECT_EQ(bar.Percent(), 100);
}

// --- pixels ----------------------------------------------------------------

TEST_F(ProgressBarTest, MainWindowInstanceMatchesTheWorkedGeometryAndColours) {
  TProgressBarXP bar;
  Setup(bar, 404, 14, 100);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 50, kMainRows}));
  // Spot checks of the layout: block 49 ends two columns short of the frame.
  const QImage image = Render(bar);
  EXPECT_EQ(image.pixel(394, 5), Rgb(166, 202, 240));
  EXPECT_EQ(image.pixel(399, 11), Rgb(64, 100, 138));
  EXPECT_EQ(image.pixel(400, 5), kHighlight);
  EXPECT_EQ(image.pixel(401, 5), kHighlight);
  EXPECT_EQ(image.pixel(402, 5), kHighlight);
  EXPECT_EQ(image.pixel(403, 5), kShadow);
}

TEST_F(ProgressBarTest, BlockCountFollowsPosition) {
  // 50 blocks in a full bar; halves of a block round to even.
  const std::pair<int, int> cases[] = {{0, 0}, {1, 0},   {2, 1},   {3, 2},   {5, 2},
                                       {7, 4}, {50, 25}, {57, 28}, {99, 50}, {100, 50}};
  for (const auto& [position, blocks] : cases) {
    TProgressBarXP bar;
    Setup(bar, 404, 14, position);
    EXPECT_TRUE(LooksLike(Render(bar), {8, blocks, kMainRows})) << "Position " << position;
  }
  // 45 blocks at 70 %: 31.5 rounds to 32 (a naive 45 * 0.7 gives 31.4999...).
  TProgressBarXP bar;
  Setup(bar, 364, 14, 70);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 32, kMainRows}));
}

TEST_F(ProgressBarTest, BrowserDialogInstanceMatchesTheWorkedGeometryAndColours) {
  TProgressBarXP bar;
  Setup(bar, 148, 13, 100);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 18, kBrowserRows}));
  bar.SetPosition(50);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 9, kBrowserRows}));
  bar.SetPosition(0);
  EXPECT_TRUE(LooksLike(Render(bar), {8, 0, kBrowserRows}));
}

TEST_F(ProgressBarTest, RoundedUpFullBarRunsIntoTheRightFrameColumn) {
  TProgressBarXP bar;
  Setup(bar, 48, 14, 100);
  const QImage image = Render(bar);
  EXPECT_TRUE(LooksLike(image, {8, 6, kMainRows}));
  EXPECT_EQ(image.pixel(47, 2), Rgb(131, 167, 205));
  EXPECT_EQ(image.pixel(47, 11), Rgb(64, 100, 138));
  EXPECT_EQ(image.pixel(47, 1), kShadow);
  EXPECT_EQ(image.pixel(47, 12), kShadow);
}

TEST_F(ProgressBarTest, NarrowAndLowBarsShowFrameAndBackgroundOnly) {
  for (int width = 1; width <= 4; ++width) {
    TProgressBarXP bar;
    Setup(bar, width, 14, 100);
    EXPECT_TRUE(LooksLike(Render(bar), {8, 0, {}})) << "width " << width;
  }
  // Heights 1 and 2 give a block pitch of 0; 3 to 5 blocks without width or
  // rows. None may draw a block or fail.
  for (int height = 1; height <= 5; ++height) {
    TProgressBarXP bar;
    Setup(bar, 60, height, 100);
    EXPECT_TRUE(LooksLike(Render(bar), {8, 0, {}})) << "height " << height;
  }
}

TEST_F(ProgressBarTest, AtHeightSixTheLowerRampAloneShades) {
  // Pitch 3, blocks one column wide; 36 / 3 = 12 blocks when full. The lower
  // ramp starts at G (240 + 25 is too light) and darkens by 150 once.
  TProgressBarXP bar;
  Setup(bar, 40, 6, 100);
  EXPECT_TRUE(LooksLike(
      Render(bar), {3, 12, {{1, Rgb(166, 202, 240)}, {2, Rgb(16, 52, 90)}, {3, Rgb(16, 52, 90)}}}));
}

TEST_F(ProgressBarTest, DrawBarHonoursItsRectangleAndTouchesNothingElse) {
  QImage image(440, 40, QImage::Format_RGB32);
  image.fill(kUntouched);
  {
    QPainter canvas(&image);
    DrawBar(canvas, 20, 10, 20 + 404, 10 + 14, 100);
  }
  const QImage inside = image.copy(20, 10, 404, 14);
  EXPECT_TRUE(LooksLike(inside, {8, 50, kMainRows}));
  int outside = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((x < 20 || x >= 424 || y < 10 || y >= 24) && image.pixel(x, y) != kUntouched) ++outside;
  EXPECT_EQ(outside, 0);

  // The same through a translated painter.
  QImage shifted(440, 40, QImage::Format_RGB32);
  shifted.fill(kUntouched);
  {
    QPainter canvas(&shifted);
    canvas.translate(15, 5);
    DrawBar(canvas, 5, 5, 5 + 404, 5 + 14, 100);
  }
  EXPECT_EQ(shifted, image);
}

TEST_F(ProgressBarTest, DegenerateAndHugeRectanglesDrawOnlyWhatCanShow) {
  QImage image(60, 30, QImage::Format_RGB32);
  image.fill(kUntouched);
  QPainter canvas(&image);
  DrawBar(canvas, 5, 5, 5, 5, 100); // empty
  DrawBlock(canvas, 10, 10, 10, 10);
  EXPECT_EQ(image.pixel(5, 5), kUntouched);
  EXPECT_EQ(image.pixel(10, 10), kUntouched);

  // The whole int range: one block wider than the image covers it, on rows
  // of the lower ramp (G unchanged, step 0). This must finish at once.
  DrawBar(canvas, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 100);
  EXPECT_EQ(image.pixel(0, 0), Rgb(166, 202, 240));
  EXPECT_EQ(image.pixel(59, 29), Rgb(166, 202, 240));
  DrawBar(canvas, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0);
  EXPECT_EQ(image.pixel(0, 0), kHighlight);
  // A bar wider than any image (R - L beyond the int range), height 25:
  // pitch 15, blocks on columns 15k - 3 .. 15k + 9 and rows -3 .. 17.
  DrawBar(canvas, -5, -5, INT_MAX, 20, 100);
  EXPECT_EQ(image.pixel(25, 14), kHighlight);
  EXPECT_EQ(image.pixel(26, 14), kHighlight);
  EXPECT_EQ(image.pixel(27, 17), image.pixel(39, 17));
  EXPECT_NE(image.pixel(27, 17), kHighlight);
  EXPECT_EQ(image.pixel(30, 18), kHighlight);
  EXPECT_EQ(image.pixel(30, 19), kShadow);
}

TEST_F(ProgressBarTest, SystemColourChangesShowOnTheNextPaint) {
  TProgressBarXP bar;
  Setup(bar, 404, 14, 100);
  ASSERT_TRUE(LooksLike(Render(bar), {8, 50, kMainRows}));

  // Darkening stops for good once blue would drop below 1 (7 - 17).
  gradient = RGB(200, 100, 50);
  const QImage image = Render(bar);
  const std::map<int, QRgb> rows = {
      {2, Rgb(165, 65, 15)},  {3, Rgb(182, 82, 32)}, {4, Rgb(199, 99, 49)}, {5, Rgb(225, 125, 75)},
      {6, Rgb(208, 108, 58)}, {7, Rgb(191, 91, 41)}, {8, Rgb(174, 74, 24)}, {9, Rgb(157, 57, 7)},
      {10, Rgb(157, 57, 7)},  {11, Rgb(157, 57, 7)}};
  EXPECT_TRUE(LooksLike(image, {8, 50, rows}));

  shadow = RGB(1, 2, 3);
  highlight = RGB(4, 5, 6);
  const QImage recoloured = Render(bar);
  EXPECT_EQ(recoloured.pixel(0, 0), Rgb(1, 2, 3));
  EXPECT_EQ(recoloured.pixel(403, 13), Rgb(1, 2, 3));
  EXPECT_EQ(recoloured.pixel(1, 1), Rgb(4, 5, 6));
  EXPECT_EQ(recoloured.pixel(8, 5), Rgb(4, 5, 6));
  EXPECT_EQ(recoloured.pixel(2, 2), Rgb(165, 65, 15));
}

TEST(ProgressBarSimulatedColours, FollowsTheSystemColourSetting) {
  SimulatedWinApi system(sim::Network::Default(), std::chrono::milliseconds(0));
  ScopedWinApi use(system);
  TProgressBarXP bar;
  bar.resize(148, 13);
  bar.SetPosition(100);
  QImage image(bar.size(), QImage::Format_RGB32);
  bar.render(&image);
  EXPECT_EQ(image.pixel(2, 5), Rgb(166, 202, 240));
  system.SetSysColor(COLOR_GRADIENTACTIVECAPTION, RGB(100, 150, 200));
  bar.render(&image);
  EXPECT_EQ(image.pixel(2, 5), Rgb(125, 175, 225));
  EXPECT_EQ(image.pixel(2, 2), Rgb(65, 115, 165));
}

// --- repainting ------------------------------------------------------------

namespace {
class PaintCounter : public QObject {
public:
  int paints = 0;
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};
} // namespace

TEST_F(ProgressBarTest, EveryWriteRepaintsBeforeReturningWhenShown) {
  TProgressBarXP bar;
  bar.resize(404, 14);
  PaintCounter counter;
  bar.installEventFilter(&counter);

  // Hidden: nothing is drawn.
  bar.SetPosition(10);
  bar.SetMaxPosition(100);
  EXPECT_EQ(counter.paints, 0);

  bar.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
  const int before = counter.paints;
  bar.SetPosition(12);
  EXPECT_EQ(counter.paints, before + 1);
  bar.SetPosition(12); // the same value repaints too
  EXPECT_EQ(counter.paints, before + 2);
  bar.SetMaxPosition(100);
  EXPECT_EQ(counter.paints, before + 3);
  bar.SetMinPosition(0);
  EXPECT_EQ(counter.paints, before + 4);
  bar.SetPosition(500); // clamped, still one paint
  EXPECT_EQ(counter.paints, before + 5);

  // Each paint reads the system colours afresh.
  fake.Clear();
  bar.SetPosition(50);
  EXPECT_GT(fake.CountOf("GetSysColor"), 0);
  bool askedShadow = false, askedHighlight = false, askedGradient = false;
  for (const auto& call : fake.CallsNamed("GetSysColor")) {
    askedShadow |= call.args.at(0) == "16";
    askedHighlight |= call.args.at(0) == "20";
    askedGradient |= call.args.at(0) == "27";
  }
  EXPECT_TRUE(askedShadow && askedHighlight && askedGradient);

  bar.hide();
  const int hidden = counter.paints;
  bar.SetPosition(60);
  EXPECT_EQ(counter.paints, hidden);
  EXPECT_EQ(bar.Position(), 60);
}
