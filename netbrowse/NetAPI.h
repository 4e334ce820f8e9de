// Network listing: the domains and workgroups the network providers know,
// and the computers of one domain, as plain names in the ANSI code page.
//
// The routines keep no state and may block for as long as the network takes
// to answer; they run on the browse worker thread only and never touch a
// window. Failures are quiet: the result is at most false, and whatever
// names were gathered stay in the list.
#pragma once

#include "platform/Win32Types.h"

#include <string>
#include <vector>

namespace skarvet {

// An ordered list of names owned by the caller; names are appended in the
// order the system returns them, never sorted, trimmed or de-duplicated.
using TStringList = std::vector<std::string>;

// Empties List, then lists the servers of Domain (empty = the local
// computer's primary domain) whose type bits meet ServerType. False when the
// system refuses; the list then stays empty.
bool EnumServers(TStringList& List, const std::string& Domain, DWORD ServerType);

// Appends the domain and workgroup names of every network provider. When the
// provider listing cannot be opened at all, falls back to the browse
// service's domain list (which empties List first).
bool EnumDomains(TStringList& List);

// The computers of one domain: EnumServers with SV_TYPE_WORKSTATION.
bool EnumComputers(const std::string& Domain, TStringList& List);

} // namespace skarvet
