// The DCE/RPC PDUs of the remote shutdown request, byte for byte.
//
// The expected bytes were made once with Samba's own NDR encoder
// (python3-samba: samba.ndr.ndr_pack_in on samba.dcerpc.initshutdown.InitEx,
// ndr_pack on samba.dcerpc.dcerpc.ncacn_packet), so they are what a Windows
// or Samba host expects and sends.
#ifdef SKARVET_HAVE_SMB

#include "platform/smb/DceRpc.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace skarvet::dcerpc {
namespace {

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

const Bytes kBindAck = FromHex("05000c03100000004c00000001000000b810b810f053000013005c504950455c49"
                               "6e697453687574646f776e000000000100000000000000045d888aeb1cc9119f"
                               "e808002b10486002000000");
const Bytes kResponseDenied = FromHex("05000203100000001c0000000200000004000000000000000500"
                                      "0000");
const Bytes kFaultOpRange = FromHex("0500030310000000200000000200000020000000000000000200011c"
                                    "00000000");
const Bytes kBindNak = FromHex("05000d03100000001300000001000000040000");

TEST(DceRpcEncoding, BindAndInitExMatchTheSystemsEncoder) {
  EXPECT_EQ(EncodeBind(1), FromHex("05000b03100000004800000001000000b810b81000000000010000000000"
                                   "0100c0e04d89550dd311a32200c04fa321a101000000045d888aeb1cc911"
                                   "9fe808002b10486002000000"));

  // An empty message (the program's), reboot, no force, a reason with the
  // planned bit set.
  InitExArguments restart;
  restart.message = u"";
  restart.reboot = true;
  restart.reason = 0x80020003;
  EXPECT_EQ(EncodeInitExStub(restart),
            FromHex("00000000000002000000020004000200010000000000000000000000000000000001000003"
                    "000280"));

  // No message at all, forced shut down, reason 0.
  InitExArguments shutdown;
  shutdown.forceApps = true;
  EXPECT_EQ(EncodeInitExStub(shutdown), FromHex("0000000000000000000000000100000000000000"));

  // A message whose characters end on a four-byte boundary, and one that
  // needs padding before the time-out; a non-ASCII character; every reason bit.
  InitExArguments text;
  text.message = u"Hi \u00e9";
  text.timeout = 30;
  text.forceApps = true;
  text.reboot = true;
  text.reason = 0x00050013;
  EXPECT_EQ(EncodeInitExStub(text), FromHex("000000000000020008000a000400020005000000000000000400"
                                            "0000480069002000e9001e0000000101000013000500"));
  InitExArguments odd;
  odd.message = u"abc";
  odd.reason = 0xFFFFFFFF;
  EXPECT_EQ(EncodeInitExStub(odd), FromHex("000000000000020006000800040002000400000000000000030000"
                                           "0061006200630000000000000000000000ffffffff"));
}

TEST(DceRpcEncoding, RequestCarriesOpnumTwoAndItsLength) {
  InitExArguments arguments;
  arguments.message = u"";
  const Bytes stub = EncodeInitExStub(arguments);
  const Bytes request = EncodeInitExRequest(7, arguments);
  ASSERT_EQ(request.size(), 24 + stub.size());
  const auto header = DecodeHeader(request);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->type, kRequest);
  EXPECT_EQ(header->fragLength, request.size());
  EXPECT_EQ(header->callId, 7u);
  EXPECT_EQ(request[16], stub.size()); // allocation hint
  EXPECT_EQ(request[22], 2);           // opnum
  EXPECT_EQ(Bytes(request.begin() + 24, request.end()), stub);

  // A message that cannot fit one fragment is refused, not cut.
  arguments.message = std::u16string(3000, u'x');
  EXPECT_TRUE(EncodeInitExRequest(7, arguments).empty());
  arguments.message = std::u16string(40000, u'x'); // past the 16-bit byte counts
  EXPECT_TRUE(EncodeInitExRequest(7, arguments).empty());
}

TEST(DceRpcDecoding, AnswersOfAHost) {
  EXPECT_EQ(DecodeBindAnswer(kBindAck, 1).kind, Answer::Kind::BindAccepted);
  const Answer nak = DecodeBindAnswer(kBindNak, 1);
  EXPECT_EQ(nak.kind, Answer::Kind::BindRejected);
  EXPECT_EQ(nak.status, 4u);

  // A bind_ack that refuses the context (result 2: provider rejection).
  Bytes refused = kBindAck;
  refused[52] = 2;
  EXPECT_EQ(DecodeBindAnswer(refused, 1).kind, Answer::Kind::BindRejected);

  const Answer denied = DecodeCallAnswer(kResponseDenied, 2);
  EXPECT_EQ(denied.kind, Answer::Kind::Result);
  EXPECT_EQ(denied.status, 5u);

  const Answer fault = DecodeCallAnswer(kFaultOpRange, 2);
  EXPECT_EQ(fault.kind, Answer::Kind::Fault);
  EXPECT_EQ(FaultToWin32(fault.status), 1745u);
  EXPECT_EQ(FaultToWin32(5), 5u);
  EXPECT_EQ(FaultToWin32(0xDEADBEEF), 1726u);
}

TEST(DceRpcDecoding, AnswersThatDoNotBelongAreMalformed) {
  // Another call's answer, or the wrong kind of PDU for the step.
  EXPECT_EQ(DecodeBindAnswer(kBindAck, 2).kind, Answer::Kind::Malformed);
  EXPECT_EQ(DecodeCallAnswer(kResponseDenied, 3).kind, Answer::Kind::Malformed);
  EXPECT_EQ(DecodeCallAnswer(kBindAck, 1).kind, Answer::Kind::Malformed);
  EXPECT_EQ(DecodeBindAnswer(kResponseDenied, 2).kind, Answer::Kind::Malformed);

  // A fragment length that lies about the bytes at hand, either way.
  Bytes longer = kResponseDenied;
  longer[8] += 4;
  EXPECT_EQ(DecodeCallAnswer(longer, 2).kind, Answer::Kind::Malformed);
  Bytes padded = kResponseDenied;
  padded.insert(padded.end(), 4, 0);
  EXPECT_EQ(DecodeCallAnswer(padded, 2).kind, Answer::Kind::Malformed);
  padded[8] += 4; // consistent now: the body padded to eight bytes
  EXPECT_EQ(DecodeCallAnswer(padded, 2).kind, Answer::Kind::Result);
  padded.insert(padded.end(), 8, 0);
  padded[8] += 8; // more than padding: stray bytes after the result
  EXPECT_EQ(DecodeCallAnswer(padded, 2).kind, Answer::Kind::Malformed);

  // A secondary address longer than the PDU.
  Bytes address = kBindAck;
  address[24] = 0xFF;
  EXPECT_EQ(DecodeBindAnswer(address, 1).kind, Answer::Kind::Malformed);

  // Headers this decoder does not read: big endian, another version, a
  // fragment length beyond what was offered or below the header, an
  // authentication trailer, a middle fragment.
  auto headerWith = [](std::size_t at, std::uint8_t value) {
    Bytes h = kResponseDenied;
    h[at] = value;
    return h;
  };
  EXPECT_FALSE(DecodeHeader(headerWith(4, 0x00)));
  EXPECT_FALSE(DecodeHeader(headerWith(0, 4)));
  EXPECT_FALSE(DecodeHeader(headerWith(9, 0xFF)));
  EXPECT_FALSE(DecodeHeader(headerWith(8, 15)));
  EXPECT_EQ(DecodeCallAnswer(headerWith(10, 4), 2).kind, Answer::Kind::Malformed);
  EXPECT_EQ(DecodeCallAnswer(headerWith(3, 0x01), 2).kind, Answer::Kind::Malformed);
}

TEST(DceRpcDecoding, TruncatedAndScrambledAnswersNeverReadPastTheirBytes) {
  // Every prefix of every answer: the short ones are malformed (under the
  // address sanitizer any read past the end fails the test).
  for (const Bytes* pdu : {&kBindAck, &kResponseDenied, &kFaultOpRange, &kBindNak}) {
    for (std::size_t n = 0; n < pdu->size(); ++n) {
      const Bytes cut(pdu->begin(), pdu->begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_EQ(DecodeBindAnswer(cut, 1).kind, Answer::Kind::Malformed) << n;
      EXPECT_EQ(DecodeCallAnswer(cut, 2).kind, Answer::Kind::Malformed) << n;
    }
  }
  // Random bytes written over valid answers, with consistent lengths kept
  // or not: whatever comes out, the decoders answer.
  std::mt19937 random(13);
  for (int round = 0; round < 20000; ++round) {
    const Bytes& base = round % 2 ? kBindAck : kResponseDenied;
    Bytes pdu(base.begin(), base.begin() + 1 + static_cast<std::ptrdiff_t>(random() % base.size()));
    for (int k = 0; k < 1 + round % 4; ++k)
      pdu[random() % pdu.size()] = static_cast<std::uint8_t>(random());
    if (round % 3 == 0 && pdu.size() >= 10) {
      pdu[8] = static_cast<std::uint8_t>(pdu.size());
      pdu[9] = static_cast<std::uint8_t>(pdu.size() >> 8);
    }
    (void)DecodeHeader(pdu);
    (void)DecodeBindAnswer(pdu, 1);
    (void)DecodeCallAnswer(pdu, 2);
  }
}

} // namespace
} // namespace skarvet::dcerpc

#else

#include <gtest/gtest.h>

TEST(DceRpcEncoding, NeedsTheRealNetwork) {
  GTEST_SKIP() << "built without libsmbclient";
}

#endif
