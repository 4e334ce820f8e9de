#include "controls/DialogKeys.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace skarvet {

bool HandleDialogKey(QDialog& dialog, QKeyEvent* event) {
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (!plain) return false;
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(dialog.focusWidget());
        button && button->isEnabled() && button->isVisible())
      button->click();
    event->accept();
    return true;
  }
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return true;
  }
  return false;
}

} // namespace skarvet
