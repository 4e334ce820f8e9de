// The entry point of the real network's module (skarvet-smb.so), which the
// program loads with dlopen when the real network is chosen: the one name
// the module exports, and its type.
//
// The name carries SKARVET_SEAM_HASH, a fingerprint of the seam's
// declarations that the build gives the module and the program alike: a
// module built against another version of WinApi has another name, and the
// program refuses it instead of calling through a different interface.
#pragma once

#include "platform/WinApi.h"

#define SKARVET_SMB_ENTRY_NAME(hash) SKARVET_SMB_ENTRY_NAME_(hash)
#define SKARVET_SMB_ENTRY_NAME_(hash) SkarvetCreateSmbWinApi_##hash
#define SKARVET_SMB_ENTRY_TEXT(hash) SKARVET_SMB_ENTRY_TEXT_(hash)
#define SKARVET_SMB_ENTRY_TEXT_(hash) "SkarvetCreateSmbWinApi_" #hash

namespace skarvet {

// Makes the real network's implementation with the client configuration
// `clientConfigFile` (empty: the library's own). Null when out of memory.
// The caller owns the result (delete through WinApi).
using CreateSmbWinApiFunction = WinApi* (*)(const char* clientConfigFile);

} // namespace skarvet
