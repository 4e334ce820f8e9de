// Hostile answers against the WS-Discovery reader (bounded, fixed seeds):
// every prefix of real answers, scrambled bytes, and oversized texts never
// crash the reader, never make it read past its input (the sanitizer
// build watches), and never give more than its bounds allow.
#include "platform/wsd/WsdMessages.h"

#include <gtest/gtest.h>

#include <random>

using namespace skarvet;

namespace {

std::vector<std::string> Answers() {
  return {
      wsd::ProbeMatchesMessage("urn:uuid:1", "urn:uuid:2", "urn:uuid:3",
                               "http://203.0.113.21:5357/3"),
      wsd::ResolveMatchesMessage("urn:uuid:1", "urn:uuid:2", "urn:uuid:3",
                                 "http://203.0.113.21:5357/3"),
      wsd::MetadataMessage("urn:uuid:1", "urn:uuid:2", "urn:uuid:3", "MERIDIAN/Workgroup:WG"),
  };
}

void ExpectBounded(const wsd::Message& message) {
  EXPECT_LE(message.matches.size(), wsd::kMaxMatches);
  EXPECT_LE(message.computers.size(), wsd::kMaxMatches);
  for (const auto& match : message.matches) {
    EXPECT_LE(match.types.size(), wsd::kMaxTypes);
    EXPECT_LE(match.xaddrs.size(), wsd::kMaxXAddrs);
    EXPECT_LE(match.endpoint.size(), wsd::kMaxText);
  }
}

TEST(WsdFuzz, EveryTruncationIsRefusedOrReadWithinBounds) {
  for (const std::string& answer : Answers()) {
    for (std::size_t length = 0; length < answer.size(); ++length) {
      wsd::Message message;
      // A cut answer is never a complete envelope.
      EXPECT_FALSE(wsd::ParseMessage(answer.substr(0, length), message)) << length;
    }
    const std::string http = wsd::HttpResponseText(200, answer);
    for (std::size_t length = 0; length <= http.size(); ++length) {
      wsd::HttpMessage response;
      const wsd::HttpRead open = wsd::ReadHttpResponse(http.substr(0, length), false, response);
      EXPECT_EQ(open, length == http.size() ? wsd::HttpRead::Complete : wsd::HttpRead::Incomplete);
      const wsd::HttpRead closed = wsd::ReadHttpResponse(http.substr(0, length), true, response);
      EXPECT_EQ(closed, length == http.size() ? wsd::HttpRead::Complete : wsd::HttpRead::Bad);
    }
  }
}

TEST(WsdFuzz, ScrambledAnswersNeverCrashTheReader) {
  std::mt19937 rng(1903);
  const std::vector<std::string> answers = Answers();
  const std::string interesting = "<>/&;:\"'= \x00\xC3\xBF!DOCTYPE[]%";
  std::uniform_int_distribution<int> byte(0, 255), coin(0, 9);
  int read = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string text = answers[static_cast<std::size_t>(i) % answers.size()];
    std::uniform_int_distribution<std::size_t> where(0, text.size() - 1);
    const int edits = 1 + coin(rng);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = where(rng);
      switch (coin(rng) % 4) {
      case 0:
        text[at] = static_cast<char>(byte(rng));
        break;
      case 1:
        text[at] = interesting[static_cast<std::size_t>(byte(rng)) % interesting.size()];
        break;
      case 2:
        text.erase(at, static_cast<std::size_t>(coin(rng)));
        break;
      default:
        text.insert(at, text.substr(at, std::min<std::size_t>(40, text.size() - at)));
        break;
      }
      if (text.empty()) text = "<";
      where = std::uniform_int_distribution<std::size_t>(0, text.size() - 1);
    }
    wsd::Message message;
    if (wsd::ParseMessage(text, message)) {
      ++read;
      ExpectBounded(message);
      for (const auto& computer : message.computers) {
        wsd::ComputerIdentity identity;
        wsd::ParseComputer(computer, identity);
      }
      for (const auto& match : message.matches)
        for (const auto& xaddr : match.xaddrs) {
          wsd::HttpUrl url;
          wsd::ParseHttpUrl(xaddr, url);
        }
    }
    wsd::HttpMessage response;
    wsd::ReadHttpResponse(text, coin(rng) < 5, response);
    EXPECT_LE(response.body.size(), wsd::kMaxHttpResponse);
  }
  // Many scrambles still read (a changed text is still XML): the reader
  // was exercised past its first element.
  EXPECT_GT(read, 500);
}

TEST(WsdFuzz, OversizedAnswersAreRefusedWhole) {
  wsd::Message message;
  const std::string huge(wsd::kMaxHttpResponse + 1, ' ');
  EXPECT_FALSE(wsd::ParseMessage(huge, message));
  // A match list just over the bound, and a text just over it.
  std::string xaddrs;
  for (std::size_t i = 0; i <= wsd::kMaxXAddrs; ++i) xaddrs += "http://203.0.113.1/ ";
  EXPECT_FALSE(wsd::ParseMessage(
      wsd::ProbeMatchesMessage("urn:uuid:1", "urn:uuid:2", "urn:uuid:3", xaddrs), message));
  EXPECT_FALSE(wsd::ParseMessage(
      wsd::MetadataMessage("urn:uuid:1", "urn:uuid:2", "urn:uuid:3", std::string(5000, 'A')),
      message));
  // Entities that would grow without end are never expanded.
  const std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b "
      "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><s:Envelope "
      "xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">&b;</s:Envelope>";
  EXPECT_FALSE(wsd::ParseMessage(laughs, message));
}

} // namespace
