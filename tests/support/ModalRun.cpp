#include "tests/support/ModalRun.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace skarvet::test {

ModalRun RunModal(const std::function<void()>& start,
                  const std::function<void(QWidget*)>& whileOpen, int guardMs) {
  auto run = std::make_shared<ModalRun>();
  QTimer::singleShot(0, [run, whileOpen] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    run->opened = true;
    whileOpen(modal);
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [run] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      run->timedOut = true;
      modal->close();
    }
  });
  guard.start(guardMs);
  start();
  return *run;
}

} // namespace skarvet::test
