#include "controls/ImageUnit.h"

#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

namespace skarvet {

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetPicture(const QImage& picture) {
  FPicture = picture;
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

void TImage::Rebuild() {
  if (FPicture.isNull() || !FTransparent) {
    FShown = FPicture;
  } else {
    FShown = FPicture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = FShown.pixel(0, FShown.height() - 1) | 0xff000000u;
    for (int y = 0; y < FShown.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(FShown.scanLine(y));
      for (int x = 0; x < FShown.width(); ++x) {
        if ((line[x] | 0xff000000u) == key) line[x] = 0;
      }
    }
  }
  update();
}

void TImage::paintEvent(QPaintEvent*) {
  if (FShown.isNull()) return;
  QPainter painter(this);
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

} // namespace skarvet
