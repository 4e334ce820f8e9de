#include "platform/sim/SimulatedWinApi.h"

#include <thread>

namespace skarvet {
namespace {

thread_local DWORD t_lastError = 0;
thread_local bool t_hasErrorInfo = false;
thread_local ComErrorInfo t_errorInfo;

// The pseudo handle Windows returns for the current process.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// Windows' default ("Windows Standard") colour scheme.
constexpr std::array<DWORD, 31> kDefaultColors = {
    RGB(212, 208, 200), // COLOR_SCROLLBAR
    RGB(58, 110, 165),  // COLOR_BACKGROUND
    RGB(10, 36, 106),   // COLOR_ACTIVECAPTION
    RGB(128, 128, 128), // COLOR_INACTIVECAPTION
    RGB(212, 208, 200), // COLOR_MENU
    RGB(255, 255, 255), // COLOR_WINDOW
    RGB(0, 0, 0),       // COLOR_WINDOWFRAME
    RGB(0, 0, 0),       // COLOR_MENUTEXT
    RGB(0, 0, 0),       // COLOR_WINDOWTEXT
    RGB(255, 255, 255), // COLOR_CAPTIONTEXT
    RGB(212, 208, 200), // COLOR_ACTIVEBORDER
    RGB(212, 208, 200), // COLOR_INACTIVEBORDER
    RGB(128, 128, 128), // COLOR_APPWORKSPACE
    RGB(10, 36, 106),   // COLOR_HIGHLIGHT
    RGB(255, 255, 255), // COLOR_HIGHLIGHTTEXT
    RGB(212, 208, 200), // COLOR_BTNFACE
    RGB(128, 128, 128), // COLOR_BTNSHADOW
    RGB(128, 128, 128), // COLOR_GRAYTEXT
    RGB(0, 0, 0),       // COLOR_BTNTEXT
    RGB(212, 208, 200), // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255), // COLOR_BTNHIGHLIGHT
    RGB(64, 64, 64),    // COLOR_3DDKSHADOW
    RGB(212, 208, 200), // COLOR_3DLIGHT
    RGB(0, 0, 0),       // COLOR_INFOTEXT
    RGB(255, 255, 225), // COLOR_INFOBK
    RGB(181, 181, 181), // 25, unused by Windows
    RGB(0, 0, 128),     // COLOR_HOTLIGHT
    RGB(166, 202, 240), // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192), // COLOR_GRADIENTINACTIVECAPTION
    RGB(10, 36, 106),   // COLOR_MENUHILIGHT
    RGB(212, 208, 200), // COLOR_MENUBAR
};

} // namespace

SimulatedWinApi::SimulatedWinApi(sim::Network network, std::chrono::milliseconds latency)
    : network_(std::move(network)), latencyMs_(latency.count()), sysColors_(kDefaultColors) {}

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

void SimulatedWinApi::SetThreadErrorInfo(const ComErrorInfo& info) {
  t_errorInfo = info;
  t_hasErrorInfo = true;
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
