#include "netbrowse/WsDiscovery.h"

#include "platform/WinApi.h"
#include "platform/text/AnsiCodePage.h"
#include "platform/text/AnsiCompare.h"
#include "platform/text/Utf8.h"
#include "platform/wsd/WsdMessages.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace skarvet {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxInterfaces = 16;
// The Probe goes out twice, this far apart: a multicast datagram may be lost.
constexpr std::chrono::milliseconds kProbeRepeat{150};
// Datagrams read per wake-up, so that a flood cannot hold the loop.
constexpr int kMaxDatagramsPerRound = 256;
constexpr int kReceiveChunk = 16 * 1024;

sockaddr_in Ipv4(std::uint32_t address, std::uint16_t port) {
  sockaddr_in in{};
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  in.sin_port = htons(port);
  return in;
}

const sockaddr* AsAddress(const sockaddr_in& in) {
  return reinterpret_cast<const sockaddr*>(&in);
}

// Closes a socket of the seam when it goes out of scope.
class SocketHolder {
public:
  SocketHolder() = default;
  explicit SocketHolder(SOCKET s) : s_(s) {}
  SocketHolder(SocketHolder&& other) noexcept : s_(other.Release()) {}
  SocketHolder& operator=(SocketHolder&& other) noexcept {
    if (this != &other) {
      Close();
      s_ = other.Release();
    }
    return *this;
  }
  ~SocketHolder() { Close(); }
  SOCKET Get() const { return s_; }
  SOCKET Release() {
    const SOCKET s = s_;
    s_ = INVALID_SOCKET;
    return s;
  }
  void Close() {
    if (s_ != INVALID_SOCKET) Api().closesocket(s_);
    s_ = INVALID_SOCKET;
  }

private:
  SOCKET s_ = INVALID_SOCKET;
};

bool SetNonBlocking(SOCKET s) {
  u_long on = 1;
  return Api().ioctlsocket(s, static_cast<long>(FIONBIO), &on) == 0;
}

// A name from the network in the ANSI code page; false when the code page
// cannot hold it (it would name another computer, or none).
bool ToAnsiName(const std::string& utf8, std::string& ansi) {
  const std::u16string wide = FromUtf8(utf8);
  ansi = WideToAnsi(wide);
  return AnsiToWide(ansi) == wide;
}

std::string FirstLabel(const std::string& dnsName) {
  return dnsName.substr(0, dnsName.find('.'));
}

// Whether the tree's node `node` stands for the discovered group.
bool GroupMatches(const TDiscoveredComputer& computer, const std::string& node) {
  if (AnsiEqualsIgnoreCase(computer.Group, node)) return true;
  return computer.Domain && AnsiEqualsIgnoreCase(FirstLabel(computer.Group), node);
}

bool Contains(const TStringList& list, const std::string& name) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& entry) { return AnsiEqualsIgnoreCase(entry, name); });
}

// One run of the protocol, from the Probe to the last metadata.
class Discovery {
public:
  explicit Discovery(const TDiscoveryTimes& times) : times_(times) {}

  TDiscoveredList Run() {
    OpenInterfaces();
    if (interfaces_.empty()) return {};
    start_ = Clock::now();
    probeId_ = wsd::NewUuidUrn();
    const std::string probe = wsd::ProbeMessage(probeId_);
    SendToGroup(probe);
    bool repeated = false;
    lastAnswer_ = start_;

    for (;;) {
      const Clock::time_point now = Clock::now();
      if (now >= start_ + times_.total) break;
      if (!repeated && now >= start_ + kProbeRepeat) {
        SendToGroup(probe);
        repeated = true;
      }
      ExpireResolves(now);
      StartExchanges(now);
      if (ProbingOver(now) && !WorkLeft()) break;
      if (!WaitAndServe(now, repeated)) break;
    }
    return std::move(found_);
  }

private:
  struct Interface {
    std::uint32_t address = 0;
    SocketHolder socket;
  };
  enum class HostState { Resolving, Queued, Exchanging, Done };
  struct Host {
    std::string endpoint;
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    std::string path;
    HostState state = HostState::Resolving;
    Clock::time_point resolveSent;
  };
  struct Exchange {
    std::size_t host = 0;
    SocketHolder socket;
    bool connected = false;
    std::string request;
    std::size_t sent = 0;
    std::string response;
    Clock::time_point deadline;
    bool finished = false;
  };

  void OpenInterfaces() {
    SocketHolder probe(Api().socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (probe.Get() == INVALID_SOCKET) return;
    INTERFACE_INFO list[kMaxInterfaces * 2];
    DWORD bytes = 0;
    if (Api().WSAIoctl(probe.Get(), SIO_GET_INTERFACE_LIST, nullptr, 0, list, sizeof list, &bytes,
                       nullptr, nullptr) != 0)
      return;
    probe.Close();
    const std::size_t count =
        std::min<std::size_t>(bytes / sizeof(INTERFACE_INFO), sizeof list / sizeof list[0]);
    for (std::size_t i = 0; i < count && interfaces_.size() < kMaxInterfaces; ++i) {
      const INTERFACE_INFO& info = list[i];
      if (!(info.iiFlags & IFF_UP) || !(info.iiFlags & IFF_MULTICAST) ||
          (info.iiFlags & IFF_LOOPBACK) || info.iiAddress.Address.sa_family != AF_INET)
        continue;
      const std::uint32_t address = ntohl(info.iiAddress.AddressIn.sin_addr.s_addr);
      if (address == 0) continue;
      Interface opened;
      opened.address = address;
      opened.socket = SocketHolder(Api().socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
      const SOCKET s = opened.socket.Get();
      if (s == INVALID_SOCKET || !SetNonBlocking(s)) continue;
      // Bound to the interface, multicast out of it, one hop only.
      const sockaddr_in local = Ipv4(address, 0);
      in_addr outgoing;
      outgoing.s_addr = htonl(address);
      const DWORD hops = 1;
      if (Api().bind(s, AsAddress(local), sizeof local) != 0 ||
          Api().setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&outgoing),
                           sizeof outgoing) != 0 ||
          Api().setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, reinterpret_cast<const char*>(&hops),
                           sizeof hops) != 0)
        continue;
      interfaces_.push_back(std::move(opened));
    }
  }

  void SendToGroup(const std::string& message) {
    std::uint32_t group = 0;
    wsd::ParseIpv4(wsd::kMulticastGroup, group);
    const sockaddr_in to = Ipv4(group, wsd::kPort);
    for (Interface& each : interfaces_)
      Api().sendto(each.socket.Get(), message.data(), static_cast<int>(message.size()), 0,
                   AsAddress(to), sizeof to);
  }

  bool ProbingOver(Clock::time_point now) const {
    if (now >= start_ + times_.probing) return true;
    return now >= start_ + times_.firstAnswers && now >= lastAnswer_ + times_.quiet;
  }

  bool WorkLeft() const {
    return std::any_of(hosts_.begin(), hosts_.end(),
                       [](const Host& host) { return host.state != HostState::Done; });
  }

  void ExpireResolves(Clock::time_point now) {
    for (Host& host : hosts_)
      if (host.state == HostState::Resolving && now >= host.resolveSent + times_.resolve)
        host.state = HostState::Done;
  }

  void StartExchanges(Clock::time_point now) {
    for (std::size_t i = 0; i < hosts_.size(); ++i) {
      if (exchanges_.size() >= kMaxConcurrentExchanges) return;
      Host& host = hosts_[i];
      if (host.state != HostState::Queued) continue;
      host.state = HostState::Exchanging;
      auto exchange = std::make_unique<Exchange>();
      exchange->host = i;
      exchange->deadline = now + times_.exchange;
      exchange->socket = SocketHolder(Api().socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
      const SOCKET s = exchange->socket.Get();
      const sockaddr_in to = Ipv4(host.address, host.port);
      if (s == INVALID_SOCKET || !SetNonBlocking(s)) {
        host.state = HostState::Done;
        continue;
      }
      if (Api().connect(s, AsAddress(to), sizeof to) == 0) {
        exchange->connected = true;
      } else if (Api().WSAGetLastError() != WSAEWOULDBLOCK) {
        host.state = HostState::Done;
        continue;
      }
      const std::string hostAndPort =
          wsd::FormatIpv4(host.address) + ":" + std::to_string(host.port);
      exchange->request = wsd::HttpPost(hostAndPort, host.path,
                                        wsd::MetadataGetMessage(wsd::NewUuidUrn(), host.endpoint));
      exchanges_.push_back(std::move(exchange));
    }
  }

  // Waits for the next event and serves it; false when waiting failed.
  bool WaitAndServe(Clock::time_point now, bool repeated) {
    std::vector<WSAPOLLFD> polled;
    for (Interface& each : interfaces_) polled.push_back({each.socket.Get(), POLLIN, 0});
    for (auto& exchange : exchanges_) {
      const bool writing = !exchange->connected || exchange->sent < exchange->request.size();
      polled.push_back({exchange->socket.Get(), static_cast<SHORT>(writing ? POLLOUT : POLLIN), 0});
    }
    // Until the next thing that is due.
    Clock::time_point wake = start_ + times_.total;
    if (!repeated) wake = std::min(wake, start_ + kProbeRepeat);
    if (!ProbingOver(now))
      wake = std::min(wake, std::max(start_ + times_.firstAnswers, lastAnswer_ + times_.quiet));
    for (const Host& host : hosts_)
      if (host.state == HostState::Resolving)
        wake = std::min(wake, host.resolveSent + times_.resolve);
    for (const auto& exchange : exchanges_) wake = std::min(wake, exchange->deadline);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1;
    const int ready = Api().WSAPoll(polled.data(), static_cast<ULONG>(polled.size()),
                                    static_cast<INT>(std::max<long long>(wait, 0)));
    if (ready == SOCKET_ERROR) return false;

    for (std::size_t i = 0; i < interfaces_.size(); ++i)
      if (polled[i].revents & (POLLIN | POLLERR | POLLHUP)) ReadDatagrams(interfaces_[i]);
    const Clock::time_point after = Clock::now();
    for (std::size_t i = 0; i < exchanges_.size(); ++i)
      Serve(*exchanges_[i], polled[interfaces_.size() + i].revents, after);
    std::erase_if(exchanges_, [](const std::unique_ptr<Exchange>& e) { return e->finished; });
    return true;
  }

  void ReadDatagrams(Interface& via) {
    std::vector<char> buffer(wsd::kMaxDatagram);
    for (int round = 0; round < kMaxDatagramsPerRound; ++round) {
      sockaddr_in from{};
      int fromLength = sizeof from;
      const int got =
          Api().recvfrom(via.socket.Get(), buffer.data(), static_cast<int>(buffer.size()), 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (got == SOCKET_ERROR) {
        // A datagram too large for any answer is dropped; anything else
        // ends this round.
        if (Api().WSAGetLastError() == WSAEMSGSIZE) continue;
        return;
      }
      if (fromLength < static_cast<int>(sizeof from) || from.sin_family != AF_INET) continue;
      wsd::Message message;
      if (!wsd::ParseMessage(std::string_view(buffer.data(), static_cast<std::size_t>(got)),
                             message))
        continue;
      const std::uint32_t sender = ntohl(from.sin_addr.s_addr);
      if (message.kind == wsd::Kind::ProbeMatches && message.relatesTo == probeId_) {
        lastAnswer_ = Clock::now();
        for (const wsd::Match& match : message.matches) TakeProbeMatch(via, sender, match);
      } else if (message.kind == wsd::Kind::ResolveMatches) {
        for (const wsd::Match& match : message.matches)
          TakeResolveMatch(sender, message.relatesTo, match);
      }
    }
  }

  // The metadata address a match names for the computer at `sender`.
  static bool AddressAt(const wsd::Match& match, std::uint32_t sender, Host& host) {
    for (const std::string& xaddr : match.xaddrs) {
      wsd::HttpUrl url;
      std::uint32_t address = 0;
      if (wsd::ParseHttpUrl(xaddr, url) && wsd::ParseIpv4(url.host, address) && address == sender) {
        host.port = url.port;
        host.path = url.path;
        return true;
      }
    }
    return false;
  }

  Host* FindHost(const std::string& endpoint, std::uint32_t address) {
    for (Host& host : hosts_)
      if (host.address == address && host.endpoint == endpoint) return &host;
    return nullptr;
  }

  void TakeProbeMatch(Interface& via, std::uint32_t sender, const wsd::Match& match) {
    // Printers and other devices answer a Probe too; only computers count.
    if (match.endpoint.empty() || (!match.types.empty() && !match.HasType(wsd::kComputerType)))
      return;
    // Several computers may claim one endpoint: each address is its own.
    if (FindHost(match.endpoint, sender) || hosts_.size() >= kMaxDiscoveredHosts) return;
    Host host;
    host.endpoint = match.endpoint;
    host.address = sender;
    if (AddressAt(match, sender, host)) {
      host.state = HostState::Queued;
    } else if (match.xaddrs.empty()) {
      // No address named: ask for it.
      host.state = HostState::Resolving;
      host.resolveSent = Clock::now();
      auto id = resolveIds_.find(match.endpoint);
      if (id == resolveIds_.end()) {
        id = resolveIds_.emplace(match.endpoint, wsd::NewUuidUrn()).first;
        const std::string resolve = wsd::ResolveMessage(id->second, match.endpoint);
        std::uint32_t group = 0;
        wsd::ParseIpv4(wsd::kMulticastGroup, group);
        const sockaddr_in to = Ipv4(group, wsd::kPort);
        Api().sendto(via.socket.Get(), resolve.data(), static_cast<int>(resolve.size()), 0,
                     AsAddress(to), sizeof to);
      }
    } else {
      // It names only addresses other than its own: not followed.
      return;
    }
    hosts_.push_back(std::move(host));
  }

  void TakeResolveMatch(std::uint32_t sender, const std::string& relatesTo,
                        const wsd::Match& match) {
    const auto id = resolveIds_.find(match.endpoint);
    if (id == resolveIds_.end() || id->second != relatesTo) return;
    Host* host = FindHost(match.endpoint, sender);
    if (!host || host->state != HostState::Resolving) return;
    host->state = AddressAt(match, sender, *host) ? HostState::Queued : HostState::Done;
  }

  void Serve(Exchange& exchange, SHORT events, Clock::time_point now) {
    Host& host = hosts_[exchange.host];
    auto finish = [&] {
      exchange.finished = true;
      exchange.socket.Close();
      host.state = HostState::Done;
    };
    if (now >= exchange.deadline) return finish();
    if (!exchange.connected) {
      if (events & POLLOUT) {
        exchange.connected = true;
      } else if (events & (POLLERR | POLLHUP | POLLNVAL)) {
        return finish(); // refused or unreachable
      } else {
        return;
      }
    }
    if (exchange.sent < exchange.request.size()) {
      if (!(events & POLLOUT)) {
        if (events & (POLLERR | POLLHUP | POLLNVAL)) finish();
        return;
      }
      const int sent = Api().send(exchange.socket.Get(), exchange.request.data() + exchange.sent,
                                  static_cast<int>(exchange.request.size() - exchange.sent), 0);
      if (sent == SOCKET_ERROR) {
        if (Api().WSAGetLastError() != WSAEWOULDBLOCK) finish();
        return;
      }
      exchange.sent += static_cast<std::size_t>(sent);
      return;
    }
    if (!(events & (POLLIN | POLLERR | POLLHUP))) return;
    char buffer[kReceiveChunk];
    const int got = Api().recv(exchange.socket.Get(), buffer, sizeof buffer, 0);
    if (got == SOCKET_ERROR) {
      if (Api().WSAGetLastError() != WSAEWOULDBLOCK) finish();
      return;
    }
    exchange.response.append(buffer, static_cast<std::size_t>(got));
    wsd::HttpMessage response;
    const wsd::HttpRead read = wsd::ReadHttpResponse(exchange.response, got == 0, response);
    if (read == wsd::HttpRead::Incomplete) return;
    if (read == wsd::HttpRead::Complete && response.status == 200) TakeMetadata(response.body);
    finish();
  }

  void TakeMetadata(const std::string& body) {
    wsd::Message message;
    if (!wsd::ParseMessage(body, message) || message.kind != wsd::Kind::GetResponse) return;
    for (const std::string& text : message.computers) {
      wsd::ComputerIdentity identity;
      TDiscoveredComputer computer;
      if (!wsd::ParseComputer(text, identity) || !ToAnsiName(identity.name, computer.Name) ||
          !ToAnsiName(identity.group, computer.Group))
        continue;
      computer.Domain = identity.domain;
      const bool known = std::any_of(found_.begin(), found_.end(), [&](const auto& other) {
        return AnsiEqualsIgnoreCase(other.Name, computer.Name) &&
               AnsiEqualsIgnoreCase(other.Group, computer.Group);
      });
      if (!known) found_.push_back(std::move(computer));
      break; // one host, one computer
    }
  }

  const TDiscoveryTimes times_;
  std::vector<Interface> interfaces_;
  std::vector<Host> hosts_;
  std::vector<std::unique_ptr<Exchange>> exchanges_;
  std::map<std::string, std::string> resolveIds_; // endpoint -> the Resolve's message id
  std::string probeId_;
  Clock::time_point start_, lastAnswer_;
  TDiscoveredList found_;
};

} // namespace

TDiscoveredList DiscoverComputers(const TDiscoveryTimes& times) {
  TDiscoveredList found = Discovery(times).Run();
  // Answers arrive in no particular order: the listing's order is by group,
  // then by name, as a person looks for them.
  auto key = [](const TDiscoveredComputer& c) {
    std::u16string group = AnsiToWide(c.Group), name = AnsiToWide(c.Name);
    for (char16_t& ch : group) ch = ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch;
    for (char16_t& ch : name) ch = ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch;
    return std::make_pair(group, name);
  };
  std::stable_sort(found.begin(), found.end(),
                   [&](const auto& a, const auto& b) { return key(a) < key(b); });
  return found;
}

void AppendDiscoveredGroups(const TDiscoveredList& Discovered, TStringList& List) {
  for (const TDiscoveredComputer& computer : Discovered) {
    const bool listed = std::any_of(List.begin(), List.end(), [&](const std::string& name) {
      return GroupMatches(computer, name);
    });
    if (!listed) List.push_back(computer.Group);
  }
}

void AppendDiscoveredComputers(const TDiscoveredList& Discovered, const std::string& Domain,
                               TStringList& List) {
  for (const TDiscoveredComputer& computer : Discovered)
    if (GroupMatches(computer, Domain) && !Contains(List, computer.Name))
      List.push_back(computer.Name);
}

} // namespace skarvet
