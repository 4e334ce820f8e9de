// The local calls of the real network off Windows that differ from the
// base's: the system text of a missing logoff, and the component calls
// (there is no script control here).
#include "platform/smb/SmbWinApi.h"

#include "platform/smb/SmbCalls.h"

namespace skarvet {
namespace {

// What a logoff would need, as the system text of kNoManagementClient.
constexpr const char* kNoManagementClientText =
    "Logoff is not available here: it needs the Windows Management Instrumentation service, "
    "and this system has no client for it.";

// What an installation without its helper (or a helper that failed) lacks.
constexpr const char* kCallHelperFailedText =
    "The network call could not be made: its helper program skarvet-smb-call is missing beside "
    "skarvet-smb.so, or it ended without an answer.";

} // namespace

SmbWinApi::SmbWinApi(std::string clientConfigFile) : configFile_(std::move(clientConfigFile)) {}

SmbWinApi::~SmbWinApi() = default;

const char* SmbWinApi::OwnSystemMessage(DWORD id) const {
  if (id == static_cast<DWORD>(kNoManagementClient)) return kNoManagementClientText;
  if (id == smb::kCallHelperFailed) return kCallHelperFailedText;
  return nullptr;
}

HRESULT SmbWinApi::CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) {
  object.reset();
  return kNoManagementClient;
}

} // namespace skarvet
