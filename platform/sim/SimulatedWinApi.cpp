#include "platform/sim/SimulatedWinApi.h"

#include <thread>

namespace skarvet {
SimulatedWinApi::SimulatedWinApi(sim::Network network, std::chrono::milliseconds latency)
    : network_(std::move(network)), latencyMs_(latency.count()) {}

SimulatedWinApi::~SimulatedWinApi() = default;

void SimulatedWinApi::SetLatency(std::chrono::milliseconds latency) {
  latencyMs_.store(latency.count());
}

std::chrono::milliseconds SimulatedWinApi::Latency() const {
  return std::chrono::milliseconds(latencyMs_.load());
}

void SimulatedWinApi::SimulateLatency() const {
  const long long ms = latencyMs_.load();
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SimulatedWinApi::WithNetwork(const std::function<void(sim::Network&)>& f) {
  std::lock_guard lock(mutex_);
  f(network_);
}

} // namespace skarvet
