// The windows on a scaled display, rendered offscreen at the scale the
// environment sets (QT_SCALE_FACTOR; CTest runs this program at 1.5 and 2):
// text in a scalable face at the scaled size, with strokes of about one
// pixel per scale and a bold that is bolder, glyphs that do not run
// together, every text inside its control, pictures from their
// double-size artwork, and the self-drawn bar and tree lines in whole
// display pixels.
#include "app/Application.h"
#include "controls/ImageUnit.h"
#include "controls/JpegImage.h"
#include "controls/ProgressBarXPUnit.h"
#include "controls/ShutdownReasonHelpFormUnit.h"
#include "mainwindow/MainFormUnit.h"
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "tests/test_networkbrowser_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace skarvet {
namespace {

// What a label shows: its ink (the pixels nearer the text colour than the
// background), in display pixels.
struct Ink {
  QImage image;
  std::vector<std::vector<bool>> at; // [y][x]

  explicit Ink(QWidget* widget)
      : image(widget->grab().toImage().convertToFormat(QImage::Format_RGB32)) {
    std::map<QRgb, int> count;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) ++count[image.pixel(x, y)];
    const QRgb background = std::max_element(count.begin(), count.end(), [](auto& a, auto& b) {
                              return a.second < b.second;
                            })->first;
    auto distance = [&](QRgb c) {
      return std::abs(qRed(c) - qRed(background)) + std::abs(qGreen(c) - qGreen(background)) +
             std::abs(qBlue(c) - qBlue(background));
    };
    int strongest = 0;
    for (auto& [colour, n] : count) strongest = std::max(strongest, distance(colour));
    at.assign(image.height(), std::vector<bool>(image.width(), false));
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        at[y][x] = distance(image.pixel(x, y)) * 2 > strongest;
  }

  // Rows from the first to the last with ink.
  int Height() const {
    int first = -1, last = -1;
    for (int y = 0; y < int(at.size()); ++y)
      if (std::find(at[y].begin(), at[y].end(), true) != at[y].end())
        (first < 0 ? first : last) = y, last = y;
    return first < 0 ? 0 : last - first + 1;
  }

  // Lengths of the horizontal runs of ink, row by row.
  std::vector<int> Runs() const {
    std::vector<int> runs;
    for (const auto& row : at) {
      int run = 0;
      for (std::size_t x = 0; x <= row.size(); ++x) {
        if (x < row.size() && row[x]) {
          ++run;
        } else if (run) {
          runs.push_back(run);
          run = 0;
        }
      }
    }
    return runs;
  }

  double MeanRun() const {
    const std::vector<int> runs = Runs();
    double sum = 0;
    for (int r : runs) sum += r;
    return runs.empty() ? 0 : sum / runs.size();
  }

  // Groups of inked columns separated by blank ones, between two columns,
  // looking at the rows above `baseline` only (not at an underline).
  int Blobs(int from, int to, int baseline) const {
    int blobs = 0;
    bool inBlob = false;
    for (int x = std::max(0, from); x < std::min(to, image.width()); ++x) {
      bool inked = false;
      for (int y = 0; y < std::min(baseline, int(at.size())); ++y) inked = inked || at[y][x];
      if (inked && !inBlob) ++blobs;
      inBlob = inked;
    }
    return blobs;
  }
};

class DisplayScaleTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { RegisterApplicationFonts(); }

  void SetUp() override {
    scale = qApp->devicePixelRatio();
    if (scale == 1) GTEST_SKIP() << "runs on a scaled display: set QT_SCALE_FACTOR (1.5, 2)";
    form = std::make_unique<TMainForm>();
  }

  template <typename T = QWidget> T* Child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QString::fromLatin1(name));
  }

  qreal scale = 1;
  std::unique_ptr<TMainForm> form;
};

TEST_F(DisplayScaleTest, TextIsDrawnAtTheScaledSizeWithStrokesOfTheScaleAndARealBold) {
  auto* regular = Child<QLabel>(form.get(), "Label4"); // "Need to make this change ..."
  auto* bold = Child<QLabel>(form.get(), "Label3");    // "Step 2 - Authentication: ..."
  const Ink plain(regular), heavy(bold);

  // Glyphs of the 100 % bitmap font would stay about 11 pixels high.
  const int lineHeight = regular->fontMetrics().height();
  EXPECT_GE(plain.Height(), 0.7 * lineHeight * scale)
      << "text " << plain.Height() << " pixels high";
  EXPECT_GE(heavy.Height(), 0.7 * lineHeight * scale)
      << "text " << heavy.Height() << " pixels high";

  // Regular strokes: one pixel per scale, give or take the edge pixels.
  std::vector<int> runs = plain.Runs();
  std::map<int, int> lengths;
  for (int r : runs) ++lengths[r];
  const int common = std::max_element(lengths.begin(), lengths.end(), [](auto& a, auto& b) {
                       return a.second < b.second;
                     })->first;
  EXPECT_GE(common, std::floor(scale)) << "regular strokes mostly " << common << " pixels wide";
  EXPECT_LE(common, std::ceil(scale)) << "regular strokes mostly " << common << " pixels wide";
  // And bold is bolder: thicker strokes on average.
  EXPECT_GT(heavy.MeanRun(), plain.MeanRun() * 1.15)
      << "bold " << heavy.MeanRun() << ", regular " << plain.MeanRun();
}

TEST_F(DisplayScaleTest, GlyphsOfAWordDoNotRunTogether) {
  // Words of the labels the earlier fault ran together, regular and bold.
  const struct {
    const char* label;
    const char* word;
  } words[] = {{"Label3", "Authentication:"},
               {"Label3", "another"},
               {"Label2", "Computer"},
               {"Label4", "computers"},
               {"Label5", "Brandolin"}};
  for (const auto& [name, word] : words) {
    auto* label = Child<QLabel>(form.get(), name);
    const QString text = label->text();
    const int at = text.indexOf(QLatin1String(word));
    ASSERT_GE(at, 0) << word;
    const QFontMetricsF metrics(label->font());
    const int from = int(std::floor(metrics.horizontalAdvance(text.left(at)) * scale));
    const int to =
        int(std::ceil(metrics.horizontalAdvance(text.left(at + int(strlen(word)))) * scale));
    const Ink ink(label);
    // Proportional letters may lean on one neighbour ("Br"); the others
    // stand apart. (A bold drawn twice, half a glyph's gap apart, joins
    // half of them.)
    const int baseline = int(std::floor(label->fontMetrics().ascent() * scale));
    EXPECT_GE(ink.Blobs(from, to, baseline), int(strlen(word)) - 1) << word << " in " << name;
  }
}

// Every text fits its control, and no two controls of a panel overlap.
void ExpectTextsFit(QWidget* window) {
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    QString text;
    int room = widget->width();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      text = label->text();
      if (label->wordWrap()) {
        const QRect needed = label->fontMetrics().boundingRect(
            QRect(0, 0, label->width(), 10000), Qt::TextWordWrap | label->alignment(), text);
        EXPECT_LE(needed.height(), label->height()) << widget->objectName().toStdString();
        continue;
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      text = button->text();
      if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(button);
        const bool radio = qobject_cast<QRadioButton*>(button);
        room -= button->style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth
                                                   : QStyle::PM_IndicatorWidth,
                                             &option, button) +
                button->style()->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing
                                                   : QStyle::PM_CheckBoxLabelSpacing,
                                             &option, button);
      }
    }
    if (text.isEmpty()) continue;
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), room)
        << widget->objectName().toStdString() << ": \"" << text.toStdString() << "\"";
  }
  for (QWidget* panel : window->findChildren<QWidget*>()) {
    const QList<QWidget*> children = panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (int i = 0; i < children.size(); ++i)
      for (int j = i + 1; j < children.size(); ++j) {
        if (children[i]->isHidden() || children[j]->isHidden()) continue;
        EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
            << children[i]->objectName().toStdString() << " and "
            << children[j]->objectName().toStdString();
      }
  }
}

TEST_F(DisplayScaleTest, EveryTextFitsItsControl) {
  ExpectTextsFit(form.get());
  TShutdownReasonHelpForm help;
  ExpectTextsFit(&help);
  TComputerBrowserForm browser;
  ExpectTextsFit(&browser);
}

TEST_F(DisplayScaleTest, PicturesComeFromTheirDoubleSizeArtwork) {
  TComputerBrowserForm browser;
  for (const QPixmap& image : browser.ImageList1()) {
    EXPECT_EQ(image.devicePixelRatio(), 2);
    EXPECT_EQ(image.size(), QSize(32, 32));
  }
  // At 200 % the banner is its double-size artwork, pixel for pixel.
  if (scale != 2) return;
  const QImage banner =
      Child<TImage>(form.get(), "Image1")->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage artwork = LoadJpegFile(QStringLiteral(":/resources/images/banner@2x.jpg"));
  ASSERT_EQ(artwork.size(), QSize(856, 170));
  EXPECT_EQ(banner.copy(0, 0, 856, 170), artwork.convertToFormat(QImage::Format_RGB32));
}

TEST_F(DisplayScaleTest, ProgressBarIsDrawnInWholeDisplayPixels) {
  auto* bar = Child<TProgressBarXP>(form.get(), "StatusProgressBar");
  bar->SetPosition(50);
  const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRgb frame = image.pixel(0, image.height() / 2);
  // A frame one display pixel wide all round.
  EXPECT_NE(image.pixel(1, image.height() / 2), frame);
  EXPECT_NE(image.pixel(image.width() / 2, 1), image.pixel(image.width() / 2, 0));
  // Blocks of one width, gaps of one width: edges on whole pixels.
  std::map<int, int> blockWidths;
  const int y = image.height() / 2;
  const QRgb background = image.pixel(1, y);
  int run = 0;
  for (int x = 2; x < image.width() / 2; ++x) {
    if (image.pixel(x, y) != background) {
      ++run;
    } else if (run) {
      ++blockWidths[run];
      run = 0;
    }
  }
  EXPECT_EQ(blockWidths.size(), 1u) << "blocks of " << blockWidths.size() << " different widths";
}

TEST_F(DisplayScaleTest, TreeLinesAreDottedEveryOtherDisplayPixel) {
  test::HoldingWinApi net;
  ScopedWinApi use{net};
  {
    TComputerBrowserForm browser;
    browser.show();
    TNetworkBrowser* tree = browser.NetworkBrowser();
    ASSERT_TRUE(test::WaitFor([&] { return tree->isEnabled() && tree->topLevelItemCount() > 1; }));
    const QImage image = tree->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // The root column: dots one display pixel long, one pixel apart.
    const int x = qRound((tree->indentation() / 2) * scale);
    const QRgb base = image.pixel(image.width() - 1, 0);
    const QRect first = tree->visualItemRect(tree->topLevelItem(0));
    const QRect second = tree->visualItemRect(tree->topLevelItem(1));
    int dots = 0, longest = 0, run = 0;
    // Between the expand boxes of the first two domains.
    for (int y = qRound((first.center().y() + 6) * scale);
         y < qRound((second.center().y() - 6) * scale); ++y) {
      if (image.pixel(x, y) != base) {
        ++run;
        longest = std::max(longest, run);
        ++dots;
      } else {
        run = 0;
      }
    }
    EXPECT_GT(dots, 2);
    EXPECT_EQ(longest, 1) << "dots " << longest << " display pixels long";
    browser.hide();
    net.Release();
  }
  EXPECT_TRUE(test::AllWorkersGone());
}

} // namespace
} // namespace skarvet
