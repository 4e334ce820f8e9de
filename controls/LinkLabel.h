// TLinkLabel: a label with a click event (left button pressed and released
// over it), for texts that act as links.
#pragma once

#include <QLabel>

class QMouseEvent;

namespace skarvet {

class TLinkLabel : public QLabel {
  Q_OBJECT

public:
  explicit TLinkLabel(QWidget* parent = nullptr);

signals:
  void clicked();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

private:
  bool FPressed = false;
};

} // namespace skarvet
