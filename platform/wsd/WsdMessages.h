// WS-Discovery and WS-Transfer as computers speak them on a local network:
// the messages a client sends (Probe, Resolve, the metadata Get) and those
// the computers answer with (ProbeMatches, ResolveMatches, the metadata),
// the HTTP around the Get, and the reading of all of them.
//
// Shared by the discovery client above the seam (netbrowse/) and by the
// simulated network, whose computers answer the same messages. Plain text
// in, plain text out: no sockets here.
//
// Everything read comes from the network and is hostile until checked:
// documents are read with expat, never by hand, with bounded size, depth,
// text lengths and counts, and without any document type declaration (no
// entities to expand). What breaks a bound makes the whole message unread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace skarvet::wsd {

// Where Probe and Resolve go: the IPv4 multicast group and its port.
inline constexpr const char* kMulticastGroup = "239.255.255.250";
inline constexpr std::uint16_t kPort = 3702;
// The port computers serve their metadata on.
inline constexpr std::uint16_t kMetadataPort = 5357;

// Bounds on what is read.
inline constexpr std::size_t kMaxDatagram = 32 * 1024;
inline constexpr std::size_t kMaxHttpResponse = 256 * 1024;
inline constexpr std::size_t kMaxDepth = 32;
inline constexpr std::size_t kMaxText = 4096;
inline constexpr std::size_t kMaxMatches = 64;
inline constexpr std::size_t kMaxTypes = 16;
inline constexpr std::size_t kMaxXAddrs = 16;

// Expanded names of the types that matter here.
inline constexpr const char* kDeviceType = "http://schemas.xmlsoap.org/ws/2006/02/devprof Device";
inline constexpr const char* kComputerType =
    "http://schemas.microsoft.com/windows/pub/2005/07 Computer";

// A fresh "urn:uuid:..." (random, version 4).
std::string NewUuidUrn();

// --- what a client sends ------------------------------------------------------
std::string ProbeMessage(std::string_view messageId);
std::string ResolveMessage(std::string_view messageId, std::string_view endpoint);
std::string MetadataGetMessage(std::string_view messageId, std::string_view endpoint);

// --- what a computer answers ----------------------------------------------------
// `xaddrs` empty: the match names no address (the client then resolves it).
std::string ProbeMatchesMessage(std::string_view messageId, std::string_view relatesTo,
                                std::string_view endpoint, std::string_view xaddrs);
std::string ResolveMatchesMessage(std::string_view messageId, std::string_view relatesTo,
                                  std::string_view endpoint, std::string_view xaddrs);
// The metadata of a computer: its host section names it with `computer`
// ("NAME/Workgroup:WG" or "NAME/Domain:dns.name").
std::string MetadataMessage(std::string_view messageId, std::string_view relatesTo,
                            std::string_view endpoint, std::string_view computer);

// --- reading --------------------------------------------------------------------
enum class Kind { Other, Probe, ProbeMatches, Resolve, ResolveMatches, Get, GetResponse };

struct Match {
  std::string endpoint;            // the endpoint reference's address
  std::vector<std::string> types;  // expanded names: "namespace local"
  std::vector<std::string> xaddrs; // transport addresses, if the match names any
  bool HasType(std::string_view expanded) const;
};

struct Message {
  Kind kind = Kind::Other;
  std::string action, messageId, relatesTo, to;
  std::vector<Match> matches;          // ProbeMatches, ResolveMatches
  std::vector<std::string> probeTypes; // Probe
  std::string resolveEndpoint;         // Resolve
  std::vector<std::string> computers;  // the pub:Computer texts of a GetResponse
};

// Reads one SOAP envelope. False when it is not well-formed XML, breaks a
// bound, declares a document type, or is no SOAP 1.2 envelope; `out` is
// then to be ignored.
bool ParseMessage(std::string_view xml, Message& out);

// A computer as its metadata names it, in UTF-8.
struct ComputerIdentity {
  std::string name;  // the computer's name
  std::string group; // its workgroup, or its domain's DNS name
  bool domain = false;
};
// "NAME/Workgroup:WG" or "NAME/Domain:dns.name" (the words in any case,
// blanks around the parts ignored). False for anything else, and for names
// a computer or group cannot have: empty, too long (63 characters for a
// computer, 255 for a group), or holding control characters or any of
// \ / : * ? " < > | ,
bool ParseComputer(std::string_view text, ComputerIdentity& out);

// An IPv4 address in dotted decimal ("203.0.113.21"), in host byte order.
bool ParseIpv4(std::string_view text, std::uint32_t& address);
std::string FormatIpv4(std::uint32_t address);

// "http://host[:port]/path" (port 80 when not given; path "/" when empty).
struct HttpUrl {
  std::string host; // as written; "[...]" for IPv6
  std::uint16_t port = 80;
  std::string path;
};
bool ParseHttpUrl(std::string_view url, HttpUrl& out);

// --- HTTP around the Get -----------------------------------------------------------
std::string HttpPost(std::string_view hostAndPort, std::string_view path, std::string_view body);
std::string HttpResponseText(int status, std::string_view body);

enum class HttpRead { Incomplete, Complete, Bad };
struct HttpMessage {
  int status = 0;     // responses
  std::string method; // requests
  std::string path;   // requests
  std::string body;
};
// A response read so far (`closed`: the other side has closed, which ends a
// body without a length). Bodies with a length, chunked or up to the close;
// at most kMaxHttpResponse bytes in all.
HttpRead ReadHttpResponse(std::string_view raw, bool closed, HttpMessage& out);
// A request read so far; its body needs a Content-Length.
HttpRead ReadHttpRequest(std::string_view raw, HttpMessage& out);

} // namespace skarvet::wsd
