// The calls that reach a host, as the helper makes them, and the wire form
// of a request and its reply.
#include "platform/smb/SmbCalls.h"

#include "platform/smb/DceRpc.h"
#include "platform/smb/SmbSession.h"
#include "platform/text/TextHelpers.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace skarvet::smb {
namespace {

// The message as the pipe carries it. The program's texts are ASCII; other
// bytes are taken as Latin-1.
std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

// A workgroup name in a URL: the characters NetBIOS allows that have no
// meaning in a URL.
bool UrlSafeWorkgroup(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '$' ||
                         c == ' ' || c == '!' || c == '~' || c == '\'' || c == '(' || c == ')' ||
                         c == '{' || c == '}' || c == '^' || c == '&' || u >= 0x80;
    if (!allowed) return false;
  }
  return true;
}

DWORD SendInitEx(Session& session, const CallRequest& call) {
  dcerpc::InitExArguments arguments;
  arguments.message = Widen(call.message);
  arguments.timeout = call.timeout;
  arguments.forceApps = call.force;
  arguments.reboot = call.reboot;
  arguments.reason = call.reason;
  const dcerpc::Bytes request = dcerpc::EncodeInitExRequest(2, arguments);
  if (request.empty()) return ERROR_INVALID_PARAMETER; // a message too long to send

  SMBCFILE* pipe = session.Open("smb://" + call.urlHost + "/IPC$/InitShutdown", O_RDWR);
  // A host that answers and lets the account in, but has no such pipe, has
  // no shutdown service to call.
  if (!pipe) return errno == ENOENT ? RPC_S_SERVER_UNAVAILABLE : ConnectError(errno);

  // One PDU: its header first, then exactly the rest it announces (a read
  // of more would wait for bytes that never come).
  auto readAnswer = [&](dcerpc::Bytes& pdu) -> DWORD {
    pdu.assign(dcerpc::kHeaderSize, 0);
    if (!session.ReadExactly(pipe, pdu.data(), pdu.size())) return RPC_S_CALL_FAILED;
    const auto header = dcerpc::DecodeHeader(pdu);
    if (!header) return RPC_S_PROTOCOL_ERROR;
    pdu.resize(header->fragLength);
    if (!session.ReadExactly(pipe, pdu.data() + dcerpc::kHeaderSize,
                             pdu.size() - dcerpc::kHeaderSize))
      return RPC_S_CALL_FAILED;
    return ERROR_SUCCESS;
  };

  DWORD result = ERROR_SUCCESS;
  dcerpc::Bytes answer;
  const dcerpc::Bytes bind = dcerpc::EncodeBind(1);
  if (!session.WriteAll(pipe, bind.data(), bind.size())) {
    result = RPC_S_SERVER_UNAVAILABLE;
  } else if (const DWORD read = readAnswer(answer); read != ERROR_SUCCESS) {
    result = read == RPC_S_CALL_FAILED ? RPC_S_SERVER_UNAVAILABLE : read;
  } else {
    const dcerpc::Answer bound = dcerpc::DecodeBindAnswer(answer, 1);
    if (bound.kind == dcerpc::Answer::Kind::BindRejected) {
      result = RPC_S_UNKNOWN_IF;
    } else if (bound.kind != dcerpc::Answer::Kind::BindAccepted) {
      result = RPC_S_PROTOCOL_ERROR;
    } else if (!session.WriteAll(pipe, request.data(), request.size())) {
      result = RPC_S_CALL_FAILED;
    } else if (const DWORD read2 = readAnswer(answer); read2 != ERROR_SUCCESS) {
      result = read2;
    } else {
      const dcerpc::Answer called = dcerpc::DecodeCallAnswer(answer, 2);
      switch (called.kind) {
      case dcerpc::Answer::Kind::Result:
        result = called.status;
        break;
      case dcerpc::Answer::Kind::Fault:
        result = dcerpc::FaultToWin32(called.status);
        break;
      default:
        result = RPC_S_PROTOCOL_ERROR;
        break;
      }
    }
  }
  session.Close(pipe);
  return result;
}

DWORD Connect(Session& session, const CallRequest& call) {
  if (EqualsIgnoreCase(call.share, "ipc$")) {
    // Logging on to the share is what counts; a pipe every server has
    // proves it.
    SMBCFILE* pipe = session.Open("smb://" + call.urlHost + "/IPC$/srvsvc", O_RDWR);
    // A missing pipe is reported only after the logon has succeeded.
    if (!pipe && errno != ENOENT) return ConnectError(errno);
    session.Close(pipe);
    return NO_ERROR;
  }
  SMBCFILE* dir = session.OpenDir("smb://" + call.urlHost + "/" + call.share + "/");
  if (!dir) return errno == ENOENT ? ERROR_BAD_NET_NAME : ConnectError(errno);
  session.CloseDir(dir);
  return NO_ERROR;
}

DWORD Browse(Session& session, const CallRequest& call, std::vector<CallReply::Entry>& out) {
  std::string url = "smb://";
  if (!call.workgroups) {
    const std::string name = call.workgroup.empty() ? session.Workgroup() : call.workgroup;
    if (!UrlSafeWorkgroup(name)) return ERROR_NO_BROWSER_SERVERS_FOUND;
    url += name + "/";
  }
  SMBCFILE* dir = session.OpenDir(url);
  if (!dir) {
    // No master browser answers: the network keeps no list, or no list for
    // that workgroup.
    const int reason = errno;
    if (call.workgroups && (reason == 0 || reason == ENOENT)) return ERROR_SUCCESS;
    return reason == 0 || reason == ENOENT ? ERROR_NO_BROWSER_SERVERS_FOUND : ConnectError(reason);
  }
  const unsigned wanted = call.workgroups ? SMBC_WORKGROUP : SMBC_SERVER;
  while (const smbc_dirent* entry = session.ReadDir(dir)) {
    if (entry->smbc_type != wanted || entry->name[0] == '\0') continue;
    // The entry's fields come from the network: bounded by its own lengths.
    std::string name(entry->name, strnlen(entry->name, entry->namelen + 1));
    std::string comment =
        entry->comment ? std::string(entry->comment, strnlen(entry->comment, entry->commentlen + 1))
                       : std::string();
    out.push_back({std::move(name), std::move(comment)});
  }
  session.CloseDir(dir);
  return ERROR_SUCCESS;
}

// --- the wire form ------------------------------------------------------------------------

template <class Out> void PutNumber(Out& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

template <class Out> void PutText(Out& out, std::string_view text) {
  PutNumber(out, static_cast<std::uint32_t>(text.size()));
  out.append(text.data(), text.size());
}

// Reads fields in order; once a read fails every later one fails too.
class Reader {
public:
  explicit Reader(std::string_view bytes) : rest_(bytes) {}

  std::uint32_t Number() {
    if (rest_.size() < 4) return Fail();
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<std::uint32_t>(static_cast<unsigned char>(rest_[i])) << (8 * i);
    rest_.remove_prefix(4);
    return value;
  }
  bool Flag() {
    const std::uint32_t value = Number();
    if (value > 1) Fail();
    return value == 1;
  }
  // A view into the bytes read.
  std::string_view View() {
    const std::uint32_t size = Number();
    if (!ok_ || size > rest_.size()) {
      Fail();
      return {};
    }
    const std::string_view text = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return text;
  }
  std::string Text() { return std::string(View()); }
  // Every field read, and nothing left over.
  bool Done() const { return ok_ && rest_.empty(); }
  bool Ok() const { return ok_; }

private:
  std::uint32_t Fail() {
    ok_ = false;
    rest_ = {};
    return 0;
  }
  std::string_view rest_;
  bool ok_ = true;
};

} // namespace

CallReply RunCall(const CallRequest& request) {
  CallReply reply;
  // Browse lists are the network's, read with the user's own logon over
  // the old dialect; the calls speak the current ones.
  const bool browse = request.kind == CallKind::Browse;
  Session session(request.configFile, browse ? Account{} : request.account,
                  browse ? Dialect::BrowseLists : Dialect::Calls);
  if (!session.Ready()) {
    reply.error = ConnectError(session.Errno());
    return reply;
  }
  switch (request.kind) {
  case CallKind::Shutdown:
    reply.error = SendInitEx(session, request);
    break;
  case CallKind::Connect:
    reply.error = Connect(session, request);
    break;
  case CallKind::Browse:
    reply.error = Browse(session, request, reply.entries);
    break;
  }
  return reply;
}

WipingString EncodeRequest(const CallRequest& request) {
  WipingString out;
  PutNumber(out, static_cast<std::uint32_t>(request.kind));
  PutText(out, request.configFile);
  PutNumber(out, request.account.given ? 1 : 0);
  PutText(out, request.account.domain);
  PutText(out, request.account.user);
  PutText(out, request.account.password.view());
  PutText(out, request.urlHost);
  PutText(out, request.share);
  PutText(out, request.message);
  PutNumber(out, request.timeout);
  PutNumber(out, request.force ? 1 : 0);
  PutNumber(out, request.reboot ? 1 : 0);
  PutNumber(out, request.reason);
  PutNumber(out, request.workgroups ? 1 : 0);
  PutText(out, request.workgroup);
  return out;
}

bool DecodeRequest(std::string_view bytes, CallRequest& request) {
  if (bytes.size() > kRequestLimit) return false;
  Reader in(bytes);
  const std::uint32_t kind = in.Number();
  if (kind < 1 || kind > 3) return false;
  request.kind = static_cast<CallKind>(kind);
  request.configFile = in.Text();
  request.account.given = in.Flag();
  request.account.domain = in.Text();
  request.account.user = in.Text();
  request.account.password = SecretText(in.View());
  request.urlHost = in.Text();
  request.share = in.Text();
  request.message = in.Text();
  request.timeout = in.Number();
  request.force = in.Flag();
  request.reboot = in.Flag();
  request.reason = in.Number();
  request.workgroups = in.Flag();
  request.workgroup = in.Text();
  return in.Done();
}

std::string EncodeReply(const CallReply& reply) {
  std::string out;
  PutNumber(out, reply.error);
  PutNumber(out, static_cast<std::uint32_t>(reply.entries.size()));
  for (const CallReply::Entry& entry : reply.entries) {
    PutText(out, entry.name);
    PutText(out, entry.comment);
  }
  return out;
}

bool DecodeReply(std::string_view bytes, CallReply& reply) {
  if (bytes.size() > kReplyLimit) return false;
  Reader in(bytes);
  reply.error = in.Number();
  const std::uint32_t count = in.Number();
  // Each entry takes at least its two lengths.
  if (!in.Ok() || count > bytes.size() / 8) return false;
  reply.entries.clear();
  reply.entries.reserve(count);
  for (std::uint32_t i = 0; i < count && in.Ok(); ++i) {
    CallReply::Entry entry;
    entry.name = in.Text();
    entry.comment = in.Text();
    reply.entries.push_back(std::move(entry));
  }
  return in.Done();
}

bool SendAll(int fd, std::string_view bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    // Never SIGPIPE: an end that is gone only fails this write.
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

} // namespace skarvet::smb
