#include "app/Application.h"

#include "controls/Accessibility.h"
#include "controls/AnsiText.h"
#include "controls/ErrorBox.h"
#include "controls/ShutdownReasonHelpFormUnit.h"
#include "controls/Thread.h"
#include "mainwindow/MainFormUnit.h"
#include "netbrowse/ComputerBrowserUnit.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace skarvet {

namespace {

// From Debian's fonts-wine: the design font, and the scalable face that
// stands in for it on a scaled display (see controls/DisplayScale.h), which
// is only registered when some screen is scaled. Its bold file is left out:
// it widens the regular outlines without thickening them, where the text
// renderer's own emboldening is bold.
constexpr const char* kDesignFontFile = "ms_sans_serif.ttf";
constexpr const char* kScaledFontFile = "tahoma.ttf";

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("Skarvet"));
  setOrganizationName(QStringLiteral("Ondravel"));
  InstallAccessibleInterfaces();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    // The program's texts, exception messages included, are ANSI.
    ShowException(FromAnsi(error.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown exception"));
  }
  return false;
}

bool RegisterApplicationFonts(const QString& fontFolder) {
  static const bool available = [&fontFolder] {
    QList<const char*> files{kDesignFontFile};
    if (qApp && qApp->devicePixelRatio() > 1) files.append(kScaledFontFile);
    for (const char* file : files) {
      const QString path = QDir(fontFolder).filePath(QString::fromLatin1(file));
      if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
    }
    const bool found = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"));
    if (!found) {
      // Arial's metrics (fonts-liberation) come nearest to the design font.
      QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                 {QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    }
    return found;
  }();
  return available;
}

int RunApplication(int& argc, char** argv, const std::function<void(TMainForm&)>& started) {
  TApplication application(argc, argv);
  RegisterApplicationFonts();

  // The first window created is the main window: closing it ends the loop.
  TMainForm mainForm;
  // Then the reason help dialog and the computer browser dialog, hidden, in
  // this order. They live for the whole run; owned by the main window, they
  // stay above it and go with it at the end.
  auto* shutdownReasonHelpForm = new TShutdownReasonHelpForm(&mainForm);
  auto* computerBrowserForm = new TComputerBrowserForm(&mainForm);
  mainForm.SetDialogs(shutdownReasonHelpForm, computerBrowserForm);

  mainForm.show();
  if (started) started(mainForm);
  const int status = application.exec();

  if (TThread::RunningCount() > 0) {
    // A worker may still be waiting for the network; tearing the toolkit
    // down under it is not safe, so the process ends here.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
  }
  return status;
}

} // namespace skarvet
