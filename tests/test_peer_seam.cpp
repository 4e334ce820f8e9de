// The real network's shutdown request against a real Samba server, through
// the seam as the program's worker makes it: what the server received, and
// the error each refusal leaves for the calling thread. Runs under
// tests/peer/samba-peer.sh; skipped without it.
#include "platform/smb/SmbWinApi.h"
#include "remote/GlobalUnit.h"
#include "tests/peer/PeerSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

using namespace skarvet;
using namespace skarvet::test;

namespace {

using Clock = std::chrono::steady_clock;

// A host that never answers gives up within this.
constexpr auto kTimeLimit = std::chrono::seconds(60);

struct Request {
  explicit Request(std::string computer, std::string user = {}, std::string password = {})
      : computer(std::move(computer)), user(std::move(user)), password(std::move(password)) {}

  std::string computer;
  std::string user; // empty: the program's own account
  std::string password;
  bool reboot = true;
  bool force = false;
  DWORD reason = 0;
  std::string message;
};

struct Outcome {
  bool answered = false;
  BOOL accepted = FALSE;
  DWORD error = 0; // the thread's last error after a refusal
  Clock::duration took{};
};

// One request as the program's worker makes it: on a thread of its own, the
// account set up first, the token closed after.
std::shared_future<Outcome> Start(const Request& request) {
  auto promise = std::make_shared<std::promise<Outcome>>();
  std::shared_future<Outcome> future = promise->get_future().share();
  std::thread([request, promise] {
    const auto begun = Clock::now();
    HANDLE token = nullptr;
    ConnectAsUser(request.user, request.password, "", request.computer, token);
    std::string machine = request.computer;
    std::string message = request.message;
    Outcome outcome;
    outcome.answered = true;
    outcome.accepted = Api().InitiateSystemShutdownExA(
        machine.data(), message.data(), 0, request.force, request.reboot, request.reason);
    outcome.error = outcome.accepted ? 0 : Api().GetLastError();
    CloseLogonToken(token);
    outcome.took = Clock::now() - begun;
    promise->set_value(outcome);
  }).detach();
  return future;
}

// The outcome, or a failure when there is none within the time limit.
Outcome Finish(const std::shared_future<Outcome>& future) {
  if (future.wait_for(kTimeLimit + std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "no answer within the time limit";
    return {};
  }
  return future.get();
}

Outcome Send(const Request& request) {
  return Finish(Start(request));
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class PeerSeam : public ::testing::Test {
protected:
  std::optional<Peer> peer = Peer::FromEnvironment();
  std::unique_ptr<SmbWinApi> network;
  std::optional<ScopedWinApi> use;

  void SetUp() override {
    if (!peer) GTEST_SKIP() << kNoPeer;
    peer->ClearRecords();
    network = std::make_unique<SmbWinApi>(peer->conf);
    use.emplace(*network);
  }
  void TearDown() override {
    if (peer) peer->Release();
  }

  Request AsAdmin(const std::string& computer) const {
    return Request(computer, peer->admin, peer->adminPassword);
  }
};

TEST_F(PeerSeam, RestartAndShutdownArriveWithTheirReasonAndFlags) {
  // By NetBIOS name through WINS, in lower case with the leading backslashes.
  Request restart = AsAdmin("\\\\" + Lower(peer->name));
  restart.force = true;
  restart.reason = 0x80020003u; // planned, operating system, upgrade
  restart.message = "Skarvet test";
  Outcome outcome = Send(restart);
  EXPECT_TRUE(outcome.accepted) << "error " << outcome.error;

  // By address; a reason with every field filled and no flags.
  Request shutdown = AsAdmin(peer->host);
  shutdown.reboot = false;
  shutdown.reason = 0x4006000Bu; // user-defined, power, cord unplugged
  outcome = Send(shutdown);
  EXPECT_TRUE(outcome.accepted) << "error " << outcome.error;

  const auto records = peer->Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].message, "Skarvet_test");
  EXPECT_TRUE(records[0].reboot);
  EXPECT_TRUE(records[0].force);
  EXPECT_EQ(records[0].reason, SignedDecimal(0x80020003u));
  EXPECT_EQ(records[1].message, "");
  EXPECT_FALSE(records[1].reboot);
  EXPECT_FALSE(records[1].force);
  EXPECT_EQ(records[1].reason, SignedDecimal(0x4006000Bu));
}

TEST_F(PeerSeam, AComputerNamedByItsIPv6AddressIsReachedInEverySpelling) {
  ASSERT_FALSE(peer->host6.empty());
  const std::string spellings[] = {peer->host6, "[" + peer->host6 + "]", "\\\\" + peer->host6};
  DWORD reason = 0x80020001u;
  for (const std::string& computer : spellings) {
    Request restart = AsAdmin(computer);
    restart.reason = reason++;
    const Outcome outcome = Send(restart);
    EXPECT_TRUE(outcome.accepted) << computer << ": error " << outcome.error;
  }
  const auto records = peer->Records();
  ASSERT_EQ(records.size(), 3u);
  for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(records[i].reason, SignedDecimal(0x80020001u + i));
}

TEST_F(PeerSeam, EachRefusalLeavesTheErrorWindowsGivesInTime) {
  struct Case {
    const char* what;
    Request request;
    DWORD error;
  };
  const Case cases[] = {
      {"wrong password", Request(peer->host, peer->admin, "not" + peer->adminPassword), 1326},
      {"unknown account", Request(peer->host, "nosuchaccount", peer->adminPassword), 1326},
      {"account without the right", Request(peer->host, peer->user, peer->userPassword), 5},
      {"host that is down", AsAdmin(peer->downHost), 53},
      {"host without a server", AsAdmin(peer->host2), 53},
      {"name nobody has", AsAdmin("NOSUCHPC"), 53},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Send(c.request);
    EXPECT_TRUE(outcome.answered) << c.what;
    EXPECT_FALSE(outcome.accepted) << c.what;
    EXPECT_EQ(outcome.error, c.error) << c.what;
    EXPECT_LT(outcome.took, kTimeLimit) << c.what;
  }
  EXPECT_TRUE(peer->Records().empty());
}

TEST_F(PeerSeam, AConnectionLendsItsAccountToLaterRequestsOfThatHost) {
  const std::string share = "\\\\" + peer->host + "\\ipc$";
  EXPECT_EQ(AddNetConnection("", share, peer->admin, "not" + peer->adminPassword), 1326u);
  // A refused connection lends nothing.
  Outcome outcome = Send(Request(peer->host));
  EXPECT_FALSE(outcome.accepted);

  EXPECT_EQ(AddNetConnection("", share, peer->admin, peer->adminPassword), 0u);
  outcome = Send(Request(peer->host)); // another thread, no account of its own
  EXPECT_TRUE(outcome.accepted) << "error " << outcome.error;
  // A thread's own account still comes first.
  outcome = Send(Request(peer->host, peer->user, peer->userPassword));
  EXPECT_FALSE(outcome.accepted);
  EXPECT_EQ(outcome.error, 5u);
  EXPECT_EQ(peer->Records().size(), 1u);
}

TEST_F(PeerSeam, TwoRequestsAtOnceWithDifferentAccountsKeepTheirOwn) {
  // The administrator's restart waits inside the server while the user's
  // shutdown of the same host is made.
  peer->Hold();
  Request restart = AsAdmin(peer->name);
  restart.reason = 0x80040001u;
  const auto first = Start(restart);
  ASSERT_TRUE(peer->WaitHeldRequest());
  Request shutdown(peer->host, peer->user, peer->userPassword);
  shutdown.reboot = false;
  shutdown.force = true;
  const auto second = Start(shutdown);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  peer->Release();

  const Outcome admin = Finish(first);
  const Outcome user = Finish(second);
  EXPECT_TRUE(admin.accepted) << "error " << admin.error;
  EXPECT_FALSE(user.accepted);
  EXPECT_EQ(user.error, 5u);
  const auto records = peer->Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].reboot);
  EXPECT_FALSE(records[0].force);
  EXPECT_EQ(records[0].reason, SignedDecimal(0x80040001u));
}

} // namespace
