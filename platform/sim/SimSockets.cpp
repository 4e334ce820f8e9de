#include "platform/sim/SimSockets.h"

#include "platform/wsd/WsdMessages.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace skarvet::sim {
namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;
constexpr std::chrono::milliseconds kFirstAnswer{2};
constexpr std::chrono::microseconds kAnswerSpacing{500};
constexpr std::chrono::milliseconds kHop{1};

bool ReadAddress(const sockaddr* name, int namelen, std::uint32_t& address, std::uint16_t& port) {
  if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) return false;
  sockaddr_in in;
  std::memcpy(&in, name, sizeof in);
  if (in.sin_family != AF_INET) return false;
  address = ntohl(in.sin_addr.s_addr);
  port = ntohs(in.sin_port);
  return true;
}

void WriteAddress(std::uint32_t address, std::uint16_t port, sockaddr* name, int* namelen) {
  if (!name || !namelen) return;
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  in.sin_port = htons(port);
  std::memcpy(name, &in, std::min<std::size_t>(sizeof in, static_cast<std::size_t>(*namelen)));
  *namelen = sizeof in;
}

// The path a computer serves its metadata on: its endpoint's uuid.
std::string MetadataPath(const Responder& responder) {
  const std::string& endpoint = responder.endpoint;
  const std::size_t colon = endpoint.rfind(':');
  return "/" + (colon == std::string::npos ? endpoint : endpoint.substr(colon + 1));
}

std::string MetadataUrl(const Responder& responder) {
  return "http://" + wsd::FormatIpv4(responder.address) + ":" + std::to_string(wsd::kMetadataPort) +
         MetadataPath(responder);
}

} // namespace

Sockets::Sockets(WinApi& owner, std::uint32_t localAddress,
                 std::function<std::vector<Responder>()> responders)
    : owner_(owner), localAddress_(localAddress), responders_(std::move(responders)) {}

int Sockets::Fail(int wsaError) {
  owner_.SetLastError(static_cast<DWORD>(wsaError));
  return SOCKET_ERROR;
}

Sockets::Socket* Sockets::Find(SOCKET s) {
  auto it = sockets_.find(s);
  return it == sockets_.end() ? nullptr : &it->second;
}

std::size_t Sockets::OpenCount() const {
  std::lock_guard lock(mutex_);
  return sockets_.size();
}

bool Sockets::IsLocal(std::uint32_t address) const {
  return address == 0 || address == kLoopback || (localAddress_ && address == localAddress_);
}

void Sockets::BindLocked(Socket& socket, std::uint32_t address, std::uint16_t port) {
  socket.address = address;
  socket.port = port ? port : nextPort_++;
  if (nextPort_ == 0) nextPort_ = 49152;
}

SOCKET Sockets::socket(int af, int type, int /*protocol*/) {
  if (af != AF_INET) {
    Fail(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (type != SOCK_DGRAM && type != SOCK_STREAM) {
    Fail(WSAEPROTOTYPE);
    return INVALID_SOCKET;
  }
  std::lock_guard lock(mutex_);
  nextSocket_ += 4;
  sockets_[nextSocket_].type = type;
  return nextSocket_;
}

int Sockets::closesocket(SOCKET s) {
  std::lock_guard lock(mutex_);
  if (sockets_.erase(s) == 0) return Fail(WSAENOTSOCK);
  return 0;
}

int Sockets::bind(SOCKET s, const sockaddr* name, int namelen) {
  std::lock_guard lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  std::uint32_t address;
  std::uint16_t port;
  if (!ReadAddress(name, namelen, address, port)) return Fail(WSAEFAULT);
  if (socket->port) return Fail(WSAEINVAL);
  if (!IsLocal(address)) return Fail(WSAEADDRNOTAVAIL);
  BindLocked(*socket, address, port);
  return 0;
}

int Sockets::setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  std::lock_guard lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (!optval || optlen < static_cast<int>(sizeof(DWORD))) return Fail(WSAEFAULT);
  if (level == IPPROTO_IP && optname == IP_MULTICAST_IF) {
    in_addr address;
    std::memcpy(&address, optval, sizeof address);
    const std::uint32_t chosen = ntohl(address.s_addr);
    if (!IsLocal(chosen)) return Fail(WSAEADDRNOTAVAIL);
    socket->multicastInterface = chosen;
    return 0;
  }
  if ((level == IPPROTO_IP && (optname == IP_MULTICAST_TTL || optname == IP_MULTICAST_LOOP)) ||
      (level == SOL_SOCKET &&
       (optname == SO_REUSEADDR || optname == SO_RCVBUF || optname == SO_SNDBUF)))
    return 0;
  return Fail(WSAENOPROTOOPT);
}

int Sockets::ioctlsocket(SOCKET s, long cmd, u_long* argp) {
  std::lock_guard lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (!argp) return Fail(WSAEFAULT);
  if (static_cast<unsigned long>(cmd) != static_cast<unsigned long>(FIONBIO))
    return Fail(WSAEINVAL);
  socket->nonBlocking = *argp != 0;
  return 0;
}

int Sockets::WSAIoctl(SOCKET s, DWORD dwIoControlCode, LPVOID /*lpvInBuffer*/, DWORD /*cbInBuffer*/,
                      LPVOID lpvOutBuffer, DWORD cbOutBuffer, LPDWORD lpcbBytesReturned,
                      LPWSAOVERLAPPED lpOverlapped,
                      LPWSAOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine) {
  std::lock_guard lock(mutex_);
  if (!Find(s)) return Fail(WSAENOTSOCK);
  if (dwIoControlCode != SIO_GET_INTERFACE_LIST || lpOverlapped || lpCompletionRoutine)
    return Fail(WSAEOPNOTSUPP);
  if (!lpcbBytesReturned) return Fail(WSAEFAULT);
  std::vector<INTERFACE_INFO> list;
  auto add = [&](std::uint32_t address, std::uint32_t mask, ULONG flags) {
    INTERFACE_INFO info{};
    info.iiFlags = flags;
    info.iiAddress.AddressIn.sin_family = AF_INET;
    info.iiAddress.AddressIn.sin_addr.s_addr = htonl(address);
    info.iiNetmask.AddressIn.sin_family = AF_INET;
    info.iiNetmask.AddressIn.sin_addr.s_addr = htonl(mask);
    info.iiBroadcastAddress.AddressIn.sin_family = AF_INET;
    info.iiBroadcastAddress.AddressIn.sin_addr.s_addr = htonl(address | ~mask);
    list.push_back(info);
  };
  add(kLoopback, 0xFF000000u, IFF_UP | IFF_LOOPBACK | IFF_MULTICAST);
  if (localAddress_) add(localAddress_, 0xFFFFFF00u, IFF_UP | IFF_BROADCAST | IFF_MULTICAST);
  const DWORD needed = static_cast<DWORD>(list.size() * sizeof(INTERFACE_INFO));
  if (!lpvOutBuffer || cbOutBuffer < needed) return Fail(WSAEFAULT);
  std::memcpy(lpvOutBuffer, list.data(), needed);
  *lpcbBytesReturned = needed;
  return 0;
}

int Sockets::connect(SOCKET s, const sockaddr* name, int namelen) {
  std::uint32_t address;
  std::uint16_t port;
  if (!ReadAddress(name, namelen, address, port)) return Fail(WSAEFAULT);
  // Who is at that address, asked before the lock is taken.
  std::vector<Responder> responders = responders_();
  std::lock_guard lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (socket->type != SOCK_STREAM) return Fail(WSAEOPNOTSUPP);
  if (socket->stream != Stream::Fresh) return Fail(WSAEISCONN);
  if (!socket->port) BindLocked(*socket, 0, 0);
  auto peer = std::find_if(responders.begin(), responders.end(),
                           [&](const Responder& r) { return r.address == address; });
  socket->connected = Clock::now() + kHop;
  if (peer == responders.end()) {
    socket->stream = Stream::Silent;
  } else {
    socket->peer = *peer;
    socket->stream =
        peer->metadataService && port == wsd::kMetadataPort ? Stream::Connecting : Stream::Refused;
  }
  if (socket->nonBlocking) return Fail(WSAEWOULDBLOCK);
  // A blocking connect waits for its outcome.
  if (socket->stream == Stream::Silent) return Fail(WSAETIMEDOUT);
  std::this_thread::sleep_until(socket->connected);
  if (socket->stream == Stream::Refused) return Fail(WSAECONNREFUSED);
  socket->stream = Stream::Connected;
  return 0;
}

int Sockets::send(SOCKET s, const char* buf, int len, int /*flags*/) {
  std::lock_guard lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  const Clock::time_point now = Clock::now();
  if (socket->stream == Stream::Connecting && now >= socket->connected)
    socket->stream = Stream::Connected;
  if (socket->stream == Stream::Refused && now >= socket->connected) return Fail(WSAECONNREFUSED);
  if (socket->stream != Stream::Connected) return Fail(WSAENOTCONN);
  if (socket->responded) return Fail(WSAECONNRESET);
  socket->request.append(buf, static_cast<std::size_t>(len));

  wsd::HttpMessage request;
  const wsd::HttpRead read = wsd::ReadHttpRequest(socket->request, request);
  if (read == wsd::HttpRead::Incomplete) return len;
  // The computer answers and closes the connection.
  wsd::Message message;
  if (read == wsd::HttpRead::Complete && request.method == "POST" &&
      request.path == MetadataPath(socket->peer) && wsd::ParseMessage(request.body, message) &&
      message.kind == wsd::Kind::Get) {
    socket->response = wsd::HttpResponseText(
        200, wsd::MetadataMessage(wsd::NewUuidUrn(), message.messageId, socket->peer.endpoint,
                                  socket->peer.computer));
  } else {
    socket->response = wsd::HttpResponseText(400, {});
  }
  socket->responded = true;
  socket->responseReady = now + kHop;
  changed_.notify_all();
  return len;
}

int Sockets::recv(SOCKET s, char* buf, int len, int /*flags*/) {
  std::unique_lock lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  const Clock::time_point now = Clock::now();
  if (socket->stream == Stream::Refused && now >= socket->connected) return Fail(WSAECONNREFUSED);
  if (socket->stream == Stream::Connecting && now >= socket->connected)
    socket->stream = Stream::Connected;
  if (socket->stream != Stream::Connected) return Fail(WSAENOTCONN);
  if (!socket->responded || now < socket->responseReady) {
    // Nothing has been asked, so nothing comes.
    if (socket->nonBlocking || !socket->responded) return Fail(WSAEWOULDBLOCK);
    std::this_thread::sleep_until(socket->responseReady);
  }
  const std::size_t count = std::min(socket->response.size(), static_cast<std::size_t>(len));
  std::copy_n(socket->response.data(), count, buf); // bytes, not a C string
  socket->response.erase(0, count);
  return static_cast<int>(count); // 0 once all is read: the computer has closed
}

void Sockets::Deliver(Socket& socket, std::uint32_t from, std::uint16_t fromPort, std::string bytes,
                      Clock::time_point ready) {
  Datagram datagram{ready, from, fromPort, std::move(bytes)};
  auto at = std::upper_bound(socket.inbox.begin(), socket.inbox.end(), ready,
                             [](Clock::time_point t, const Datagram& d) { return t < d.ready; });
  socket.inbox.insert(at, std::move(datagram));
}

int Sockets::sendto(SOCKET s, const char* buf, int len, int /*flags*/, const sockaddr* to,
                    int tolen) {
  std::uint32_t address;
  std::uint16_t port;
  if (len < 0 || (!buf && len > 0)) return Fail(WSAEFAULT);
  if (!ReadAddress(to, tolen, address, port)) return Fail(WSAEFAULT);
  if (len > 65507) return Fail(WSAEMSGSIZE);
  std::uint32_t group = 0;
  wsd::ParseIpv4(wsd::kMulticastGroup, group);
  const bool toGroup = address == group && port == wsd::kPort;
  std::vector<Responder> responders;
  if (toGroup) responders = responders_();

  std::lock_guard lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (socket->type != SOCK_DGRAM) return Fail(WSAENOTCONN);
  if (!socket->port) BindLocked(*socket, 0, 0);
  const std::uint32_t outgoing =
      socket->multicastInterface ? socket->multicastInterface : socket->address;
  // Only the computer's own network hears it, not the loopback interface.
  if (!toGroup || outgoing == kLoopback || !localAddress_) return len;

  wsd::Message message;
  if (!wsd::ParseMessage(std::string_view(buf, static_cast<std::size_t>(len)), message)) return len;
  Clock::time_point ready = Clock::now() + kFirstAnswer;
  for (const Responder& responder : responders) {
    std::string answer;
    if (message.kind == wsd::Kind::Probe) {
      answer = wsd::ProbeMatchesMessage(wsd::NewUuidUrn(), message.messageId, responder.endpoint,
                                        responder.addressInMatches ? MetadataUrl(responder) : "");
    } else if (message.kind == wsd::Kind::Resolve &&
               message.resolveEndpoint == responder.endpoint) {
      answer = wsd::ResolveMatchesMessage(wsd::NewUuidUrn(), message.messageId, responder.endpoint,
                                          MetadataUrl(responder));
    } else {
      continue;
    }
    Deliver(*socket, responder.address, wsd::kPort, std::move(answer), ready);
    ready += kAnswerSpacing;
  }
  changed_.notify_all();
  return len;
}

int Sockets::recvfrom(SOCKET s, char* buf, int len, int /*flags*/, sockaddr* from, int* fromlen) {
  std::unique_lock lock(mutex_);
  Socket* socket = Find(s);
  if (!socket) return Fail(WSAENOTSOCK);
  if (len < 0 || (!buf && len > 0) || (from && !fromlen)) return Fail(WSAEFAULT);
  if (socket->type != SOCK_DGRAM) return Fail(WSAEOPNOTSUPP);
  if (!socket->port) return Fail(WSAEINVAL);
  for (;;) {
    socket = Find(s);
    if (!socket) return Fail(WSAEINTR); // closed by another thread meanwhile
    const Clock::time_point now = Clock::now();
    if (!socket->inbox.empty() && socket->inbox.front().ready <= now) break;
    if (socket->nonBlocking) return Fail(WSAEWOULDBLOCK);
    if (socket->inbox.empty()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, socket->inbox.front().ready);
    }
  }
  Datagram datagram = std::move(socket->inbox.front());
  socket->inbox.pop_front();
  WriteAddress(datagram.from, datagram.fromPort, from, fromlen);
  const std::size_t count = std::min(datagram.bytes.size(), static_cast<std::size_t>(len));
  std::copy_n(datagram.bytes.data(), count, buf); // bytes, not a C string
  // Winsock cuts a datagram longer than the buffer and says so.
  if (datagram.bytes.size() > static_cast<std::size_t>(len)) return Fail(WSAEMSGSIZE);
  return static_cast<int>(count);
}

SHORT Sockets::EventsLocked(Socket& socket, SHORT wanted, Clock::time_point now,
                            Clock::time_point& next) const {
  auto later = [&](Clock::time_point t) {
    if (t > now && t < next) next = t;
  };
  SHORT events = 0;
  if (socket.type == SOCK_DGRAM) {
    if (!socket.inbox.empty()) {
      if (socket.inbox.front().ready <= now) {
        events |= static_cast<SHORT>(wanted & POLLIN);
      } else {
        later(socket.inbox.front().ready);
      }
    }
    events |= static_cast<SHORT>(wanted & POLLOUT);
    return events;
  }
  switch (socket.stream) {
  case Stream::Fresh:
  case Stream::Silent:
    return 0;
  case Stream::Refused:
    if (now >= socket.connected) return POLLERR | POLLHUP;
    later(socket.connected);
    return 0;
  case Stream::Connecting:
    if (now < socket.connected) {
      later(socket.connected);
      return 0;
    }
    socket.stream = Stream::Connected;
    [[fallthrough]];
  case Stream::Connected:
    if (!socket.responded) return static_cast<SHORT>(wanted & POLLOUT);
    if (now < socket.responseReady) {
      later(socket.responseReady);
      return 0;
    }
    // The answer, then the close.
    events = static_cast<SHORT>(wanted & POLLIN);
    if (socket.response.empty()) events |= POLLHUP;
    return events;
  }
  return 0;
}

int Sockets::WSAPoll(WSAPOLLFD* fdArray, ULONG fds, INT timeout) {
  if (!fdArray && fds > 0) return Fail(WSAEFAULT);
  for (ULONG i = 0; i < fds; ++i) {
    // Winsock refuses to be asked for anything but reading and writing.
    if (fdArray[i].events & ~(POLLIN | POLLOUT)) return Fail(WSAEINVAL);
  }
  const Clock::time_point deadline =
      timeout < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeout);
  std::unique_lock lock(mutex_);
  for (;;) {
    const Clock::time_point now = Clock::now();
    Clock::time_point next = deadline;
    int ready = 0;
    for (ULONG i = 0; i < fds; ++i) {
      Socket* socket = Find(fdArray[i].fd);
      fdArray[i].revents = socket ? EventsLocked(*socket, fdArray[i].events, now, next) : POLLNVAL;
      if (fdArray[i].revents) ++ready;
    }
    if (ready > 0 || now >= deadline) return ready;
    if (next == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, next);
    }
  }
}

} // namespace skarvet::sim
