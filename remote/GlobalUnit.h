// Shared remote-access routines: session set-up with another account, the
// shutdown request, system error texts, and opening web pages.
// Every routine reports through its result; none throws.
#pragma once

#include "platform/Win32Types.h"
#include "platform/text/SecretText.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace skarvet {

// Set on the main thread when the user cancels a request; read by the worker
// right before the request leaves for the remote computer, so that a
// cancelled request that has not yet been sent never is. Null: the request
// cannot be cancelled.
using CancelMark = std::atomic<bool>;

// Logs on with new network credentials and impersonates them on the calling
// thread; only if that fails, connects the target's "\ipc$" share with them.
// Token receives the logon token; it is left untouched when no logon is made.
void ConnectAsUser(const std::string& UserName, const SecretText& Password,
                   const std::string& Domain, const std::string& ComputerName, HANDLE& Token);

// Connects RemoteName with the given account. Returns the system's result.
DWORD AddNetConnection(const std::string& LocalName, const std::string& RemoteName,
                       const std::string& UserName, const SecretText& Password);

// Closes a logon token; does nothing for zero.
void CloseLogonToken(HANDLE Token);

// The system's message text for an error number, trimmed; empty if none.
std::string SystemErrorText(DWORD Code);

// Whether a typed computer name names no computer: blank, or blank once one
// leading "\\" is taken away. The system reads such a name as this computer.
bool NamesNoComputer(const std::string& ComputerName);

// Asks a computer to restart (PowerOff false) or shut down (PowerOff true).
// 0 success, -1 access denied, -2 not reachable, else a system error number;
// ERROR_CANCELLED, with nothing sent, when `Cancelled` was set before the
// request could leave.
std::int32_t RemoteShutdown(const std::string& ComputerName, bool PowerOff, bool Force,
                            DWORD ReasonCode, const CancelMark* Cancelled = nullptr);

// The result code for the calling thread's last system error.
std::int32_t MapShutdownError();

// Opens an address or document in the desktop's default handler.
void OpenWebPage(const std::string& Address);

// The owner window for shell calls (the main window's handle); null if none.
void SetMainWindowHandle(HWND handle);
HWND MainWindowHandle();

} // namespace skarvet
