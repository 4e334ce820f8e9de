// The real program, started as a child process: how its window first shows,
// how it ends, and the standard error box for an exception that escapes an
// event handler.
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#ifdef _WIN32
#define SKARVET_EXE_SUFFIX ".exe"
#else
#define SKARVET_EXE_SUFFIX ""
#endif

namespace {

struct ProgramRun {
  int exitCode = -1;
  QProcess::ExitStatus exitStatus = QProcess::CrashExit;
  QStringList lines;
  QString errors;

  bool Has(const QString& line) const { return lines.contains(line); }
  std::string Dump() const {
    return ("output:\n" + lines.join('\n') + "\nerrors:\n" + errors).toStdString();
  }
};

// `leakCheck` false: an exception that unwinds through the toolkit's own
// frames (built without exception support) leaves that event's locals
// undestroyed, a few hundred bytes each time; a sanitizer build would
// report them at exit.
ProgramRun RunProgram(const QString& mode, bool leakCheck = true) {
  ProgramRun run;
  const QString helper = QCoreApplication::applicationDirPath() +
                         QStringLiteral("/helper_mainform") + QStringLiteral(SKARVET_EXE_SUFFIX);
  EXPECT_TRUE(QFileInfo::exists(helper)) << helper.toStdString();
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  if (!leakCheck) {
    const QString options = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       options + (options.isEmpty() ? "" : ":") + QStringLiteral("detect_leaks=0"));
  }
  process.setProcessEnvironment(environment);
  process.start(helper, {mode});
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished(5000);
    ADD_FAILURE() << "the program did not end";
  }
  run.exitCode = process.exitCode();
  run.exitStatus = process.exitStatus();
  // Lines end in CR LF on Windows.
  run.lines = QString::fromUtf8(process.readAllStandardOutput())
                  .remove(QLatin1Char('\r'))
                  .split('\n', Qt::SkipEmptyParts);
  run.errors = QString::fromUtf8(process.readAllStandardError());
  return run;
}

TEST(Program, TheMainWindowShowsFirstCentredWithTheNameFieldFocusedAndExitEndsIt) {
  const ProgramRun run = RunProgram(QStringLiteral("startup"));
  SCOPED_TRACE(run.Dump());
  EXPECT_TRUE(run.Has(QStringLiteral("title: Ondravel Skarvet")));
  EXPECT_TRUE(run.Has(QStringLiteral("visible: 1")));
  EXPECT_TRUE(run.Has(QStringLiteral("client: 429x423")));
  EXPECT_TRUE(run.Has(QStringLiteral("windows shown: 1")));
  EXPECT_TRUE(run.Has(QStringLiteral("centred: 1")));
  EXPECT_TRUE(run.Has(QStringLiteral("focus: ComputerNameEdit")));
  // The designed 16, 32 and 48 pixels, and their double for scaled displays.
  QStringList sizes;
  for (const QString& line : run.lines)
    if (line.startsWith(QStringLiteral("icon sizes: ")))
      sizes = line.mid(12).split(QLatin1Char(' '));
  for (const char* size : {"16", "32", "48", "64", "96"})
    EXPECT_TRUE(sizes.contains(QLatin1String(size))) << size;
  if (QFileInfo::exists(QStringLiteral("/usr/share/wine/fonts/ms_sans_serif.ttf"))) {
    EXPECT_TRUE(run.Has(QStringLiteral("font: MS Sans Serif")));
  }
  EXPECT_TRUE(run.Has(QStringLiteral("ended: 0")));
  EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
  EXPECT_EQ(run.exitCode, 0);
}

TEST(Program, ClosingTheWindowEndsTheProgram) {
  const ProgramRun run = RunProgram(QStringLiteral("close"));
  SCOPED_TRACE(run.Dump());
  EXPECT_TRUE(run.Has(QStringLiteral("ended: 0")));
  EXPECT_EQ(run.exitCode, 0);
}

TEST(Program, AnExceptionFromAHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
  const ProgramRun run = RunProgram(QStringLiteral("exception"), false);
  SCOPED_TRACE(run.Dump());
  EXPECT_EQ(run.lines.count(QStringLiteral("box: Skarvet | Colour table unavailable | critical")),
            2);
  EXPECT_TRUE(run.Has(QStringLiteral("went on after YesRadioButton")));
  EXPECT_TRUE(run.Has(QStringLiteral("went on after NoRadioButton")));
  EXPECT_TRUE(run.Has(QStringLiteral("restart enabled: 1")));
  EXPECT_TRUE(run.Has(QStringLiteral("ended: 0")));
  EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_FALSE(run.errors.contains(QStringLiteral("terminate called")));
}

} // namespace
