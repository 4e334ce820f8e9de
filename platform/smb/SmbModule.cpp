// The real network's module: the entry point the program finds with dlsym.
#include "platform/smb/SmbModule.h"

#include "platform/smb/SmbWinApi.h"

#include <new>
#include <type_traits>

extern "C" skarvet::WinApi* SKARVET_SMB_ENTRY_NAME(SKARVET_SEAM_HASH)(const char* clientConfigFile);

extern "C" skarvet::WinApi*
SKARVET_SMB_ENTRY_NAME(SKARVET_SEAM_HASH)(const char* clientConfigFile) {
  // No exception leaves the module.
  try {
    return new skarvet::SmbWinApi(clientConfigFile ? clientConfigFile : "");
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

static_assert(std::is_same_v<decltype(&SKARVET_SMB_ENTRY_NAME(SKARVET_SEAM_HASH)),
                             skarvet::CreateSmbWinApiFunction>,
              "the entry point has the type the program calls it with");
