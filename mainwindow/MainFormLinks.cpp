// The main window's side actions: browse, reason help, banner and link.
// (Interim bodies until this part is written.)
#include "mainwindow/MainFormUnit.h"

namespace skarvet {

const char* const kDownloadPageAddress = "https://www.ondravel.example/downloads";
const char* const kProductPageAddress = "https://www.ondravel.example/brandolin?Source=Skarvet";

void TMainForm::SetDialogs(TShutdownReasonHelpForm* helpForm, TComputerBrowserForm* browserForm) {
  ShutdownReasonHelpForm_ = helpForm;
  ComputerBrowserForm_ = browserForm;
}
void TMainForm::ComputerBrowseButtonClick() {}
void TMainForm::ShutdownReasonHelpButtonClick() {}
void TMainForm::Image1Click() {}
void TMainForm::Label5Click() {}

} // namespace skarvet
