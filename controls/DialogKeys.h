// Keyboard rules of a Windows dialog with neither a default nor a cancel
// button, which Qt's QDialog does not follow on its own.
#pragma once

class QDialog;
class QKeyEvent;

namespace skarvet {

// Return and Enter press the focused push button (and nothing else);
// Escape leaves the dialog open, since there is no cancel button (the close
// box and the system's close keystroke still close it). Returns true when
// the key was taken; otherwise the dialog handles it as usual.
bool HandleDialogKey(QDialog& dialog, QKeyEvent* event);

} // namespace skarvet
