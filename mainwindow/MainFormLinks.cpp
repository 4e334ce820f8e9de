// The main window's side actions: browse for a computer, the reason help,
// and the two pages of the maker behind the banner and the link label.
#include "mainwindow/MainFormUnit.h"

#include "controls/AnsiText.h"
#include "controls/ShutdownReasonHelpFormUnit.h"
#include "netbrowse/ComputerBrowserUnit.h"
#include "netbrowse/NetworkBrowser.h"
#include "platform/text/TextHelpers.h"
#include "remote/GlobalUnit.h"

#include "ui_MainForm.h"

#include <QDialog>
#include <QLineEdit>
#include <QMargins>
#include <QRect>
#include <QWindow>

namespace skarvet {

const char* const kDownloadPageAddress = "https://www.ondravel.example/downloads";
const char* const kProductPageAddress = "https://www.ondravel.example/brandolin?Source=Skarvet";

namespace {

// The outer size of a window: its frame included. A window that has not
// been shown yet does not know its frame; it gets the frame the reference
// window has, which the window manager draws the same way.
QSize OuterSize(const QWidget& window, const QWidget& reference) {
  QMargins frame;
  if (const QWindow* handle = window.windowHandle()) frame = handle->frameMargins();
  if (frame.isNull())
    if (const QWindow* handle = reference.windowHandle()) frame = handle->frameMargins();
  return window.size().grownBy(frame);
}

// The position that centres `size` on `outer`, halves rounded to even.
QPoint CentredOn(const QRect& outer, const QSize& size) {
  const auto left = outer.left() + RoundHalfEven((outer.width() - size.width()) / 2.0);
  const auto top = outer.top() + RoundHalfEven((outer.height() - size.height()) / 2.0);
  return QPoint(static_cast<int>(left), static_cast<int>(top));
}

} // namespace

void TMainForm::SetDialogs(TShutdownReasonHelpForm* helpForm, TComputerBrowserForm* browserForm) {
  ShutdownReasonHelpForm_ = helpForm;
  ComputerBrowserForm_ = browserForm;
}

void TMainForm::ComputerBrowseButtonClick() {
  if (!ComputerBrowserForm_) return;
  // The dialog is laid out for check boxes; the name field takes one name.
  ComputerBrowserForm_->NetworkBrowser()->SetbMultiSelect(false);
  if (ComputerBrowserForm_->exec() != TComputerBrowserForm::mrOk) return;

  // Also an empty text: nothing picked empties the field. Every assignment
  // runs the computer-name rule, also one that leaves the text as it was
  // (the field itself reports changed texts only).
  const QString names = FromAnsi(ComputerBrowserForm_->ComputerNames);
  if (ui->ComputerNameEdit->text() == names) {
    ComputerNameEditChange();
  } else {
    ui->ComputerNameEdit->setText(names);
  }
}

void TMainForm::ShutdownReasonHelpButtonClick() {
  if (!ShutdownReasonHelpForm_) return;
  // Centred on where the main window is now, frames included.
  ShutdownReasonHelpForm_->move(
      CentredOn(frameGeometry(), OuterSize(*ShutdownReasonHelpForm_, *this)));
  // The dialog only explains; how it was closed does not matter.
  (void)ShutdownReasonHelpForm_->exec();
}

void TMainForm::Image1Click() {
  SetMainWindowHandle(reinterpret_cast<HWND>(winId()));
  OpenWebPage(kDownloadPageAddress);
}

void TMainForm::Label5Click() {
  SetMainWindowHandle(reinterpret_cast<HWND>(winId()));
  OpenWebPage(kProductPageAddress);
}

} // namespace skarvet
