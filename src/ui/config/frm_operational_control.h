#pragma once

#include <array>
#include <functional>

#include <QDialog>

#include "app/app_context.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vexa::ui {

// "Operational Control": sample rate (SMPL_PRD), gyro range and filter taps (SENS_AVG), the four
// auxiliary digital lines (GPIO_CTRL), the data-ready output (MSC_CTRL) and the auxiliary DAC
// (AUX_DAC), each in physical units beside the register's contents. A register is written only
// on a user's click; every write is followed by a reread that redraws the controls. Unloaded
// when closed.
//
// Controls (objectName): txtSampleRate, cmdWriteSmpl_prd, lblSmpl_Prd; opt_Rate_1..3, txtTaps,
// cmdWriteSensAvg, lblSensAvg; op_io_<line>_input/_output and op_dat_<line>_high/_low for the
// lines zero..three, lblGPIO; optDRselect_One/_Zero, optDRPolarity_High/_Low,
// optDREnable_On/_Off, lblMSC; txtVolts, cmdWriteAuxDac, lblAuxDac; cmdFlash, cmdClose.
class frmOperationalControl : public QDialog {
  Q_OBJECT

 public:
  explicit frmOperationalControl(AppContext& ctx, QWidget* parent = nullptr);

  // Runs the load steps: the main window's position, then every section read from the sensor.
  void Form_Load();

  void cmdWriteSmpl_prd_Click();
  void cmdWriteSensAvg_Click();
  void WriteGPIO();
  void ReadGPIO();
  void Write_MSC_Ctrl();
  void ReadMSC();
  void cmdWriteAuxDac_Click();
  void cmdFlash_Click();
  void cmdClose_Click();
  // Natural logarithm of x over that of 2.
  double log2(double x) const;

  // The main window's SETGYROSCALES, run after each write of SENS_AVG.
  std::function<void()> setGyroScales;

 private:
  QWidget* buildSampleRate();
  QWidget* buildRangeAndFilter();
  QWidget* buildDigitalIo();
  QWidget* buildDataReady();
  QWidget* buildDac();
  void showSampleRate();
  void showSensAvg();
  void showDac();

  AppContext& ctx_;

  QLineEdit* txtSampleRate_ = nullptr;
  QPushButton* cmdWriteSmpl_prd_ = nullptr;
  QLabel* lblSmpl_Prd_ = nullptr;
  std::array<QRadioButton*, 3> opt_Rate_{};
  QLineEdit* txtTaps_ = nullptr;
  QPushButton* cmdWriteSensAvg_ = nullptr;
  QLabel* lblSensAvg_ = nullptr;

  std::array<QRadioButton*, 4> op_io_input_{};
  std::array<QRadioButton*, 4> op_io_output_{};
  std::array<QRadioButton*, 4> op_dat_high_{};
  std::array<QRadioButton*, 4> op_dat_low_{};
  QLabel* lblGPIO_ = nullptr;

  QRadioButton* optDRselect_One_ = nullptr;
  QRadioButton* optDRselect_Zero_ = nullptr;
  QRadioButton* optDRPolarity_High_ = nullptr;
  QRadioButton* optDRPolarity_Low_ = nullptr;
  QRadioButton* optDREnable_On_ = nullptr;
  QRadioButton* optDREnable_Off_ = nullptr;
  QLabel* lblMSC_ = nullptr;

  QLineEdit* txtVolts_ = nullptr;
  QPushButton* cmdWriteAuxDac_ = nullptr;
  QLabel* lblAuxDac_ = nullptr;

  QPushButton* cmdFlash_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
};

}  // namespace vexa::ui
