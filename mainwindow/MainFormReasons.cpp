// The shutdown reason list of the main window: filled once at creation, read
// when an operation starts.
#include "mainwindow/MainFormUnit.h"
#include "mainwindow/ReasonTable.h"

#include "ui_MainForm.h"

#include <QComboBox>
#include <QVariant>

namespace skarvet {

void TMainForm::FillReasonList() {
  // Appends without clearing and selects nothing: until the user picks an
  // entry the list stays blank and operations carry the default code.
  QComboBox* list = ui->ShutdownReasonComboBox;
  const int selected = list->currentIndex();
  for (const ShutdownReason& reason : ShutdownReasons)
    list->addItem(QString::fromLatin1(reason.Text), QVariant::fromValue<quint32>(reason.Code));
  // A combo box selects its first item by itself when it gets one; undo that.
  list->setCurrentIndex(selected);
}

std::uint32_t TMainForm::SelectedReasonCode() const {
  const QComboBox* list = ui->ShutdownReasonComboBox;
  const int index = list->currentIndex();
  if (index == -1) return kDefaultReasonCode;
  // A zero code ("Other (Unplanned)") is a real pick: the index, not the
  // value, tells it from no pick.
  return list->itemData(index).value<quint32>();
}

} // namespace skarvet
