#include "platform/sim/SimulatedWinApi.h"

#include "platform/desktop/SystemColors.h"
#include "platform/desktop/SystemMessages.h"

#include <thread>

namespace skarvet {
namespace {

thread_local DWORD t_lastError = 0;
thread_local bool t_hasErrorInfo = false;
thread_local ComErrorInfo t_errorInfo;

// The pseudo handle Windows returns for the current process.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

} // namespace

SimulatedWinApi::SimulatedWinApi(sim::Network network, std::chrono::milliseconds latency)
    : network_(std::move(network)), latencyMs_(latency.count()), sysColors_(DefaultSystemColors()) {
}

SimulatedWinApi::~SimulatedWinApi() = default;

DWORD SimulatedWinApi::GetSysColor(int nIndex) {
  std::lock_guard lock(mutex_);
  // Windows answers 0 (black) for an index it does not know.
  if (nIndex < 0 || nIndex >= static_cast<int>(sysColors_.size())) return 0;
  return sysColors_[static_cast<std::size_t>(nIndex)];
}

BOOL SimulatedWinApi::SetWindowTextA(HWND /*hWnd*/, LPCSTR /*lpString*/) {
  // The simulated system draws no windows of its own: the windows are the
  // desktop's, which keep their titles. The call succeeds.
  return TRUE;
}

void SimulatedWinApi::SetSysColor(int nIndex, DWORD color) {
  std::lock_guard lock(mutex_);
  if (nIndex >= 0 && nIndex < static_cast<int>(sysColors_.size()))
    sysColors_[static_cast<std::size_t>(nIndex)] = color;
}

DWORD SimulatedWinApi::GetLastError() {
  return t_lastError;
}

void SimulatedWinApi::SetLastError(DWORD dwErrCode) {
  t_lastError = dwErrCode;
}

DWORD SimulatedWinApi::FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId,
                                      DWORD dwLanguageId, LPSTR lpBuffer, DWORD nSize,
                                      va_list* Arguments) {
  DWORD error = ERROR_SUCCESS;
  const DWORD length = FormatSystemMessageA(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer,
                                            nSize, Arguments, error);
  if (length == 0) SetLastError(error);
  return length;
}

HANDLE SimulatedWinApi::GetCurrentProcess() {
  return kCurrentProcess;
}

BOOL SimulatedWinApi::CloseHandle(HANDLE hObject) {
  std::lock_guard lock(mutex_);
  if (tokens_.erase(hObject) == 0) {
    t_lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

HRESULT SimulatedWinApi::GetErrorInfo(DWORD /*dwReserved*/, ComErrorInfo& info) {
  if (!t_hasErrorInfo) return S_FALSE;
  info = t_errorInfo;
  // Taking the error information clears it, as GetErrorInfo does.
  t_hasErrorInfo = false;
  t_errorInfo = {};
  return S_OK;
}

void SimulatedWinApi::ClearThreadErrorInfo() {
  t_hasErrorInfo = false;
  t_errorInfo = {};
}

void SimulatedWinApi::SetThreadErrorInfo(const ComErrorInfo& info) {
  t_errorInfo = info;
  t_hasErrorInfo = true;
}

HINSTANCE SimulatedWinApi::ShellExecuteA(HWND /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile,
                                         LPCSTR /*lpParameters*/, LPCSTR /*lpDirectory*/,
                                         INT /*nShowCmd*/) {
  return shell_.ShellExecuteA(lpOperation, lpFile, *this);
}

void SimulatedWinApi::SetUrlOpener(std::function<bool(const std::string&)> opener) {
  shell_.SetUrlOpener(std::move(opener));
}

void SimulatedWinApi::SetLatency(std::chrono::milliseconds latency) {
  latencyMs_.store(latency.count());
}

std::chrono::milliseconds SimulatedWinApi::Latency() const {
  return std::chrono::milliseconds(latencyMs_.load());
}

void SimulatedWinApi::SimulateLatency() const {
  const long long ms = latencyMs_.load();
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SimulatedWinApi::WithNetwork(const std::function<void(sim::Network&)>& f) {
  std::lock_guard lock(mutex_);
  f(network_);
}

HANDLE SimulatedWinApi::NewHandleLocked() {
  nextHandle_ += 4;
  return reinterpret_cast<HANDLE>(nextHandle_);
}

} // namespace skarvet
