#include "remote/RebootThreadUnit.h"

#include "mainwindow/MainFormUnit.h"
#include "platform/text/TextHelpers.h"
#include "remote/GlobalUnit.h"
#include "remote/RemoteLogoffUnit.h"

#include <atomic>
#include <exception>
#include <utility>

namespace skarvet {
namespace {

std::atomic<TRebootThread::DestroyHook> g_destroyHook{nullptr};

RebootThreadFactory& Factory() {
  static RebootThreadFactory factory;
  return factory;
}

// Closes the logon token however the request ends.
class TokenGuard {
public:
  HANDLE Token = 0;
  TokenGuard() = default;
  TokenGuard(const TokenGuard&) = delete;
  TokenGuard& operator=(const TokenGuard&) = delete;
  ~TokenGuard() { CloseLogonToken(Token); }
};

std::string FailureText(const std::exception_ptr& failure) {
  std::string text;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
  }
  return Trim(text).empty() ? "Unknown Error" : text;
}

} // namespace

TRebootThread::TRebootThread(OperationKind Operation, DWORD ReasonCode, bool Force,
                             const std::string& ComputerName, const std::string& UserName,
                             const std::string& Password, const std::string& Domain)
    : ComputerName(ComputerName), UserName(UserName), Password(Password), Domain(Domain),
      Force(Force), Operation(Operation), ReasonCode(ReasonCode) {}

TRebootThread::~TRebootThread() {
  if (DestroyHook hook = g_destroyHook.load()) hook(this);
}

void TRebootThread::SetDestroyHook(DestroyHook hook) {
  g_destroyHook.store(hook);
}

void TRebootThread::Execute() {
  try {
    std::string Account = Trim(UserName);
    if (!Account.empty()) {
      Domain = Trim(Domain);
      if (!Domain.empty()) Account = Domain + "\\" + Account;
    }

    if (Operation == okLogoff) {
      // The other account travels inside the logoff script; no session set-up.
      RemoteLogoff(ComputerName, Account, Password, ErrorText, &Cancelled);
      if (ErrorText.empty()) {
        Synchronize([this] { ReportSuccess(); });
      } else {
        ResultCode = -3;
        Synchronize([this] { ReportFailure(); });
      }
    } else {
      TokenGuard logon;
      // Not examined: a failed set-up surfaces as the request's own error.
      // A request cancelled before it started sets up nothing either.
      if (!Cancelled) ConnectAsUser(UserName, Password, Domain, ComputerName, logon.Token);
      const std::int32_t Result =
          RemoteShutdown(ComputerName, Operation == okShutdown, Force, ReasonCode, &Cancelled);
      if (Result == 0) {
        Synchronize([this] { ReportSuccess(); });
      } else {
        ResultCode = Result;
        Synchronize([this] { ReportFailure(); });
      }
    }
  } catch (...) {
    // The routines report through results; only the runtime itself (out of
    // memory) can get here. Still tell the user, and still finish below, so
    // that the window does not stay busy for ever.
    ResultCode = -3;
    ErrorText = FailureText(std::current_exception());
    Synchronize([this] { ReportFailure(); });
  }
  Synchronize([this] { ReportFinished(); });
}

void TRebootThread::ReportSuccess() {
  if (Cancelled || !MainForm) return;
  const char* suffix = Operation == okLogoff    ? " was logged off."
                       : Operation == okRestart ? " was restarted."
                                                : " was shutdown.";
  MainForm->ShowStatusSuccess(ComputerName + suffix);
}

void TRebootThread::ReportFailure() {
  if (Cancelled || !MainForm) return;
  std::string text;
  switch (ResultCode) {
  case -1:
    text = "Access Denied";
    break;
  case -2:
    text = "Could not reach " + ComputerName;
    break;
  case -3:
    text = ErrorText;
    break;
  default:
    text = SystemErrorText(static_cast<DWORD>(ResultCode));
    break;
  }
  MainForm->ShowStatusError(text);
}

void TRebootThread::ReportFinished() {
  if (Cancelled) return;
  Cancelled = true;
  // Without a window (it was closed) there is nothing to restore, but the
  // worker must still free itself.
  if (MainForm) {
    MainForm->SetCurrentThread(nullptr);
    MainForm->LeaveBusyState();
  }
  SetFreeOnTerminate(true);
}

void SetRebootThreadFactory(RebootThreadFactory factory) {
  Factory() = std::move(factory);
}

TRebootThread* CreateRebootThread(OperationKind Operation, DWORD ReasonCode, bool Force,
                                  const std::string& ComputerName, const std::string& UserName,
                                  const std::string& Password, const std::string& Domain) {
  if (const RebootThreadFactory& factory = Factory())
    return factory(Operation, ReasonCode, Force, ComputerName, UserName, Password, Domain);
  return new TRebootThread(Operation, ReasonCode, Force, ComputerName, UserName, Password, Domain);
}

} // namespace skarvet
