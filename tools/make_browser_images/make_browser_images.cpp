// Draws the pictures of the computer browser dialog and writes them into the
// resources folder given on the command line (see CMakeLists.txt):
//   images/browser_computer_globe.png  16 x 16, a monitor before a globe
//   images/browser_computer.png        16 x 16, a monitor alone
//   images/browser_checked.png         16 x 16, a framed box with a tick
//   images/browser_unchecked.png       16 x 16, the same box, empty
//   images/browser_page_computer.png   48 x 48, a text page behind a
//                                      light-blue computer case
// and each PNG at twice the size as NAME@2x.png, for scaled displays.
// Usage: make_browser_images <resources folder>   (QT_QPA_PLATFORM=offscreen)
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

QImage Blank(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A rectangle in the Windows manner: outline on its outermost pixels, the
// inside filled. Right and bottom inclusive.
void Box(QPainter& p, int left, int top, int right, int bottom, QColor outline, QColor fill) {
  p.fillRect(QRect(QPoint(left, top), QPoint(right, bottom)), outline);
  p.fillRect(QRect(QPoint(left + 1, top + 1), QPoint(right - 1, bottom - 1)), fill);
}

void Pixel(QPainter& p, int x, int y, QColor colour) {
  p.fillRect(QRect(x, y, 1, 1), colour);
}

// ---------------------------------------------------------------------------
// The tree's image list

// A monitor whose bezel spans (left, top) to (right, bottom), with its neck
// and foot below it.
void DrawMonitor(QPainter& p, int left, int top, int right, int bottom) {
  const QColor outline(51, 51, 51);
  const QColor bezel(212, 208, 200);
  Box(p, left, top, right, bottom, outline, bezel);
  // Light upper and left inner edges give the bezel some depth.
  p.fillRect(QRect(QPoint(left + 1, top + 1), QPoint(right - 1, top + 1)), QColor(255, 255, 255));
  p.fillRect(QRect(QPoint(left + 1, top + 1), QPoint(left + 1, bottom - 1)), QColor(255, 255, 255));
  // The screen: a blue gradient with a lighter streak.
  const QRect screen(QPoint(left + 2, top + 2), QPoint(right - 2, bottom - 2));
  p.fillRect(screen, QColor(64, 64, 64));
  QLinearGradient glass(screen.topLeft(), screen.bottomRight());
  glass.setColorAt(0, QColor(96, 168, 240));
  glass.setColorAt(1, QColor(20, 84, 188));
  p.fillRect(screen.adjusted(1, 1, -1, -1), glass);
  Pixel(p, screen.left() + 1, screen.top() + 1, QColor(200, 228, 255));
  Pixel(p, screen.left() + 2, screen.top() + 1, QColor(170, 210, 250));
  Pixel(p, screen.left() + 1, screen.top() + 2, QColor(170, 210, 250));
  // Neck and foot.
  const int middle = (left + right) / 2;
  p.fillRect(QRect(QPoint(middle - 1, bottom + 1), QPoint(middle + 1, bottom + 1)),
             QColor(128, 128, 128));
  Box(p, middle - 4, bottom + 2, middle + 4, bottom + 3, outline, QColor(192, 192, 192));
}

// The pictures below take `scale` pixels for each pixel of their design.
QImage MonitorAlone(int scale) {
  QImage image = Blank(16 * scale);
  QPainter p(&image);
  p.scale(scale, scale);
  DrawMonitor(p, 1, 1, 14, 10);
  p.end();
  return image;
}

QImage MonitorBeforeGlobe(int scale) {
  QImage image = Blank(16 * scale);
  QPainter p(&image);
  p.scale(scale, scale);
  // The globe, upper right, behind the monitor.
  {
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(10.0, 6.0);
    const double radius = 5.6;
    QRadialGradient ocean(centre - QPointF(1.8, 1.8), radius * 1.4);
    ocean.setColorAt(0, QColor(120, 190, 255));
    ocean.setColorAt(0.6, QColor(36, 110, 220));
    ocean.setColorAt(1, QColor(16, 60, 150));
    QPainterPath sphere;
    sphere.addEllipse(centre, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(ocean);
    p.drawPath(sphere);
    // Land masses, kept inside the sphere.
    p.save();
    p.setClipPath(sphere);
    p.setBrush(QColor(48, 168, 64));
    p.drawPolygon(
        QPolygonF({QPointF(6.5, 1.5), QPointF(10.5, 0.8), QPointF(11.5, 3.2), QPointF(9.2, 4.4),
                   QPointF(9.6, 7.0), QPointF(7.2, 6.2), QPointF(6.0, 3.8)}));
    p.drawPolygon(QPolygonF({QPointF(12.2, 5.0), QPointF(15.8, 4.6), QPointF(15.8, 9.4),
                             QPointF(13.4, 10.6), QPointF(12.0, 8.0)}));
    p.restore();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(12, 48, 120), 0.9));
    p.drawEllipse(centre, radius - 0.3, radius - 0.3);
    p.setRenderHint(QPainter::Antialiasing, false);
  }
  // The monitor in front, lower left.
  DrawMonitor(p, 0, 5, 10, 12);
  p.end();
  return image;
}

// A white box with a dark blue frame, 13 x 13 pixels, centred.
QImage CheckBox(bool ticked, int scale) {
  QImage image = Blank(16 * scale);
  QPainter p(&image);
  p.scale(scale, scale);
  Box(p, 1, 1, 13, 13, QColor(28, 81, 128), QColor(255, 255, 255));
  if (ticked) {
    // A tick three pixels thick: down from (4, 6) to (6, 8), up to (10, 4).
    const QColor green(33, 161, 33);
    const int tops[] = {6, 7, 8, 7, 6, 5, 4};
    for (int i = 0; i < 7; ++i)
      for (int k = 0; k < 3; ++k) Pixel(p, 4 + i, tops[i] + k, green);
  }
  p.end();
  return image;
}

// ---------------------------------------------------------------------------
// The dialog's picture: a text page behind a light-blue computer case

void DrawPageAndComputer(QPainter& p) {
  const QColor grey(128, 128, 128);
  // The page, its upper right corner folded over.
  QPolygonF page({QPointF(6, 3), QPointF(24, 3), QPointF(31, 10), QPointF(31, 42), QPointF(6, 42)});
  p.setPen(QPen(grey, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(QColor(255, 255, 255));
  p.drawPolygon(page);
  p.setBrush(QColor(224, 224, 224));
  p.drawPolygon(QPolygonF({QPointF(24, 3), QPointF(24, 10), QPointF(31, 10)}));
  // Lines of text.
  p.setPen(QPen(QColor(160, 160, 160), 1.4, Qt::SolidLine, Qt::FlatCap));
  for (int row = 0; row < 8; ++row) {
    const double y = 8.5 + row * 4.0;
    const double right = y < 12 ? 21.0 : (row % 3 == 2 ? 22.0 : 27.0);
    p.drawLine(QPointF(10, y), QPointF(right, y));
  }

  // The computer case in front, lower right: front, side and top faces.
  const QColor outline(47, 95, 159);
  p.setPen(QPen(outline, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
  p.setBrush(QColor(216, 236, 255));
  p.drawPolygon(QPolygonF({QPointF(22, 17), QPointF(27, 13), QPointF(43, 13), QPointF(38, 17)}));
  QLinearGradient side(QPointF(38, 0), QPointF(43, 0));
  side.setColorAt(0, QColor(120, 168, 224));
  side.setColorAt(1, QColor(92, 140, 200));
  p.setBrush(side);
  p.drawPolygon(QPolygonF({QPointF(38, 17), QPointF(43, 13), QPointF(43, 42), QPointF(38, 46)}));
  QLinearGradient front(QPointF(22, 17), QPointF(38, 46));
  front.setColorAt(0, QColor(200, 228, 255));
  front.setColorAt(1, QColor(140, 188, 236));
  p.setBrush(front);
  p.drawRect(QRectF(22, 17, 16, 29));
  // Drive bays, a slot, the power button and its light.
  p.setPen(QPen(outline, 0.8));
  p.setBrush(QColor(236, 246, 255));
  p.drawRect(QRectF(25, 20.5, 10, 4));
  p.drawRect(QRectF(25, 26.5, 10, 4));
  p.setPen(QPen(QColor(70, 110, 170), 0.8));
  p.drawLine(QPointF(27, 22.5), QPointF(33, 22.5));
  p.drawLine(QPointF(27, 28.5), QPointF(31, 28.5));
  p.setPen(QPen(outline, 0.8));
  p.setBrush(QColor(110, 150, 210));
  p.drawEllipse(QPointF(28.5, 38), 2.0, 2.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 200, 90));
  p.drawEllipse(QPointF(34, 38), 1.0, 1.0);
}

// Drawn eight times larger, then reduced: smooth edges with real alpha.
QImage PageAndComputer(int size) {
  constexpr int kScale = 8;
  QImage big = Blank(48 * kScale);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(kScale, kScale);
    DrawPageAndComputer(p);
  }
  return big.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool SavePng(const QImage& image, const QString& path) {
  return image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_browser_images <resources folder>\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString images = folder + QStringLiteral("/images/");
  bool ok = true;
  for (int scale : {1, 2}) {
    const QString suffix = scale == 1 ? QStringLiteral(".png") : QStringLiteral("@2x.png");
    ok &= SavePng(MonitorBeforeGlobe(scale),
                  images + QStringLiteral("browser_computer_globe") + suffix);
    ok &= SavePng(MonitorAlone(scale), images + QStringLiteral("browser_computer") + suffix);
    ok &= SavePng(CheckBox(true, scale), images + QStringLiteral("browser_checked") + suffix);
    ok &= SavePng(CheckBox(false, scale), images + QStringLiteral("browser_unchecked") + suffix);
    ok &= SavePng(PageAndComputer(48 * scale),
                  images + QStringLiteral("browser_page_computer") + suffix);
  }
  if (!ok) {
    std::fprintf(stderr, "make_browser_images: could not write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
