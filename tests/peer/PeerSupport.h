// Shared by the tests against the Samba peer that tests/peer/samba-peer.sh
// starts: where the peer is, what its shutdown script recorded, holding a
// request inside the server, and taking the server down.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/types.h>

namespace skarvet::test {

// Why a peer test was skipped, for the GTEST_SKIP message.
inline constexpr const char* kNoPeer =
    "no Samba peer: run through tests/peer/samba-peer.sh (as root)";

struct PeerRecord {
  std::string message;
  bool reboot = false;
  bool force = false;
  std::string reason; // signed decimal, as the server passes it on
};

struct Peer {
  std::string host, host6, name, name2, host2, workgroup, downHost, silentHost;
  std::string conf, record, hold, smbdPidFile;
  std::string admin, adminPassword, user, userPassword;

  // The peer the script described in the environment; none outside it.
  static std::optional<Peer> FromEnvironment() {
    auto get = [](const char* name) {
      const char* value = std::getenv(name);
      return std::string(value ? value : "");
    };
    Peer peer;
    peer.host = get("SKARVET_PEER_HOST");
    if (peer.host.empty()) return std::nullopt;
    peer.host6 = get("SKARVET_PEER_HOST6");
    peer.name = get("SKARVET_PEER_NAME");
    peer.name2 = get("SKARVET_PEER_NAME2");
    peer.host2 = get("SKARVET_PEER_HOST2");
    peer.workgroup = get("SKARVET_PEER_WORKGROUP");
    peer.downHost = get("SKARVET_PEER_DOWN_HOST");
    peer.silentHost = get("SKARVET_PEER_SILENT_HOST");
    peer.conf = get("SKARVET_PEER_CONF");
    peer.record = get("SKARVET_PEER_RECORD");
    peer.hold = get("SKARVET_PEER_HOLD");
    peer.smbdPidFile = get("SKARVET_PEER_SMBD_PIDFILE");
    peer.admin = get("SKARVET_PEER_ADMIN");
    peer.adminPassword = get("SKARVET_PEER_ADMIN_PASSWORD");
    peer.user = get("SKARVET_PEER_USER");
    peer.userPassword = get("SKARVET_PEER_USER_PASSWORD");
    return peer;
  }

  // Every request the server accepted so far, in order.
  std::vector<PeerRecord> Records() const {
    std::vector<PeerRecord> records;
    std::ifstream file(record);
    std::string line;
    while (std::getline(file, line)) {
      std::vector<std::string> fields;
      std::stringstream split(line);
      std::string field;
      while (std::getline(split, field, '\t')) fields.push_back(field);
      fields.resize(4);
      records.push_back({fields[0], fields[1] == "-r", fields[2] == "-f", fields[3]});
    }
    return records;
  }

  // Forgets the requests recorded so far (each test starts afresh).
  void ClearRecords() const { std::ofstream(record, std::ios::trunc); }

  // While held, an accepted request waits inside the server's shutdown
  // script, its connection open.
  void Hold() const {
    std::remove((hold + ".reached").c_str());
    std::ofstream(hold).put('\n');
  }
  bool WaitHeldRequest(std::chrono::milliseconds limit = std::chrono::seconds(20)) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!std::ifstream(hold + ".reached")) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  void Release() const { std::remove(hold.c_str()); }

  // Kills the file server outright: smbd and every connection it serves.
  bool KillFileServer() const {
    long pid = 0;
    std::ifstream(smbdPidFile) >> pid;
    return pid > 1 && ::kill(static_cast<pid_t>(-pid), SIGKILL) == 0;
  }
};

// The reason code as the server's script receives it.
inline std::string SignedDecimal(unsigned code) {
  return std::to_string(static_cast<int>(code));
}

} // namespace skarvet::test
