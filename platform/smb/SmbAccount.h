// Accounts and host names as the real network's calls take them.
#pragma once

#include "platform/Win32Types.h"

#include <string>
#include <string_view>

namespace skarvet::smb {

// The account a call is made with. Never written to any log.
struct Account {
  bool given = false; // false: the user's own (a Kerberos ticket if any)
  std::string domain;
  std::string user;
  std::string password;

  bool operator==(const Account&) const = default;
  // Whether each part fits what the library takes (255 bytes).
  bool Fits() const;
};

// "DOMAIN\\user", "user@domain" or a bare "user".
Account ParseAccount(const std::string& name, const std::string& password);

// The host part of a URL for a computer named as Windows accepts it: a
// NetBIOS name, a DNS name or an IP address, with or without a leading
// "\\". False with the Win32 error when the name can name no computer.
// `key` is the name by which connections to the host are remembered.
bool HostOfName(const char* name, std::string& urlHost, std::string& key, DWORD& error);

// The Win32 error for a failed connection, logon or open (errno).
DWORD ConnectError(int error);

} // namespace skarvet::smb
