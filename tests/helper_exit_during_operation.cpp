// Child program of test_operations_exit: the real program, driven from its
// start-up hook. It types "FOXTROT" (a computer that never answers) into the
// name field, clicks Restart, and about 200 ms later asks the program to end,
// with the Exit button ("exit", the default) or the window's close box
// ("close"). It says on standard output what it did and when.
#include "app/Application.h"
#include "controls/Thread.h"
#include "mainwindow/MainFormUnit.h"
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace skarvet;

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string how = argc > 1 ? argv[1] : "exit";
  // Restart is clicked below: the request must go to the simulated network
  // on every system, never to a real computer of that name.
  static SimulatedWinApi network;
  static ScopedWinApi useNetwork(network);

  return RunApplication(argc, argv, [how](TMainForm& form) {
    auto* name = form.findChild<QLineEdit*>("ComputerNameEdit");
    auto* restart = form.findChild<QAbstractButton*>("RestartButton");
    auto* exitButton = form.findChild<QAbstractButton*>("ExitButton");
    auto* status = form.findChild<QLabel*>("StatusLabel");
    if (!name || !restart || !exitButton || !status) {
      std::printf("missing controls\n");
      std::fflush(stdout);
      std::exit(3);
    }
    name->setFocus();
    name->insert(QStringLiteral("FOXTROT")); // as typed: fires the change handler
    restart->click();
    std::printf("started: %s; busy: %d\n", status->text().toLocal8Bit().constData(),
                form.CurrentThread() != nullptr ? 1 : 0);
    std::fflush(stdout);

    QTimer::singleShot(200, &form, [&form, exitButton, how] {
      std::printf("exit requested; workers running: %d\n", TThread::RunningCount());
      std::fflush(stdout);
      if (how == "close")
        form.close();
      else
        exitButton->click();
    });
  });
}
