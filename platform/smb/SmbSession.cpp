#include "platform/smb/SmbSession.h"

#include "platform/text/AnsiCodePage.h"
#include "platform/text/TextHelpers.h"
#include "platform/text/Utf8.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace skarvet::smb {
namespace {

// The library copies each credential into a buffer of 256 bytes.
constexpr std::size_t kCredentialLimit = 255;
// The longest DNS name; NetBIOS names are far shorter.
constexpr std::size_t kHostNameLimit = 255;

// Copies `text` into a buffer of `size` bytes the library handed over.
void Put(char* buffer, int size, std::string_view text) {
  if (!buffer || size <= 0) return;
  const std::size_t room = static_cast<std::size_t>(size) - 1;
  const std::size_t n = text.size() < room ? text.size() : room;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

} // namespace

bool AccountFits(const Account& account) {
  return account.domain.size() <= kCredentialLimit && account.user.size() <= kCredentialLimit &&
         account.password.size() <= kCredentialLimit;
}

Session::Session(const std::string& configFile, const Account& account, Dialect dialect)
    : account_(account) {
  SMBCCTX* context = smbc_new_context();
  if (!context) {
    errno_ = errno ? errno : ENOMEM;
    return;
  }
  // Nothing is logged: credentials pass through the library.
  smbc_setDebug(context, 0);
  smbc_setTimeout(context, kTimeoutMs);
  smbc_setOptionUserData(context, &account_);
  smbc_setFunctionAuthDataWithContext(context, &Session::Authenticate);
  if (account_.given) {
    // A refused account must fail, not turn into an anonymous logon.
    smbc_setOptionNoAutoAnonymousLogin(context, 1);
  } else {
    smbc_setOptionUseKerberos(context, 1);
    smbc_setOptionFallbackAfterKerberos(context, 1);
    smbc_setOptionUseCCache(context, 1);
  }
  // The configuration and the protocol range are the library's, not the
  // context's, and this process's only session sets both. The configuration is loaded before the
  // context takes its workgroup from it, and again after, since the library loads its own when
  // first used.
  const bool configured =
      configFile.empty() || smbc_setConfiguration(context, configFile.c_str()) == 0;
  if (!configured || !smbc_init_context(context)) {
    errno_ = !configured ? ENONET : errno ? errno : EINVAL;
    smbc_free_context(context, 1);
    return;
  }
  if (!configFile.empty() && smbc_setConfiguration(context, configFile.c_str()) != 0) {
    errno_ = ENONET;
    smbc_free_context(context, 1);
    return;
  }
  if (dialect == Dialect::BrowseLists)
    smbc_setOptionProtocols(context, "NT1", "NT1");
  else
    smbc_setOptionProtocols(context, "SMB2_02", "SMB3");
  context_ = context;
}

Session::~Session() {
  if (context_) smbc_free_context(context_, 1);
}

void Session::Authenticate(SMBCCTX* context, const char* /*server*/, const char* /*share*/,
                           char* workgroup, int workgroupLength, char* user, int userLength,
                           char* password, int passwordLength) {
  const auto* account = static_cast<const Account*>(smbc_getOptionUserData(context));
  if (!account || !account->given) {
    // The user's own: a Kerberos ticket when there is one, else anonymous.
    Put(user, userLength, "");
    Put(password, passwordLength, "");
    return;
  }
  if (!account->domain.empty()) Put(workgroup, workgroupLength, account->domain);
  Put(user, userLength, account->user);
  Put(password, passwordLength, account->password.view());
}

SMBCFILE* Session::Open(const std::string& url, int flags) {
  errno = 0;
  return smbc_getFunctionOpen(context_)(context_, url.c_str(), flags, 0);
}

ssize_t Session::Read(SMBCFILE* file, void* buffer, size_t count) {
  return smbc_getFunctionRead(context_)(context_, file, buffer, count);
}

ssize_t Session::Write(SMBCFILE* file, const void* buffer, size_t count) {
  return smbc_getFunctionWrite(context_)(context_, file, buffer, count);
}

void Session::Close(SMBCFILE* file) {
  if (file) smbc_getFunctionClose(context_)(context_, file);
}

SMBCFILE* Session::OpenDir(const std::string& url) {
  errno = 0;
  return smbc_getFunctionOpendir(context_)(context_, url.c_str());
}

smbc_dirent* Session::ReadDir(SMBCFILE* dir) {
  return smbc_getFunctionReaddir(context_)(context_, dir);
}

void Session::CloseDir(SMBCFILE* dir) {
  if (dir) smbc_getFunctionClosedir(context_)(context_, dir);
}

std::string Session::Workgroup() const {
  const char* workgroup = smbc_getWorkgroup(context_);
  return workgroup ? workgroup : "";
}

bool Session::ReadExactly(SMBCFILE* file, void* buffer, size_t count) {
  auto* at = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    const ssize_t n = Read(file, at, count);
    if (n <= 0) return false;
    at += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool Session::WriteAll(SMBCFILE* file, const void* buffer, size_t count) {
  const auto* at = static_cast<const unsigned char*>(buffer);
  while (count > 0) {
    const ssize_t n = Write(file, at, count);
    if (n <= 0) return false;
    at += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool HostOfName(const char* name, std::string& urlHost, std::string& key, DWORD& error) {
  std::string host = name ? name : "";
  if (host.size() >= 2 && host[0] == '\\' && host[1] == '\\') host.erase(0, 2);
  // An empty name is this computer to the system's call; there is no
  // remote request to make for it.
  if (host.empty()) {
    error = ERROR_INVALID_COMPUTERNAME;
    return false;
  }
  // A bracketed or bare IPv6 address. The library takes no address
  // literal with colons in a URL (the host part ends at the first ':' and
  // brackets are refused), only Windows' spelling of it as a name: colons
  // as '-' under "ipv6-literal.net", which it turns back into the address
  // without asking any name service. Zones ('%') are not taken.
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']')
    bare = bare.substr(1, bare.size() - 2);
  if (bare.find(':') != std::string::npos) {
    in6_addr address{};
    char text[INET6_ADDRSTRLEN] = {};
    if (bare.size() >= INET6_ADDRSTRLEN || inet_pton(AF_INET6, bare.c_str(), &address) != 1 ||
        !inet_ntop(AF_INET6, &address, text, sizeof text)) {
      error = ERROR_BAD_NETPATH;
      return false;
    }
    // One spelling per address, so that its connections are found again.
    std::string canonical = text;
    if (IN6_IS_ADDR_V4MAPPED(&address)) {
      // An IPv4 computer written as IPv6: the same computer as its IPv4 address.
      canonical = canonical.substr(canonical.rfind(':') + 1);
      urlHost = canonical;
    } else {
      urlHost = canonical;
      std::replace(urlHost.begin(), urlHost.end(), ':', '-');
      urlHost += ".ipv6-literal.net";
    }
    key = UpperAscii(canonical);
    return true;
  }
  // Letters, digits, '-', '_', '.' and '$' and the bytes of names in other
  // scripts: everything else either has a meaning in a URL ('/', '@', ';',
  // '?', '%', ':') or can be in no computer's name. Such a name reaches no
  // computer, and says so the way an unknown name does.
  if (host.size() > kHostNameLimit || host.front() == '.' || host.front() == '-') {
    error = ERROR_BAD_NETPATH;
    return false;
  }
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '$' ||
                         u >= 0x80;
    if (!allowed) {
      error = ERROR_BAD_NETPATH;
      return false;
    }
  }
  // The library reads names in UTF-8; the program's are in its ANSI code page.
  urlHost = ToUtf8(AnsiToWide(host));
  key = UpperAscii(host);
  return true;
}

DWORD ConnectError(int error) {
  switch (error) {
  case EACCES:
  case EPERM:
    return ERROR_LOGON_FAILURE;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  case ENONET: // the client's configuration could not be loaded
    return ERROR_NO_NETWORK;
  default:
    // Unknown names, hosts that are down or have no server, no route, and
    // time-outs: the system reports all of them as a path not found.
    return ERROR_BAD_NETPATH;
  }
}

} // namespace skarvet::smb
