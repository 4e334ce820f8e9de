// Keyboard rules of Windows windows that Qt does not follow on its own: a
// focused push button is pressed by Return, and a dialog with neither a
// default nor a cancel button ignores Escape.
#pragma once

class QDialog;
class QKeyEvent;
class QWidget;

namespace skarvet {

// Return and Enter press the focused push button of `window` (and nothing
// else: with no default button, Return in an edit field does nothing).
// Returns true when the key was one of them and has been taken.
bool PressFocusedButton(QWidget& window, QKeyEvent* event);

// The keys of a dialog with neither a default nor a cancel button: Return
// and Enter as above; Escape leaves the dialog open (the close box and the
// system's close keystroke still close it). Returns true when the key was
// taken; otherwise the dialog handles it as usual.
bool HandleDialogKey(QDialog& dialog, QKeyEvent* event);

} // namespace skarvet
