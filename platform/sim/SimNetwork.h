// The simulated Windows network behind SimulatedWinApi: who is out there,
// which accounts exist and what they may do. Plain data; the simulated calls
// give it behaviour. The default network is compiled in (README lists it).
#pragma once

#include "platform/text/TextHelpers.h"

#include <chrono>
#include <string>
#include <vector>

namespace skarvet::sim {

// The network compares names as Windows does (platform/text/TextHelpers.h).
using skarvet::EqualsIgnoreCase;
using skarvet::UpperAscii;

enum class HostState {
  Online,         // answers every call
  Offline,        // switched off or unreachable: network path not found
  RpcUnavailable, // answers the network but its RPC server does not run
  NoAnswer,       // its packets are dropped: every call waits Network::noAnswerWait, then fails
};

struct Computer {
  std::string name;   // NetBIOS name, upper case
  std::string domain; // the domain or workgroup it belongs to
  HostState state = HostState::Online;
  std::string interactiveUser; // "DOMAIN\\user" logged on at its console; empty = nobody
  // A restarted computer is unreachable until this moment, then back.
  std::chrono::steady_clock::time_point unreachableUntil{};
  int restarts = 0;               // restarts honoured so far
  int shutdowns = 0;              // shutdowns honoured so far (it then stays Offline)
  int logoffs = 0;                // forced logoffs honoured so far
  std::string lastReasonAndFlags; // "reason=0x..., force=..., reboot=..." of the last request
  // WS-Discovery (SimSockets.h): its IPv4 address, and what its metadata
  // names it ("NAME/Workgroup:WG" or "NAME/Domain:dns.name"); empty = it
  // does not answer discovery. Without the metadata service it answers
  // probes but refuses the Get.
  std::string address;
  std::string discovery;
  bool metadataService = true;
};

struct Account {
  std::string authority; // domain name, or computer name for a local account
  std::string user;
  std::string password;
  std::vector<std::string> adminOn; // computers on which it may shut down and log off
};

struct Domain {
  std::string name;
  bool isWorkgroup = false;
};

// A network provider as the provider listing shows it: its children are
// domain or workgroup names, or server-style names ("\\\\NAME").
struct Provider {
  std::string name;
  std::vector<std::string> children;
};

struct Network {
  std::vector<Domain> domains;
  std::vector<Computer> computers;
  std::vector<Account> accounts;
  std::vector<Provider> providers;
  std::string primaryDomain;                       // listed by NetServerEnum for a null domain
  std::string localComputer;                       // the computer the program runs on
  std::string ownAccount;                          // "DOMAIN\\user" the program runs as
  std::chrono::milliseconds restartDowntime{8000}; // how long a restart keeps it away
  std::chrono::milliseconds noAnswerWait{120000};  // how long a NoAnswer computer keeps a caller

  // The network every run starts with: see README, "Trying it out".
  static Network Default();

  Computer* FindComputer(const std::string& name); // case-insensitive; nullptr if none
  const Domain* FindDomain(const std::string& name) const;
  const Account* FindAccount(const std::string& authority, const std::string& user) const;
};

} // namespace skarvet::sim
