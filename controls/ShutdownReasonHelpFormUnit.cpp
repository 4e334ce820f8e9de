#include "controls/ShutdownReasonHelpFormUnit.h"

#include "controls/ClassicStyle.h"
#include "controls/DialogKeys.h"
#include "controls/DisplayScale.h"
#include "controls/SystemColor.h"
#include "controls/WindowCaption.h"
#include "platform/WinApi.h"

#include "ui_ShutdownReasonHelpForm.h"

#include <QIcon>
#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>

namespace skarvet {
namespace {

// "MS Sans Serif" 8 point is 11 pixels high on the 96 dpi screen the layout
// was made for; pixels keep the text inside its fixed label on any screen.
void UseDesignFont(QWidget* widget, bool bold) {
  QFont font(DesignFontFamily(widget->devicePixelRatioF()));
  font.setPixelSize(11);
  font.setBold(bold);
  widget->setFont(font);
}

} // namespace

TShutdownReasonHelpForm::TShutdownReasonHelpForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TShutdownReasonHelpForm>()) {
  ui->setupUi(this);
  // A fixed dialog frame with a close box only: no minimise, maximise,
  // context help or size grip, and no caption text.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(292, 101);
  setWindowTitle(QString());
  // Its own empty icon, not the main window's that a child window inherits.
  setWindowIcon(QIcon());

  UseDesignFont(this, false);
  UseDesignFont(ui->Label1, true);

  // The classic look the main window has too; among it, bold text in the
  // design font, which has no bold face of its own.
  TClassicStyle::InstallOn(*this);
  TClassicStyle::ApplySyntheticBold(ui->Label1);
  FollowDisplayScale(*this);

  // Neither default nor cancel button: Return reaches OK only while it has
  // the focus (see keyPressEvent), and Escape does not close the dialog.
  ui->ExitButton->setAutoDefault(false);
  ui->ExitButton->setDefault(false);
  connect(ui->ExitButton, &QPushButton::clicked, this, [this] { ExitButtonClick(); });

  ApplySystemColors();
}

TShutdownReasonHelpForm::~TShutdownReasonHelpForm() = default;

QFrame* TShutdownReasonHelpForm::Panel1() const {
  return ui->Panel1;
}
QLabel* TShutdownReasonHelpForm::Label1() const {
  return ui->Label1;
}
QPushButton* TShutdownReasonHelpForm::ExitButton() const {
  return ui->ExitButton;
}

void TShutdownReasonHelpForm::ExitButtonClick() {
  done(1);
}

void TShutdownReasonHelpForm::ApplySystemColors() {
  const QColor windowText = SysColor(COLOR_WINDOWTEXT);

  // The dialog itself is white whatever the colour scheme.
  QPalette dialogPalette = palette();
  dialogPalette.setColor(QPalette::Window, Qt::white);
  dialogPalette.setColor(QPalette::WindowText, windowText);
  setPalette(dialogPalette);

  // The text sits on a flat button-face rectangle; the label is opaque in
  // the panel's colour.
  const QColor buttonFace = SysColor(COLOR_BTNFACE);
  for (QWidget* widget : {static_cast<QWidget*>(ui->Panel1), static_cast<QWidget*>(ui->Label1)}) {
    QPalette panelPalette = widget->palette();
    panelPalette.setColor(QPalette::Window, buttonFace);
    panelPalette.setColor(QPalette::WindowText, windowText);
    widget->setPalette(panelPalette);
    widget->setAutoFillBackground(true);
  }
}

void TShutdownReasonHelpForm::showEvent(QShowEvent* event) {
  // The colour scheme may have changed since the last showing.
  ApplySystemColors();
  QDialog::showEvent(event);
  ClearNativeCaption(*this);
  // OK is the only control that takes the focus.
  ui->ExitButton->setFocus(Qt::ActiveWindowFocusReason);
}

void TShutdownReasonHelpForm::keyPressEvent(QKeyEvent* event) {
  if (!HandleDialogKey(*this, event)) QDialog::keyPressEvent(event);
}

} // namespace skarvet
