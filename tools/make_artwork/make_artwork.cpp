// Draws the program's artwork and writes it in the formats the program and
// its Windows resources use:
//   images/banner.jpg  428 x 85 progressive colour JPEG (libjpeg)
//   images/keys.bmp    44 x 49 24-bit uncompressed BMP, white background
//   images/banner@2x.jpg, images/keys@2x.bmp   the same at twice the size,
//                      for displays scaled to 150 % and more (the JPEG
//                      baseline, which decodes faster)
//   skarvet.ico        16, 32 and 48 pixels, each in 256 colours and in
//                      32-bit colour with alpha
//   icons/skarvet-<size>.png  the same icon for desktops, 16 to 256 pixels
//   icons/skarvet.svg  the same icon as vector paths, for any size
// Usage: make_artwork <resources folder>   (run with QT_QPA_PLATFORM=offscreen)
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSvgGenerator>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <numbers>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Little-endian writers

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xff));
  out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xffff);
  Put16(out, value >> 16);
}

bool WriteFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

QFont Font(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

// ---------------------------------------------------------------------------
// Banner

// The maker's mark: a disc crossed by three waves.
void DrawOndravelMark(QPainter& p, const QRectF& box) {
  p.save();
  QRadialGradient disc(box.center() - QPointF(box.width() * 0.2, box.height() * 0.25),
                       box.width() * 0.8);
  disc.setColorAt(0, QColor(120, 226, 255));
  disc.setColorAt(1, QColor(18, 142, 214));
  p.setPen(QPen(QColor(255, 255, 255), 1.4));
  p.setBrush(disc);
  p.drawEllipse(box);
  QPainterPath clip;
  clip.addEllipse(box.adjusted(1.5, 1.5, -1.5, -1.5));
  p.setClipPath(clip);
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 3; ++i) {
    const double y = box.top() + box.height() * (0.36 + 0.2 * i);
    QPainterPath wave;
    wave.moveTo(box.left() - 2, y);
    const double w = box.width() + 4;
    wave.cubicTo(box.left() - 2 + w * 0.25, y - 4.5, box.left() - 2 + w * 0.25, y + 4.5,
                 box.left() - 2 + w * 0.5, y);
    wave.cubicTo(box.left() - 2 + w * 0.75, y - 4.5, box.left() - 2 + w * 0.75, y + 4.5,
                 box.left() - 2 + w, y);
    p.setPen(QPen(QColor(255, 255, 255, 235 - 45 * i), 1.7, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(wave);
  }
  p.restore();
}

void DrawShadowedText(QPainter& p, const QPointF& at, const QString& text, const QColor& colour,
                      int shadowAlpha) {
  p.setPen(QColor(0, 12, 40, shadowAlpha));
  p.drawText(at + QPointF(1, 1), text);
  p.setPen(colour);
  p.drawText(at, text);
}

// `scale` pixels for each pixel of the 428 x 85 banner.
QImage MakeBanner(int scale) {
  QImage image(428 * scale, 85 * scale, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.scale(scale, scale);

  QLinearGradient sky(0, 0, 428, 85);
  sky.setColorAt(0.0, QColor(9, 34, 78));
  sky.setColorAt(0.55, QColor(20, 74, 146));
  sky.setColorAt(1.0, QColor(34, 110, 188));
  p.fillRect(image.rect(), sky);

  // Soft light and a few waves behind the text.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 16));
  p.drawEllipse(QPointF(300, -60), 200, 105);
  p.setBrush(QColor(255, 255, 255, 10));
  p.drawEllipse(QPointF(40, 140), 230, 80);
  for (int i = 0; i < 4; ++i) {
    QPainterPath wave;
    const double y = 50 + 7 * i;
    wave.moveTo(120, y + 10);
    wave.cubicTo(190, y - 22, 230, y + 26, 300, y - 4);
    wave.cubicTo(340, y - 20, 380, y + 4, 430, y - 12);
    p.setPen(QPen(QColor(140, 200, 255, 34 - 6 * i), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
  }

  // Accent strip along the bottom edge.
  QLinearGradient accent(0, 0, 428, 0);
  accent.setColorAt(0, QColor(255, 176, 46));
  accent.setColorAt(1, QColor(232, 96, 24));
  p.fillRect(QRect(0, 82, 428, 3), accent);

  // Maker's logo.
  DrawOndravelMark(p, QRectF(12.5, 8.5, 21, 21));
  QFont maker = Font(18, true);
  maker.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
  p.setFont(maker);
  DrawShadowedText(p, QPointF(40, 26), QStringLiteral("Ondravel"), QColor(255, 255, 255), 110);

  // Product name and what it does.
  QFont product = Font(32, true);
  product.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
  p.setFont(product);
  DrawShadowedText(p, QPointF(11, 63), QStringLiteral("Skarvet"), QColor(255, 255, 255), 140);
  p.setFont(Font(11, false));
  p.setPen(QColor(176, 212, 250));
  p.drawText(QPointF(13, 77), QStringLiteral("Remote restart, shutdown and logoff"));

  // The invitation to click, at the right.
  const QRectF box(294.5, 13.5, 122, 58);
  QLinearGradient button(box.topLeft(), box.bottomLeft());
  button.setColorAt(0, QColor(255, 182, 64));
  button.setColorAt(1, QColor(226, 104, 20));
  p.setPen(QPen(QColor(255, 222, 160), 1));
  p.setBrush(button);
  p.drawRoundedRect(box, 7, 7);
  p.setPen(QColor(255, 255, 255, 60));
  p.drawLine(QPointF(box.left() + 6, box.top() + 1.5), QPointF(box.right() - 6, box.top() + 1.5));
  p.setFont(Font(11, false));
  p.setPen(QColor(255, 255, 255));
  p.drawText(QRectF(box.left(), box.top() + 6, box.width(), 14), Qt::AlignHCenter,
             QStringLiteral("Click here for"));
  p.setFont(Font(15, true));
  p.setPen(QColor(120, 44, 0, 120));
  p.drawText(QRectF(box.left() + 1, box.top() + 20, box.width(), 18), Qt::AlignHCenter,
             QStringLiteral("more free"));
  p.drawText(QRectF(box.left() + 1, box.top() + 36, box.width(), 18), Qt::AlignHCenter,
             QStringLiteral("downloads \u00bb"));
  p.setPen(QColor(255, 255, 255));
  p.drawText(QRectF(box.left(), box.top() + 19, box.width(), 18), Qt::AlignHCenter,
             QStringLiteral("more free"));
  p.drawText(QRectF(box.left(), box.top() + 35, box.width(), 18), Qt::AlignHCenter,
             QStringLiteral("downloads \u00bb"));
  p.end();
  return image;
}

// A progressive JPEG, or with `progressive` false a baseline one, which
// decodes in about half the time.
bool WriteJpeg(const QImage& source, const QString& path, int quality, bool progressive) {
  const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors); // the default error exit ends this tool
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
  cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour keeps the lettering crisp.
  for (int c = 0; c < cinfo.num_components; ++c) {
    cinfo.comp_info[c].h_samp_factor = 1;
    cinfo.comp_info[c].v_samp_factor = 1;
  }
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return WriteFile(path, bytes);
}

// ---------------------------------------------------------------------------
// Keys

struct Metal {
  QColor light, mid, dark, edge;
};

// One key hanging from the ring, drawn pointing down from `hook` and turned
// by `degrees` (positive swings the blade to the left).
void DrawKey(QPainter& p, QPointF hook, double degrees, const Metal& metal, double length,
             bool bigBow) {
  p.save();
  p.translate(hook);
  p.rotate(degrees);
  const double bowRadius = bigBow ? 5.2 : 4.4;
  const double bowCentre = bowRadius - 0.6;
  const double shaftTop = bowCentre + bowRadius - 0.8;

  QPainterPath key;
  key.setFillRule(Qt::OddEvenFill);
  key.addEllipse(QPointF(0, bowCentre), bowRadius, bowRadius);
  key.addEllipse(QPointF(0, bowCentre - 1.2), 1.6, 1.6); // the hole the ring runs through
  QPainterPath blade;
  blade.moveTo(-1.5, shaftTop);
  blade.lineTo(1.5, shaftTop);
  blade.lineTo(1.5, shaftTop + 2.2);
  // Bits on the right of the blade.
  const double bitsTop = shaftTop + length * 0.45;
  blade.lineTo(1.5, bitsTop);
  blade.lineTo(3.8, bitsTop);
  blade.lineTo(3.8, bitsTop + 2.2);
  blade.lineTo(2.6, bitsTop + 2.2);
  blade.lineTo(2.6, bitsTop + 3.4);
  blade.lineTo(4.2, bitsTop + 3.4);
  blade.lineTo(4.2, bitsTop + 5.6);
  blade.lineTo(2.4, bitsTop + 5.6);
  blade.lineTo(2.4, bitsTop + 6.8);
  blade.lineTo(3.4, bitsTop + 6.8);
  blade.lineTo(3.4, shaftTop + length - 1.6);
  blade.lineTo(1.5, shaftTop + length);
  blade.lineTo(-1.5, shaftTop + length);
  blade.lineTo(-1.5, shaftTop + 2.2);
  blade.closeSubpath();
  QPainterPath shape = key.united(blade);
  // united() loses the hole; cut it again.
  QPainterPath hole;
  hole.addEllipse(QPointF(0, bowCentre - 1.2), 1.6, 1.6);
  shape = shape.subtracted(hole);

  QLinearGradient shade(QPointF(-bowRadius, 0), QPointF(bowRadius, 0));
  shade.setColorAt(0, metal.light);
  shade.setColorAt(0.55, metal.mid);
  shade.setColorAt(1, metal.dark);
  p.setPen(QPen(metal.edge, 0.7));
  p.setBrush(shade);
  p.drawPath(shape);
  // A groove along the blade.
  p.setPen(QPen(metal.dark, 0.6));
  p.drawLine(QPointF(-0.2, shaftTop + 2.5), QPointF(-0.2, shaftTop + length - 1.5));
  p.restore();
}

// `scale` pixels for each pixel of the 44 x 49 picture.
QImage MakeKeys(int scale) {
  constexpr int kScale = 6;
  QImage big(44 * kScale, 49 * kScale, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::transparent);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(kScale, kScale);
    const QPointF centre(22, 11.5);
    const double radius = 8.2;
    const QPointF bottom = centre + QPointF(0, radius);
    const Metal brass{QColor(255, 236, 150), QColor(222, 178, 60), QColor(150, 108, 20),
                      QColor(104, 72, 10)};
    const Metal steel{QColor(246, 248, 250), QColor(176, 186, 196), QColor(106, 116, 128),
                      QColor(62, 70, 80)};
    const Metal copper{QColor(255, 200, 160), QColor(206, 122, 70), QColor(132, 66, 30),
                       QColor(92, 44, 18)};
    DrawKey(p, bottom + QPointF(-3.2, -1.0), 32, copper, 17.5, false);
    DrawKey(p, bottom + QPointF(3.0, -1.2), -30, steel, 17.0, false);
    DrawKey(p, bottom + QPointF(0, -0.6), 4, brass, 19.5, true);

    // The ring, in front of the bows it runs through.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(70, 78, 88), 2.6));
    p.drawEllipse(centre, radius, radius);
    QConicalGradient shine(centre, 135);
    shine.setColorAt(0.0, QColor(240, 244, 248));
    shine.setColorAt(0.25, QColor(150, 160, 172));
    shine.setColorAt(0.5, QColor(228, 232, 238));
    shine.setColorAt(0.75, QColor(130, 140, 152));
    shine.setColorAt(1.0, QColor(240, 244, 248));
    p.setPen(QPen(QBrush(shine), 1.4));
    p.drawEllipse(centre, radius, radius);
  }
  const int width = 44 * scale, height = 49 * scale;
  const QImage small = big.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_ARGB32);

  // The picture is shown with its white background left out on the grey
  // panels, so the soft edges are blended towards the panel colour; the
  // background itself is pure white, and no drawn pixel is.
  const QColor panel(212, 208, 200);
  QImage keys(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const QRgb s = small.pixel(x, y);
      const int a = qAlpha(s);
      if (a < 8) {
        keys.setPixel(x, y, qRgb(255, 255, 255));
        continue;
      }
      auto mix = [&](int c, int back) { return (c * a + back * (255 - a) + 127) / 255; };
      int r = mix(qRed(s), panel.red()), g = mix(qGreen(s), panel.green()),
          b = mix(qBlue(s), panel.blue());
      if (r == 255 && g == 255 && b == 255) b = 254;
      keys.setPixel(x, y, qRgb(r, g, b));
    }
  }
  return keys;
}

bool WriteBmp24(const QImage& image, const QString& path) {
  const int width = image.width(), height = image.height();
  const int stride = (width * 3 + 3) & ~3;
  const std::uint32_t pixelBytes = static_cast<std::uint32_t>(stride * height);
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 14 + 40 + pixelBytes); // file size
  Put32(out, 0);                    // reserved
  Put32(out, 14 + 40);              // offset of the pixels
  Put32(out, 40);                   // BITMAPINFOHEADER
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height)); // bottom-up
  Put16(out, 1);                                  // planes
  Put16(out, 24);                                 // bits per pixel
  Put32(out, 0);                                  // BI_RGB
  Put32(out, pixelBytes);
  Put32(out, 3780); // 96 dpi in pixels per metre
  Put32(out, 3780);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const QRgb c = image.pixel(x, y);
      out.push_back(static_cast<std::uint8_t>(qBlue(c)));
      out.push_back(static_cast<std::uint8_t>(qGreen(c)));
      out.push_back(static_cast<std::uint8_t>(qRed(c)));
    }
    for (int pad = width * 3; pad < stride; ++pad) out.push_back(0);
  }
  return WriteFile(path, out);
}

// ---------------------------------------------------------------------------
// Icon: a computer case with a round blue badge

void DrawComputerIcon(QPainter& p, int size) {
  p.save();
  p.scale(size / 48.0, size / 48.0);
  const bool detailed = size >= 32;
  const double line = size >= 32 ? 1.0 : 1.6;
  const QColor outline(52, 58, 66);

  // Top, side and front faces of the tower.
  QPolygonF top({QPointF(9, 7), QPointF(17, 2.5), QPointF(38, 2.5), QPointF(30, 7)});
  QPolygonF side({QPointF(30, 7), QPointF(38, 2.5), QPointF(38, 40.5), QPointF(30, 45)});
  p.setPen(QPen(outline, line, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
  p.setBrush(QColor(238, 241, 244));
  p.drawPolygon(top);
  QLinearGradient sideShade(QPointF(30, 0), QPointF(38, 0));
  sideShade.setColorAt(0, QColor(150, 158, 168));
  sideShade.setColorAt(1, QColor(112, 120, 130));
  p.setBrush(sideShade);
  p.drawPolygon(side);
  QLinearGradient front(QPointF(9, 7), QPointF(30, 45));
  front.setColorAt(0, QColor(246, 248, 250));
  front.setColorAt(1, QColor(196, 203, 211));
  p.setBrush(front);
  p.drawRect(QRectF(9, 7, 21, 38));

  // Drive bays, power button and vents on the front.
  p.setPen(QPen(QColor(96, 104, 114), line * 0.8));
  p.setBrush(QColor(214, 219, 225));
  p.drawRect(QRectF(12, 10.5, 15, 5));
  if (detailed) {
    p.drawRect(QRectF(12, 17.5, 15, 5));
    p.setPen(QPen(QColor(120, 128, 138), 0.8));
    p.drawLine(QPointF(14, 13), QPointF(25, 13));
    p.drawLine(QPointF(14, 20), QPointF(25, 20));
    for (int i = 0; i < 4; ++i) p.drawLine(QPointF(13, 36 + 2 * i), QPointF(21, 36 + 2 * i));
  }
  p.setPen(QPen(QColor(60, 66, 74), line * 0.8));
  p.setBrush(QColor(126, 134, 144));
  p.drawEllipse(QPointF(19.5, 28), detailed ? 2.3 : 2.8, detailed ? 2.3 : 2.8);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 210, 90));
  if (detailed) p.drawEllipse(QPointF(25, 28), 1.1, 1.1);

  // The badge.
  const QPointF centre(34, 34);
  const double radius = size >= 32 ? 12.0 : 13.0;
  QRadialGradient blue(centre - QPointF(4, 5), radius * 1.5);
  blue.setColorAt(0, QColor(110, 184, 255));
  blue.setColorAt(0.6, QColor(28, 112, 222));
  blue.setColorAt(1, QColor(10, 60, 160));
  p.setPen(QPen(QColor(255, 255, 255), size >= 32 ? 2.0 : 2.6));
  p.setBrush(blue);
  p.drawEllipse(centre, radius, radius);
  p.setPen(QPen(QColor(8, 44, 120), line * 0.8));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(centre, radius + (size >= 32 ? 1.4 : 1.8), radius + (size >= 32 ? 1.4 : 1.8));

  // A power symbol on the badge.
  const double r = radius * 0.5;
  p.setPen(QPen(QColor(255, 255, 255), size >= 32 ? 2.6 : 3.6, Qt::SolidLine, Qt::RoundCap));
  // Open at the top, where the stroke comes down into it.
  p.drawArc(QRectF(centre.x() - r, centre.y() - r + 0.8, 2 * r, 2 * r), 58 * 16, -296 * 16);
  p.drawLine(QPointF(centre.x(), centre.y() - r - 1.6), QPointF(centre.x(), centre.y() + 0.4));
  p.restore();
}

// At 16 pixels the shapes are laid on the pixel grid (lines through pixel
// centres) so that they stay crisp.
void DrawComputerIcon16(QPainter& p) {
  const QColor outline(52, 58, 66);
  p.setPen(QPen(outline, 1));
  // Side and top faces.
  p.setBrush(QColor(128, 136, 146));
  p.drawPolygon(
      QPolygonF({QPointF(9.5, 2.5), QPointF(11.5, 0.5), QPointF(11.5, 12.5), QPointF(9.5, 14.5)}));
  p.setBrush(QColor(236, 239, 242));
  p.drawPolygon(
      QPolygonF({QPointF(1.5, 2.5), QPointF(3.5, 0.5), QPointF(11.5, 0.5), QPointF(9.5, 2.5)}));
  // Front face with a drive bay and the power button.
  QLinearGradient front(QPointF(1, 2), QPointF(10, 15));
  front.setColorAt(0, QColor(246, 248, 250));
  front.setColorAt(1, QColor(190, 197, 205));
  p.setBrush(front);
  p.drawRect(QRectF(1.5, 2.5, 8, 12));
  p.setPen(QPen(QColor(110, 118, 128), 1));
  p.drawLine(QPointF(3.5, 4.5), QPointF(7.5, 4.5));
  p.drawLine(QPointF(3.5, 6.5), QPointF(7.5, 6.5));
  // The badge: too small here for the power symbol, so a glossy disc in a
  // white ring.
  const QPointF centre(11.5, 11.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(8, 44, 120));
  p.drawEllipse(centre, 4.5, 4.5);
  p.setBrush(QColor(255, 255, 255));
  p.drawEllipse(centre, 3.7, 3.7);
  QRadialGradient blue(centre - QPointF(1.2, 1.2), 3.6);
  blue.setColorAt(0, QColor(150, 206, 255));
  blue.setColorAt(0.5, QColor(40, 128, 232));
  blue.setColorAt(1, QColor(12, 70, 180));
  p.setBrush(blue);
  p.drawEllipse(centre, 2.8, 2.8);
}

QImage MakeIconImage(int size) {
  if (size == 16) {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawComputerIcon16(p);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
  }
  constexpr int kScale = 8;
  QImage big(size * kScale, size * kScale, QImage::Format_ARGB32_Premultiplied);
  big.fill(Qt::transparent);
  {
    QPainter p(&big);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(kScale, kScale);
    DrawComputerIcon(p, size);
  }
  return big.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_ARGB32);
}

// Median-cut palette of at most `count` colours for the given pixels.
std::vector<QRgb> MedianCut(std::vector<QRgb> pixels, int count) {
  struct Box {
    std::size_t begin, end;
  };
  std::vector<Box> boxes{{0, pixels.size()}};
  auto channel = [](QRgb c, int k) { return k == 0 ? qRed(c) : k == 1 ? qGreen(c) : qBlue(c); };
  while (static_cast<int>(boxes.size()) < count) {
    // Split the box with the widest channel range.
    int best = -1, bestRange = 0, bestChannel = 0;
    for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
      const Box& box = boxes[static_cast<std::size_t>(i)];
      if (box.end - box.begin < 2) continue;
      for (int k = 0; k < 3; ++k) {
        int lo = 255, hi = 0;
        for (std::size_t j = box.begin; j < box.end; ++j) {
          lo = std::min(lo, channel(pixels[j], k));
          hi = std::max(hi, channel(pixels[j], k));
        }
        if (hi - lo > bestRange) {
          bestRange = hi - lo;
          best = i;
          bestChannel = k;
        }
      }
    }
    if (best < 0) break;
    Box box = boxes[static_cast<std::size_t>(best)];
    std::sort(pixels.begin() + static_cast<long>(box.begin),
              pixels.begin() + static_cast<long>(box.end),
              [&](QRgb a, QRgb b) { return channel(a, bestChannel) < channel(b, bestChannel); });
    const std::size_t middle = box.begin + (box.end - box.begin) / 2;
    boxes[static_cast<std::size_t>(best)] = {box.begin, middle};
    boxes.push_back({middle, box.end});
  }
  std::vector<QRgb> palette;
  for (const Box& box : boxes) {
    if (box.begin == box.end) continue;
    long r = 0, g = 0, b = 0;
    for (std::size_t j = box.begin; j < box.end; ++j) {
      r += qRed(pixels[j]);
      g += qGreen(pixels[j]);
      b += qBlue(pixels[j]);
    }
    const long n = static_cast<long>(box.end - box.begin);
    palette.push_back(qRgb(static_cast<int>((r + n / 2) / n), static_cast<int>((g + n / 2) / n),
                           static_cast<int>((b + n / 2) / n)));
  }
  return palette;
}

int Nearest(const std::vector<QRgb>& palette, QRgb c) {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < static_cast<int>(palette.size()); ++i) {
    const QRgb p = palette[static_cast<std::size_t>(i)];
    const long dr = qRed(p) - qRed(c), dg = qGreen(p) - qGreen(c), db = qBlue(p) - qBlue(c);
    const long distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      bestDistance = distance;
      best = i;
    }
  }
  return best;
}

// The AND mask: one bit per pixel, set where the picture is transparent.
void PutAndMask(std::vector<std::uint8_t>& out, const QImage& image, int alphaThreshold) {
  const int size = image.width();
  const int stride = ((size + 31) / 32) * 4;
  for (int y = size - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(stride), 0);
    for (int x = 0; x < size; ++x) {
      if (qAlpha(image.pixel(x, y)) < alphaThreshold) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

void PutInfoHeader(std::vector<std::uint8_t>& out, int size, int bits, std::uint32_t imageBytes,
                   int colours) {
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(size));
  Put32(out, static_cast<std::uint32_t>(size * 2)); // colour bitmap and mask
  Put16(out, 1);
  Put16(out, static_cast<unsigned>(bits));
  Put32(out, 0);
  Put32(out, imageBytes);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(colours));
  Put32(out, 0);
}

// 256-colour image: palette, 8-bit indices, AND mask (half-covered edge
// pixels count as drawn).
std::vector<std::uint8_t> IconImage8(const QImage& image) {
  const int size = image.width();
  std::vector<QRgb> opaque;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const QRgb c = image.pixel(x, y);
      if (qAlpha(c) >= 128) opaque.push_back(c);
    }
  }
  std::vector<QRgb> palette{qRgb(0, 0, 0)}; // index 0 behind transparent pixels
  for (QRgb c : MedianCut(opaque, 255)) palette.push_back(c);
  palette.resize(256, qRgb(0, 0, 0));

  const int stride = (size + 3) & ~3;
  const int maskStride = ((size + 31) / 32) * 4;
  std::vector<std::uint8_t> out;
  PutInfoHeader(out, size, 8, static_cast<std::uint32_t>((stride + maskStride) * size), 256);
  for (QRgb c : palette) {
    out.push_back(static_cast<std::uint8_t>(qBlue(c)));
    out.push_back(static_cast<std::uint8_t>(qGreen(c)));
    out.push_back(static_cast<std::uint8_t>(qRed(c)));
    out.push_back(0);
  }
  const std::vector<QRgb> usable(palette.begin() + 1, palette.end());
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const QRgb c = image.pixel(x, y);
      out.push_back(static_cast<std::uint8_t>(
          qAlpha(c) >= 128 ? 1 + Nearest(usable, qRgb(qRed(c), qGreen(c), qBlue(c))) : 0));
    }
    for (int pad = size; pad < stride; ++pad) out.push_back(0);
  }
  PutAndMask(out, image, 128);
  return out;
}

// 32-bit image: straight (not premultiplied) BGRA, and an AND mask for
// readers that ignore the alpha channel.
std::vector<std::uint8_t> IconImage32(const QImage& image) {
  const int size = image.width();
  const int maskStride = ((size + 31) / 32) * 4;
  std::vector<std::uint8_t> out;
  PutInfoHeader(out, size, 32, static_cast<std::uint32_t>((size * 4 + maskStride) * size), 0);
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const QRgb c = image.pixel(x, y);
      out.push_back(static_cast<std::uint8_t>(qBlue(c)));
      out.push_back(static_cast<std::uint8_t>(qGreen(c)));
      out.push_back(static_cast<std::uint8_t>(qRed(c)));
      out.push_back(static_cast<std::uint8_t>(qAlpha(c)));
    }
  }
  PutAndMask(out, image, 1);
  return out;
}

// The sizes desktops ask an icon theme for (the freedesktop.org hicolor
// theme's folders), each drawn for its size rather than scaled.
constexpr std::array<int, 8> kPngIconSizes{16, 24, 32, 48, 64, 96, 128, 256};

bool WritePngIcons(const QString& folder) {
  bool ok = true;
  for (int size : kPngIconSizes) {
    const QString path = QStringLiteral("%1/skarvet-%2.png").arg(folder).arg(size);
    ok = MakeIconImage(size).save(path, "PNG") && ok;
  }
  return ok;
}

// The detailed drawing (the one of 32 pixels and up) as SVG paths on a
// 48-unit canvas; desktops scale it to any size.
bool WriteSvgIcon(const QString& path) {
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setSize(QSize(48, 48));
  svg.setViewBox(QRect(0, 0, 48, 48));
  svg.setTitle(QStringLiteral("Skarvet"));
  svg.setDescription(QStringLiteral("A computer case with a round blue power badge"));
  QPainter p;
  if (!p.begin(&svg)) return false;
  p.setRenderHint(QPainter::Antialiasing);
  DrawComputerIcon(p, 48);
  return p.end();
}

bool WriteIcon(const QString& path) {
  struct Entry {
    int size, bits;
    std::vector<std::uint8_t> data;
  };
  std::vector<Entry> entries;
  const std::array<int, 3> sizes{16, 32, 48};
  std::vector<QImage> images;
  for (int size : sizes) images.push_back(MakeIconImage(size));
  for (std::size_t i = 0; i < sizes.size(); ++i)
    entries.push_back({sizes[i], 8, IconImage8(images[i])});
  for (std::size_t i = 0; i < sizes.size(); ++i)
    entries.push_back({sizes[i], 32, IconImage32(images[i])});

  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1); // icon
  Put16(out, static_cast<unsigned>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const Entry& e : entries) {
    out.push_back(static_cast<std::uint8_t>(e.size));
    out.push_back(static_cast<std::uint8_t>(e.size));
    out.push_back(0); // 256 colours or more
    out.push_back(0);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(e.bits));
    Put32(out, static_cast<std::uint32_t>(e.data.size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(e.data.size());
  }
  for (const Entry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
  return WriteFile(path, out);
}

} // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder + "/images");
  bool ok = WriteJpeg(MakeBanner(1), folder + "/images/banner.jpg", 92, true);
  // The double-size banner is decoded while the window first shows on a
  // scaled display: baseline, for speed.
  ok = WriteJpeg(MakeBanner(2), folder + "/images/banner@2x.jpg", 92, false) && ok;
  ok = WriteBmp24(MakeKeys(1), folder + "/images/keys.bmp") && ok;
  ok = WriteBmp24(MakeKeys(2), folder + "/images/keys@2x.bmp") && ok;
  ok = WriteIcon(folder + "/skarvet.ico") && ok;
  QDir().mkpath(folder + "/icons");
  ok = WritePngIcons(folder + "/icons") && ok;
  ok = WriteSvgIcon(folder + "/icons/skarvet.svg") && ok;
  if (!ok) {
    std::fprintf(stderr, "could not write the artwork into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
