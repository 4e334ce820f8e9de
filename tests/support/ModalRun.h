// Drives a modal dialog from a test.
#pragma once

#include <functional>

class QWidget;

namespace skarvet::test {

struct ModalRun {
  bool opened = false;   // a modal dialog was open while `start` ran
  bool timedOut = false; // it was still open after the guard time and got closed
};

// Runs `start` (which opens a modal dialog and returns when it closes) and
// calls `whileOpen` with the dialog while its modal loop runs. A dialog
// still open after `guardMs` is closed so that a fault cannot hang the test.
ModalRun RunModal(const std::function<void()>& start,
                  const std::function<void(QWidget*)>& whileOpen, int guardMs = 10000);

} // namespace skarvet::test
