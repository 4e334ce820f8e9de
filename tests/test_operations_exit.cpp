// Ending the real program while an operation waits for a computer that never
// answers: the program must end at once, cleanly, with status 0.
#include <QCoreApplication>
#include <QElapsedTimer>
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

struct Run {
  bool exitRequested = false;
  qint64 msFromRequestToEnd = -1;
  QProcess::ExitStatus exitStatus = QProcess::CrashExit;
  int exitCode = -1;
  QString output;
  QString errors;
};

Run RunProgram(const QString& how) {
  Run run;
  const QString helper = QCoreApplication::applicationDirPath() +
                         QStringLiteral("/helper_exit_during_operation") +
                         QStringLiteral(SKARVET_EXE_SUFFIX);
  EXPECT_TRUE(QFileInfo::exists(helper)) << helper.toStdString();

  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  process.setProcessEnvironment(environment);
  process.start(helper, {how});
  if (!process.waitForStarted(10000)) {
    ADD_FAILURE() << "the program did not start: " << process.errorString().toStdString();
    return run;
  }

  QElapsedTimer sinceRequest;
  QElapsedTimer overall;
  overall.start();
  while (process.state() != QProcess::NotRunning && overall.elapsed() < 20000) {
    process.waitForReadyRead(10);
    while (process.canReadLine()) {
      const QString line = QString::fromLocal8Bit(process.readLine());
      run.output += line;
      if (line.startsWith(QStringLiteral("exit requested")) && !run.exitRequested) {
        run.exitRequested = true;
        sinceRequest.start();
      }
    }
  }
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished(5000);
    ADD_FAILURE() << "the program did not end";
    return run;
  }
  if (run.exitRequested) run.msFromRequestToEnd = sinceRequest.elapsed();
  run.output += QString::fromLocal8Bit(process.readAllStandardOutput());
  run.errors = QString::fromLocal8Bit(process.readAllStandardError());
  run.exitStatus = process.exitStatus();
  run.exitCode = process.exitCode();
  return run;
}

void ExpectCleanEnd(const Run& run) {
  SCOPED_TRACE("output:\n" + run.output.toStdString() + "errors:\n" + run.errors.toStdString());
  EXPECT_TRUE(run.output.contains(QStringLiteral("started: Restarting FOXTROT; busy: 1")));
  ASSERT_TRUE(run.exitRequested);
  EXPECT_TRUE(run.output.contains(QStringLiteral("workers running: 1")))
      << "the operation was still running when the end was asked for";
  EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_LT(run.msFromRequestToEnd, 1000);
  EXPECT_FALSE(run.errors.contains(QStringLiteral("Destroyed while thread")));
  EXPECT_FALSE(run.errors.contains(QStringLiteral("terminate called")));
}

TEST(ExitDuringOperation, TheExitButtonEndsTheProgramAtOnceWithStatusZero) {
  ExpectCleanEnd(RunProgram(QStringLiteral("exit")));
}

TEST(ExitDuringOperation, TheCloseBoxEndsTheProgramAtOnceWithStatusZero) {
  ExpectCleanEnd(RunProgram(QStringLiteral("close")));
}

} // namespace
