#include "controls/ImageUnit.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

namespace skarvet {

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetPicture(const QImage& picture) {
  FPicture = picture;
  Rebuild();
}

void TImage::SetDoubleSizePicture(const QImage& picture) {
  FDoubleSize = picture;
  // Marked once here, so that the picture shown shares its pixels.
  if (!FDoubleSize.isNull()) FDoubleSize.setDevicePixelRatio(2);
  Rebuild();
}

void TImage::SetTransparent(bool value) {
  if (FTransparent == value) return;
  FTransparent = value;
  Rebuild();
}

QSize TImage::sizeHint() const {
  return FPicture.isNull() ? QSize(0, 0) : FPicture.size();
}

bool TImage::IsClickable() const {
  return isSignalConnected(QMetaMethod::fromSignal(&TImage::clicked));
}

namespace {

// The picture with every pixel of its lower-left pixel's colour left out.
QImage WithoutBackground(const QImage& picture) {
  QImage shown = picture.convertToFormat(QImage::Format_ARGB32);
  const QRgb key = shown.pixel(0, shown.height() - 1) | 0xff000000u;
  for (int y = 0; y < shown.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(shown.scanLine(y));
    for (int x = 0; x < shown.width(); ++x) {
      if ((line[x] | 0xff000000u) == key) line[x] = 0;
    }
  }
  return shown;
}

} // namespace

void TImage::Rebuild() {
  const bool keyed = FTransparent && !FPicture.isNull();
  FShown = keyed ? WithoutBackground(FPicture) : FPicture;
  FDoubleSizeShown =
      FTransparent && !FDoubleSize.isNull() ? WithoutBackground(FDoubleSize) : FDoubleSize;
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  if (FShown.isNull()) return;
  QPainter painter(this);
  if (devicePixelRatioF() > 1 && !FDoubleSizeShown.isNull()) {
    // At 150 % the double-size artwork is reduced, smoothly.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), FShown.size()), FDoubleSizeShown);
    return;
  }
  painter.drawImage(0, 0, FShown);
}

void TImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FPressed = true;
  QWidget::mousePressEvent(event);
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const bool click = FPressed && rect().contains(event->position().toPoint());
    FPressed = false;
    if (click) emit clicked();
  }
  QWidget::mouseReleaseEvent(event);
}

QString DoubleSizePath(const QString& path) {
  const int dot = path.lastIndexOf(u'.');
  const QString doubleSize = dot < 0 ? path + QStringLiteral("@2x")
                                     : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
  return QFile::exists(doubleSize) ? doubleSize : QString();
}

QImage ReadBuiltInImage(const QString& path) {
  QImageReader reader(path, QFileInfo(path).suffix().toLatin1());
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

QPixmap LoadSharpPixmap(const QString& path, qreal devicePixelRatio) {
  if (devicePixelRatio > 1) {
    const QString doubleSize = DoubleSizePath(path);
    QPixmap pixmap = QPixmap::fromImage(ReadBuiltInImage(doubleSize));
    if (!doubleSize.isEmpty() && !pixmap.isNull()) {
      pixmap.setDevicePixelRatio(2);
      return pixmap;
    }
  }
  return QPixmap::fromImage(ReadBuiltInImage(path));
}

} // namespace skarvet
