// WS-Discovery: its messages as read from the wire, the client's calls of
// the seam, what it finds on the simulated network, and the browser tree
// that merges what it finds with the browse lists.
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "netbrowse/WsDiscovery.h"
#include "platform/wsd/WsdMessages.h"
#include "tests/support/RecordingWinApi.h"
#include "tests/test_networkbrowser_support.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <set>
#include <thread>

namespace skarvet {
namespace {

using namespace std::chrono_literals;
using test::RecordingWinApi;
using test::WaitFor;

// What wsdd sends, prefixes and all.
const char* const kWsddProbeMatches =
    R"(<?xml version="1.0" encoding="utf-8"?>
<soap:Envelope xmlns:soap="http://www.w3.org/2003/05/soap-envelope" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof" xmlns:pub="http://schemas.microsoft.com/windows/pub/2005/07"><soap:Header><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action><wsa:MessageID>urn:uuid:2f4c</wsa:MessageID><wsa:RelatesTo>urn:uuid:probe-1</wsa:RelatesTo><wsd:AppSequence InstanceId="1" SequenceId="urn:uuid:x" MessageNumber="3" /></soap:Header><soap:Body><wsd:ProbeMatches><wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:6c1e</wsa:Address></wsa:EndpointReference><wsd:Types>wsdp:Device pub:Computer</wsd:Types><wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:ProbeMatch></wsd:ProbeMatches></soap:Body></soap:Envelope>)";

TEST(WsdMessages, ReadsAnswersWhateverTheirPrefixes) {
  wsd::Message message;
  ASSERT_TRUE(wsd::ParseMessage(kWsddProbeMatches, message));
  EXPECT_EQ(message.kind, wsd::Kind::ProbeMatches);
  EXPECT_EQ(message.relatesTo, "urn:uuid:probe-1");
  ASSERT_EQ(message.matches.size(), 1u);
  EXPECT_EQ(message.matches[0].endpoint, "urn:uuid:6c1e");
  EXPECT_TRUE(message.matches[0].HasType(wsd::kComputerType));
  EXPECT_TRUE(message.matches[0].xaddrs.empty());

  // Other prefixes, a default namespace, and the types' prefixes declared
  // on the element itself: the same message.
  const std::string other =
      R"(<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope"><e:Header><Action xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing">http://schemas.xmlsoap.org/ws/2005/04/discovery/ResolveMatches</Action><a:RelatesTo xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"> urn:uuid:r </a:RelatesTo></e:Header><e:Body><d:ResolveMatches xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><d:ResolveMatch><a:EndpointReference xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"><a:Address>urn:uuid:e</a:Address></a:EndpointReference><d:Types xmlns:p="http://schemas.microsoft.com/windows/pub/2005/07" xmlns:pub="urn:not-the-one">pub:Computer p:Computer</d:Types><d:XAddrs>http://[fe80::1]:5357/e http://203.0.113.21:5357/e</d:XAddrs></d:ResolveMatch></d:ResolveMatches></e:Body></e:Envelope>)";
  ASSERT_TRUE(wsd::ParseMessage(other, message));
  EXPECT_EQ(message.kind, wsd::Kind::ResolveMatches);
  EXPECT_EQ(message.relatesTo, "urn:uuid:r");
  ASSERT_EQ(message.matches.size(), 1u);
  EXPECT_EQ(message.matches[0].types,
            (std::vector<std::string>{"urn:not-the-one Computer", wsd::kComputerType}));
  EXPECT_EQ(message.matches[0].xaddrs,
            (std::vector<std::string>{"http://[fe80::1]:5357/e", "http://203.0.113.21:5357/e"}));

  // What the client sends reads back as sent.
  ASSERT_TRUE(wsd::ParseMessage(wsd::ResolveMessage("urn:uuid:1", "urn:uuid:<&>"), message));
  EXPECT_EQ(message.kind, wsd::Kind::Resolve);
  EXPECT_EQ(message.resolveEndpoint, "urn:uuid:<&>");
  ASSERT_TRUE(wsd::ParseMessage(
      wsd::MetadataMessage("urn:uuid:2", "urn:uuid:1", "urn:uuid:e", "K\xC3\x96LN/Workgroup:A&B"),
      message));
  EXPECT_EQ(message.computers, (std::vector<std::string>{"K\xC3\x96LN/Workgroup:A&B"}));
}

TEST(WsdMessages, RefusesWhatBreaksABound) {
  wsd::Message message;
  const std::string open = R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope">)";
  const std::string close = "</s:Envelope>";
  EXPECT_TRUE(wsd::ParseMessage(open + close, message));
  // Not a SOAP 1.2 envelope, not well-formed, a document type (entities).
  EXPECT_FALSE(wsd::ParseMessage("<Envelope/>", message));
  EXPECT_FALSE(wsd::ParseMessage(open, message));
  EXPECT_FALSE(
      wsd::ParseMessage("<!DOCTYPE s:Envelope [<!ENTITY a \"aaaa\">]>" + open + close, message));
  // Too deep.
  std::string deep = open;
  for (int i = 0; i < 40; ++i) deep += "<x>";
  for (int i = 0; i < 40; ++i) deep += "</x>";
  EXPECT_FALSE(wsd::ParseMessage(deep + close, message));
  // A wanted text too long, and too many matches.
  const std::string header =
      R"(<s:Header><a:MessageID xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing">)";
  EXPECT_TRUE(wsd::ParseMessage(
      open + header + std::string(4000, 'x') + "</a:MessageID></s:Header>" + close, message));
  EXPECT_FALSE(wsd::ParseMessage(
      open + header + std::string(5000, 'x') + "</a:MessageID></s:Header>" + close, message));
  std::string many =
      open +
      R"(<s:Body><d:ProbeMatches xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery">)";
  for (int i = 0; i < 65; ++i) many += "<d:ProbeMatch/>";
  EXPECT_FALSE(wsd::ParseMessage(many + "</d:ProbeMatches></s:Body>" + close, message));
}

TEST(WsdMessages, ComputerTextsAndAddresses) {
  wsd::ComputerIdentity identity;
  ASSERT_TRUE(wsd::ParseComputer("MERIDIAN/Workgroup:HARBOURWG", identity));
  EXPECT_EQ(identity.name, "MERIDIAN");
  EXPECT_EQ(identity.group, "HARBOURWG");
  EXPECT_FALSE(identity.domain);
  ASSERT_TRUE(wsd::ParseComputer(" lantern / domain: harbour.example ", identity));
  EXPECT_EQ(identity.name, "lantern");
  EXPECT_EQ(identity.group, "harbour.example");
  EXPECT_TRUE(identity.domain);
  for (const char* bad : {"", "NAME", "NAME/Workgroup", "NAME/Forest:X", "/Workgroup:WG",
                          "NAME/Workgroup:", "A,B/Workgroup:WG", "NAME/Workgroup:W\\G",
                          "NA\tME/Workgroup:WG", "NAME/Workgroup:W:G"})
    EXPECT_FALSE(wsd::ParseComputer(bad, identity)) << bad;
  EXPECT_TRUE(wsd::ParseComputer(std::string(63, 'N') + "/Workgroup:WG", identity));
  EXPECT_FALSE(wsd::ParseComputer(std::string(64, 'N') + "/Workgroup:WG", identity));

  std::uint32_t address = 0;
  ASSERT_TRUE(wsd::ParseIpv4("203.0.113.21", address));
  EXPECT_EQ(address, 0xCB007115u);
  for (const char* bad : {"203.0.113", "203.0.113.256", "203.0.113.21.", "1.2.3.4x", "1..2.3", ""})
    EXPECT_FALSE(wsd::ParseIpv4(bad, address)) << bad;
  wsd::HttpUrl url;
  ASSERT_TRUE(wsd::ParseHttpUrl("http://203.0.113.21:5357/6c1e", url));
  EXPECT_EQ(url.host, "203.0.113.21");
  EXPECT_EQ(url.port, 5357);
  EXPECT_EQ(url.path, "/6c1e");
  ASSERT_TRUE(wsd::ParseHttpUrl("HTTP://[2001:db8::2]", url));
  EXPECT_EQ(url.host, "[2001:db8::2]");
  EXPECT_EQ(url.port, 80);
  EXPECT_EQ(url.path, "/");
  for (const char* bad :
       {"https://a/", "http://:80/", "http://a:0/", "http://a:70000/", "http://a/ b"})
    EXPECT_FALSE(wsd::ParseHttpUrl(bad, url)) << bad;
}

TEST(WsdMessages, HttpResponsesByLengthChunksOrClose) {
  wsd::HttpMessage response;
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n";
  EXPECT_EQ(wsd::ReadHttpResponse(head + "Content-Length: 5\r\n\r\nab", false, response),
            wsd::HttpRead::Incomplete);
  EXPECT_EQ(wsd::ReadHttpResponse(head + "Content-Length: 5\r\n\r\nab", true, response),
            wsd::HttpRead::Bad);
  ASSERT_EQ(wsd::ReadHttpResponse(head + "content-length: 5\r\n\r\nabcdeXX", false, response),
            wsd::HttpRead::Complete);
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "abcde");
  const std::string chunked =
      head + "Transfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nA;x=1\r\n0123456789\r\n";
  EXPECT_EQ(wsd::ReadHttpResponse(chunked, false, response), wsd::HttpRead::Incomplete);
  ASSERT_EQ(wsd::ReadHttpResponse(chunked + "0\r\n\r\n", false, response), wsd::HttpRead::Complete);
  EXPECT_EQ(response.body, "abc0123456789");
  EXPECT_EQ(wsd::ReadHttpResponse(head + "\r\nuntil close", false, response),
            wsd::HttpRead::Incomplete);
  ASSERT_EQ(wsd::ReadHttpResponse(head + "\r\nuntil close", true, response),
            wsd::HttpRead::Complete);
  EXPECT_EQ(response.body, "until close");
  // Past the bounds, and not HTTP.
  EXPECT_EQ(wsd::ReadHttpResponse(head + "Content-Length: 999999999\r\n\r\n", false, response),
            wsd::HttpRead::Bad);
  EXPECT_EQ(wsd::ReadHttpResponse(head + std::string(20000, 'x'), false, response),
            wsd::HttpRead::Bad);
  EXPECT_EQ(wsd::ReadHttpResponse(head + "Transfer-Encoding: chunked\r\n\r\nFFFFFFF\r\n", false,
                                  response),
            wsd::HttpRead::Bad);
  EXPECT_EQ(wsd::ReadHttpResponse("SSH-2.0-OpenSSH\r\n\r\n", true, response), wsd::HttpRead::Bad);
}

// --- the client against the simulated network ---------------------------------------

std::set<std::string> Found(const TDiscoveredList& list) {
  std::set<std::string> names;
  for (const auto& c : list) names.insert(c.Name + "@" + c.Group + (c.Domain ? " (domain)" : ""));
  return names;
}

TEST(WsDiscoverySimulated, FindsTheComputersThatAnswerAndClosesEverySocket) {
  SimulatedWinApi net(sim::Network::Default(), 0ms);
  net.WithNetwork([](sim::Network& n) {
    // A computer that answers probes but serves no metadata is left out.
    n.FindComputer("DELTA")->metadataService = false;
    n.FindComputer("BRAVO")->state = sim::HostState::Offline;
  });
  ScopedWinApi use(net);
  QElapsedTimer clock;
  clock.start();
  const TDiscoveredList found = DiscoverComputers();
  const qint64 elapsed = clock.elapsed();
  EXPECT_EQ(Found(found), (std::set<std::string>{"ALPHA@ondravel.example (domain)",
                                                 "KITCHEN@WORKGROUP", "EASEL@STUDIO", "LOOM@STUDIO",
                                                 "meridian@harbour.example (domain)"}));
  // A quiet network ends the wait early: the first answers' window and a
  // short silence, far below the bound.
  EXPECT_GE(elapsed, 600);
  EXPECT_LT(elapsed, 2800);
  EXPECT_EQ(net.Sockets().OpenCount(), 0u);
}

TEST(WsDiscoverySimulated, ManyComputersWithOneEndpointEachStillCount) {
  sim::Network network = sim::Network::Default();
  network.computers.resize(1); // ADMINPC only
  for (int i = 0; i < 200; ++i) {
    sim::Computer c;
    c.name = "HOST" + std::to_string(i);
    c.domain = "FLEET";
    c.address = "198.51.100." + std::to_string(i % 250);
    if (i >= 250) break;
    c.discovery = c.name + "/Workgroup:FLEET";
    network.computers.push_back(c);
  }
  SimulatedWinApi net(network, 0ms);
  ScopedWinApi use(net);
  EXPECT_EQ(DiscoverComputers().size(), 200u);
}

TEST(WsDiscoverySimulated, NoInterfaceNoWait) {
  SimulatedWinApi net(test::NetworkWithoutDiscovery(), 0ms);
  ScopedWinApi use(net);
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(DiscoverComputers().empty());
  EXPECT_LT(clock.elapsed(), 100);
}

// --- the client's calls and hostile answers, against the recording fake ----------

// Interfaces as the system lists them: loopback, one down, one without
// multicast, and two usable.
int FakeInterfaces(SOCKET, LPVOID buffer, DWORD size, LPDWORD returned) {
  const struct {
    const char* address;
    ULONG flags;
  } list[] = {{"127.0.0.1", IFF_UP | IFF_LOOPBACK | IFF_MULTICAST},
              {"192.0.2.1", IFF_MULTICAST},
              {"192.0.2.2", IFF_UP},
              {"198.51.100.1", IFF_UP | IFF_MULTICAST | IFF_BROADCAST},
              {"203.0.113.1", IFF_UP | IFF_MULTICAST}};
  std::vector<INTERFACE_INFO> records;
  for (const auto& entry : list) {
    INTERFACE_INFO info{};
    info.iiFlags = entry.flags;
    info.iiAddress.AddressIn.sin_family = AF_INET;
    std::uint32_t address = 0;
    wsd::ParseIpv4(entry.address, address);
    info.iiAddress.AddressIn.sin_addr.s_addr = htonl(address);
    records.push_back(info);
  }
  const DWORD needed = static_cast<DWORD>(records.size() * sizeof(INTERFACE_INFO));
  if (size < needed) return SOCKET_ERROR;
  std::memcpy(buffer, records.data(), needed);
  *returned = needed;
  return 0;
}

TEST(WsDiscoveryRecorded, ProbesEachUsableInterfaceOnceBoundAndOneHopAndClosesAll) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onGetInterfaceList = FakeInterfaces;
  std::vector<std::string> probes;
  fake.onSendto = [&](SOCKET, const char* buf, int len, const sockaddr*, int) {
    wsd::Message message;
    if (wsd::ParseMessage(std::string_view(buf, static_cast<std::size_t>(len)), message) &&
        message.kind == wsd::Kind::Probe)
      probes.push_back(message.messageId);
    return len;
  };
  TDiscoveryTimes quick;
  quick.firstAnswers = 200ms;
  EXPECT_TRUE(DiscoverComputers(quick).empty());

  std::vector<std::string> binds, sends;
  for (const auto& call : fake.CallsNamed("bind")) binds.push_back(call.args[1]);
  for (const auto& call : fake.CallsNamed("sendto")) sends.push_back(call.args[1]);
  EXPECT_EQ(binds, (std::vector<std::string>{"198.51.100.1:0", "203.0.113.1:0"}));
  // Twice each (a lost datagram is repeated), to the group, one message id.
  EXPECT_EQ(sends, std::vector<std::string>(4, "239.255.255.250:3702"));
  ASSERT_EQ(probes.size(), 4u);
  EXPECT_EQ(std::set<std::string>(probes.begin(), probes.end()).size(), 1u);
  int multicastIf = 0, hops = 0, nonBlocking = 0;
  for (const auto& call : fake.CallsNamed("setsockopt")) {
    if (call.args[2] == std::to_string(IP_MULTICAST_IF)) ++multicastIf;
    if (call.args[2] == std::to_string(IP_MULTICAST_TTL)) ++hops;
  }
  for (const auto& call : fake.CallsNamed("ioctlsocket")) nonBlocking += call.args[2] == "1";
  EXPECT_EQ(multicastIf, 2);
  EXPECT_EQ(hops, 2);
  EXPECT_EQ(nonBlocking, 2);
  EXPECT_EQ(fake.OpenSockets(), 0);
}

TEST(WsDiscoveryRecorded, FollowsOnlyTheAddressThatAnsweredAndSurvivesGarbage) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onGetInterfaceList = FakeInterfaces;
  std::mutex mutex;
  std::string probeId;
  std::vector<std::pair<std::string, std::string>> inbox; // sender, bytes
  bool answered = false;
  fake.onSendto = [&](SOCKET, const char* buf, int len, const sockaddr*, int) {
    wsd::Message message;
    std::lock_guard lock(mutex);
    if (!answered &&
        wsd::ParseMessage(std::string_view(buf, static_cast<std::size_t>(len)), message) &&
        message.kind == wsd::Kind::Probe) {
      answered = true;
      // A match that names another host's address, garbage, an oversized
      // datagram, and an answer to some other probe.
      inbox.push_back(
          {"198.51.100.7", wsd::ProbeMatchesMessage("urn:uuid:a", message.messageId, "urn:uuid:e1",
                                                    "http://192.0.2.99:5357/x")});
      inbox.push_back({"198.51.100.8", std::string("\x00<soap:Envelope", 15)});
      inbox.push_back({"198.51.100.9", std::string(40000, '<')});
      inbox.push_back(
          {"198.51.100.10", wsd::ProbeMatchesMessage("urn:uuid:b", "urn:uuid:other", "urn:uuid:e2",
                                                     "http://198.51.100.10:5357/x")});
    }
    return len;
  };
  fake.onRecvfrom = [&](SOCKET, char* buf, int len, sockaddr* from, int* fromlen) {
    std::lock_guard lock(mutex);
    if (inbox.empty()) {
      fake.SetLastError(WSAEWOULDBLOCK);
      return SOCKET_ERROR;
    }
    auto [sender, bytes] = inbox.front();
    inbox.erase(inbox.begin());
    std::uint32_t address = 0;
    wsd::ParseIpv4(sender, address);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(address);
    in.sin_port = htons(3702);
    std::memcpy(from, &in, sizeof in);
    *fromlen = sizeof in;
    const int count = std::min(len, static_cast<int>(bytes.size()));
    std::memcpy(buf, bytes.data(), static_cast<std::size_t>(count));
    if (static_cast<int>(bytes.size()) > len) {
      fake.SetLastError(WSAEMSGSIZE);
      return SOCKET_ERROR;
    }
    return count;
  };
  fake.onWSAPoll = [&](WSAPOLLFD* fds, ULONG count, INT timeout) {
    std::unique_lock lock(mutex);
    const bool pending = !inbox.empty();
    lock.unlock();
    for (ULONG i = 0; i < count; ++i) fds[i].revents = pending ? POLLIN : 0;
    if (!pending && timeout > 0) std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
    return pending ? static_cast<int>(count) : 0;
  };
  TDiscoveryTimes quick;
  quick.firstAnswers = 200ms;
  EXPECT_TRUE(DiscoverComputers(quick).empty());
  EXPECT_EQ(fake.CountOf("connect"), 0);
  EXPECT_TRUE(inbox.empty());
  EXPECT_EQ(fake.OpenSockets(), 0);
}

// --- merging with the browse lists -----------------------------------------------------

TEST(WsDiscoveryMerge, OneNodePerNameAsWindowsComparesThem) {
  const TDiscoveredList found = {{"ALPHA", "ondravel.example", true},
                                 {"K\xD6LN-PC", "k\xF6ln", false},
                                 {"EASEL", "STUDIO", false},
                                 {"loom", "studio", false},
                                 {"meridian", "harbour.example", true},
                                 {"easel", "Studio", false}};
  TStringList groups{"ONDRAVEL", "K\xD6LN"};
  AppendDiscoveredGroups(found, groups);
  EXPECT_EQ(groups, (TStringList{"ONDRAVEL", "K\xD6LN", "STUDIO", "harbour.example"}));

  TStringList computers{"Easel"};
  AppendDiscoveredComputers(found, "studio", computers);
  EXPECT_EQ(computers, (TStringList{"Easel", "loom"}));
  computers.clear();
  AppendDiscoveredComputers(found, "Ondravel", computers);
  EXPECT_EQ(computers, (TStringList{"ALPHA"}));
  computers.clear();
  AppendDiscoveredComputers(found, "HARBOUR.EXAMPLE", computers);
  EXPECT_EQ(computers, (TStringList{"meridian"}));
}

// --- the browser tree on a network with WS-Discovery -------------------------------------

class DiscoveryBrowserTest : public ::testing::Test {
protected:
  test::HoldingWinApi net{sim::Network::Default()};
  ScopedWinApi use{net};
  std::unique_ptr<TNetworkBrowser> tree = std::make_unique<TNetworkBrowser>();

  void TearDown() override {
    tree.reset();
    EXPECT_TRUE(test::AllWorkersGone());
  }
  bool WaitIdle() {
    return WaitFor([&] { return !tree->ActiveThread() && tree->isEnabled(); }, 10000);
  }
  QStringList Top() {
    QStringList names;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) names << tree->topLevelItem(i)->text(0);
    return names;
  }
  QStringList Children(const QString& name) {
    QTreeWidgetItem* node = tree->findItems(name, Qt::MatchExactly).value(0);
    if (!node) return {"(no node)"};
    tree->expandItem(node);
    if (!WaitIdle()) return {"(not idle)"};
    QStringList names;
    for (int i = 0; i < node->childCount(); ++i) names << node->child(i)->text(0);
    return names;
  }
};

TEST_F(DiscoveryBrowserTest, TopLevelAndDomainsMergeTheBrowseListsWithTheDiscovery) {
  tree->BrowseNetwork();
  ASSERT_TRUE(WaitIdle());
  // The browse lists' names as they come, then what only discovery found
  // (by name), a domain by its DNS name.
  EXPECT_EQ(Top(), (QStringList{"ONDRAVEL", "WORKGROUP", "LAB", "WORKGROUP", "harbour.example",
                                "STUDIO"}));
  const int listings = net.serverEnums;
  EXPECT_EQ(Children("STUDIO"), (QStringList{"EASEL", "LOOM"}));
  EXPECT_EQ(Children("harbour.example"), (QStringList{"meridian"}));
  // Known to no browse list: not asked of one.
  EXPECT_EQ(net.serverEnums, listings);
  // Both sources, each computer once.
  EXPECT_EQ(Children("ONDRAVEL"),
            (QStringList{"ADMINPC", "ALPHA", "BRAVO", "CHARLIE", "DELTA", "ECHO", "FOXTROT"}));
  EXPECT_EQ(net.serverEnums, listings + 1);
}

TEST_F(DiscoveryBrowserTest, TheDialogHandsBackAComputerOnlyDiscoveryFound) {
  TComputerBrowserForm form;
  form.NetworkBrowser()->SetbMultiSelect(false);
  form.show();
  tree.reset();
  TNetworkBrowser* browser = form.NetworkBrowser();
  ASSERT_TRUE(WaitFor([&] { return !browser->ActiveThread() && browser->isEnabled(); }, 10000));
  QTreeWidgetItem* studio = browser->findItems("STUDIO", Qt::MatchExactly).value(0);
  ASSERT_NE(studio, nullptr);
  browser->expandItem(studio);
  ASSERT_TRUE(WaitFor([&] { return !browser->ActiveThread() && studio->childCount() == 2; }));
  browser->setCurrentItem(studio->child(1));
  form.ConnectButton()->click();
  EXPECT_EQ(form.ComputerNames, "LOOM");
}

} // namespace
} // namespace skarvet
