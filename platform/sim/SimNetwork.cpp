#include "platform/sim/SimNetwork.h"

#include "platform/text/TextHelpers.h"

#include <algorithm>

namespace skarvet::sim {

Network Network::Default() {
  Network net;
  net.primaryDomain = "ONDRAVEL";
  net.localComputer = "ADMINPC";
  net.ownAccount = "ONDRAVEL\\operator";

  net.domains = {{"ONDRAVEL", false}, {"WORKGROUP", true}, {"LAB", false}};

  auto computer = [](std::string name, std::string domain, HostState state, std::string user) {
    Computer c;
    c.name = std::move(name);
    c.domain = std::move(domain);
    c.state = state;
    c.interactiveUser = std::move(user);
    return c;
  };
  net.computers = {
      computer("ADMINPC", "ONDRAVEL", HostState::Online, "ONDRAVEL\\operator"),
      computer("ALPHA", "ONDRAVEL", HostState::Online, "ONDRAVEL\\jsmith"),
      computer("BRAVO", "ONDRAVEL", HostState::Online, "ONDRAVEL\\mjones"),
      computer("CHARLIE", "ONDRAVEL", HostState::Offline, ""),
      computer("DELTA", "ONDRAVEL", HostState::RpcUnavailable, "ONDRAVEL\\kbrown"),
      computer("ECHO", "ONDRAVEL", HostState::Online, ""),
      computer("FOXTROT", "ONDRAVEL", HostState::NoAnswer, "ONDRAVEL\\pwhite"),
      computer("KITCHEN", "WORKGROUP", HostState::Online, "KITCHEN\\Cook"),
      computer("LAPTOP7", "WORKGROUP", HostState::Offline, ""),
      // Current computers that no browse list knows: only WS-Discovery
      // finds them.
      computer("EASEL", "STUDIO", HostState::Online, "EASEL\\ada"),
      computer("LOOM", "STUDIO", HostState::Online, ""),
      computer("MERIDIAN", "harbour.example", HostState::Online, ""),
  };
  // Addresses, and what the computers that answer WS-Discovery publish.
  const struct {
    const char* name;
    const char* address;
    const char* discovery;
  } published[] = {
      {"ADMINPC", "192.0.2.10", ""},
      {"ALPHA", "192.0.2.11", "ALPHA/Domain:ondravel.example"},
      {"BRAVO", "192.0.2.12", "BRAVO/Domain:ondravel.example"},
      {"CHARLIE", "192.0.2.13", "CHARLIE/Domain:ondravel.example"},
      {"DELTA", "192.0.2.14", "DELTA/Domain:ondravel.example"},
      {"ECHO", "192.0.2.15", ""},
      {"FOXTROT", "192.0.2.16", "FOXTROT/Domain:ondravel.example"},
      {"KITCHEN", "192.0.2.21", "KITCHEN/Workgroup:WORKGROUP"},
      {"LAPTOP7", "192.0.2.22", "LAPTOP7/Workgroup:WORKGROUP"},
      {"EASEL", "192.0.2.31", "EASEL/Workgroup:STUDIO"},
      {"LOOM", "192.0.2.32", "LOOM/Workgroup:STUDIO"},
      {"MERIDIAN", "192.0.2.41", "meridian/Domain:harbour.example"},
  };
  for (const auto& entry : published) {
    Computer* c = net.FindComputer(entry.name);
    c->address = entry.address;
    c->discovery = entry.discovery;
  }

  net.accounts = {
      // The program's own account: rights everywhere in its domain but BRAVO.
      {"ONDRAVEL", "operator", "operator", {"ADMINPC", "ALPHA", "CHARLIE", "DELTA", "ECHO"}},
      {"ONDRAVEL", "admin", "Secret1", {"ADMINPC", "ALPHA", "BRAVO", "CHARLIE", "DELTA", "ECHO"}},
      {"ONDRAVEL", "helpdesk", "helpdesk", {}},
      {"KITCHEN", "Administrator", "kitchen", {"KITCHEN"}},
      {"EASEL", "ada", "easel", {"EASEL"}},
  };

  net.providers = {
      {"Microsoft Windows Network", {"ONDRAVEL", "WORKGROUP", "LAB"}},
      {"Web Client Network", {"\\\\FILES", "\\\\PRINTSRV"}},
      {"Ondravel Lab Network", {"WORKGROUP"}},
  };
  return net;
}

Computer* Network::FindComputer(const std::string& name) {
  auto it = std::find_if(computers.begin(), computers.end(),
                         [&](const Computer& c) { return EqualsIgnoreCase(c.name, name); });
  return it == computers.end() ? nullptr : &*it;
}

const Domain* Network::FindDomain(const std::string& name) const {
  auto it = std::find_if(domains.begin(), domains.end(),
                         [&](const Domain& d) { return EqualsIgnoreCase(d.name, name); });
  return it == domains.end() ? nullptr : &*it;
}

const Account* Network::FindAccount(const std::string& authority, const std::string& user) const {
  auto it = std::find_if(accounts.begin(), accounts.end(), [&](const Account& a) {
    return EqualsIgnoreCase(a.authority, authority) && EqualsIgnoreCase(a.user, user);
  });
  return it == accounts.end() ? nullptr : &*it;
}

} // namespace skarvet::sim
