#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QDialog>

#include "app/app_context.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vexa::ui {

// "Calibration": the sensor's calibration commands (auto null, precision auto null, restore of
// the factory calibration, flash update) and the twelve offset and correction registers, edited
// in physical units beside their raw contents. Unloaded when closed.
//
// Controls (objectName): cmdAutoNull, cmdPreciAutoNull, cmdFactoryCal, cmdFlash, cmdClose,
// LbLInProgress; per row txt<axis>, cmdCal_<axis>, lbl<axis> for the axes GX GY GZ AX AY AZ
// HX HY HZ SX SY SZ; cmdMagAssistant when a magnetometer assistant is attached.
class fmCalibration : public QDialog {
  Q_OBJECT

 public:
  explicit fmCalibration(AppContext& ctx, QWidget* parent = nullptr);

  // Runs the load steps: the main window's position, then ReadCalRegisters.
  void Form_Load();
  // Reads the twelve registers and refreshes every row.
  void ReadCalRegisters();

  void cmdAutoNull_Click();
  void cmdFactoryCal_Click();
  void cmdPreciAutoNull_Click();
  void cmdCal_Click(int row);  // 0..11 in reading order
  void cmdFlash_Click();
  void cmdClose_Click();

  // Opens the magnetometer calibration assistant; the button for it shows only when set. The
  // rows are reread when it returns.
  std::function<void()> openMagnetometerAssistant;

  // A precision auto null is counting down.
  bool busy() const { return busy_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void runCommand(int32_t command, float waitMs);
  // Runs a command that changes the calibration registers and records it in the results
  // store under the unit last entered, the registers before and after as the window shows them.
  void recordedWrite(int kind, const std::function<void()>& write);
  void precisionAutoNull();
  void setBusy(bool busy);

  AppContext& ctx_;
  bool busy_ = false;

  QPushButton* cmdAutoNull_;
  QPushButton* cmdPreciAutoNull_;
  QPushButton* cmdFactoryCal_;
  QPushButton* cmdFlash_;
  QPushButton* cmdClose_;
  QPushButton* cmdMagAssistant_;
  QLabel* LbLInProgress_;
  std::array<QLineEdit*, 12> txt_{};
  std::array<QPushButton*, 12> cmdCal_{};
  std::array<QLabel*, 12> lbl_{};
  // Disabled and enabled again, in this order, around a precision auto null.
  std::vector<QWidget*> busyOrder_;
};

}  // namespace vexa::ui
