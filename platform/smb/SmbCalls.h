// The calls of the real network that reach a host, each made in a helper
// process of its own (skarvet-smb-call, beside the module).
//
// Samba's client library keeps its configuration, protocol range, name
// caches and memory frames process-wide, so two contexts in one process
// cannot work at once safely. A process per call gives every request,
// listing and name lookup state of its own: none waits for another, and one
// that hangs (a host that is down, a server or DNS server that never
// answers) holds up nothing but itself. Starting a helper costs about 30 ms
// (measured; mostly mapping the library), so two are kept started ahead.
//
// The module sends the helper one request over a socket (the account too:
// never in its arguments or environment) and reads one reply.
#pragma once

#include "platform/desktop/DesktopWinApi.h"
#include "platform/text/SecretText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skarvet::smb {

enum class CallKind : std::uint8_t {
  Shutdown = 1, // InitEx on the host's InitShutdown pipe
  Connect = 2,  // log on to a share of the host
  Browse = 3,   // one browse list of the network
};

struct CallRequest {
  CallKind kind = CallKind::Shutdown;
  std::string configFile; // empty: the library's own
  Account account;
  std::string urlHost; // Shutdown and Connect: the host part of the URL
  // Connect: the share ("ipc$" logs on through a pipe every server has).
  std::string share;
  // Shutdown: the request's arguments.
  std::string message;
  DWORD timeout = 0;
  bool force = false;
  bool reboot = false;
  DWORD reason = 0;
  // Browse: the workgroups of the network, else the computers of
  // `workgroup` (UTF-8; empty: this computer's).
  bool workgroups = false;
  std::string workgroup;
};

struct CallReply {
  // The Win32 result. A browse list that cannot be read where the network
  // keeps none is ERROR_NO_BROWSER_SERVERS_FOUND.
  DWORD error = ERROR_SUCCESS;
  struct Entry {
    std::string name; // UTF-8
    std::string comment;
  };
  std::vector<Entry> entries; // Browse
};

// The Win32 error of a call whose helper is missing, could not start, or
// ended without a reply (its own system text says so).
inline constexpr DWORD kCallHelperFailed = 0xA0040002u;
// The helper's file name, beside the module (or the program that links the
// real network's code).
inline constexpr const char* kCallHelperName = "skarvet-smb-call";

// Makes the call in this process: what the helper does.
CallReply RunCall(const CallRequest& request);

// Makes the call in a helper process of its own and waits for its reply.
CallReply CallInHelper(const CallRequest& request);

// The wire form of both. Decoding rejects anything malformed, truncated or
// too large (false). A request carries the password: its bytes are wiped
// when they are given back.
WipingString EncodeRequest(const CallRequest& request);
bool DecodeRequest(std::string_view bytes, CallRequest& request);
std::string EncodeReply(const CallReply& reply);
bool DecodeReply(std::string_view bytes, CallReply& reply);

// Writes all of `bytes` to the socket `fd` (the module's end, or the
// helper's standard output); false when the other end is gone. Never raises
// SIGPIPE.
bool SendAll(int fd, std::string_view bytes);

// The largest request and reply read.
inline constexpr std::size_t kRequestLimit = 64 * 1024;
inline constexpr std::size_t kReplyLimit = 8 * 1024 * 1024;

} // namespace skarvet::smb
