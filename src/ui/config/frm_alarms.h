#pragma once

#include <array>

#include <QDialog>

#include "app/app_context.h"
#include "registers/alarm_setup.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vexa::ui {

// "ALARM CONFIGURATION AND CONTROL": the sources, trigger levels in physical units, polarities,
// sample counts and rate-of-change switches of the sensor's two alarms, and its digital alarm
// indicator. Reads the alarm registers when shown; each update writes, then reads them again.
// Unloaded when closed: every opening starts from the sensor's contents.
// Controls (objectName): cmboAsource1, txtLevel1, lblALM_MAG1, opTrigPol1_Less,
// opTrigPol1_Greater, cmdWiteA1, txtAvg1, lblALM_SMPL1, opRate1_Disabled, opRate1_Enabled,
// cmdWriteAlmSmpl1; cmboAsource2, txtLevel2, lblALM_MAG2, opTrigPol2_Less, opTrigPol2_greater,
// cmdWriteA2, txtAVG2, lblALM_SMPL2, opRate2_Disabled, opRate2_Enabled, cmdWriteAlmSmpl2;
// opDig_Disabled, opDig_Enabled, opDigLine_zero, opDigLine_one, opDigPol_low, opDigPol_high,
// cmdAdio, cmdFlash, cmdClose.
class frmAlarms : public QDialog {
  Q_OBJECT

 public:
  explicit frmAlarms(AppContext& ctx, QWidget* parent = nullptr);

  // Placed at the main window's top-left corner.
  void Form_Load(const QPoint& mainTopLeft);

  void ReadAlarmSetup();
  void ChangeAlarmBitstoLevel();
  void ChangeAlarmLeveltoBitsWrite();
  void UpdateAlarmSetup();
  void UpdateAlarmIndicator();
  void cmdWriteAlmSmpl_Click(int alarm);
  void cmdFlash_Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The controls of one alarm; index 0 is alarm 1.
  struct AlarmControls {
    QComboBox* source = nullptr;
    QLineEdit* level = nullptr;
    QLabel* magnitudeHex = nullptr;
    QRadioButton* less = nullptr;
    QRadioButton* greater = nullptr;
    QPushButton* update = nullptr;
    QLineEdit* average = nullptr;
    QLabel* averageHex = nullptr;
    QRadioButton* rateDisabled = nullptr;
    QRadioButton* rateEnabled = nullptr;
    QPushButton* averageUpdate = nullptr;
  };

  QWidget* buildAlarmFrame(int alarm);
  QWidget* buildIndicatorFrame();
  std::array<AlarmEntry, 2> entries() const;
  void showLevels(const std::array<AlarmEntry, 2>& entries);

  AppContext& ctx_;
  std::array<AlarmControls, 2> alarm_{};
  // The magnitude words last read from ALM_MAG1 and ALM_MAG2, and ALM_SMPL1 and ALM_SMPL2.
  std::array<int32_t, 2> magnitudeWords_{};
  std::array<int32_t, 2> averageWords_{};

  QRadioButton* opDig_Disabled_ = nullptr;
  QRadioButton* opDig_Enabled_ = nullptr;
  QRadioButton* opDigLine_zero_ = nullptr;
  QRadioButton* opDigLine_one_ = nullptr;
  QRadioButton* opDigPol_low_ = nullptr;
  QRadioButton* opDigPol_high_ = nullptr;
  QPushButton* cmdAdio_ = nullptr;
  QPushButton* cmdFlash_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
};

}  // namespace vexa::ui
