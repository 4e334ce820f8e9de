// The program's start-up and its application object.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

namespace skarvet {

class TMainForm;

// The application object. An exception that escapes an event handler is
// shown in the toolkit's standard error box (a critical message box with the
// exception's text) and the program goes on with the next event.
class TApplication : public QApplication {
  Q_OBJECT

public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

// Makes the fonts the windows are laid out for available: the metric
// compatible "MS Sans Serif" of Debian's fonts-wine, which lives outside the
// system font path and is registered here from `fontFolder`, and, when it is
// missing, the nearest stand-in (Arial's metrics, fonts-liberation).
// Returns whether "MS Sans Serif" itself is available. The first call in a
// process does the work; later calls return its result.
bool RegisterApplicationFonts(const QString& fontFolder = QStringLiteral("/usr/share/wine/fonts/"));

// Runs the program: creates the application object, registers the fonts,
// creates the main window (the first window, so closing it ends the program)
// and the two dialogs (hidden), shows the main window, calls `started` if
// given (test programs drive the real program through it), runs the event
// loop and returns its exit status. If a worker thread is still running when
// the loop ends, the process ends at once with that status instead.
int RunApplication(int& argc, char** argv, const std::function<void(TMainForm&)>& started = {});

} // namespace skarvet
