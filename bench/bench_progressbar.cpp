// Cost of painting the XP progress bar, and what its animation timers cost.
//
// The main window steps its bar every 20 ms and the browser dialog every
// 2 ms, and each step repaints synchronously; the figures below give the
// time of one paint and the share of one core those rates take.
#include "controls/ProgressBarXPUnit.h"
#include "platform/sim/SimulatedWinApi.h"

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

using skarvet::ScopedWinApi;
using skarvet::SimulatedWinApi;
using skarvet::TProgressBarXP;
namespace sim = skarvet::sim;

namespace {

struct Instance {
  const char* name;
  int width;
  int height;
  double periodMs; // how often the owning window steps it
};

const Instance kInstances[] = {{"main 404x14", 404, 14, 20.0}, {"browser 148x13", 148, 13, 2.0}};

// Paint of a hidden bar into an image through render(): the drawing alone.
void BM_RenderIntoImage(benchmark::State& state) {
  const Instance& instance = kInstances[state.range(0)];
  TProgressBarXP bar;
  bar.resize(instance.width, instance.height);
  bar.SetPosition(static_cast<int>(state.range(1)));
  QImage image(bar.size(), QImage::Format_RGB32);
  for ([[maybe_unused]] auto _ : state) {
    bar.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.SetLabel(instance.name);
}

// A position write on a shown bar inside a window: the synchronous repaint
// into the window's backing store and its flush, as each timer step does.
void BM_PositionWriteRepaint(benchmark::State& state) {
  const Instance& instance = kInstances[state.range(0)];
  QWidget window;
  window.resize(440, 200);
  auto* bar = new TProgressBarXP(&window);
  bar->setGeometry(6, 113, instance.width, instance.height);
  window.show();
  QApplication::processEvents();
  const int position = static_cast<int>(state.range(1));
  for ([[maybe_unused]] auto _ : state) bar->SetPosition(position);
  state.SetLabel(instance.name);
}

void Arguments(benchmark::internal::Benchmark* b) {
  for (int instance = 0; instance < 2; ++instance)
    for (int position : {0, 50, 100}) b->Args({instance, position});
  b->ArgNames({"instance", "percent"});
  b->Unit(benchmark::kMicrosecond);
}

BENCHMARK(BM_RenderIntoImage)->Apply(Arguments);
BENCHMARK(BM_PositionWriteRepaint)->Apply(Arguments);

// Keeps the microseconds per iteration of every run for the summary: wall
// time, and the processor time of this thread (what the paint itself costs
// the core, unaffected by other programs competing for the machine).
struct Figures {
  double wallUs = -1.0;
  double cpuUs = -1.0;
};

class CollectingReporter : public benchmark::ConsoleReporter {
public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {} // plain text: the figures go to logs
  std::map<std::string, Figures> figures;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const double toUs = 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      figures[run.benchmark_name()] = {run.GetAdjustedRealTime() * toUs,
                                       run.GetAdjustedCPUTime() * toUs};
    }
  }
};

Figures Lookup(const CollectingReporter& reporter, const char* benchmark, int instance,
               int percent) {
  const std::string key = std::string(benchmark) + "/instance:" + std::to_string(instance) +
                          "/percent:" + std::to_string(percent);
  const auto found = reporter.figures.find(key);
  return found == reporter.figures.end() ? Figures{} : found->second;
}

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!std::getenv("XDG_RUNTIME_DIR")) setenv("XDG_RUNTIME_DIR", "/tmp", 1);
  QApplication app(argc, argv);
  // The bar reads the system colours of the simulated desktop.
  SimulatedWinApi system(sim::Network::Default(), std::chrono::milliseconds(0));
  ScopedWinApi useSystem(system);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nProgress bar paint cost, microseconds per paint (processor / wall)\n");
  std::printf("%-16s %-8s %20s %20s\n", "instance", "percent", "render() to image",
              "write + repaint()");
  for (int i = 0; i < 2; ++i)
    for (int percent : {0, 50, 100}) {
      const Figures render = Lookup(reporter, "BM_RenderIntoImage", i, percent);
      const Figures repaint = Lookup(reporter, "BM_PositionWriteRepaint", i, percent);
      std::printf("%-16s %-8d %9.2f / %8.2f %9.2f / %8.2f\n", kInstances[i].name, percent,
                  render.cpuUs, render.wallUs, repaint.cpuUs, repaint.wallUs);
    }

  std::printf("\nShare of one core taken by the animation: worst of 0/50/100 %% of a "
              "position write with its synchronous repaint, per timer period\n");
  const double targets[] = {1.0, 2.0};
  for (int i = 0; i < 2; ++i) {
    Figures worst;
    for (int percent : {0, 50, 100}) {
      const Figures f = Lookup(reporter, "BM_PositionWriteRepaint", i, percent);
      worst.cpuUs = std::max(worst.cpuUs, f.cpuUs);
      worst.wallUs = std::max(worst.wallUs, f.wallUs);
    }
    if (worst.cpuUs < 0) {
      std::printf("%-16s not measured (filtered out)\n", kInstances[i].name);
      continue;
    }
    const double periodUs = kInstances[i].periodMs * 1000.0;
    const double share = worst.cpuUs / periodUs * 100.0;
    std::printf("%-16s every %4.1f ms: %6.2f us processor per step -> %6.3f %% of one core "
                "(target < %.0f %%: %s); by wall time %6.3f %%\n",
                kInstances[i].name, kInstances[i].periodMs, worst.cpuUs, share, targets[i],
                share < targets[i] ? "met" : "MISSED", worst.wallUs / periodUs * 100.0);
  }
  return 0;
}
