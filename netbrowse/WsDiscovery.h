// Finding the computers of a network by WS-Discovery, the way current
// Windows and Samba hosts (with wsdd) make themselves known where no browse
// list is kept: a multicast Probe on each usable IPv4 interface, a Resolve
// for the answers that name no address, and the metadata Get over HTTP,
// whose "NAME/Workgroup:WG" or "NAME/Domain:dns.name" places each computer.
//
// Every call goes through the seam's Winsock (Api()), so the same routine
// runs on Windows, on the real network from Linux and on the simulated
// network. Like the other listings it keeps no state, may block (for about
// a second, never more than TDiscoveryTimes::total) and is quiet about
// failures: whatever computers were found are returned.
//
// The answers are hostile input: only computers that answered are asked
// for their metadata (at the address they answered from, whatever address
// they name), and sizes, counts and time are bounded.
#pragma once

#include "netbrowse/NetAPI.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace skarvet {

// A computer found, its names in the ANSI code page.
struct TDiscoveredComputer {
  std::string Name;
  // Its workgroup, or its domain's DNS name.
  std::string Group;
  bool Domain = false;
};
using TDiscoveredList = std::vector<TDiscoveredComputer>;

struct TDiscoveryTimes {
  using ms = std::chrono::milliseconds;
  // Answers to the Probe are awaited this long at least: a computer may
  // wait up to half a second before it answers.
  ms firstAnswers{600};
  // Then until no answer came for this long ...
  ms quiet{250};
  // ... but no longer than this after the Probe.
  ms probing{1500};
  // A Resolve's answer, and one metadata exchange, are awaited this long.
  ms resolve{400};
  ms exchange{1200};
  // Everything ends this long after the Probe.
  ms total{2800};
};

// Most computers a listing takes in, and most metadata exchanges at once.
inline constexpr std::size_t kMaxDiscoveredHosts = 4096;
inline constexpr std::size_t kMaxConcurrentExchanges = 32;

TDiscoveredList DiscoverComputers(const TDiscoveryTimes& times = {});

// The workgroups and domains of Discovered that List does not hold yet,
// appended in the order found. A domain's DNS name is found in List also
// by its first label ("harbour.example" is the domain HARBOUR). Names are
// compared as Windows compares them (AnsiEqualsIgnoreCase).
void AppendDiscoveredGroups(const TDiscoveredList& Discovered, TStringList& List);

// The computers of Discovered that belong to the group Domain and that List
// does not hold yet, appended.
void AppendDiscoveredComputers(const TDiscoveredList& Discovered, const std::string& Domain,
                               TStringList& List);

} // namespace skarvet
