// TComputerBrowserForm: the small modal dialog in which the user picks
// computers from the network tree instead of typing their names. Created
// hidden at start-up and shown modally on demand; every showing lists the
// network anew. OK leaves the chosen names, joined by ",", in ComputerNames.
#pragma once

#include <QDialog>
#include <QList>
#include <QPixmap>

#include <memory>
#include <string>

namespace Ui {
class TComputerBrowserForm;
}

class QLabel;
class QPushButton;
class QTimer;

namespace skarvet {

class TNetworkBrowser;
class TProgressBarXP;

class TComputerBrowserForm : public QDialog {
  Q_OBJECT

public:
  // Modal results the dialog closes with.
  static constexpr int mrOk = 1;
  static constexpr int mrCancel = 2;

  explicit TComputerBrowserForm(QWidget* parent = nullptr);
  ~TComputerBrowserForm() override;

  // The result: the names of the selected computers joined by "," (ANSI),
  // or empty. Written by OK only; Cancel leaves it as it was.
  std::string ComputerNames;

  TNetworkBrowser* NetworkBrowser() const;
  QLabel* Image1() const;
  QLabel* Label1() const;
  QLabel* BusyLabel() const;
  TProgressBarXP* ProgressBarXP() const;
  QPushButton* ConnectButton() const;
  QPushButton* cxButton2() const;
  QTimer* Timer() const { return Timer_; }
  // Computer, domain, checked box, empty box; the tree's images and state
  // images both.
  const QList<QPixmap>& ImageList1() const { return ImageList1_; }

  // --- event handlers ---------------------------------------------------
  void FormShow();
  void NetworkBrowserBegin(QObject* Sender);
  void NetworkBrowserEnd(QObject* Sender);
  void ConnectButtonClick();
  void cxButton2Click();
  void TimerTimer();

  // The close box gives mrCancel, like Cancel.
  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  std::unique_ptr<Ui::TComputerBrowserForm> ui;
  QTimer* Timer_ = nullptr;
  QList<QPixmap> ImageList1_;
};

} // namespace skarvet
