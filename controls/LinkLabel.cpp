#include "controls/LinkLabel.h"

#include <QMouseEvent>

namespace skarvet {

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) {}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FPressed = true;
  QLabel::mousePressEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const bool click = FPressed && rect().contains(event->position().toPoint());
    FPressed = false;
    if (click) emit clicked();
  }
  QLabel::mouseReleaseEvent(event);
}

} // namespace skarvet
