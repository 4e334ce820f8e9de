// Start-up cost of the real program, offscreen: the time from process start
// to the main window shown (painted once), and the resident memory once the
// program sits idle. A timed harness: the program starts itself as a child
// process a number of times and prints the figures, on a display at 100 %
// and at 200 % (QT_SCALE_FACTOR 2: the scaled fonts and double-size
// artwork).
//
//   bench_startup [runs]        (default 15 runs at each scale)
//
// Targets on the development machine: under 100 ms at both scales, under
// 30 MB at 100 % and under 45 MB at 200 %.
#include "app/Application.h"
#include "bench/BenchSupport.h"
#include "mainwindow/MainFormUnit.h"
#include "platform/WinApi.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

using namespace skarvet;
using namespace skarvet::bench;

namespace {

constexpr double kTargetMs = 100.0;
struct Scale {
  const char* factor;
  const char* name;
  double targetMb;
};
constexpr Scale kScales[] = {{"1", "100 %", 30.0}, {"2", "200 %", 45.0}};
constexpr int kIdleMs = 500;

const auto kMainEntered = std::chrono::steady_clock::now();

// The child: the real program. It says when its window has been shown and
// painted, then idles, reports its memory and ends through Exit.
int RunChild(int argc, char** argv) {
  // The program's own start-up: the network the environment chooses.
  InstallWinApi(CreateDefaultWinApi());
  return RunApplication(argc, argv, [](TMainForm& form) {
    QCoreApplication::processEvents(); // the first paint
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - kMainEntered)
            .count();
    std::printf("shown %.3f\n", ms);
    std::fflush(stdout);
    QTimer::singleShot(kIdleMs, &form, [&form] {
      std::printf("memory %ld %ld\n", StatusKb("VmRSS:"), StatusKb("VmHWM:"));
      std::fflush(stdout);
      form.findChild<QAbstractButton*>(QStringLiteral("ExitButton"))->click();
    });
  });
}

struct Sample {
  double toShownMs = 0;     // process start to window shown, seen from outside
  double mainToShownMs = 0; // main() to window shown, seen from inside
  double rssMb = 0;
  double peakMb = 0;
};

bool RunOnce(const QString& program, const QString& runtimeFolder, const Scale& scale,
             Sample& sample) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale.factor));
  if (!environment.contains(QStringLiteral("XDG_RUNTIME_DIR")))
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer clock;
  clock.start();
  child.start(program, {QStringLiteral("--child")});
  bool shown = false, measured = false;
  while (child.state() != QProcess::NotRunning || child.canReadLine()) {
    if (!child.canReadLine() && !child.waitForReadyRead(10000)) break;
    while (child.canReadLine()) {
      const QByteArray line = child.readLine().trimmed();
      if (line.startsWith("shown ")) {
        sample.toShownMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        sample.mainToShownMs = line.mid(6).toDouble();
        shown = true;
      } else if (line.startsWith("memory ")) {
        const QList<QByteArray> parts = line.split(' ');
        sample.rssMb = parts.value(1).toDouble() / 1024.0;
        sample.peakMb = parts.value(2).toDouble() / 1024.0;
        measured = true;
      }
    }
  }
  child.waitForFinished(10000);
  return shown && measured && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return RunChild(argc, argv);

  QCoreApplication application(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const QString program = QCoreApplication::applicationFilePath();
  // A private runtime folder for the children, as a desktop session has.
  QTemporaryDir runtimeFolder;
  QFile::setPermissions(runtimeFolder.path(),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

  for (const Scale& scale : kScales) {
    Sample warmUp; // fills the file cache; not counted
    if (!RunOnce(program, runtimeFolder.path(), scale, warmUp)) {
      std::fprintf(stderr, "the program did not start and end as expected\n");
      return 1;
    }
    std::vector<double> toShown, mainToShown, rss, peak;
    for (int i = 0; i < runs; ++i) {
      Sample sample;
      if (!RunOnce(program, runtimeFolder.path(), scale, sample)) {
        std::fprintf(stderr, "run %d failed\n", i + 1);
        return 1;
      }
      toShown.push_back(sample.toShownMs);
      mainToShown.push_back(sample.mainToShownMs);
      rss.push_back(sample.rssMb);
      peak.push_back(sample.peakMb);
    }

    std::printf("Start-up of the program, offscreen at %s, %d runs (median, min - max)\n",
                scale.name, runs);
    std::printf(
        "  process start to main window shown: %7.1f ms  (%.1f - %.1f)   target < %.0f ms\n",
        Median(toShown), *std::min_element(toShown.begin(), toShown.end()),
        *std::max_element(toShown.begin(), toShown.end()), kTargetMs);
    std::printf("  of which main() to window shown:    %7.1f ms  (%.1f - %.1f)\n",
                Median(mainToShown), *std::min_element(mainToShown.begin(), mainToShown.end()),
                *std::max_element(mainToShown.begin(), mainToShown.end()));
    std::printf(
        "  resident memory once idle (VmRSS):  %7.1f MB  (%.1f - %.1f)   target < %.0f MB\n",
        Median(rss), *std::min_element(rss.begin(), rss.end()),
        *std::max_element(rss.begin(), rss.end()), scale.targetMb);
    std::printf("  peak resident memory (VmHWM):       %7.1f MB\n", Median(peak));
    const bool met = Median(toShown) < kTargetMs && Median(rss) < scale.targetMb;
    std::printf("  targets %s\n", met ? "met" : "NOT met");
  }
  return 0;
}
