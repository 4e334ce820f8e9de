// The shutdown reason list of the main window.
// (Interim bodies until this part is written.)
#include "mainwindow/MainFormUnit.h"

namespace skarvet {

void TMainForm::FillReasonList() {}
std::uint32_t TMainForm::SelectedReasonCode() const {
  return 0x00010000;
}

} // namespace skarvet
