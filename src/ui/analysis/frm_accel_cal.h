#pragma once

#include <vector>

#include <QDialog>

#include "analysis/accel_cal_session.h"
#include "app/app_context.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace vexa::ui {

class AccelCoverageView;

// "Accelerometer Calibration": the engineer lays the module still on its faces and edges in
// turn; the window finds the still intervals, shows which faces and edges are covered and
// whether the module is still now, fits bias, scale and misalignment, and writes, verifies,
// stores or takes back the offset registers.
//
// Controls (objectName): cmdCollect ("Start" / "Stop"), cmdApply, cmdRevert, cmdFlash
// ("Save to flash"), cmdClose; picFaces; lblStill (the stillness light), lblPoses,
// lblResidual, lblProblem; tblFit (rows bias, scale, misalignment, gyro bias; columns X, Y, Z
// with sigmas); lblOffsets, lblVerification, lblStatus.
class frmAccelCal : public QDialog {
  Q_OBJECT

 public:
  static constexpr size_t kGoalPoses = 12;
  static constexpr size_t kVerifyPoses = 6;
  static constexpr double kSecondsPerPose = 3.0;
  static constexpr double kCollectLimitSeconds = 3600.0;
  static constexpr double kRefreshSeconds = 0.25;

  explicit frmAccelCal(AppContext& ctx, QWidget* parent = nullptr);

  // Reads the offsets in the sensor (kept for Revert).
  void Form_Load();
  void cmdCollect_Click();
  void cmdApply_Click();
  void cmdRevert_Click();
  void cmdFlash_Click();

  const analysis::AccelFit& fit() const { return fit_; }
  const std::vector<analysis::StillPose>& poses() const { return poses_; }
  const analysis::AccelOffsetCodes& opened() const { return opened_; }
  const analysis::AccelOffsetCodes& inSensor() const { return current_; }
  bool collecting() const { return collecting_; }

  // The ways to the device; today's register access unless a caller puts others in.
  analysis::ImuReader read;
  analysis::OffsetReader readOffsets;
  analysis::OffsetWriter writeOffsets;

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool collect(size_t goal, std::vector<analysis::StillPose>& into);
  void showFit();
  void showOffsets();
  void setButtons();
  void status(const QString& text);

  AppContext& ctx_;
  std::vector<analysis::StillPose> poses_;
  analysis::AccelFit fit_;
  analysis::AccelOffsetCodes opened_{};
  analysis::AccelOffsetCodes current_{};
  bool offsetsKnown_ = false;
  bool applied_ = false;
  bool collecting_ = false;
  bool stop_ = false;

  AccelCoverageView* picFaces_ = nullptr;
  QLabel* lblStill_ = nullptr;
  QLabel* lblPoses_ = nullptr;
  QLabel* lblResidual_ = nullptr;
  QLabel* lblProblem_ = nullptr;
  QTableWidget* tblFit_ = nullptr;
  QLabel* lblOffsets_ = nullptr;
  QLabel* lblVerification_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  QPushButton* cmdCollect_ = nullptr;
  QPushButton* cmdApply_ = nullptr;
  QPushButton* cmdRevert_ = nullptr;
  QPushButton* cmdFlash_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
};

}  // namespace vexa::ui
