// Shared main of the test programs: headless Qt and a zero-latency network.
#include "controls/Thread.h"
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <QDir>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef _WIN32
  // The headless platform reads font files from one folder; by default the
  // system's.
  if (!qEnvironmentVariableIsSet("QT_QPA_FONTDIR")) {
    const QString windows = qEnvironmentVariable("WINDIR", QStringLiteral("C:/Windows"));
    qputenv("QT_QPA_FONTDIR", QDir(windows).filePath(QStringLiteral("Fonts")).toLocal8Bit());
  }
#else
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    // Qt wants a private runtime folder; CI runs without a login session.
    const std::string runtimeDir = "/tmp/skarvet-runtime-" + std::to_string(getuid());
    mkdir(runtimeDir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
  }
#endif
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);

  // The default network answers at once in tests; tests that need latency
  // or a fake install their own with ScopedWinApi.
  skarvet::SimulatedWinApi network(skarvet::sim::Network::Default(), std::chrono::milliseconds(0));
  skarvet::ScopedWinApi useNetwork(network);

  const int result = RUN_ALL_TESTS();
  // Workers still waiting for a held request must not outlive the objects
  // they use; end the process as the program itself does.
  if (skarvet::TThread::RunningCount() > 0) std::_Exit(result);
  return result;
}
