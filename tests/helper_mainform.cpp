// Child program of test_mainform_program: the real program, driven from its
// start-up hook. It reports on standard output what it sees, one fact a
// line, and ends the program the way the mode asks:
//   startup    the window as it first shows, then the Exit button
//   close      the window's close box
//   exception  an exception escapes an event handler (twice); the standard
//              error box is read and closed, the window goes on, then Exit
#include "app/Application.h"
#include "mainwindow/MainFormUnit.h"
#include "platform/sim/SimulatedWinApi.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

using namespace skarvet;

namespace {

void Say(const QString& line) {
  std::printf("%s\n", line.toUtf8().constData());
  std::fflush(stdout);
}

// The simulated system, except that reading a system colour fails while armed.
class FailingColours : public SimulatedWinApi {
public:
  FailingColours() : SimulatedWinApi(sim::Network::Default(), std::chrono::milliseconds(0)) {}
  DWORD GetSysColor(int nIndex) override {
    if (armed) throw std::runtime_error("Colour table unavailable");
    return SimulatedWinApi::GetSysColor(nIndex);
  }
  bool armed = false;
};

// A left click as the window system delivers it: press and release, each
// through the application object.
void Click(QWidget* widget) {
  const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
  const QPointF global = widget->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

// Reads and closes the error box once it shows.
void CloseErrorBoxSoon() {
  QTimer::singleShot(50, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      CloseErrorBoxSoon();
      return;
    }
    Say(QStringLiteral("box: %1 | %2 | %3")
            .arg(box->windowTitle(), box->text(),
                 box->icon() == QMessageBox::Critical ? QStringLiteral("critical")
                                                      : QStringLiteral("other")));
    box->button(QMessageBox::Ok)->click();
  });
}

void ReportStartup(TMainForm& form) {
  Say(QStringLiteral("title: ") + form.windowTitle());
  Say(QStringLiteral("visible: %1").arg(form.isVisible() ? 1 : 0));
  Say(QStringLiteral("client: %1x%2").arg(form.width()).arg(form.height()));
  int shown = 0;
  for (const QWidget* window : QApplication::topLevelWidgets())
    shown += window->isVisible() ? 1 : 0;
  Say(QStringLiteral("windows shown: %1").arg(shown));
  const QRect area = form.screen()->availableGeometry();
  const QRect outer = form.frameGeometry();
  Say(QStringLiteral("centred: %1")
          .arg(qAbs(outer.center().x() - area.center().x()) <= 1 &&
                       qAbs(outer.center().y() - area.center().y()) <= 1
                   ? 1
                   : 0));
  Say(QStringLiteral("font: ") + QFontInfo(form.font()).family());
  QStringList sizes;
  for (const QSize size : form.windowIcon().availableSizes())
    sizes << QString::number(size.width());
  Say(QStringLiteral("icon sizes: ") + sizes.join(QLatin1Char(' ')));
  QApplication::processEvents();
  const QWidget* focus = QApplication::focusWidget();
  Say(QStringLiteral("focus: ") + (focus ? focus->objectName() : QStringLiteral("none")));
}

} // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string mode = argc > 1 ? argv[1] : "startup";
  static FailingColours system;
  static ScopedWinApi useSystem(system);

  const int status = RunApplication(argc, argv, [mode](TMainForm& form) {
    auto* exitButton = form.findChild<QAbstractButton*>(QStringLiteral("ExitButton"));
    auto* yes = form.findChild<QRadioButton*>(QStringLiteral("YesRadioButton"));
    auto* no = form.findChild<QRadioButton*>(QStringLiteral("NoRadioButton"));
    auto* name = form.findChild<QLineEdit*>(QStringLiteral("ComputerNameEdit"));
    auto* restart = form.findChild<QAbstractButton*>(QStringLiteral("RestartButton"));
    if (mode == "startup") {
      ReportStartup(form);
      QTimer::singleShot(0, exitButton, [exitButton] { Click(exitButton); });
    } else if (mode == "close") {
      QTimer::singleShot(0, &form, [&form] { form.close(); });
    } else if (mode == "exception") {
      QTimer::singleShot(0, &form, [=] {
        for (QRadioButton* radio : {yes, no}) {
          system.armed = true;
          CloseErrorBoxSoon();
          Click(radio); // its mouse-up handler reads the system colours
          system.armed = false;
          Say(QStringLiteral("went on after %1").arg(radio->objectName()));
        }
        name->setText(QStringLiteral("ALPHA"));
        Say(QStringLiteral("restart enabled: %1").arg(restart->isEnabled() ? 1 : 0));
        Click(exitButton);
      });
    }
  });
  Say(QStringLiteral("ended: %1").arg(status));
  return status;
}
