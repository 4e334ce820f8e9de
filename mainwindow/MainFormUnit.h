// The main window: names the target, takes another account, starts and
// reports restart, shutdown and logoff, and offers the side actions.
#pragma once

#include <QPointer>
#include <QWidget>

#include <initializer_list>

#include <cstdint>
#include <memory>
#include <string>

class QTimer;

namespace Ui {
class TMainForm;
}

namespace skarvet {

class TRebootThread;
class TShutdownReasonHelpForm;
class TComputerBrowserForm;

class TMainForm : public QWidget {
  Q_OBJECT

public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // The two dialogs are created after the main window at start-up.
  void SetDialogs(TShutdownReasonHelpForm* helpForm, TComputerBrowserForm* browserForm);

  // --- window state (main thread only) ------------------------------------
  void UpdateCredentialFields();
  void SetCredentialFieldsEnabled(bool enabled);
  void UpdateActionControls();
  void EnterBusyState();
  void LeaveBusyState();
  void ShowStatusSuccess(const std::string& Text);
  void ShowStatusError(const std::string& Text);

  // The worker whose reports the window waits for; null when idle.
  // The window never owns or deletes it.
  TRebootThread* CurrentThread() const { return CurrentThread_; }
  void SetCurrentThread(TRebootThread* thread) { CurrentThread_ = thread; }

  // --- reasons ------------------------------------------------------------
  void FillReasonList();
  std::uint32_t SelectedReasonCode() const;

  // --- operations ---------------------------------------------------------
  void StartOperation(int OperationKind, const std::string& StatusPrefix);

  // --- event handlers ---------------------------------------------------
  void FormCreate();
  void ComputerNameEditChange();
  void YesRadioButtonMouseUp();
  void YesRadioButtonKeyPress();
  void ComputerBrowseButtonClick();
  void ShutdownReasonHelpButtonClick();
  void Image1Click();
  void Label5Click();
  void ExitButtonClick();
  void RestartButtonClick();
  void ShutdownButtonClick();
  void LogoffButtonClick();
  void CancelButtonClick();
  void ProgressTimerTimer();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  // A focused control that is disabled or hidden hands the focus on to the
  // next one in the tab order, where the next Space meant for it would, say,
  // tick "Force Shutdown/Restart". The focus goes nowhere instead while the
  // window is busy, and comes back when it is idle.
  void ParkFocusIfOn(std::initializer_list<QWidget*> controls);
  void RestoreParkedFocus();

  std::unique_ptr<Ui::TMainForm> ui;
  // Drives the progress animation; not a widget, so it lives outside the form.
  QTimer* ProgressTimer = nullptr;
  TRebootThread* CurrentThread_ = nullptr;
  TShutdownReasonHelpForm* ShutdownReasonHelpForm_ = nullptr;
  TComputerBrowserForm* ComputerBrowserForm_ = nullptr;
  // The control that had the focus when the busy look took it away.
  QPointer<QWidget> ParkedFocus_;
};

// The application's main window, as the workers reach it; null when none.
extern TMainForm* MainForm;

// The two web pages of the maker.
extern const char* const kDownloadPageAddress;
extern const char* const kProductPageAddress;

} // namespace skarvet
