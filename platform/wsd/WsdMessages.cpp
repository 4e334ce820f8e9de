#include "platform/wsd/WsdMessages.h"

#include <expat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

namespace skarvet::wsd {
namespace {

constexpr std::string_view kSoap = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr std::string_view kDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr std::string_view kPub = "http://schemas.microsoft.com/windows/pub/2005/07";
constexpr std::string_view kTransfer = "http://schemas.xmlsoap.org/ws/2004/09/transfer";
constexpr std::string_view kDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
constexpr std::string_view kAnonymous =
    "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

// expat reports a name in a namespace as "namespace|local".
constexpr char kSeparator = '|';

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&apos;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string Envelope(std::string_view to, std::string_view action, std::string_view messageId,
                     std::string_view relatesTo, std::string_view extraHeader,
                     std::string_view body) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                    "<soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\""
                    " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
                    " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
                    " xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\""
                    " xmlns:wsx=\"http://schemas.xmlsoap.org/ws/2004/09/mex\""
                    " xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\">"
                    "<soap:Header><wsa:To>";
  xml += Escape(to);
  xml += "</wsa:To><wsa:Action>";
  xml += Escape(action);
  xml += "</wsa:Action><wsa:MessageID>";
  xml += Escape(messageId);
  xml += "</wsa:MessageID>";
  if (!relatesTo.empty()) {
    xml += "<wsa:RelatesTo>";
    xml += Escape(relatesTo);
    xml += "</wsa:RelatesTo>";
  }
  xml += extraHeader;
  xml += "</soap:Header><soap:Body>";
  xml += body;
  xml += "</soap:Body></soap:Envelope>";
  return xml;
}

std::string Action(std::string_view base, std::string_view name) {
  return std::string(base) + "/" + std::string(name);
}

std::string EndpointReference(std::string_view endpoint) {
  return "<wsa:EndpointReference><wsa:Address>" + Escape(endpoint) +
         "</wsa:Address></wsa:EndpointReference>";
}

std::string MatchBody(std::string_view list, std::string_view item, std::string_view endpoint,
                      std::string_view xaddrs) {
  std::string body = "<wsd:" + std::string(list) + "><wsd:" + std::string(item) + ">";
  body += EndpointReference(endpoint);
  body += "<wsd:Types>wsdp:Device pub:Computer</wsd:Types>";
  if (!xaddrs.empty()) body += "<wsd:XAddrs>" + Escape(xaddrs) + "</wsd:XAddrs>";
  body += "<wsd:MetadataVersion>1</wsd:MetadataVersion>";
  body += "</wsd:" + std::string(item) + "></wsd:" + std::string(list) + ">";
  return body;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> SplitBlanks(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// --- the reader ---------------------------------------------------------------------

class Reader {
public:
  explicit Reader(Message& out) : out_(out) {}

  bool Read(std::string_view xml) {
    if (xml.size() > kMaxHttpResponse) return false;
    XML_Parser parser = XML_ParserCreateNS(nullptr, kSeparator);
    if (!parser) return false;
    parser_ = parser;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &Reader::OnStart, &Reader::OnEnd);
    XML_SetCharacterDataHandler(parser, &Reader::OnText);
    XML_SetNamespaceDeclHandler(parser, &Reader::OnNamespaceStart, &Reader::OnNamespaceEnd);
    // No document type, hence no entities of the sender's to expand.
    XML_SetStartDoctypeDeclHandler(parser, &Reader::OnDoctype);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    const bool parsed =
        XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!parsed || failed_ || !sawEnvelope_) return false;
    out_.kind = KindOf(out_.action);
    return true;
  }

private:
  struct Element {
    std::string ns, local;
  };

  static Kind KindOf(std::string_view action) {
    const struct {
      std::string_view base, name;
      Kind kind;
    } known[] = {
        {kDiscovery, "Probe", Kind::Probe},
        {kDiscovery, "ProbeMatches", Kind::ProbeMatches},
        {kDiscovery, "Resolve", Kind::Resolve},
        {kDiscovery, "ResolveMatches", Kind::ResolveMatches},
        {kTransfer, "Get", Kind::Get},
        {kTransfer, "GetResponse", Kind::GetResponse},
    };
    for (const auto& entry : known)
      if (action == Action(entry.base, entry.name)) return entry.kind;
    return Kind::Other;
  }

  void Fail() {
    if (failed_) return;
    failed_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }

  bool Is(std::size_t fromTop, std::string_view ns, std::string_view local) const {
    if (fromTop >= stack_.size()) return false;
    const Element& e = stack_[stack_.size() - 1 - fromTop];
    return e.ns == ns && e.local == local;
  }
  bool IsAt(std::size_t depth, std::string_view ns, std::string_view local) const {
    return depth >= 1 && depth <= stack_.size() && stack_[depth - 1].ns == ns &&
           stack_[depth - 1].local == local;
  }

  // The element being read, if its text is wanted.
  enum class Field { None, Action, MessageId, RelatesTo, To, Address, Types, XAddrs, Computer };

  Field FieldOf() const {
    const std::size_t depth = stack_.size();
    if (depth == 3 && IsAt(1, kSoap, "Envelope") && IsAt(2, kSoap, "Header")) {
      if (Is(0, kAddressing, "Action")) return Field::Action;
      if (Is(0, kAddressing, "MessageID")) return Field::MessageId;
      if (Is(0, kAddressing, "RelatesTo")) return Field::RelatesTo;
      if (Is(0, kAddressing, "To")) return Field::To;
      return Field::None;
    }
    if (depth < 3 || !IsAt(2, kSoap, "Body")) return Field::None;
    if (Is(0, kPub, "Computer")) return Field::Computer;
    const bool inMatch = inMatch_ && depth == matchDepth_ + 1;
    const bool inMatchReference =
        inMatch_ && depth == matchDepth_ + 2 && Is(1, kAddressing, "EndpointReference");
    if (inMatch && Is(0, kDiscovery, "Types")) return Field::Types;
    if (inMatch && Is(0, kDiscovery, "XAddrs")) return Field::XAddrs;
    if (inMatchReference && Is(0, kAddressing, "Address")) return Field::Address;
    // The Probe's own types, and the endpoint a Resolve asks for.
    if (depth == 4 && IsAt(3, kDiscovery, "Probe") && Is(0, kDiscovery, "Types"))
      return Field::Types;
    if (depth == 5 && IsAt(3, kDiscovery, "Resolve") && Is(1, kAddressing, "EndpointReference") &&
        Is(0, kAddressing, "Address"))
      return Field::Address;
    return Field::None;
  }

  void Start(const char* name) {
    if (stack_.size() >= kMaxDepth) return Fail();
    std::string_view full(name);
    const std::size_t cut = full.rfind(kSeparator);
    Element element;
    if (cut == std::string_view::npos) {
      element.local = std::string(full);
    } else {
      element.ns = std::string(full.substr(0, cut));
      element.local = std::string(full.substr(cut + 1));
    }
    if (stack_.empty()) {
      if (element.ns != kSoap || element.local != "Envelope") return Fail();
      sawEnvelope_ = true;
    }
    stack_.push_back(std::move(element));
    const std::size_t depth = stack_.size();
    if (depth == 4 && IsAt(2, kSoap, "Body") &&
        ((IsAt(3, kDiscovery, "ProbeMatches") && Is(0, kDiscovery, "ProbeMatch")) ||
         (IsAt(3, kDiscovery, "ResolveMatches") && Is(0, kDiscovery, "ResolveMatch")))) {
      if (out_.matches.size() >= kMaxMatches) return Fail();
      out_.matches.emplace_back();
      inMatch_ = true;
      matchDepth_ = depth;
    }
    field_ = FieldOf();
    text_.clear();
  }

  void End() {
    if (stack_.empty()) return Fail();
    if (field_ != Field::None) Store();
    if (inMatch_ && stack_.size() == matchDepth_) inMatch_ = false;
    stack_.pop_back();
    field_ = Field::None;
    text_.clear();
  }

  void Text(const char* text, int length) {
    if (field_ == Field::None || length <= 0) return;
    if (text_.size() + static_cast<std::size_t>(length) > kMaxText) return Fail();
    text_.append(text, static_cast<std::size_t>(length));
  }

  std::string ExpandQName(std::string_view qname) const {
    std::string_view prefix, local = qname;
    const std::size_t colon = qname.find(':');
    if (colon != std::string_view::npos) {
      prefix = qname.substr(0, colon);
      local = qname.substr(colon + 1);
    }
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
      if (it->first == prefix) return it->second + " " + std::string(local);
    return " " + std::string(local);
  }

  void Store() {
    const std::string_view value = TrimBlanks(text_);
    Match* match = inMatch_ ? &out_.matches.back() : nullptr;
    switch (field_) {
    case Field::Action:
      out_.action = std::string(value);
      break;
    case Field::MessageId:
      out_.messageId = std::string(value);
      break;
    case Field::RelatesTo:
      out_.relatesTo = std::string(value);
      break;
    case Field::To:
      out_.to = std::string(value);
      break;
    case Field::Address:
      (match ? match->endpoint : out_.resolveEndpoint) = std::string(value);
      break;
    case Field::Types: {
      std::vector<std::string>& types = match ? match->types : out_.probeTypes;
      for (std::string_view word : SplitBlanks(value)) {
        if (types.size() >= kMaxTypes) return Fail();
        types.push_back(ExpandQName(word));
      }
      break;
    }
    case Field::XAddrs:
      if (!match) break;
      for (std::string_view word : SplitBlanks(value)) {
        if (match->xaddrs.size() >= kMaxXAddrs) return Fail();
        match->xaddrs.emplace_back(word);
      }
      break;
    case Field::Computer:
      if (out_.computers.size() >= kMaxMatches) return Fail();
      out_.computers.emplace_back(value);
      break;
    case Field::None:
      break;
    }
  }

  static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** /*attributes*/) {
    static_cast<Reader*>(self)->Start(name);
  }
  static void XMLCALL OnEnd(void* self, const XML_Char* /*name*/) {
    static_cast<Reader*>(self)->End();
  }
  static void XMLCALL OnText(void* self, const XML_Char* text, int length) {
    static_cast<Reader*>(self)->Text(text, length);
  }
  static void XMLCALL OnNamespaceStart(void* self, const XML_Char* prefix, const XML_Char* uri) {
    auto* reader = static_cast<Reader*>(self);
    if (reader->namespaces_.size() >= 4 * kMaxDepth) return reader->Fail();
    reader->namespaces_.emplace_back(prefix ? prefix : "", uri ? uri : "");
  }
  static void XMLCALL OnNamespaceEnd(void* self, const XML_Char* prefix) {
    auto* reader = static_cast<Reader*>(self);
    const std::string_view name = prefix ? prefix : "";
    for (auto it = reader->namespaces_.rbegin(); it != reader->namespaces_.rend(); ++it) {
      if (it->first == name) {
        reader->namespaces_.erase(std::next(it).base());
        return;
      }
    }
  }
  static void XMLCALL OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*,
                                int) {
    static_cast<Reader*>(self)->Fail();
  }

  Message& out_;
  XML_Parser parser_ = nullptr;
  std::vector<Element> stack_;
  std::vector<std::pair<std::string, std::string>> namespaces_;
  Field field_ = Field::None;
  std::string text_;
  bool inMatch_ = false;
  std::size_t matchDepth_ = 0;
  bool failed_ = false;
  bool sawEnvelope_ = false;
};

bool ValidName(std::string_view name, std::size_t maxLength) {
  if (name.empty() || name.size() > maxLength) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return false;
    if (std::string_view("\\/:*?\"<>|,").find(c) != std::string_view::npos) return false;
  }
  return true;
}

// --- HTTP ---------------------------------------------------------------------------

constexpr std::size_t kMaxHeader = 16 * 1024;

struct Head {
  std::string_view startLine;
  std::vector<std::pair<std::string_view, std::string_view>> fields;
  std::size_t bodyStart = 0;
};

// The head of a message: false while incomplete; `bad` for a malformed or
// oversized one.
bool ReadHead(std::string_view raw, Head& head, bool& bad) {
  bad = false;
  const std::size_t end = raw.find("\r\n\r\n");
  if (end == std::string_view::npos) {
    bad = raw.size() > kMaxHeader;
    return false;
  }
  if (end > kMaxHeader) {
    bad = true;
    return false;
  }
  std::string_view rest = raw.substr(0, end);
  head.bodyStart = end + 4;
  std::size_t line = rest.find("\r\n");
  head.startLine = rest.substr(0, line);
  while (line != std::string_view::npos) {
    rest.remove_prefix(line + 2);
    line = rest.find("\r\n");
    const std::string_view field = rest.substr(0, line);
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      bad = true;
      return false;
    }
    head.fields.emplace_back(TrimBlanks(field.substr(0, colon)),
                             TrimBlanks(field.substr(colon + 1)));
    if (head.fields.size() > 100) {
      bad = true;
      return false;
    }
  }
  return true;
}

const std::string_view* FieldNamed(const Head& head, std::string_view name) {
  for (const auto& field : head.fields)
    if (EqualsNoCase(field.first, name)) return &field.second;
  return nullptr;
}

bool ParseDecimal(std::string_view text, std::size_t& value, std::size_t limit) {
  if (text.empty() || text.size() > 10) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value <= limit;
}

// A chunked body: Complete with the body, Incomplete, or Bad.
HttpRead ReadChunked(std::string_view raw, std::string& body) {
  body.clear();
  for (;;) {
    const std::size_t line = raw.find("\r\n");
    if (line == std::string_view::npos)
      return raw.size() > 64 ? HttpRead::Bad : HttpRead::Incomplete;
    std::string_view sizeText = raw.substr(0, line);
    const std::size_t semicolon = sizeText.find(';');
    if (semicolon != std::string_view::npos) sizeText = sizeText.substr(0, semicolon);
    sizeText = TrimBlanks(sizeText);
    if (sizeText.empty() || sizeText.size() > 8) return HttpRead::Bad;
    std::size_t size = 0;
    for (char c : sizeText) {
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        return HttpRead::Bad;
      size = size * 16 + static_cast<std::size_t>(digit);
    }
    if (body.size() + size > kMaxHttpResponse) return HttpRead::Bad;
    raw.remove_prefix(line + 2);
    if (size == 0) return HttpRead::Complete; // trailers are not waited for
    if (raw.size() < size + 2) return HttpRead::Incomplete;
    if (raw.substr(size, 2) != "\r\n") return HttpRead::Bad;
    body.append(raw.substr(0, size));
    raw.remove_prefix(size + 2);
  }
}

} // namespace

bool Match::HasType(std::string_view expanded) const {
  return std::find(types.begin(), types.end(), expanded) != types.end();
}

std::string NewUuidUrn() {
  static std::mutex mutex;
  static std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{
        device(), device(), device(), device(),
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
    return std::mt19937_64(seed);
  }();
  std::uint64_t high, low;
  {
    std::lock_guard lock(mutex);
    high = generator();
    low = generator();
  }
  high = (high & ~0xF000ull) | 0x4000ull;               // version 4
  low = (low & ~(0xC000ull << 48)) | (0x8000ull << 48); // variant 1
  char text[64];
  std::snprintf(text, sizeof text, "urn:uuid:%08x-%04x-%04x-%04x-%012llx",
                static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xFFFF),
                static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 48),
                static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

std::string ProbeMessage(std::string_view messageId) {
  return Envelope(kDiscoveryTo, Action(kDiscovery, "Probe"), messageId, {}, {},
                  "<wsd:Probe><wsd:Types>wsdp:Device</wsd:Types></wsd:Probe>");
}

std::string ResolveMessage(std::string_view messageId, std::string_view endpoint) {
  return Envelope(kDiscoveryTo, Action(kDiscovery, "Resolve"), messageId, {}, {},
                  "<wsd:Resolve>" + EndpointReference(endpoint) + "</wsd:Resolve>");
}

std::string MetadataGetMessage(std::string_view messageId, std::string_view endpoint) {
  const std::string replyTo =
      "<wsa:ReplyTo><wsa:Address>" + std::string(kAnonymous) + "</wsa:Address></wsa:ReplyTo>";
  return Envelope(endpoint, Action(kTransfer, "Get"), messageId, {}, replyTo, {});
}

std::string ProbeMatchesMessage(std::string_view messageId, std::string_view relatesTo,
                                std::string_view endpoint, std::string_view xaddrs) {
  return Envelope(kAnonymous, Action(kDiscovery, "ProbeMatches"), messageId, relatesTo, {},
                  MatchBody("ProbeMatches", "ProbeMatch", endpoint, xaddrs));
}

std::string ResolveMatchesMessage(std::string_view messageId, std::string_view relatesTo,
                                  std::string_view endpoint, std::string_view xaddrs) {
  return Envelope(kAnonymous, Action(kDiscovery, "ResolveMatches"), messageId, relatesTo, {},
                  MatchBody("ResolveMatches", "ResolveMatch", endpoint, xaddrs));
}

std::string MetadataMessage(std::string_view messageId, std::string_view relatesTo,
                            std::string_view endpoint, std::string_view computer) {
  std::string body =
      "<wsx:Metadata><wsx:MetadataSection "
      "Dialect=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/Relationship\">"
      "<wsdp:Relationship Type=\"http://schemas.xmlsoap.org/ws/2006/02/devprof/host\">"
      "<wsdp:Host>";
  body += EndpointReference(endpoint);
  body += "<wsdp:Types>pub:Computer</wsdp:Types><wsdp:ServiceId>" + Escape(endpoint) +
          "</wsdp:ServiceId><pub:Computer>" + Escape(computer) + "</pub:Computer>";
  body += "</wsdp:Host></wsdp:Relationship></wsx:MetadataSection></wsx:Metadata>";
  return Envelope(kAnonymous, Action(kTransfer, "GetResponse"), messageId, relatesTo, {}, body);
}

bool ParseMessage(std::string_view xml, Message& out) {
  out = Message{};
  Reader reader(out);
  return reader.Read(xml);
}

bool ParseComputer(std::string_view text, ComputerIdentity& out) {
  text = TrimBlanks(text);
  const std::size_t slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  const std::string_view name = TrimBlanks(text.substr(0, slash));
  const std::string_view rest = TrimBlanks(text.substr(slash + 1));
  const std::size_t colon = rest.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view word = TrimBlanks(rest.substr(0, colon));
  const std::string_view group = TrimBlanks(rest.substr(colon + 1));
  bool domain;
  if (EqualsNoCase(word, "Workgroup")) {
    domain = false;
  } else if (EqualsNoCase(word, "Domain")) {
    domain = true;
  } else {
    return false;
  }
  if (!ValidName(name, 63) || !ValidName(group, 255)) return false;
  out = {std::string(name), std::string(group), domain};
  return true;
}

bool ParseIpv4(std::string_view text, std::uint32_t& address) {
  std::uint32_t result = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[digits] - '0');
      if (++digits > 3) return false;
    }
    if (digits == 0 || value > 255) return false;
    text.remove_prefix(digits);
    result = (result << 8) | value;
  }
  if (!text.empty()) return false;
  address = result;
  return true;
}

std::string FormatIpv4(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

bool ParseHttpUrl(std::string_view url, HttpUrl& out) {
  constexpr std::string_view scheme = "http://";
  if (url.size() <= scheme.size() || !EqualsNoCase(url.substr(0, scheme.size()), scheme))
    return false;
  url.remove_prefix(scheme.size());
  const std::size_t slash = url.find('/');
  std::string_view authority = url.substr(0, slash);
  const std::string_view path = slash == std::string_view::npos ? "/" : url.substr(slash);
  std::string_view host = authority;
  std::uint16_t port = 80;
  const std::size_t colon = authority.rfind(':');
  const std::size_t bracket = authority.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    std::size_t value = 0;
    if (!ParseDecimal(authority.substr(colon + 1), value, 65535) || value == 0) return false;
    port = static_cast<std::uint16_t>(value);
    host = authority.substr(0, colon);
  }
  if (host.empty() || path.size() > 1024) return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  out = {std::string(host), port, std::string(path)};
  return true;
}

std::string HttpPost(std::string_view hostAndPort, std::string_view path, std::string_view body) {
  std::string request =
      "POST " + std::string(path) + " HTTP/1.1\r\nHost: " + std::string(hostAndPort) +
      "\r\nContent-Type: application/soap+xml\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n";
  request += body;
  return request;
}

std::string HttpResponseText(int status, std::string_view body) {
  std::string response =
      "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") +
      "\r\nContent-Type: application/soap+xml\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nConnection: close\r\n\r\n";
  response += body;
  return response;
}

HttpRead ReadHttpResponse(std::string_view raw, bool closed, HttpMessage& out) {
  out = HttpMessage{};
  if (raw.size() > kMaxHeader + kMaxHttpResponse) return HttpRead::Bad;
  Head head;
  bool bad = false;
  if (!ReadHead(raw, head, bad)) return bad || closed ? HttpRead::Bad : HttpRead::Incomplete;
  // "HTTP/1.x 200 Reason"
  const std::string_view line = head.startLine;
  if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || line[8] != ' ') return HttpRead::Bad;
  std::size_t status = 0;
  if (!ParseDecimal(line.substr(9, 3), status, 999) || (line.size() > 12 && line[12] != ' '))
    return HttpRead::Bad;
  out.status = static_cast<int>(status);
  const std::string_view body = raw.substr(head.bodyStart);

  const std::string_view* encoding = FieldNamed(head, "Transfer-Encoding");
  if (encoding && EqualsNoCase(*encoding, "chunked")) {
    const HttpRead read = ReadChunked(body, out.body);
    return read == HttpRead::Incomplete && closed ? HttpRead::Bad : read;
  }
  if (encoding && !EqualsNoCase(*encoding, "identity")) return HttpRead::Bad;
  if (const std::string_view* length = FieldNamed(head, "Content-Length")) {
    std::size_t size = 0;
    if (!ParseDecimal(*length, size, kMaxHttpResponse)) return HttpRead::Bad;
    if (body.size() < size) return closed ? HttpRead::Bad : HttpRead::Incomplete;
    out.body = std::string(body.substr(0, size));
    return HttpRead::Complete;
  }
  if (body.size() > kMaxHttpResponse) return HttpRead::Bad;
  if (!closed) return HttpRead::Incomplete;
  out.body = std::string(body);
  return HttpRead::Complete;
}

HttpRead ReadHttpRequest(std::string_view raw, HttpMessage& out) {
  out = HttpMessage{};
  Head head;
  bool bad = false;
  if (!ReadHead(raw, head, bad)) return bad ? HttpRead::Bad : HttpRead::Incomplete;
  const std::vector<std::string_view> parts = SplitBlanks(head.startLine);
  if (parts.size() != 3 || parts[2].substr(0, 7) != "HTTP/1.") return HttpRead::Bad;
  out.method = std::string(parts[0]);
  out.path = std::string(parts[1]);
  const std::string_view* length = FieldNamed(head, "Content-Length");
  std::size_t size = 0;
  if (!length || !ParseDecimal(*length, size, kMaxHttpResponse)) return HttpRead::Bad;
  const std::string_view body = raw.substr(head.bodyStart);
  if (body.size() < size) return HttpRead::Incomplete;
  out.body = std::string(body.substr(0, size));
  return HttpRead::Complete;
}

} // namespace skarvet::wsd
