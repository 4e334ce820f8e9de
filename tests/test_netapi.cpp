// Network listing: the exact calls against the recording fake, and the
// names against the simulated network.
#include "netbrowse/NetAPI.h"

#include "platform/sim/SimulatedWinApi.h"
#include "tests/support/RecordingWinApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <stdexcept>

namespace skarvet {
namespace {

using test::RecordedCall;
using test::RecordingWinApi;
using Args = std::vector<std::string>;

// A system-allocated server list as NetServerEnum hands it out.
struct FakeServerList {
  std::vector<std::u16string> names;
  std::vector<SERVER_INFO_101> records;

  explicit FakeServerList(std::vector<std::u16string> list) : names(std::move(list)) {
    for (auto& name : names) {
      SERVER_INFO_101 record{};
      record.sv101_platform_id = PLATFORM_ID_NT;
      record.sv101_name = reinterpret_cast<LPWSTR>(name.data());
      records.push_back(record);
    }
  }
  LPBYTE Buffer() { return reinterpret_cast<LPBYTE>(records.data()); }
};

// Answers NetServerEnum with `list` and `status`.
void AnswerServers(RecordingWinApi& fake, FakeServerList& list, NET_API_STATUS status,
                   DWORD entriesRead) {
  fake.onNetServerEnum = [&list, status, entriesRead](LPCWSTR, DWORD, LPBYTE* buffer, DWORD,
                                                      LPDWORD read, LPDWORD total, DWORD, LPCWSTR,
                                                      LPDWORD) {
    *buffer = list.Buffer();
    *read = entriesRead;
    *total = static_cast<DWORD>(list.records.size());
    return status;
  };
}

TEST(NetApiRecordedTest, EnumServersPassesTheDocumentedArgumentsAndFreesTheBuffer) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeServerList list({u"ALPHA", u"BRAVO"});
  AnswerServers(fake, list, NERR_Success, 2);

  TStringList names{"stale"};
  EXPECT_TRUE(EnumServers(names, "", SV_TYPE_WORKSTATION));
  EXPECT_EQ(names, (TStringList{"ALPHA", "BRAVO"}));

  ASSERT_EQ(fake.CallNames(), (Args{"NetServerEnum", "NetApiBufferFree"}));
  const RecordedCall call = fake.CallsNamed("NetServerEnum")[0];
  // server null, level 101, MAX_PREFERRED_LENGTH, mask 1, null domain, resume 0
  EXPECT_EQ(call.args, (Args{"null", "101", "4294967295", "1", "null", "0"}));
  EXPECT_EQ(fake.CallsNamed("NetApiBufferFree")[0].args, Args{"ptr"});
}

TEST(NetApiRecordedTest, EnumServersNamesTheDomainAndReadsOnlyTheEntriesRead) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeServerList list({u"ONE", u"TWO", u"THREE"});
  AnswerServers(fake, list, NERR_Success, 2); // total 3, read 2

  TStringList names;
  EXPECT_TRUE(EnumServers(names, "LAB", 0x80000000u));
  EXPECT_EQ(names, (TStringList{"ONE", "TWO"}));
  EXPECT_EQ(fake.CallsNamed("NetServerEnum")[0].args,
            (Args{"null", "101", "4294967295", "2147483648", "\"LAB\"", "0"}));
}

TEST(NetApiRecordedTest, EnumServersConvertsNamesToTheAnsiCodePage) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeServerList list({u"K\u00D6LN", u"\u20AC-PC", u"\u4E2D"});
  AnswerServers(fake, list, NERR_Success, 3);

  TStringList names;
  EXPECT_TRUE(EnumServers(names, "", 1));
  EXPECT_EQ(names, (TStringList{"K\xD6LN", "\x80-PC", "?"}));
}

TEST(NetApiRecordedTest, DomainNamesOfAnyLengthReachTheCallWhole) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  for (std::size_t length : {100u, 101u, 300u, 5000u}) {
    fake.Clear();
    const std::string domain(length, 'D');
    TStringList names;
    EXPECT_TRUE(EnumComputers(domain, names));
    ASSERT_EQ(fake.CountOf("NetServerEnum"), 1);
    EXPECT_EQ(fake.CallsNamed("NetServerEnum")[0].args[4], "\"" + domain + "\"") << length;
  }
}

TEST(NetApiRecordedTest, EnumServersFailureEmptiesTheListAndReleasesAnyBuffer) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);

  // A plain failure hands back no buffer.
  fake.onNetServerEnum = [](LPCWSTR, DWORD, LPBYTE* buffer, DWORD, LPDWORD read, LPDWORD total,
                            DWORD, LPCWSTR, LPDWORD) -> NET_API_STATUS {
    *buffer = nullptr;
    *read = *total = 0;
    return ERROR_NO_BROWSER_SERVERS_FOUND;
  };
  TStringList names{"A", "B"};
  EXPECT_FALSE(EnumServers(names, "NOWHERE", 1));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(fake.CountOf("NetApiBufferFree"), 0);

  // A partial answer counts as failure, but its buffer is still released.
  fake.Clear();
  FakeServerList list({u"ALPHA"});
  AnswerServers(fake, list, ERROR_MORE_DATA, 1);
  names = {"A"};
  EXPECT_FALSE(EnumServers(names, "", 1));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(fake.CallNames(), (Args{"NetServerEnum", "NetApiBufferFree"}));
}

TEST(NetApiRecordedTest, EnumComputersAsksForWorkstations) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  TStringList names;
  EXPECT_TRUE(EnumComputers("WORKGROUP", names));
  EXPECT_EQ(fake.CallsNamed("NetServerEnum")[0].args,
            (Args{"null", "101", "4294967295", "1", "\"WORKGROUP\"", "0"}));
  // An empty answer has no buffer to release.
  EXPECT_EQ(fake.CountOf("NetApiBufferFree"), 0);
}

// Scripted provider listing for the recording fake: the top level and each
// provider's batches, packed into the caller's buffer.
struct FakeProviders {
  struct Entry {
    std::string name;
    DWORD usage;
  };
  std::vector<std::vector<Entry>> topBatches;
  std::map<std::string, std::vector<std::vector<std::string>>> children;
  std::set<std::string> failingOpens;
  std::map<HANDLE, std::string> handles; // null name = top level
  std::map<HANDLE, std::size_t> nextBatch;
  bool throwInProvider = false;

  void Install(RecordingWinApi& fake) {
    fake.onWNetOpenEnumA = [this, &fake](DWORD, DWORD, DWORD, LPNETRESOURCEA resource,
                                         LPHANDLE handle) -> DWORD {
      const std::string name = resource ? resource->lpRemoteName : "";
      if (failingOpens.count(name)) return ERROR_NO_NETWORK;
      *handle = fake.NewHandle();
      handles[*handle] = name;
      return NO_ERROR;
    };
    fake.onWNetEnumResourceA = [this](HANDLE handle, LPDWORD count, LPVOID buffer,
                                      LPDWORD) -> DWORD {
      const std::string& name = handles.at(handle);
      std::size_t& batch = nextBatch[handle];
      auto* records = static_cast<NETRESOURCEA*>(buffer);
      if (name.empty()) {
        if (batch >= topBatches.size()) return ERROR_NO_MORE_ITEMS;
        const auto& entries = topBatches[batch++];
        for (std::size_t i = 0; i < entries.size(); ++i) {
          records[i] = NETRESOURCEA{};
          records[i].dwUsage = entries[i].usage;
          records[i].lpRemoteName = const_cast<LPSTR>(entries[i].name.c_str());
        }
        *count = static_cast<DWORD>(entries.size());
        return NO_ERROR;
      }
      if (throwInProvider) throw std::bad_alloc();
      const auto& batches = children[name];
      if (batch >= batches.size()) return ERROR_NO_MORE_ITEMS;
      const auto& entries = batches[batch++];
      for (std::size_t i = 0; i < entries.size(); ++i) {
        records[i] = NETRESOURCEA{};
        records[i].dwUsage = RESOURCEUSAGE_CONTAINER;
        records[i].lpRemoteName = const_cast<LPSTR>(entries[i].c_str());
      }
      *count = static_cast<DWORD>(entries.size());
      return NO_ERROR;
    };
  }
};

TEST(NetApiRecordedTest, EnumDomainsWalksContainerProvidersWithFixedBuffers) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeProviders net;
  net.topBatches = {{{"Net A", RESOURCEUSAGE_CONTAINER}, {"Printer", RESOURCEUSAGE_CONNECTABLE}},
                    {{"Net B", RESOURCEUSAGE_CONTAINER | RESOURCEUSAGE_CONNECTABLE}}};
  net.children["Net A"] = {{"DOM1", "\\\\SERVER", "DOM2"}, {"DOM3"}};
  net.children["Net B"] = {{"DOM1"}};
  net.Install(fake);

  TStringList names{"KEPT"};
  EXPECT_TRUE(EnumDomains(names));
  // Appended, in order, duplicates kept, server-style names dropped.
  EXPECT_EQ(names, (TStringList{"KEPT", "DOM1", "DOM2", "DOM3", "DOM1"}));

  const auto opens = fake.CallsNamed("WNetOpenEnumA");
  ASSERT_EQ(opens.size(), 3u);
  EXPECT_EQ(opens[0].args, (Args{"2", "0", "0", "null"}));
  EXPECT_EQ(opens[1].args, (Args{"2", "0", "0", "\"Net A\""}));
  EXPECT_EQ(opens[2].args, (Args{"2", "0", "0", "\"Net B\""}));
  for (const auto& call : fake.CallsNamed("WNetEnumResourceA")) {
    EXPECT_EQ(call.args[1], "64");
    EXPECT_EQ(call.args[2], "ptr");
    EXPECT_EQ(call.args[3], "2048");
  }
  // Every handle opened is closed; the top level last.
  const auto closes = fake.CallsNamed("WNetCloseEnum");
  ASSERT_EQ(closes.size(), 3u);
  HANDLE top = nullptr;
  for (const auto& [handle, name] : net.handles)
    if (name.empty()) top = handle;
  EXPECT_EQ(fake.Calls().back().name, "WNetCloseEnum");
  EXPECT_EQ(fake.Calls().back().args,
            Args{RecordingWinApi::Num(reinterpret_cast<std::intptr_t>(top))});
  EXPECT_EQ(fake.CountOf("NetServerEnum"), 0);
}

TEST(NetApiRecordedTest, EnumDomainsSkipsOnlyAProviderThatCannotBeOpened) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeProviders net;
  net.topBatches = {{{"Broken", RESOURCEUSAGE_CONTAINER}, {"Good", RESOURCEUSAGE_CONTAINER}}};
  net.children["Good"] = {{"HOME"}};
  net.failingOpens = {"Broken"};
  net.Install(fake);

  TStringList names;
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_EQ(names, TStringList{"HOME"});
  EXPECT_EQ(fake.CountOf("WNetCloseEnum"), 2); // "Good" and the top level
  EXPECT_EQ(fake.CountOf("NetServerEnum"), 0);
}

TEST(NetApiRecordedTest, EnumDomainsWithoutContainersSucceedsEmptyWithoutFallback) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeProviders net;
  net.topBatches = {{{"Printer", RESOURCEUSAGE_CONNECTABLE}}};
  net.Install(fake);

  TStringList names{"KEPT"};
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_EQ(names, TStringList{"KEPT"});
  EXPECT_EQ(fake.CountOf("NetServerEnum"), 0);
  EXPECT_EQ(fake.CountOf("WNetCloseEnum"), 1);
}

TEST(NetApiRecordedTest, EnumDomainsFallsBackToTheBrowseListOnlyWhenTheTopLevelFails) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  fake.onWNetOpenEnumA = [](DWORD, DWORD, DWORD, LPNETRESOURCEA, LPHANDLE) -> DWORD {
    return ERROR_NO_NETWORK;
  };
  FakeServerList list({u"ONDRAVEL", u"WORKGROUP"});
  AnswerServers(fake, list, NERR_Success, 2);

  TStringList names{"EMPTIED"};
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_EQ(names, (TStringList{"ONDRAVEL", "WORKGROUP"}));
  EXPECT_EQ(fake.CallNames(), (Args{"WNetOpenEnumA", "NetServerEnum", "NetApiBufferFree"}));
  EXPECT_EQ(fake.CallsNamed("NetServerEnum")[0].args,
            (Args{"null", "101", "4294967295", "2147483648", "null", "0"}));
}

TEST(NetApiRecordedTest, EnumDomainsClosesItsHandlesWhenAnExceptionLeaves) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeProviders net;
  net.topBatches = {{{"Net A", RESOURCEUSAGE_CONTAINER}}};
  net.throwInProvider = true;
  net.Install(fake);

  TStringList names;
  EXPECT_THROW(EnumDomains(names), std::bad_alloc);
  EXPECT_EQ(fake.CountOf("WNetOpenEnumA"), 2);
  EXPECT_EQ(fake.CountOf("WNetCloseEnum"), 2);
}

TEST(NetApiRecordedTest, EnumDomainsEndsABatchLoopQuietlyOnAnyError) {
  RecordingWinApi fake;
  ScopedWinApi use(fake);
  FakeProviders net;
  net.topBatches = {{{"Net A", RESOURCEUSAGE_CONTAINER}}};
  net.children["Net A"] = {{"FIRST"}};
  net.Install(fake);
  auto scripted = fake.onWNetEnumResourceA;
  int calls = 0;
  fake.onWNetEnumResourceA = [&](HANDLE h, LPDWORD count, LPVOID buffer, LPDWORD size) -> DWORD {
    // The provider's second batch does not fit the buffer.
    if (net.handles.at(h) == "Net A" && ++calls == 2) return ERROR_MORE_DATA;
    return scripted(h, count, buffer, size);
  };
  TStringList names;
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_EQ(names, TStringList{"FIRST"});
  EXPECT_EQ(fake.CountOf("WNetCloseEnum"), 2);
}

// --- against the simulated network -----------------------------------------

class NetApiSimulatedTest : public ::testing::Test {
protected:
  SimulatedWinApi sim{sim::Network::Default(), std::chrono::milliseconds(0)};
  ScopedWinApi use{sim};

  TStringList ComputersOf(const std::string& domain) {
    TStringList names;
    sim.WithNetwork([&](sim::Network& net) {
      for (const auto& c : net.computers)
        if (sim::EqualsIgnoreCase(c.domain, domain)) names.push_back(c.name);
    });
    return names;
  }
};

TEST_F(NetApiSimulatedTest, EnumDomainsListsEveryProviderKeepingDuplicates) {
  TStringList names{"FIRST"};
  EXPECT_TRUE(EnumDomains(names));
  // The server-style provider adds nothing; WORKGROUP comes from two providers.
  EXPECT_EQ(names, (TStringList{"FIRST", "ONDRAVEL", "WORKGROUP", "LAB", "WORKGROUP"}));
}

TEST_F(NetApiSimulatedTest, EnumServersListsThePrimaryDomainOrTheKnownDomains) {
  TStringList names{"STALE"};
  EXPECT_TRUE(EnumServers(names, "", SV_TYPE_WORKSTATION));
  EXPECT_EQ(names, ComputersOf("ONDRAVEL"));
  EXPECT_FALSE(names.empty());

  EXPECT_TRUE(EnumServers(names, "", SV_TYPE_DOMAIN_ENUM));
  EXPECT_EQ(names, (TStringList{"ONDRAVEL", "WORKGROUP", "LAB"}));
}

TEST_F(NetApiSimulatedTest, EnumComputersOfNamedDomains) {
  TStringList names;
  EXPECT_TRUE(EnumComputers("workgroup", names));
  EXPECT_EQ(names, ComputersOf("WORKGROUP"));
  EXPECT_TRUE(EnumComputers("LAB", names));
  EXPECT_TRUE(names.empty());
}

TEST_F(NetApiSimulatedTest, UnknownDomainFailsWithAnEmptyList) {
  TStringList names{"A", "B"};
  EXPECT_FALSE(EnumComputers("NOWHERE", names));
  EXPECT_TRUE(names.empty());

  sim.WithNetwork([](sim::Network& net) { net.primaryDomain.clear(); });
  names = {"A"};
  EXPECT_FALSE(EnumServers(names, "", 1));
  EXPECT_TRUE(names.empty());
}

TEST_F(NetApiSimulatedTest, ALongDomainNameIsListed) {
  const std::string longName(150, 'L');
  sim.WithNetwork([&](sim::Network& net) {
    net.domains.push_back({longName, true});
    sim::Computer pc;
    pc.name = "FARAWAY";
    pc.domain = longName;
    net.computers.push_back(pc);
  });
  TStringList names;
  EXPECT_TRUE(EnumComputers(longName, names));
  EXPECT_EQ(names, TStringList{"FARAWAY"});
}

TEST_F(NetApiSimulatedTest, ProvidersOfServerStyleNamesOnlyContributeNothing) {
  sim.WithNetwork([](sim::Network& net) {
    net.providers = {{"Web Client Network", {"\\\\FILES", "\\\\PRINTSRV"}}};
  });
  TStringList names;
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_TRUE(names.empty());
}

TEST_F(NetApiSimulatedTest, NoProvidersFallsBackToTheBrowseService) {
  sim.WithNetwork([](sim::Network& net) { net.providers.clear(); });
  TStringList names{"EMPTIED"};
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_EQ(names, (TStringList{"ONDRAVEL", "WORKGROUP", "LAB"}));
}

TEST_F(NetApiSimulatedTest, HundredsOfDomainsComeThroughInFixedBuffers) {
  TStringList expected;
  sim.WithNetwork([&](sim::Network& net) {
    net.providers = {{"Big Network", {}}};
    for (int i = 0; i < 500; ++i) {
      const std::string name = "DOMAIN-" + std::to_string(i) + std::string(i % 40, 'x');
      net.providers[0].children.push_back(name);
      expected.push_back(name);
    }
  });
  TStringList names;
  EXPECT_TRUE(EnumDomains(names));
  EXPECT_EQ(names, expected);
}

TEST_F(NetApiSimulatedTest, ListingTakesTheNetworksTime) {
  sim.SetLatency(std::chrono::milliseconds(30));
  const auto start = std::chrono::steady_clock::now();
  TStringList names;
  EXPECT_TRUE(EnumComputers("ONDRAVEL", names));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

// --- the simulated calls themselves ----------------------------------------

class SimulatedListingTest : public NetApiSimulatedTest {};

TEST_F(SimulatedListingTest, RecordsArePackedWithTheirStringsInsideTheBuffer) {
  HANDLE top = nullptr;
  ASSERT_EQ(sim.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &top), NO_ERROR);
  alignas(NETRESOURCEA) BYTE buffer[2048];
  DWORD count = 64;
  DWORD size = sizeof buffer;
  ASSERT_EQ(sim.WNetEnumResourceA(top, &count, buffer, &size), NO_ERROR);
  ASSERT_EQ(count, 3u);
  const auto* records = reinterpret_cast<const NETRESOURCEA*>(buffer);
  const char* recordsEnd = reinterpret_cast<const char*>(records + count);
  for (DWORD i = 0; i < count; ++i) {
    EXPECT_EQ(records[i].dwUsage & RESOURCEUSAGE_CONTAINER, RESOURCEUSAGE_CONTAINER);
    EXPECT_EQ(records[i].dwDisplayType, RESOURCEDISPLAYTYPE_NETWORK);
    EXPECT_GE(records[i].lpRemoteName, recordsEnd);
    EXPECT_LT(records[i].lpRemoteName, reinterpret_cast<const char*>(buffer) + sizeof buffer);
  }
  EXPECT_STREQ(records[0].lpRemoteName, "Microsoft Windows Network");

  // The second provider's children are servers.
  HANDLE web = nullptr;
  ASSERT_EQ(sim.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0,
                              const_cast<NETRESOURCEA*>(&records[1]), &web),
            NO_ERROR);
  alignas(NETRESOURCEA) BYTE children[2048];
  count = 64;
  size = sizeof children;
  ASSERT_EQ(sim.WNetEnumResourceA(web, &count, children, &size), NO_ERROR);
  ASSERT_EQ(count, 2u);
  const auto* servers = reinterpret_cast<const NETRESOURCEA*>(children);
  EXPECT_STREQ(servers[0].lpRemoteName, "\\\\FILES");
  EXPECT_EQ(servers[0].dwDisplayType, RESOURCEDISPLAYTYPE_SERVER);
  count = 64;
  EXPECT_EQ(sim.WNetEnumResourceA(web, &count, children, &size), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(sim.WNetCloseEnum(web), NO_ERROR);

  count = 64;
  EXPECT_EQ(sim.WNetEnumResourceA(top, &count, buffer, &size), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(sim.WNetCloseEnum(top), NO_ERROR);
  EXPECT_EQ(sim.WNetCloseEnum(top), ERROR_INVALID_HANDLE);
}

TEST_F(SimulatedListingTest, AnEntryThatDoesNotFitAsksForTheSizeItNeeds) {
  const std::string huge(3000, 'H');
  sim.WithNetwork([&](sim::Network& net) { net.providers = {{"P", {"SMALL", huge, "AFTER"}}}; });
  HANDLE top = nullptr;
  ASSERT_EQ(sim.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, &top), NO_ERROR);
  alignas(NETRESOURCEA) BYTE buffer[2048];
  DWORD count = 64;
  DWORD size = sizeof buffer;
  ASSERT_EQ(sim.WNetEnumResourceA(top, &count, buffer, &size), NO_ERROR);
  NETRESOURCEA provider;
  std::memcpy(&provider, buffer, sizeof provider);
  const std::string providerName = provider.lpRemoteName;
  provider.lpRemoteName = const_cast<LPSTR>(providerName.c_str());
  provider.lpProvider = const_cast<LPSTR>(providerName.c_str());

  HANDLE child = nullptr;
  ASSERT_EQ(sim.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &provider, &child),
            NO_ERROR);
  count = 64;
  size = sizeof buffer;
  ASSERT_EQ(sim.WNetEnumResourceA(child, &count, buffer, &size), NO_ERROR);
  EXPECT_EQ(count, 1u); // the huge one does not fit behind it
  count = 64;
  EXPECT_EQ(sim.WNetEnumResourceA(child, &count, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof(NETRESOURCEA) + huge.size() + 1 + providerName.size() + 1);
  // With a buffer of the size asked for, it comes through.
  std::vector<NETRESOURCEA> big(size / sizeof(NETRESOURCEA) + 1);
  DWORD bigSize = static_cast<DWORD>(big.size() * sizeof(NETRESOURCEA));
  count = 64;
  ASSERT_EQ(sim.WNetEnumResourceA(child, &count, big.data(), &bigSize), NO_ERROR);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(std::string(big[0].lpRemoteName), huge);
  sim.WNetCloseEnum(child);
  sim.WNetCloseEnum(top);
}

TEST_F(SimulatedListingTest, BadArgumentsAreRefused) {
  HANDLE h = nullptr;
  EXPECT_EQ(sim.WNetOpenEnumA(7, RESOURCETYPE_ANY, 0, nullptr, &h), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(sim.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, nullptr, nullptr),
            ERROR_INVALID_ADDRESS);
  NETRESOURCEA unknown{};
  unknown.dwUsage = RESOURCEUSAGE_CONTAINER;
  unknown.lpRemoteName = const_cast<LPSTR>("NO SUCH THING");
  EXPECT_EQ(sim.WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &unknown, &h),
            ERROR_BAD_NETPATH);
  DWORD count = 1;
  DWORD size = 16;
  BYTE buffer[16];
  EXPECT_EQ(sim.WNetEnumResourceA(reinterpret_cast<HANDLE>(0x7777), &count, buffer, &size),
            ERROR_INVALID_HANDLE);

  LPBYTE list = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  EXPECT_EQ(sim.NetServerEnum(nullptr, 100, &list, MAX_PREFERRED_LENGTH, &read, &total, 1, nullptr,
                              nullptr),
            124u); // invalid level
  EXPECT_EQ(sim.NetApiBufferFree(buffer), ERROR_INVALID_PARAMETER);
}

TEST_F(SimulatedListingTest, ServerListBuffersAreFreedOnceAndOnlyOnce) {
  LPBYTE list = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  ASSERT_EQ(sim.NetServerEnum(nullptr, 101, &list, MAX_PREFERRED_LENGTH, &read, &total, 1, nullptr,
                              nullptr),
            NERR_Success);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(read, total);
  const auto* records = reinterpret_cast<const SERVER_INFO_101*>(list);
  EXPECT_EQ(records[0].sv101_platform_id, PLATFORM_ID_NT);
  EXPECT_EQ(records[0].sv101_type & SV_TYPE_WORKSTATION, SV_TYPE_WORKSTATION);
  EXPECT_EQ(sim.NetApiBufferFree(list), NERR_Success);
  EXPECT_EQ(sim.NetApiBufferFree(list), ERROR_INVALID_PARAMETER);
}

TEST_F(SimulatedListingTest, APreferredLengthGivesPartialAnswersThatResume) {
  const TStringList all = ComputersOf("ONDRAVEL");
  ASSERT_GE(all.size(), 3u);
  TStringList seen;
  DWORD resume = 0;
  NET_API_STATUS status;
  int calls = 0;
  do {
    LPBYTE list = nullptr;
    DWORD read = 0;
    DWORD total = 0;
    status = sim.NetServerEnum(nullptr, 101, &list, 80, &read, &total, 1, nullptr, &resume);
    ASSERT_TRUE(status == NERR_Success || status == ERROR_MORE_DATA);
    const auto* records = reinterpret_cast<const SERVER_INFO_101*>(list);
    for (DWORD i = 0; i < read; ++i)
      seen.push_back(std::string(records[i].sv101_name,
                                 records[i].sv101_name +
                                     std::char_traits<WCHAR>::length(records[i].sv101_name)));
    if (list) sim.NetApiBufferFree(list);
    ASSERT_LT(++calls, 100);
  } while (status == ERROR_MORE_DATA);
  EXPECT_EQ(seen, all);
}

} // namespace
} // namespace skarvet
