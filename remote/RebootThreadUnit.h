// The worker that carries one restart, shutdown or logoff away from the
// window's thread and reports its outcome back to the main window.
#pragma once

#include "controls/Thread.h"
#include "platform/Win32Types.h"
#include "remote/GlobalUnit.h"

#include <cstdint>
#include <functional>
#include <string>

namespace skarvet {

// What a worker is asked to do.
using OperationKind = int;
inline constexpr OperationKind okLogoff = 0;
inline constexpr OperationKind okRestart = 1;
inline constexpr OperationKind okShutdown = 2;

class TRebootThread : public TThread {
public:
  // Created suspended; the creator starts it with Resume. Throws
  // std::system_error when the system thread cannot be created.
  TRebootThread(OperationKind Operation, DWORD ReasonCode, bool Force,
                const std::string& ComputerName, const std::string& UserName,
                const std::string& Password, const std::string& Domain);
  ~TRebootThread() override;

  // The request, as the window handed it over (texts untrimmed).
  std::string ComputerName;
  std::string UserName;
  SecretText Password; // wiped with the worker, when its request is over
  std::string Domain;  // trimmed in place by the body when UserName is not blank
  bool Force = false;
  OperationKind Operation = okLogoff;
  DWORD ReasonCode = 0;
  // The outcome: 0, or -1 access denied, -2 not reachable, -3 logoff script
  // error (text in ErrorText), else a system error number.
  std::int32_t ResultCode = 0;
  std::string ErrorText;
  // Set on the main thread (by Cancel, or by the finish report). Once set,
  // every report does nothing, and a request not yet sent is held back: the
  // worker reads it right before the request leaves.
  CancelMark Cancelled{false};

  // The reports: steps run on the main thread while the worker waits.
  void ReportSuccess();
  void ReportFailure();
  void ReportFinished();

  // Called on the destroying thread just before a worker object goes away;
  // lets tests see that each worker is destroyed exactly once. Null: none.
  using DestroyHook = void (*)(const TRebootThread*);
  static void SetDestroyHook(DestroyHook hook);

protected:
  void Execute() override;
};

// How the window creates its workers: by default `new TRebootThread(...)`.
// Tests replace it (with a derived worker, or one that fails to start); an
// empty function restores the default. Main thread only.
using RebootThreadFactory =
    std::function<TRebootThread*(OperationKind, DWORD, bool, const std::string&, const std::string&,
                                 const std::string&, const std::string&)>;
void SetRebootThreadFactory(RebootThreadFactory factory);
TRebootThread* CreateRebootThread(OperationKind Operation, DWORD ReasonCode, bool Force,
                                  const std::string& ComputerName, const std::string& UserName,
                                  const std::string& Password, const std::string& Domain);

} // namespace skarvet
