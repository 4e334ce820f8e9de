// The small modal dialog that explains what the shutdown reason is for.
// Created hidden at start-up and shown again by every press of the main
// window's "?" button; it holds no data and returns nothing that is used.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TShutdownReasonHelpForm;
}

class QFrame;
class QLabel;
class QPushButton;

namespace skarvet {

class TShutdownReasonHelpForm : public QDialog {
  Q_OBJECT

public:
  explicit TShutdownReasonHelpForm(QWidget* parent = nullptr);
  ~TShutdownReasonHelpForm() override;

  QFrame* Panel1() const;
  QLabel* Label1() const;
  QPushButton* ExitButton() const;

  // OK: closes the dialog with the OK result (1).
  void ExitButtonClick();

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  // The system colours the dialog is drawn with, read afresh for each showing.
  void ApplySystemColors();

  std::unique_ptr<Ui::TShutdownReasonHelpForm> ui;
};

} // namespace skarvet
