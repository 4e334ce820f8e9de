// Winsock of the simulated network: its sockets (SimSockets.h), which reach
// the computers that answer WS-Discovery.
#include "platform/sim/SimulatedWinApi.h"

#include "platform/wsd/WsdMessages.h"

#include <chrono>
#include <cstdio>

namespace skarvet {

SOCKET SimulatedWinApi::socket(int af, int type, int protocol) {
  return sockets_.socket(af, type, protocol);
}

int SimulatedWinApi::closesocket(SOCKET s) {
  return sockets_.closesocket(s);
}

int SimulatedWinApi::bind(SOCKET s, const sockaddr* name, int namelen) {
  return sockets_.bind(s, name, namelen);
}

int SimulatedWinApi::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  return sockets_.setsockopt(s, level, optname, optval, optlen);
}

int SimulatedWinApi::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  return sockets_.ioctlsocket(s, cmd, argp);
}

int SimulatedWinApi::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
                              LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                              LPWSAOVERLAPPED lpOverlapped,
                              LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  return sockets_.WSAIoctl(s, dwIoControlCode, lpvInBuffer, cbInBuffer, lpvOutBuffer, cbOutBuffer,
                           lpcbBytesReturned, lpOverlapped, lpCompletionRoutine);
}

int SimulatedWinApi::connect(SOCKET s, const sockaddr* name, int namelen) {
  return sockets_.connect(s, name, namelen);
}

int SimulatedWinApi::send(SOCKET s, const char* buf, int len, int flags) {
  return sockets_.send(s, buf, len, flags);
}

int SimulatedWinApi::recv(SOCKET s, char* buf, int len, int flags) {
  return sockets_.recv(s, buf, len, flags);
}

int SimulatedWinApi::sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to,
                            int tolen) {
  return sockets_.sendto(s, buf, len, flags, to, tolen);
}

int SimulatedWinApi::recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from,
                              int* fromlen) {
  return sockets_.recvfrom(s, buf, len, flags, from, fromlen);
}

int SimulatedWinApi::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  return sockets_.WSAPoll(fdArray, fds, timeout);
}

int SimulatedWinApi::WSAGetLastError() {
  return static_cast<int>(GetLastError());
}

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
