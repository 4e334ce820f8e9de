// How quickly the main window answers an operation: from the click on Restart
// to the blue "Restarting " text on screen, from the platform's answer to the
// outcome on screen, and how many operations it starts and finishes back to
// back against a network that answers at once.
//
// A timed harness: the window runs its own event loop, which a per-iteration
// benchmark loop would distort. Prints its figures; target under 20 ms for
// each latency.
#include "bench/BenchSupport.h"
#include "controls/Thread.h"
#include "mainwindow/MainFormUnit.h"
#include "platform/WinApi.h"
#include "platform/sim/SimulatedWinApi.h"
#include "remote/RebootThreadUnit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <vector>

using namespace skarvet;
using namespace skarvet::bench;

namespace {

// How long a step may take before the benchmark gives up.
constexpr int kLimitMs = 5000;

// The simulated network, but each shutdown request waits until the harness
// answers it; notes when the answer left the platform.
class AnsweringWinApi : public SimulatedWinApi {
public:
  AnsweringWinApi() : SimulatedWinApi(sim::Network::Default(), std::chrono::milliseconds(0)) {
    WithNetwork([](sim::Network& net) { net.restartDowntime = std::chrono::milliseconds(0); });
  }
  BOOL InitiateSystemShutdownExA(LPSTR machine, LPSTR message, DWORD timeout, BOOL force,
                                 BOOL reboot, DWORD reason) override {
    {
      std::unique_lock lock(gate_);
      arrived_ = true;
      changed_.notify_all();
      changed_.wait(lock, [&] { return release_; });
      release_ = false;
      arrived_ = false;
    }
    const BOOL result = SimulatedWinApi::InitiateSystemShutdownExA(machine, message, timeout, force,
                                                                   reboot, reason);
    std::lock_guard lock(gate_);
    answeredAt_ = Clock::now();
    return result;
  }
  bool Arrived() {
    std::lock_guard lock(gate_);
    return arrived_;
  }
  void Answer() {
    std::lock_guard lock(gate_);
    release_ = true;
    changed_.notify_all();
  }
  Clock::time_point AnsweredAt() {
    std::lock_guard lock(gate_);
    return answeredAt_;
  }

private:
  std::mutex gate_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool release_ = false;
  Clock::time_point answeredAt_;
};

struct Figures {
  double median, p95, max;
};

Figures Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

void Print(const char* what, const Figures& f, int samples) {
  std::printf("%-44s median %7.3f ms   p95 %7.3f ms   max %7.3f ms   (%d runs)\n", what, f.median,
              f.p95, f.max, samples);
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  return QTest::qWaitFor(done, timeoutMs);
}

int MeasureLatencies(int runs) {
  AnsweringWinApi api;
  ScopedWinApi use(api);
  TMainForm form;
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) {
    std::fprintf(stderr, "the window was never exposed\n");
    std::exit(1);
  }
  auto* label = form.findChild<QLabel*>("StatusLabel");
  auto* name = form.findChild<QLineEdit*>("ComputerNameEdit");
  auto* restart = form.findChild<QAbstractButton*>("RestartButton");
  if (!label || !name || !restart) {
    std::fprintf(stderr, "the main window lacks its controls\n");
    return 1;
  }
  name->setText("ALPHA");
  PaintWatch watch(label);

  std::vector<double> toStarted, toOutcome;
  for (int i = 0; i < runs; ++i) {
    watch.Expect("Restarting ALPHA");
    const Clock::time_point clicked = Clock::now();
    QTest::mouseClick(restart, Qt::LeftButton);
    if (!AwaitUntil([&] { return watch.Painted(); }, kLimitMs)) {
      std::fprintf(stderr, "the start text was never painted\n");
      return 1;
    }
    toStarted.push_back(Ms(watch.PaintedAt() - clicked));

    if (!AwaitUntil([&] { return api.Arrived(); }, kLimitMs)) return 1;
    QTest::qWait(2); // the window idles as it would while the network works
    watch.Expect("ALPHA was restarted.");
    api.Answer();
    if (!AwaitUntil([&] { return watch.Painted(); }, kLimitMs)) {
      std::fprintf(stderr, "the outcome was never painted\n");
      return 1;
    }
    toOutcome.push_back(Ms(watch.PaintedAt() - api.AnsweredAt()));
    if (!WaitUntil([] { return TThread::RunningCount() == 0; })) return 1;
  }
  Print("click on Restart -> \"Restarting \" painted", Summarise(toStarted), runs);
  Print("platform's answer -> outcome painted", Summarise(toOutcome), runs);
  return 0;
}

int MeasureThroughput(const char* buttonName, const char* label, double seconds) {
  SimulatedWinApi network(sim::Network::Default(), std::chrono::milliseconds(0));
  network.WithNetwork(
      [](sim::Network& net) { net.restartDowntime = std::chrono::milliseconds(0); });
  ScopedWinApi use(network);
  TMainForm form;
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) {
    std::fprintf(stderr, "the window was never exposed\n");
    std::exit(1);
  }
  form.findChild<QLineEdit*>("ComputerNameEdit")->setText("ALPHA");
  auto* button = form.findChild<QAbstractButton*>(buttonName);
  auto* status = form.findChild<QLabel*>("StatusLabel");

  int done = 0;
  int failed = 0;
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < seconds * 1000) {
    QTest::mouseClick(button, Qt::LeftButton);
    if (!AwaitUntil([&] { return form.CurrentThread() == nullptr; }, kLimitMs)) return 1;
    if (status->text().startsWith("Error")) ++failed;
    ++done;
  }
  const double elapsed = timer.nsecsElapsed() / 1e9;
  WaitUntil([] { return TThread::RunningCount() == 0; });
  std::printf("%-44s %9.0f operations/s   (%d in %.2f s, %d failed)\n", label, done / elapsed, done,
              elapsed, failed);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("XDG_RUNTIME_DIR")) setenv("XDG_RUNTIME_DIR", "/tmp", 1);
  QApplication app(argc, argv);

  int result = MeasureLatencies(200);
  if (result == 0) result = MeasureThroughput("RestartButton", "restarts back to back", 2.0);
  if (result == 0) result = MeasureThroughput("LogoffButton", "logoffs back to back", 2.0);
  if (TThread::RunningCount() > 0) std::_Exit(result);
  return result;
}
