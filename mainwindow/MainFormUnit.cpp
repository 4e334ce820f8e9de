// The main window: its construction, the input rules, the busy and idle
// looks and the status line.
#include "mainwindow/MainFormUnit.h"

#include "controls/AnsiText.h"
#include "controls/ClassicStyle.h"
#include "controls/DialogKeys.h"
#include "controls/DisplayScale.h"
#include "controls/ImageUnit.h"
#include "controls/JpegImage.h"
#include "controls/LinkLabel.h"
#include "controls/ProgressBarXPUnit.h"
#include "controls/SystemColor.h"
#include "platform/WinApi.h"
#include "platform/text/TextHelpers.h"

#include "ui_MainForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace skarvet {

TMainForm* MainForm = nullptr;

namespace {

// The window's measures, pixels at 96 dpi.
constexpr int kClientWidth = 429;
constexpr int kClientHeight = 423;
constexpr int kFontPixelSize = 11;
constexpr int kComboItemHeight = 13;
constexpr int kProgressInterval = 20; // ms

const QColor kStatusBlue(0, 0, 255);
const QColor kStatusRed(255, 0, 0);
const QColor kWindowBackground(255, 255, 255);

// Sets one role in every colour group, so that the colour also holds while
// the widget is disabled or the window inactive.
void SetRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(role, colour);
  widget->setPalette(palette);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, colour);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
  widget->setPalette(palette);
}

// The window and its panels in the system's classic colours: white window,
// button-face panels, greyed text for disabled controls.
void ApplyColours(TMainForm& form, Ui::TMainForm& ui) {
  QPalette palette = form.palette();
  palette.setColor(QPalette::Window, kWindowBackground);
  palette.setColor(QPalette::WindowText, SysColor(COLOR_WINDOWTEXT));
  palette.setColor(QPalette::Base, SysColor(COLOR_WINDOW));
  palette.setColor(QPalette::Text, SysColor(COLOR_WINDOWTEXT));
  palette.setColor(QPalette::Button, SysColor(COLOR_BTNFACE));
  palette.setColor(QPalette::ButtonText, SysColor(COLOR_BTNTEXT));
  const QColor grey = SysColor(COLOR_GRAYTEXT);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, grey);
  palette.setColor(QPalette::Disabled, QPalette::Text, grey);
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, grey);
  form.setPalette(palette);
  form.setAutoFillBackground(true);

  const QColor face = SysColor(COLOR_BTNFACE);
  for (QWidget* panel : std::initializer_list<QWidget*>{ui.Panel1, ui.Panel2, ui.Panel3})
    SetRole(panel, QPalette::Window, face);

  SetTextColour(ui.Label4, kStatusRed);
  SetTextColour(ui.Label5, kStatusBlue);
  SetTextColour(ui.StatusLabel, kStatusRed); // the designed colour, before the first text
}

// Bold in the design font, which has no bold face: emboldened as the
// Windows text renderer does it (see TClassicStyle), the name field too.
void ApplyBoldText(Ui::TMainForm& ui) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           ui.Label1, ui.Label2, ui.ComputerNameEdit, ui.Label3, ui.Label5, ui.Label7,
           ui.UserNameLabel, ui.PasswordLabel, ui.DomainLabel, ui.ForceCheckbox, ui.StatusLabel}) {
    TClassicStyle::ApplySyntheticBold(control);
  }
}

// Labels size themselves to their text (the designed widths are those of
// the design font); with another font they grow or shrink with it. The
// credential labels keep their right edge, six pixels left of the edits.
int TextWidth(const QLabel* label) {
  const int overhang = TClassicStyle::NeedsSyntheticBold(label->font()) ? 1 : 0;
  return label->sizeHint().width() + overhang;
}

void FitLabelsToText(Ui::TMainForm& ui) {
  for (QLabel* label :
       std::initializer_list<QLabel*>{ui.Label1, ui.Label2, ui.Label3, ui.Label4, ui.Label5,
                                      ui.Label7, ui.ShutdownReasonLabel}) {
    label->resize(TextWidth(label), label->height());
  }
  for (QLabel* label : {ui.UserNameLabel, ui.PasswordLabel, ui.DomainLabel}) {
    const int right = label->x() + label->width();
    const int width = TextWidth(label);
    label->setGeometry(right - width, label->y(), width, label->height());
  }
}

void LoadPictures(Ui::TMainForm& ui) {
  ui.Image1->SetPicture(LoadJpegFile(QStringLiteral(":/resources/images/banner.jpg")));
  ui.AuthenticationImage->SetPicture(
      ReadBuiltInImage(QStringLiteral(":/resources/images/keys.bmp")));
  // The double-size artwork only where some screen is scaled.
  if (qApp->devicePixelRatio() > 1) {
    ui.Image1->SetDoubleSizePicture(
        LoadJpegFile(QStringLiteral(":/resources/images/banner@2x.jpg")));
    ui.AuthenticationImage->SetDoubleSizePicture(
        ReadBuiltInImage(QStringLiteral(":/resources/images/keys@2x.bmp")));
  }
}

// The program's icon in the sizes a title bar or task switcher asks for
// (resources/icons, up to three times the largest designed size), so that a
// scaled desktop finds a sharp one; failing those, the icon file's. Each is
// read here (a file handed to QIcon unread would have Qt load every image
// format plugin to learn its format).
constexpr int kLargestWindowIcon = 96;

QIcon ProgramIcon() {
  const QDir folder(QStringLiteral(":/resources/icons"));
  QStringList files = folder.entryList({QStringLiteral("skarvet-*.png")}, QDir::Files);
  if (files.isEmpty()) return QIcon(QStringLiteral(":/resources/skarvet.ico"));
  const auto size = [](const QString& file) {
    return file.section(u'-', 1).section(u'.', 0, 0).toInt();
  };
  std::sort(files.begin(), files.end(),
            [&](const QString& a, const QString& b) { return size(a) < size(b); });
  QIcon icon;
  for (const QString& file : files) {
    const int side = size(file);
    if (side > 0 && side <= kLargestWindowIcon)
      icon.addPixmap(QPixmap::fromImage(ReadBuiltInImage(folder.filePath(file))));
  }
  return icon;
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QSize outer = window.frameGeometry().size();
  window.move(area.x() + (area.width() - outer.width()) / 2,
              area.y() + (area.height() - outer.height()) / 2);
}

// A key that types a character: what the radio buttons' key-press event
// reports. Navigation keys, Tab (which moves the focus) and Alt chords
// (menu keys) type nothing.
bool TypesCharacter(const QKeyEvent& event) {
  const QString text = event.text();
  if (text.isEmpty()) return false;
  if (event.modifiers() & Qt::AltModifier) return false;
  const char16_t first = text.at(0).unicode();
  return first != u'\t' && first != 0x19 /* back-tab */ && first != 0x7f /* Delete */;
}

} // namespace

TMainForm::TMainForm(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TMainForm>()) {
  MainForm = this;

  QFont designFont(DesignFontFamily(devicePixelRatioF()));
  designFont.setPixelSize(kFontPixelSize);
  setFont(designFont);

  ui->setupUi(this);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);
  setWindowIcon(ProgramIcon());

  // Classic behaviours on every control: "*" masking, a list that drops
  // down eight entries at a time, bold text in the bitmap design font.
  TClassicStyle::InstallOn(*this);

  ApplyColours(*this, *ui);
  ApplyBoldText(*ui);
  FitLabelsToText(*ui);
  LoadPictures(*ui);
  ui->StatusLabel->setFixedSize(ui->StatusLabel->size());
  FollowDisplayScale(*this, [this] { FitLabelsToText(*ui); });

  ui->ShutdownReasonComboBox->setItemDelegate(
      new TFixedHeightItemDelegate(kComboItemHeight, ui->ShutdownReasonComboBox));

  ProgressTimer = new QTimer(this);
  ProgressTimer->setObjectName(QStringLiteral("ProgressTimer"));
  ProgressTimer->setInterval(kProgressInterval);

  connect(ui->ComputerNameEdit, &QLineEdit::textChanged, this, &TMainForm::ComputerNameEditChange);
  connect(ui->ComputerBrowseButton, &QPushButton::clicked, this,
          &TMainForm::ComputerBrowseButtonClick);
  connect(ui->RestartButton, &QPushButton::clicked, this, &TMainForm::RestartButtonClick);
  connect(ui->ShutdownButton, &QPushButton::clicked, this, &TMainForm::ShutdownButtonClick);
  connect(ui->LogoffButton, &QPushButton::clicked, this, &TMainForm::LogoffButtonClick);
  connect(ui->CancelButton, &QPushButton::clicked, this, &TMainForm::CancelButtonClick);
  connect(ui->ShutdownReasonHelpButton, &QPushButton::clicked, this,
          &TMainForm::ShutdownReasonHelpButtonClick);
  connect(ui->ExitButton, &QPushButton::clicked, this, &TMainForm::ExitButtonClick);
  connect(ui->Image1, &TImage::clicked, this, &TMainForm::Image1Click);
  connect(ui->Label5, &TLinkLabel::clicked, this, &TMainForm::Label5Click);
  connect(ProgressTimer, &QTimer::timeout, this, &TMainForm::ProgressTimerTimer);
  ui->YesRadioButton->installEventFilter(this);
  ui->NoRadioButton->installEventFilter(this);

  // Centred on the screen; once more by its outer size (title bar and
  // borders included) when it first shows and the frame is known.
  CentreOnScreen(*this);
  installEventFilter(this);
  ui->ComputerNameEdit->setFocus();

  FormCreate();
}

TMainForm::~TMainForm() {
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::FormCreate() {
  UpdateCredentialFields();
  LeaveBusyState();
  UpdateActionControls();
  FillReasonList();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == this) {
    if (event->type() == QEvent::Show) {
      removeEventFilter(this);
      CentreOnScreen(*this);
    }
    return false;
  }
  if (watched == ui->YesRadioButton || watched == ui->NoRadioButton) {
    if (event->type() == QEvent::MouseButtonRelease) {
      // The button takes the click first, as the system's button does
      // before the mouse-up is reported, so the handler sees the new choice.
      watched->event(event);
      YesRadioButtonMouseUp();
      return true;
    }
    if (event->type() == QEvent::KeyPress && TypesCharacter(*static_cast<QKeyEvent*>(event))) {
      YesRadioButtonKeyPress();
    }
    if (event->type() == QEvent::FocusIn) {
      // Qt keeps one tab stop per group of radio buttons, the focused one;
      // here each button is a tab stop of its own.
      watched->event(event);
      for (QWidget* radio : {ui->YesRadioButton, ui->NoRadioButton})
        radio->setFocusPolicy(Qt::FocusPolicy(radio->focusPolicy() | Qt::TabFocus));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
  // A focused push button is pressed by Return, as everywhere on the system;
  // there is no default button, so Return elsewhere does nothing.
  if (!PressFocusedButton(*this, event)) QWidget::keyPressEvent(event);
}

void TMainForm::ParkFocusIfOn(std::initializer_list<QWidget*> controls) {
  QWidget* focus = focusWidget();
  for (QWidget* control : controls) {
    if (focus && focus == control) {
      ParkedFocus_ = control;
      control->clearFocus();
      return;
    }
  }
}

void TMainForm::RestoreParkedFocus() {
  QWidget* parked = ParkedFocus_;
  ParkedFocus_ = nullptr;
  // Unless the user has put the focus somewhere else meanwhile.
  if (!parked || focusWidget()) return;
  QWidget* target =
      parked->isEnabled() && parked->isVisibleTo(this) ? parked : ui->ComputerNameEdit;
  target->setFocus(Qt::OtherFocusReason);
}

void TMainForm::ComputerNameEditChange() {
  UpdateActionControls();
}

void TMainForm::YesRadioButtonMouseUp() {
  UpdateCredentialFields();
}

void TMainForm::YesRadioButtonKeyPress() {
  UpdateCredentialFields();
}

void TMainForm::ExitButtonClick() {
  QCoreApplication::quit();
}

void TMainForm::UpdateCredentialFields() {
  SetCredentialFieldsEnabled(ui->YesRadioButton->isChecked());
}

void TMainForm::SetCredentialFieldsEnabled(bool enabled) {
  const std::pair<QLabel*, QLineEdit*> pairs[] = {{ui->UserNameLabel, ui->UserNameEdit},
                                                  {ui->PasswordLabel, ui->PasswordEdit},
                                                  {ui->DomainLabel, ui->DomainEdit}};
  for (const auto& [label, edit] : pairs) {
    label->setEnabled(enabled);
    edit->setEnabled(enabled);
    SetRole(edit, QPalette::Base, SysColor(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
  }
}

void TMainForm::UpdateActionControls() {
  const bool named = !Trim(ToAnsi(ui->ComputerNameEdit->text())).empty();
  for (QWidget* control : std::initializer_list<QWidget*>{
           ui->RestartButton, ui->ShutdownButton, ui->LogoffButton, ui->ShutdownReasonLabel,
           ui->ShutdownReasonComboBox, ui->ShutdownReasonHelpButton}) {
    control->setEnabled(named);
  }
}

void TMainForm::EnterBusyState() {
  ParkFocusIfOn({ui->RestartButton, ui->ShutdownButton, ui->LogoffButton,
                 ui->ShutdownReasonComboBox, ui->ShutdownReasonHelpButton});
  ui->RestartButton->setEnabled(false);
  ui->ShutdownButton->setEnabled(false);
  ui->LogoffButton->setEnabled(false);
  ui->CancelButton->setEnabled(true);
  ProgressTimer->start();
  ui->StatusProgressBar->show();
  ui->ShutdownReasonLabel->hide();
  ui->ShutdownReasonComboBox->hide();
  ui->ShutdownReasonHelpButton->hide();
}

void TMainForm::LeaveBusyState() {
  ui->RestartButton->setEnabled(true);
  ui->ShutdownButton->setEnabled(true);
  ui->LogoffButton->setEnabled(true);
  ParkFocusIfOn({ui->CancelButton});
  ui->CancelButton->setEnabled(false);
  ProgressTimer->stop();
  ui->StatusProgressBar->SetPosition(0);
  ui->StatusProgressBar->hide();
  ui->ShutdownReasonLabel->show();
  ui->ShutdownReasonComboBox->show();
  ui->ShutdownReasonHelpButton->show();
  RestoreParkedFocus();
}

void TMainForm::ShowStatusSuccess(const std::string& Text) {
  SetTextColour(ui->StatusLabel, kStatusBlue);
  ui->StatusLabel->setText(FromAnsi(Text));
}

void TMainForm::ShowStatusError(const std::string& Text) {
  SetTextColour(ui->StatusLabel, kStatusRed);
  ui->StatusLabel->setText(FromAnsi("Error: (" + Trim(Text) + ")"));
}

} // namespace skarvet
