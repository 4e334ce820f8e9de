// Accounts and host names as the real network's calls take them.
#pragma once

#include "platform/desktop/DesktopWinApi.h"

#include <string>

namespace skarvet::smb {

// Whether each part of the account fits what the library takes (255 bytes).
bool AccountFits(const Account& account);

// The host part of a URL for a computer named as Windows accepts it: a
// NetBIOS name, a DNS name or an IP address, with or without a leading
// "\\". False with the Win32 error when the name can name no computer.
// `key` is the name by which connections to the host are remembered.
bool HostOfName(const char* name, std::string& urlHost, std::string& key, DWORD& error);

// The Win32 error for a failed connection, logon or open (errno).
DWORD ConnectError(int error);

} // namespace skarvet::smb
