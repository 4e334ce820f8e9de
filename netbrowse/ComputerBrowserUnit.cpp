#include "netbrowse/ComputerBrowserUnit.h"

#include "controls/ClassicStyle.h"
#include "controls/DialogKeys.h"
#include "controls/DisplayScale.h"
#include "controls/ImageUnit.h"
#include "controls/ProgressBarXPUnit.h"
#include "controls/WindowCaption.h"
#include "netbrowse/NetworkBrowser.h"

#include "ui_ComputerBrowserForm.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace skarvet {
namespace {

// Character heights in pixels, as the layout was made at 96 dpi: the
// dialog's "MS Sans Serif" 8 point is 11 pixels, the title's Arial 19.
QFont PixelFont(const QString& family, int pixels, bool bold) {
  QFont font(family);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// The office look of the dialog's two push buttons: a pale blue face with a
// dark blue frame, warm when the mouse is over it, orange when pressed.
const char* const kOfficeButtonStyle =
    "QPushButton { border: 1px solid #002d96; color: #000000;"
    " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:0.5 #e3efff,"
    " stop:1 #b9d1f5); }"
    "QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fffbe6,"
    " stop:1 #ffd98a); }"
    "QPushButton:pressed { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fe9e4e,"
    " stop:1 #ffd5a5); }"
    "QPushButton:focus { border: 2px solid #002d96; }"
    "QPushButton:disabled { color: #8d8d8d; border-color: #a4b4cc; background: #eef2f8; }";

} // namespace

TComputerBrowserForm::TComputerBrowserForm(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TComputerBrowserForm>()) {
  ui->setupUi(this);
  // A tool window: small title bar with a close box, not resizable, no title.
  setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(291, 322);
  setWindowTitle(QString());
  // A tool window has no icon: its own empty one, not the main window's that
  // a child window inherits.
  setWindowIcon(QIcon());

  const QString designFamily = DesignFontFamily(devicePixelRatioF());
  setFont(PixelFont(designFamily, 11, false));
  ui->Label1->setFont(PixelFont(QStringLiteral("Arial"), 19, false));
  // Laid out for Arial; a stand-in with Arial's metrics can still come out a
  // pixel or two wider once hinted, so the heading widens rather than cut
  // its last letter.
  ui->Label1->resize(std::max(ui->Label1->width(), ui->Label1->sizeHint().width()),
                     ui->Label1->height());
  ui->BusyLabel->setFont(PixelFont(designFamily, 11, true));
  // The design font has no bold face: the busy label is emboldened the way
  // the system's text renderer does it.
  auto* classicStyle = new TClassicStyle;
  classicStyle->setParent(this);
  ui->BusyLabel->setStyle(classicStyle);
  TClassicStyle::ApplySyntheticBold(ui->BusyLabel);
  FollowDisplayScale(*this);

  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
  setAutoFillBackground(true);

  // On a scaled display, the double-size artwork in the pictures' places.
  const qreal scale = devicePixelRatioF();
  ImageList1_ = {
      LoadSharpPixmap(QStringLiteral(":/resources/images/browser_computer_globe.png"), scale),
      LoadSharpPixmap(QStringLiteral(":/resources/images/browser_computer.png"), scale),
      LoadSharpPixmap(QStringLiteral(":/resources/images/browser_checked.png"), scale),
      LoadSharpPixmap(QStringLiteral(":/resources/images/browser_unchecked.png"), scale)};
  // Set here, not in the form file: see ReadBuiltInImage.
  ui->Image1->setPixmap(
      LoadSharpPixmap(QStringLiteral(":/resources/images/browser_page_computer.png"), scale));
  ui->NetworkBrowser->SetImages(ImageList1_);
  ui->NetworkBrowser->SetStateImages(ImageList1_);
  ui->NetworkBrowser->SetOnBegin([this](QObject* Sender) { NetworkBrowserBegin(Sender); });
  ui->NetworkBrowser->SetOnEnd([this](QObject* Sender) { NetworkBrowserEnd(Sender); });

  // Neither button is the default or the cancel button; each sets the
  // dialog's result itself.
  for (QPushButton* button : {ui->ConnectButton, ui->cxButton2}) {
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setStyleSheet(QString::fromLatin1(kOfficeButtonStyle));
  }
  connect(ui->ConnectButton, &QPushButton::clicked, this, [this] { ConnectButtonClick(); });
  connect(ui->cxButton2, &QPushButton::clicked, this, [this] { cxButton2Click(); });

  // The busy animation runs for the whole life of the dialog, shown or not.
  Timer_ = new QTimer(this);
  Timer_->setObjectName(QStringLiteral("Timer"));
  Timer_->setInterval(2);
  connect(Timer_, &QTimer::timeout, this, [this] { TimerTimer(); });
  Timer_->start();
}

TComputerBrowserForm::~TComputerBrowserForm() {
  // The tree stops its browse when it goes, which raises OnEnd; by then the
  // labels it would hide may be gone already.
  ui->NetworkBrowser->SetOnBegin({});
  ui->NetworkBrowser->SetOnEnd({});
  Timer_->stop();
}

TNetworkBrowser* TComputerBrowserForm::NetworkBrowser() const {
  return ui->NetworkBrowser;
}
QLabel* TComputerBrowserForm::Image1() const {
  return ui->Image1;
}
QLabel* TComputerBrowserForm::Label1() const {
  return ui->Label1;
}
QLabel* TComputerBrowserForm::BusyLabel() const {
  return ui->BusyLabel;
}
TProgressBarXP* TComputerBrowserForm::ProgressBarXP() const {
  return ui->ProgressBarXP;
}
QPushButton* TComputerBrowserForm::ConnectButton() const {
  return ui->ConnectButton;
}
QPushButton* TComputerBrowserForm::cxButton2() const {
  return ui->cxButton2;
}

void TComputerBrowserForm::FormShow() {
  ui->NetworkBrowser->BrowseNetwork();
}

void TComputerBrowserForm::NetworkBrowserBegin(QObject* /*Sender*/) {
  ui->ProgressBarXP->setVisible(true);
  ui->BusyLabel->setVisible(true);
}

void TComputerBrowserForm::NetworkBrowserEnd(QObject* /*Sender*/) {
  ui->ProgressBarXP->setVisible(false);
  ui->BusyLabel->setVisible(false);
}

void TComputerBrowserForm::ConnectButtonClick() {
  ComputerNames.clear();
  const int count = ui->NetworkBrowser->iComputerCount();
  for (int i = 0; i < count; ++i) {
    std::string name;
    ui->NetworkBrowser->GetSelectedComputer(i, name);
    ComputerNames += name;
    if (i < count - 1) ComputerNames += ',';
  }
  done(mrOk);
}

void TComputerBrowserForm::cxButton2Click() {
  done(mrCancel);
}

void TComputerBrowserForm::reject() {
  done(mrCancel);
}

void TComputerBrowserForm::TimerTimer() {
  TProgressBarXP* bar = ui->ProgressBarXP;
  bar->SetPosition(bar->Position() + 1);
  if (bar->Position() >= 100) bar->SetPosition(0);
}

void TComputerBrowserForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  ClearNativeCaption(*this);
  if (event->spontaneous()) return; // the window system restoring it, not a showing
  // Centred on the screen at every showing.
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
  }
  FormShow();
}

void TComputerBrowserForm::keyPressEvent(QKeyEvent* event) {
  if (!HandleDialogKey(*this, event)) QDialog::keyPressEvent(event);
}

} // namespace skarvet
