#pragma once

#include <array>

#include <QDialog>

#include "app/app_context.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vexa::ui {

// "USB SPI Card Setup": a bench tool for the USB SPI card. Chooses a card, reads and sets its
// static chip-select lines, chip-select channel, delay between words and data input polarity,
// and sends up to 16 hand-entered words once or in a loop that yields to events between
// transfers. Every showing searches afresh. Hidden, never unloaded, between openings.
// Controls (objectName): frameBufferSetup with optUsbPort_0 .. optUsbPort_4 (4 is "None"),
// txtUsbPort_0 .. _3, txtDescript0_0 .. _3, txtDescript1_0 .. _3, txtDriverRev_0 .. _3,
// txtSpeed_0 .. _3, cmdFindEzUsb; frameSPIsetup with frameSpiStatic (chkStaticBits_2 .. _5,
// cmdReadBits, cmdSetSpiBits), frameSpiChan (optSpiChan_1 .. _4), txtLoopDelay, cmdReadDelay,
// cmdPolarity; frameManual with txtNumWords, txtWriteSpi_1 .. _16, txtReadSpi_1 .. _16,
// cmdWriteSpi, cmdLoop; cmdExit.
class frmUSBdebug : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kSlots = 4;
  static constexpr int kNone = 4;
  static constexpr int kWords = 16;

  explicit frmUSBdebug(AppContext& ctx, QWidget* parent = nullptr);

  void cmdFindEzUsb_Click();
  void optUsbPort_Click(int index);
  void optSpiChan_Click(int channel);
  void cmdReadDelay_Click();
  void txtLoopDelay_Enter();
  void cmdPolarity_Click();
  void cmdReadBits_Click();
  void cmdSetSpiBits_Click();
  void cmdWriteSpi_Click();
  void cmdLoop_Click();
  void cmdExit_Click() { hide(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Checks an option as the user would, running its action.
  void selectUsbPort(int index);
  void selectNone() { selectUsbPort(kNone); }
  void setFramesEnabled(bool on);
  void warnNoCard();
  bool cardPresent() const { return ctx_.usb.SelectedCard.Present != 0; }
  // The transfer of "Write": reads the boxes into TxWords and WordCount and sends them once.
  // False when nothing was sent for want of a card or a usable word count.
  bool transferFromBoxes();
  void showReadback();

  AppContext& ctx_;
  bool selecting_ = false;

  std::array<QRadioButton*, kSlots + 1> optUsbPort_{};
  std::array<QLineEdit*, kSlots> txtUsbPort_{};
  std::array<QLineEdit*, kSlots> txtDescript0_{};
  std::array<QLineEdit*, kSlots> txtDescript1_{};
  std::array<QLineEdit*, kSlots> txtDriverRev_{};
  std::array<QLineEdit*, kSlots> txtSpeed_{};
  QPushButton* cmdFindEzUsb_ = nullptr;

  QGroupBox* frameSPIsetup_ = nullptr;
  std::array<QCheckBox*, 4> chkStaticBits_{};  // CS2 .. CS5
  QPushButton* cmdReadBits_ = nullptr;
  QPushButton* cmdSetSpiBits_ = nullptr;
  std::array<QRadioButton*, 5> optSpiChan_{};  // 1 .. 4
  QLineEdit* txtLoopDelay_ = nullptr;
  QPushButton* cmdReadDelay_ = nullptr;
  QPushButton* cmdPolarity_ = nullptr;

  QGroupBox* frameManual_ = nullptr;
  QLineEdit* txtNumWords_ = nullptr;
  std::array<QLineEdit*, kWords + 1> txtWriteSpi_{};  // 1 .. 16
  std::array<QLineEdit*, kWords + 1> txtReadSpi_{};   // 1 .. 16
  QPushButton* cmdWriteSpi_ = nullptr;
  QPushButton* cmdLoop_ = nullptr;
  QPushButton* cmdExit_ = nullptr;
};

}  // namespace vexa::ui
