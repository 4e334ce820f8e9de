#include "controls/DialogKeys.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace skarvet {
namespace {

bool IsPlain(const QKeyEvent& event) {
  return event.modifiers() == Qt::NoModifier ||
         (event.modifiers() == Qt::KeypadModifier && event.key() == Qt::Key_Enter);
}

} // namespace

bool PressFocusedButton(QWidget& window, QKeyEvent* event) {
  if (!IsPlain(*event) || (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter))
    return false;
  if (auto* button = qobject_cast<QPushButton*>(window.focusWidget());
      button && button->isEnabled() && button->isVisible())
    button->click();
  event->accept();
  return true;
}

bool HandleDialogKey(QDialog& dialog, QKeyEvent* event) {
  if (PressFocusedButton(dialog, event)) return true;
  if (IsPlain(*event) && event->key() == Qt::Key_Escape) {
    event->accept();
    return true;
  }
  return false;
}

} // namespace skarvet
