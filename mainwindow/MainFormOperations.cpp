// Starting, cancelling and animating remote operations.
// (Interim bodies until this part is written.)
#include "mainwindow/MainFormUnit.h"

namespace skarvet {

void TMainForm::StartOperation(int, const std::string&) {}
void TMainForm::RestartButtonClick() {}
void TMainForm::ShutdownButtonClick() {}
void TMainForm::LogoffButtonClick() {}
void TMainForm::CancelButtonClick() {}
void TMainForm::ProgressTimerTimer() {}

} // namespace skarvet
