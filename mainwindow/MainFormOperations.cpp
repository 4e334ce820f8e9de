// Starting, cancelling and animating remote operations.
//
// One worker per request. The window keeps only a non-owning reference to
// the worker whose reports it waits for (CurrentThread); a worker frees
// itself once its body has returned, after either its own finish report or
// Cancel has marked it, both of which run on this (the main) thread.
#include "controls/AnsiText.h"
#include "controls/ErrorBox.h"
#include "controls/ProgressBarXPUnit.h"
#include "mainwindow/MainFormUnit.h"
#include "remote/GlobalUnit.h"
#include "remote/RebootThreadUnit.h"

#include "ui_MainForm.h"

#include <exception>
#include <system_error>

namespace skarvet {
namespace {

// The system's number for an error of the runtime's thread creation: its own
// number where the runtime passes the system's on, else the nearest one.
DWORD SystemErrorNumber(const std::error_code& code) {
#ifdef _WIN32
  if (code.category() == std::system_category()) return static_cast<DWORD>(code.value());
#endif
  const std::error_condition condition = code.default_error_condition();
  if (condition == std::errc::resource_unavailable_try_again ||
      condition == std::errc::not_enough_memory)
    return ERROR_NOT_ENOUGH_MEMORY;
  if (condition == std::errc::permission_denied || condition == std::errc::operation_not_permitted)
    return ERROR_ACCESS_DENIED;
  if (condition == std::errc::invalid_argument) return ERROR_INVALID_PARAMETER;
  return 0;
}

// The system's words for the error; the runtime's when the system has none.
std::string CreationErrorText(const std::error_code& code) {
  const DWORD number = SystemErrorNumber(code);
  std::string text = number ? SystemErrorText(number) : std::string();
  return text.empty() ? code.message() : text;
}

} // namespace

void TMainForm::StartOperation(int OperationKind, const std::string& StatusPrefix) {
  const std::string computerName = ToAnsi(ui->ComputerNameEdit->text());
  ShowStatusSuccess(StatusPrefix + computerName);

  const std::uint32_t reasonCode = SelectedReasonCode();
  const bool force = ui->ForceCheckbox->isChecked();
  // Exactly as typed with "Yes". "No" means the program's own account: the
  // greyed fields keep their text for a later "Yes", but none of it travels.
  const bool given = ui->YesRadioButton->isChecked();
  std::string userName, domain;
  // Converted in place (no temporary left behind); the worker keeps its own
  // copy, and this one is wiped however the start ends.
  std::string password = given ? ToAnsi(ui->PasswordEdit->text()) : std::string();
  const WipeAtExit wipePassword(password);
  if (given) {
    userName = ToAnsi(ui->UserNameEdit->text());
    domain = ToAnsi(ui->DomainEdit->text());
  }

  TRebootThread* thread = nullptr;
  try {
    thread = CreateRebootThread(OperationKind, reasonCode, force, computerName, userName, password,
                                domain);
  } catch (const std::system_error& e) {
    // Nothing was started: the window stays as it was (the blue text of the
    // attempt included) and keeps its earlier worker reference.
    ShowException(
        QStringLiteral("Thread creation error: %1").arg(FromAnsi(CreationErrorText(e.code()))));
    return;
  } catch (const std::exception& e) {
    ShowException(FromAnsi(e.what()));
    return;
  }

  // An earlier worker is neither cancelled nor told: its reports still count.
  SetCurrentThread(thread);
  EnterBusyState();
  thread->Resume();
}

void TMainForm::RestartButtonClick() {
  StartOperation(okRestart, "Restarting ");
}

void TMainForm::ShutdownButtonClick() {
  StartOperation(okShutdown, "Shutting down ");
}

void TMainForm::LogoffButtonClick() {
  StartOperation(okLogoff, "Logging off ");
}

void TMainForm::CancelButtonClick() {
  TRebootThread* thread = CurrentThread();
  if (!thread) return;
  // The worker runs on to its end: a request already on its way still
  // happens, one not yet sent is held back (the worker reads the mark right
  // before sending), its reports are dropped, and it frees itself when its
  // body returns.
  thread->Cancelled = true;
  thread->SetFreeOnTerminate(true);
  SetCurrentThread(nullptr);
  LeaveBusyState();
  ui->StatusLabel->setText(QString()); // the colour stays as it was
}

void TMainForm::ProgressTimerTimer() {
  // Activity only, not a measure of the request: 2, 4, ... 98, then empty.
  TProgressBarXP* bar = ui->StatusProgressBar;
  bar->SetPosition(bar->Position() + 2);
  if (bar->Position() >= 100) bar->SetPosition(0);
}

} // namespace skarvet
