#pragma once

#include <memory>

#include <QDialog>

#include "app/app_context.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vexa::ui {

class PrintService;

// "Register Information": the dump of every register, and reading and writing one register
// chosen by name, in hexadecimal. Created and loaded at its first opening; closing only hides
// it, so the dump, the chosen register and the typed text are still there at the next opening.
// Controls (objectName): frameUserReg with Text1, cmdReadUserReg, cmdPrint; frameRegister with
// cmboRegister, txtRegAddr, txtRegByte, txtRegRead, txtRegWrite, cmdRead, txtHex, txtRegVal,
// txtDataWrite, cmdWrite, cmdUpdateFlash; cmdClose.
class frmManualReg : public QDialog {
  Q_OBJECT

 public:
  frmManualReg(AppContext& ctx, PrintService& printer, QWidget* parent = nullptr);
  // The window keeps the printing service for its own lifetime.
  frmManualReg(AppContext& ctx, std::unique_ptr<PrintService> printer, QWidget* parent = nullptr);
  ~frmManualReg() override;

  // First opening only: placed at the main window's top-left corner, the register list filled
  // (nothing chosen), the dump built.
  void Form_Load(const QPoint& mainTopLeft);

  void cmdReadUserReg_Click();
  void cmboRegister_Click();
  void cmdRead_Click();
  void cmdWrite_Click();
  void cmdUpdateFlash_Click();
  void cmdPrint_Click();
  void cmdClose_Click() { hide(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  AppContext& ctx_;
  std::unique_ptr<PrintService> ownPrinter_;
  PrintService& printer_;
  QPlainTextEdit* Text1_;
  QPushButton* cmdReadUserReg_;
  QPushButton* cmdPrint_;
  QComboBox* cmboRegister_;
  QLineEdit* txtRegAddr_;
  QLineEdit* txtRegByte_;
  QLineEdit* txtRegRead_;
  QLineEdit* txtRegWrite_;
  QPushButton* cmdRead_;
  QLineEdit* txtHex_;
  QLineEdit* txtRegVal_;
  QLineEdit* txtDataWrite_;
  QPushButton* cmdWrite_;
  QPushButton* cmdUpdateFlash_;
  QPushButton* cmdClose_;
};

}  // namespace vexa::ui
