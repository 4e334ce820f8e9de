// The local calls of the real network off Windows: last error, handles,
// system texts and colours, the shell, and the component calls (there is no
// script control here).
#include "platform/smb/SmbWinApi.h"

#include "platform/desktop/SystemColors.h"
#include "platform/desktop/SystemMessages.h"

#include <atomic>

namespace skarvet {
namespace {

thread_local DWORD t_lastError = 0;

HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// What a logoff would need, as the system text of kNoManagementClient.
constexpr const char* kNoManagementClientText =
    "Logoff is not available here: it needs the Windows Management Instrumentation service, "
    "and this system has no client for it.\r\n";

std::uint64_t NextInstanceId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1);
}

} // namespace

SmbWinApi::SmbWinApi(std::string clientConfigFile)
    : configFile_(std::move(clientConfigFile)), instanceId_(NextInstanceId()) {}

SmbWinApi::~SmbWinApi() = default;

DWORD SmbWinApi::GetSysColor(int nIndex) {
  return DefaultSysColor(nIndex);
}

BOOL SmbWinApi::SetWindowTextA(HWND /*hWnd*/, LPCSTR /*lpString*/) {
  // The windows are the desktop's, which keep their own titles.
  return TRUE;
}

DWORD SmbWinApi::GetLastError() {
  return t_lastError;
}

void SmbWinApi::SetLastError(DWORD dwErrCode) {
  t_lastError = dwErrCode;
}

HANDLE SmbWinApi::GetCurrentProcess() {
  return kCurrentProcess;
}

HANDLE SmbWinApi::NewHandleLocked() {
  nextHandle_ += 4;
  return reinterpret_cast<HANDLE>(nextHandle_);
}

BOOL SmbWinApi::CloseHandle(HANDLE hObject) {
  std::lock_guard lock(mutex_);
  if (tokens_.erase(hObject) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD SmbWinApi::FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                va_list* Arguments) {
  DWORD error = ERROR_SUCCESS;
  DWORD length = 0;
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) && !(dwFlags & FORMAT_MESSAGE_FROM_STRING) &&
      dwMessageId == static_cast<DWORD>(kNoManagementClient)) {
    const DWORD flags = (dwFlags & ~FORMAT_MESSAGE_FROM_SYSTEM) | FORMAT_MESSAGE_FROM_STRING |
                        FORMAT_MESSAGE_IGNORE_INSERTS;
    length = FormatSystemMessageA(flags, kNoManagementClientText, 0, dwLanguageId, lpBuffer, nSize,
                                  nullptr, error);
  } else {
    length = FormatSystemMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize,
                                  Arguments, error);
  }
  if (length == 0) SetLastError(error);
  return length;
}

HRESULT SmbWinApi::CoInitialize(LPVOID /*pvReserved*/) {
  return S_OK;
}

HRESULT SmbWinApi::CoCreateScriptControl(std::unique_ptr<ScriptControlObject>& object) {
  object.reset();
  return kNoManagementClient;
}

HRESULT SmbWinApi::GetErrorInfo(DWORD /*dwReserved*/, ComErrorInfo& /*info*/) {
  return S_FALSE;
}

HINSTANCE SmbWinApi::ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile,
                                   LPCSTR /*lpParameters*/, LPCSTR /*lpDirectory*/,
                                   INT /*nShowCmd*/) {
  return shell_.ShellExecuteA(lpOperation, lpFile, *this);
}

void SmbWinApi::SetUrlOpener(UrlOpener opener) {
  shell_.SetUrlOpener(std::move(opener));
}

} // namespace skarvet
