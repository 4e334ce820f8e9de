// The simulated network's side of its sockets (SimSockets.h): the local
// address and the computers that answer WS-Discovery. Winsock's calls reach
// the sockets through the base (DesktopWinApi::SocketLayer).
#include "platform/sim/SimulatedWinApi.h"

#include "platform/wsd/WsdMessages.h"

#include <chrono>
#include <cstdio>

namespace skarvet {

std::uint32_t SimulatedWinApi::LocalAddress() const {
  std::lock_guard lock(mutex_);
  for (const sim::Computer& computer : network_.computers) {
    std::uint32_t address = 0;
    if (sim::EqualsIgnoreCase(computer.name, network_.localComputer) &&
        wsd::ParseIpv4(computer.address, address))
      return address;
  }
  return 0;
}

std::vector<sim::Responder> SimulatedWinApi::RespondersNow() const {
  std::lock_guard lock(mutex_);
  const auto now = std::chrono::steady_clock::now();
  std::vector<sim::Responder> responders;
  for (const sim::Computer& computer : network_.computers) {
    std::uint32_t address = 0;
    if (computer.discovery.empty() || !wsd::ParseIpv4(computer.address, address)) continue;
    // A computer that is off, restarting or dropping packets is silent.
    if (computer.state == sim::HostState::Offline || computer.state == sim::HostState::NoAnswer ||
        now < computer.unreachableUntil)
      continue;
    // A fixed endpoint per computer, from its name.
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : sim::UpperAscii(computer.name))
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char endpoint[64];
    std::snprintf(endpoint, sizeof endpoint, "urn:uuid:5ca1ab1e-0000-4000-8000-%012llx",
                  static_cast<unsigned long long>(hash & 0xFFFFFFFFFFFFull));
    sim::Responder responder;
    responder.address = address;
    responder.endpoint = endpoint;
    responder.computer = computer.discovery;
    // Domain members name their metadata address in their answers, as
    // Windows does; workgroup computers wait for a Resolve, as wsdd does.
    responder.addressInMatches = computer.discovery.find("/Domain:") != std::string::npos;
    responder.metadataService = computer.metadataService;
    responders.push_back(std::move(responder));
  }
  return responders;
}

} // namespace skarvet
