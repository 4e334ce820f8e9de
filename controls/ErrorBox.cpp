#include "controls/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

namespace skarvet {

void ShowException(const QString& text) {
  QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationName(), text);
}

} // namespace skarvet
