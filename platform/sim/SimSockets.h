// Winsock on the simulated network, in-process: datagrams and streams
// between the computer the program runs on and the network's computers,
// which answer WS-Discovery the way real ones do.
//
// - A Probe sent to the multicast group 239.255.255.250:3702 brings one
//   ProbeMatches per computer that answers, unicast to the probing socket,
//   a few milliseconds apart. Domain members name their metadata address
//   in it (as Windows does); workgroup computers do not (as wsdd does), and
//   answer the Resolve that asks for it.
// - A connection to a computer's port 5357 carries the metadata Get; the
//   computer answers with "NAME/Workgroup:WG" or "NAME/Domain:dns.name" and
//   closes. A computer without the metadata service refuses connections;
//   an address where nobody is never answers.
// - The interface list (WSAIoctl SIO_GET_INTERFACE_LIST) holds the loopback
//   interface and the local computer's address.
//
// Non-blocking sockets answer WSAEWOULDBLOCK until something arrives;
// WSAPoll waits for it, up to its time-out. Thread-safe.
#pragma once

#include "platform/WinApi.h"
#include "platform/desktop/Winsock.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace skarvet::sim {

// A computer as the network's WS-Discovery sees it.
struct Responder {
  std::uint32_t address = 0; // IPv4, host byte order
  std::string endpoint;      // "urn:uuid:..."
  std::string computer;      // "NAME/Workgroup:WG" or "NAME/Domain:dns.name"
  bool addressInMatches = false;
  bool metadataService = true;
};

class Sockets final : public Winsock {
public:
  using Clock = std::chrono::steady_clock;

  // `localAddress`: the computer's own (host byte order), 0 for none.
  // `responders` is asked, without any lock of this object held, for the
  // computers that answer at the moment a message reaches the network.
  Sockets(WinApi& owner, std::uint32_t localAddress,
          std::function<std::vector<Responder>()> responders);

  SOCKET socket(int af, int type, int protocol) override;
  int closesocket(SOCKET s) override;
  int bind(SOCKET s, const sockaddr* name, int namelen) override;
  int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) override;
  int ioctlsocket(SOCKET s, long cmd, u_long* argp) override;
  int WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID lpvInBuffer, DWORD cbInBuffer,
               LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
               LPWSAOVERLAPPED lpOverlapped,
               LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) override;
  int connect(SOCKET s, const sockaddr* name, int namelen) override;
  int send(SOCKET s, const char* buf, int len, int flags) override;
  int recv(SOCKET s, char* buf, int len, int flags) override;
  int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) override;
  int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) override;
  int WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) override;

  // Sockets open now (tests: every socket is closed again).
  std::size_t OpenCount() const;

private:
  struct Datagram {
    Clock::time_point ready;
    std::uint32_t from = 0;
    std::uint16_t fromPort = 0;
    std::string bytes;
  };
  enum class Stream { Fresh, Connecting, Connected, Refused, Silent };
  struct Socket {
    int type = 0;
    bool nonBlocking = false;
    std::uint32_t address = 0; // bound address
    std::uint16_t port = 0;    // 0: not bound
    std::uint32_t multicastInterface = 0;
    std::deque<Datagram> inbox;
    Stream stream = Stream::Fresh;
    Clock::time_point connected;
    Responder peer;
    std::string request;
    std::string response;
    Clock::time_point responseReady;
    bool responded = false;
  };

  int Fail(int wsaError);
  Socket* Find(SOCKET s);
  void BindLocked(Socket& socket, std::uint32_t address, std::uint16_t port);
  bool IsLocal(std::uint32_t address) const;
  // The events of `socket` now, and when they change next.
  SHORT EventsLocked(Socket& socket, SHORT wanted, Clock::time_point now,
                     Clock::time_point& next) const;
  void Deliver(Socket& socket, std::uint32_t from, std::uint16_t fromPort, std::string bytes,
               Clock::time_point ready);

  WinApi& owner_;
  const std::uint32_t localAddress_;
  const std::function<std::vector<Responder>()> responders_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<SOCKET, Socket> sockets_;
  SOCKET nextSocket_ = 0x200;
  std::uint16_t nextPort_ = 49152;
};

} // namespace skarvet::sim
