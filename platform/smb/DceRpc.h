// The few DCE/RPC connection-oriented PDUs the remote shutdown request
// needs: a bind to the InitShutdown interface, the InitEx request (opnum 2)
// and the answers to both (bind_ack, bind_nak, response, fault). Little
// endian NDR only, no RPC-level authentication (the SMB session carries the
// account), one fragment each way.
//
// The decoders take bytes from the network and trust none of them: every
// length is checked against the bytes at hand, and anything short, too long
// or inconsistent is reported as malformed, never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace skarvet::dcerpc {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kHeaderSize = 16;
// The largest fragment either side sends; also what the bind offers.
inline constexpr std::uint16_t kMaxFragment = 4280;

enum PacketType : std::uint8_t {
  kRequest = 0,
  kResponse = 2,
  kFault = 3,
  kBind = 11,
  kBindAck = 12,
  kBindNak = 13,
};

// The fixed part every PDU starts with.
struct Header {
  std::uint8_t type = 0;
  std::uint8_t flags = 0;
  std::uint16_t fragLength = 0;
  std::uint16_t authLength = 0;
  std::uint32_t callId = 0;
};

// The common header of the 16 bytes read first from the pipe; empty when
// they are not a version 5.0 little-endian header whose fragment length
// lies between 16 and kMaxFragment.
std::optional<Header> DecodeHeader(std::span<const std::uint8_t> bytes);

// A bind of presentation context 0 to initshutdown v1.0 with the NDR
// transfer syntax.
Bytes EncodeBind(std::uint32_t callId);

// The arguments of InitEx as the system's shutdown call passes them. A null
// message is sent as a null pointer; the host name is always null (the
// target ignores it).
struct InitExArguments {
  std::optional<std::u16string> message;
  std::uint32_t timeout = 0;
  bool forceApps = false;
  bool reboot = false;
  std::uint32_t reason = 0;
};

// The NDR body of InitEx's [in] arguments (what follows the request header).
Bytes EncodeInitExStub(const InitExArguments& arguments);
// The whole request PDU for InitEx on context 0. Empty when the message is
// too long to fit one fragment.
Bytes EncodeInitExRequest(std::uint32_t callId, const InitExArguments& arguments);

// What an answer PDU (header and body together) says.
struct Answer {
  enum class Kind {
    BindAccepted, // bind_ack accepting context 0
    BindRejected, // bind_nak, or a bind_ack that refuses the context
    Result,       // response: `status` is the call's WERROR
    Fault,        // fault: `status` is the NCA status
    Malformed,    // short, inconsistent, unexpected type or call id
  };
  Kind kind = Kind::Malformed;
  std::uint32_t status = 0;
};

// Decodes the answer to a bind with `callId`.
Answer DecodeBindAnswer(std::span<const std::uint8_t> pdu, std::uint32_t callId);
// Decodes the answer to the InitEx request with `callId`.
Answer DecodeCallAnswer(std::span<const std::uint8_t> pdu, std::uint32_t callId);

// The Win32 error the system's RPC runtime gives for a fault status.
std::uint32_t FaultToWin32(std::uint32_t ncaStatus);

} // namespace skarvet::dcerpc
