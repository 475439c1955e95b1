#pragma once

#include <array>
#include <functional>

#include <QDialog>

#include "app/app_context.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vexa::ui {

// "USB SPI Card Selection": lists the attached cards and chooses the one register traffic goes
// to. Every showing searches afresh. Hidden, never unloaded, between openings.
// Controls (objectName): frameBufferSetup, optUsbPort_0 .. optUsbPort_4 (4 is "None"),
// txtDescript0_0 .. _3, txtDriverRev_0 .. _3, txtSpeed_0 .. _3, cmdFindEzUsb, cmdDebugUsb,
// cmdExit.
class frmUSBselect : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kSlots = 4;
  static constexpr int kNone = 4;

  explicit frmUSBselect(AppContext& ctx, QWidget* parent = nullptr);

  void cmdFindEzUsb_Click();
  void optUsbPort_Click(int index);
  void cmdExit_Click() { hide(); }

  // Opens the debug window; nothing until one is attached.
  std::function<void()> onDebug;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  AppContext& ctx_;
  std::array<QRadioButton*, kSlots + 1> optUsbPort_{};
  std::array<QLineEdit*, kSlots> txtDescript0_{};
  std::array<QLineEdit*, kSlots> txtDriverRev_{};
  std::array<QLineEdit*, kSlots> txtSpeed_{};
  QPushButton* cmdFindEzUsb_;
  QPushButton* cmdDebugUsb_;
  QPushButton* cmdExit_;
  bool searching_ = false;
};

}  // namespace vexa::ui
