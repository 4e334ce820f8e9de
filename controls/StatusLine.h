// TStatusLine: the label that reports how an operation went. To assistive
// technology it is a status bar whose name is its text, so that each new
// text is told as a change of its name (see controls/Accessibility.h).
#pragma once

#include <QLabel>

namespace skarvet {

class TStatusLine : public QLabel {
  Q_OBJECT

public:
  explicit TStatusLine(QWidget* parent = nullptr) : QLabel(parent) {}
};

} // namespace skarvet
