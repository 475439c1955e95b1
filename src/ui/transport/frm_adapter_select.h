#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "app/app_context.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vexa::ui {

// Choosing an SPI adapter: "FTDI Adapter Selection" (objectName frmFtdiSelect) or "spidev
// Adapter Selection" (frmSpidevSelect). Lists the boards or device nodes found, with the SPI
// clock and mode (and, for FTDI, the chip's interface, the chip-select pin and the pause);
// Test keeps the settings shown, opens the adapter with them and reads PROD_ID; OK keeps the
// settings and opens the adapter for use; Cancel leaves the interface in use as it was.
// Hidden between openings.
// Controls (objectName): lstAdapters, cmdSearch, cmboInterface (FTDI), txtClock, cmboMode,
// cmboCsPin (FTDI), txtPause, cmdTest, lblTestResult, cmdOK, cmdCancel.
class frmAdapterSelect : public QDialog {
  Q_OBJECT

 public:
  frmAdapterSelect(AppContext& ctx, int16_t interface, QWidget* parent = nullptr);

  int16_t adapterInterface() const { return interface_; }
  // OK was pressed at the last showing.
  bool chosen() const { return chosen_; }
  // Test opened a link with the settings shown at the last showing.
  bool tested() const { return tested_; }
  void cmdSearch_Click();
  void cmdTest_Click();
  void cmdOK_Click();
  void cmdCancel_Click() { hide(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool ftdi() const;
  void loadSettings();
  // The shown settings into the program's settings; false (after a message) if one is invalid.
  bool applySettings();

  AppContext& ctx_;
  int16_t interface_;
  std::vector<std::string> keys_;  // per list row: FTDI bus-port, or the spidev node
  std::vector<std::string> serials_;
  QListWidget* lstAdapters_;
  QPushButton* cmdSearch_;
  QComboBox* cmboInterface_ = nullptr;
  QLineEdit* txtClock_;
  QComboBox* cmboMode_;
  QComboBox* cmboCsPin_ = nullptr;
  QLineEdit* txtPause_;
  QPushButton* cmdTest_;
  QLabel* lblTestResult_;
  QPushButton* cmdOK_;
  QPushButton* cmdCancel_;
  bool chosen_ = false;
  bool tested_ = false;
  ProgramSettings kept_;  // the program's settings when the window opened
};

}  // namespace vexa::ui
