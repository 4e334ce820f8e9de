#include "platform/smb/DceRpc.h"

#include <array>

namespace skarvet::dcerpc {
namespace {

constexpr std::uint8_t kFirstFragment = 0x01;
constexpr std::uint8_t kLastFragment = 0x02;
constexpr std::uint8_t kLittleEndian = 0x10;
constexpr std::uint16_t kInitExOpnum = 2;

// initshutdown 894de0c0-0d55-11d3-a322-00c04fa321a1, as a GUID is laid out
// in NDR (the first three fields little endian).
constexpr std::array<std::uint8_t, 16> kInitShutdownUuid = {
    0xc0, 0xe0, 0x4d, 0x89, 0x55, 0x0d, 0xd3, 0x11, 0xa3, 0x22, 0x00, 0xc0, 0x4f, 0xa3, 0x21, 0xa1};
constexpr std::uint32_t kInitShutdownVersion = 1; // 1.0: major 1, minor 0
// NDR 8a885d04-1ceb-11c9-9fe8-08002b104860 version 2.
constexpr std::array<std::uint8_t, 16> kNdrUuid = {0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11,
                                                   0x9f, 0xe8, 0x08, 0x00, 0x2b, 0x10, 0x48, 0x60};
constexpr std::uint32_t kNdrVersion = 2;

// Referent ids for the two unique pointers, numbered as the system does.
constexpr std::uint32_t kMessageReferent = 0x00020000;
constexpr std::uint32_t kStringReferent = 0x00020004;

class Writer {
public:
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Raw(std::span<const std::uint8_t> v) { bytes_.insert(bytes_.end(), v.begin(), v.end()); }
  void Align(std::size_t n) {
    while (bytes_.size() % n) U8(0);
  }
  std::size_t Size() const { return bytes_.size(); }
  void PatchU16(std::size_t at, std::uint16_t v) {
    bytes_[at] = static_cast<std::uint8_t>(v);
    bytes_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  Bytes Take() { return std::move(bytes_); }

private:
  Bytes bytes_;
};

// Reads little-endian fields; every read past the end fails and leaves the
// reader failed.
class Reader {
public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool Skip(std::size_t n) {
    if (!ok_ || bytes_.size() - at_ < n) return ok_ = false;
    at_ += n;
    return true;
  }
  std::uint8_t U8() { return Need(1) ? bytes_[at_++] : 0; }
  std::uint16_t U16() {
    if (!Need(2)) return 0;
    const auto v = static_cast<std::uint16_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
    at_ += 2;
    return v;
  }
  std::uint32_t U32() {
    const std::uint32_t low = U16();
    const std::uint32_t high = U16();
    return low | (high << 16);
  }
  bool AlignTo(std::size_t n) { return Skip((n - at_ % n) % n); }
  bool Ok() const { return ok_; }
  std::size_t Remaining() const { return ok_ ? bytes_.size() - at_ : 0; }

private:
  bool Need(std::size_t n) {
    if (!ok_ || bytes_.size() - at_ < n) ok_ = false;
    return ok_;
  }
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

void PutHeader(Writer& w, PacketType type, std::uint32_t callId) {
  w.U8(5); // version 5.0
  w.U8(0);
  w.U8(type);
  w.U8(kFirstFragment | kLastFragment);
  w.Raw(std::array<std::uint8_t, 4>{kLittleEndian, 0, 0, 0});
  w.U16(0); // fragment length, patched when the PDU is complete
  w.U16(0); // no authentication
  w.U32(callId);
}

Bytes Finish(Writer& w) {
  w.PatchU16(8, static_cast<std::uint16_t>(w.Size()));
  return w.Take();
}

// The header of a whole answer PDU, checked against the bytes at hand and
// the call it answers. Empty when it does not belong to them.
std::optional<Header> CheckedHeader(std::span<const std::uint8_t> pdu, std::uint32_t callId) {
  const auto header = DecodeHeader(pdu);
  if (!header || header->fragLength != pdu.size() || header->callId != callId) return {};
  // Nothing was asked to be signed or sealed, and no answer is fragmented.
  if (header->authLength != 0) return {};
  if ((header->flags & (kFirstFragment | kLastFragment)) != (kFirstFragment | kLastFragment))
    return {};
  return header;
}

Answer Malformed() {
  return {Answer::Kind::Malformed, 0};
}

// The fixed part of response and fault bodies: allocation hint, context id,
// cancel count and a reserved byte.
bool SkipCallBodyHeader(Reader& r) {
  r.U32();
  const std::uint16_t context = r.U16();
  r.Skip(2);
  return r.Ok() && context == 0;
}

} // namespace

std::optional<Header> DecodeHeader(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderSize) return {};
  Reader r(bytes);
  const std::uint8_t major = r.U8();
  const std::uint8_t minor = r.U8();
  Header h;
  h.type = r.U8();
  h.flags = r.U8();
  const std::uint8_t representation = r.U8();
  r.Skip(3);
  h.fragLength = r.U16();
  h.authLength = r.U16();
  h.callId = r.U32();
  // Integers in little endian, characters in ASCII: all this decoder reads.
  if (major != 5 || minor != 0 || (representation & 0xF0) != kLittleEndian ||
      (representation & 0x0F) != 0)
    return {};
  if (h.fragLength < kHeaderSize || h.fragLength > kMaxFragment) return {};
  if (h.authLength > h.fragLength - kHeaderSize) return {};
  return h;
}

Bytes EncodeBind(std::uint32_t callId) {
  Writer w;
  PutHeader(w, kBind, callId);
  w.U16(kMaxFragment); // largest fragment sent
  w.U16(kMaxFragment); // largest fragment received
  w.U32(0);            // a new association group
  w.U8(1);             // one presentation context
  w.Align(4);
  w.U16(0); // its id
  w.U8(1);  // one transfer syntax
  w.U8(0);
  w.Raw(kInitShutdownUuid);
  w.U32(kInitShutdownVersion);
  w.Raw(kNdrUuid);
  w.U32(kNdrVersion);
  return Finish(w);
}

Bytes EncodeInitExStub(const InitExArguments& a) {
  Writer w;
  w.U32(0); // hostname: a null pointer
  if (a.message) {
    const std::u16string& text = *a.message;
    // lsa_StringLarge: byte length without, size with the terminator.
    const auto units = static_cast<std::uint32_t>(text.size());
    w.U32(kMessageReferent);
    w.U16(static_cast<std::uint16_t>(units * 2));
    w.U16(static_cast<std::uint16_t>(units * 2 + 2));
    w.U32(kStringReferent);
    // The characters: conformant (size / 2) and varying (length / 2).
    w.U32(units + 1);
    w.U32(0);
    w.U32(units);
    for (char16_t c : text) w.U16(static_cast<std::uint16_t>(c));
    w.Align(4);
  } else {
    w.U32(0);
  }
  w.U32(a.timeout);
  w.U8(a.forceApps ? 1 : 0);
  w.U8(a.reboot ? 1 : 0);
  w.Align(4);
  w.U32(a.reason);
  return w.Take();
}

Bytes EncodeInitExRequest(std::uint32_t callId, const InitExArguments& arguments) {
  constexpr std::size_t kRequestOverhead = kHeaderSize + 8;
  // The message's byte counts are 16-bit fields, and the whole request must
  // fit one fragment.
  if (arguments.message && arguments.message->size() > (kMaxFragment - kRequestOverhead) / 2)
    return {};
  const Bytes stub = EncodeInitExStub(arguments);
  if (stub.size() + kRequestOverhead > kMaxFragment) return {};
  Writer w;
  PutHeader(w, kRequest, callId);
  w.U32(static_cast<std::uint32_t>(stub.size())); // allocation hint
  w.U16(0);                                       // context id
  w.U16(kInitExOpnum);
  w.Raw(stub);
  return Finish(w);
}

Answer DecodeBindAnswer(std::span<const std::uint8_t> pdu, std::uint32_t callId) {
  const auto header = CheckedHeader(pdu, callId);
  if (!header) return Malformed();
  Reader r(pdu);
  r.Skip(kHeaderSize);
  if (header->type == kBindNak) {
    const std::uint16_t reason = r.U16();
    return r.Ok() ? Answer{Answer::Kind::BindRejected, reason} : Malformed();
  }
  if (header->type != kBindAck) return Malformed();
  r.Skip(8); // fragment sizes and association group
  const std::uint16_t addressLength = r.U16();
  r.Skip(addressLength); // the secondary address, as a counted string
  r.AlignTo(4);
  const std::uint8_t results = r.U8();
  r.Skip(3);
  const std::uint16_t result = r.U16();
  const std::uint16_t reason = r.U16();
  r.Skip(20); // the transfer syntax accepted
  if (!r.Ok() || results == 0) return Malformed();
  if (result != 0) return {Answer::Kind::BindRejected, reason};
  return {Answer::Kind::BindAccepted, 0};
}

Answer DecodeCallAnswer(std::span<const std::uint8_t> pdu, std::uint32_t callId) {
  const auto header = CheckedHeader(pdu, callId);
  if (!header) return Malformed();
  Reader r(pdu);
  r.Skip(kHeaderSize);
  if (header->type != kResponse && header->type != kFault) return Malformed();
  if (!SkipCallBodyHeader(r)) return Malformed();
  const std::uint32_t status = r.U32();
  if (!r.Ok()) return Malformed();
  if (header->type == kFault) return {Answer::Kind::Fault, status};
  // InitEx answers with its WERROR alone; a sender may pad the body to
  // eight bytes, but never more.
  if (r.Remaining() >= 8) return Malformed();
  return {Answer::Kind::Result, status};
}

std::uint32_t FaultToWin32(std::uint32_t ncaStatus) {
  switch (ncaStatus) {
  case 0x1C010002: // nca_s_op_rng_error
    return 1745;   // RPC_S_PROCNUM_OUT_OF_RANGE
  case 0x1C010003: // nca_s_unk_if
    return 1717;   // RPC_S_UNKNOWN_IF
  case 0x1C01000B: // nca_s_proto_error
    return 1728;   // RPC_S_PROTOCOL_ERROR
  default:
    break;
  }
  // The system passes its own error numbers through faults unchanged
  // (access denied arrives as 5).
  if (ncaStatus != 0 && ncaStatus < 0x10000) return ncaStatus;
  return 1726; // RPC_S_CALL_FAILED
}

} // namespace skarvet::dcerpc
