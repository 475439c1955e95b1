#pragma once

#include <array>

#include <QDialog>

#include "analysis/mag_calibration.h"
#include "analysis/mag_sample_set.h"
#include "app/app_context.h"

class QLabel;
class QPushButton;

namespace vexa::ui {

class CoverageView;
class MagCloudView;
class UnitField;

// "Magnetometer Calibration": collects magnetometer readings while the engineer turns the
// module, shows the cloud, its coverage and the fit, and writes, verifies, stores or takes
// back the hard- and soft-iron corrections.
//
// Controls (objectName): cmdCollect ("Start" / "Stop"), cmdClear, cmdApply, cmdFlash
// ("Save to flash"), cmdRevert, cmdClose; picCloud, picCoverage; lblSamples, lblCoverage,
// lblResidual, lblField, lblWobble, lblCrossAxis, lblQuality; the register table lblOpened_1..6,
// lblNow_1..6, lblFit_1..6 (XMAGN_HIF, YMAGN_HIF, ZMAGN_HIF, XMAGN_SIF, YMAGN_SIF, ZMAGN_SIF);
// lblSpreadBefore, lblSpreadAfter, lblVerification; lblStatus; txtUnit, lblResultsStore (the
// results store); lblHelp.
class frmMagCal : public QDialog {
  Q_OBJECT

 public:
  static constexpr double kVerifySeconds = 10.0;
  // How often the fit and the pictures follow the cloud while collecting.
  static constexpr double kRefreshSeconds = 0.25;

  explicit frmMagCal(AppContext& ctx, QWidget* parent = nullptr);
  ~frmMagCal() override;

  // Reads the corrections in the sensor (kept for Revert).
  void Form_Load();

  void cmdCollect_Click();
  void cmdClear_Click();
  void cmdApply_Click();
  void cmdFlash_Click();
  void cmdRevert_Click();

  bool collecting() const { return collecting_; }
  const analysis::MagCalResult& result() const { return result_; }
  const analysis::MagSampleSet& samples() const { return set_; }
  const analysis::MagCorrections& opened() const { return opened_; }
  const analysis::MagCorrections& inSensor() const { return current_; }

 public slots:
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* buildFigures();
  QWidget* buildRegisters();
  QWidget* buildVerification();
  void collect(analysis::MagSampleSet& set, double seconds);
  void refresh();
  void showCorrections(const std::array<QLabel*, 6>& row, const analysis::MagCorrections& c,
                       bool known);
  void setButtons();
  void status(const QString& text);
  void clearVerification();

  AppContext& ctx_;
  analysis::SphereBins bins_;
  analysis::MagSampleSet set_;
  analysis::MagCalResult result_;
  analysis::MagCorrections opened_;
  analysis::MagCorrections current_;
  // The corrections the sensor applied while the cloud was read: the fit takes them out.
  analysis::MagCorrections cloudCorrections_;
  // The cloud the last Apply came from, and its corrections: Revert brings it back, so the
  // same fit can be applied again without collecting again.
  analysis::MagSampleSet appliedCloud_;
  analysis::MagCorrections appliedCloudCorrections_;
  // The cloud is the short check pass after Apply, not one collected for a fit.
  bool showingCheck_ = false;
  bool collecting_ = false;
  bool stop_ = false;
  bool closeWhenStopped_ = false;

  MagCloudView* picCloud_ = nullptr;
  CoverageView* picCoverage_ = nullptr;
  QPushButton* cmdCollect_ = nullptr;
  QPushButton* cmdClear_ = nullptr;
  QPushButton* cmdApply_ = nullptr;
  QPushButton* cmdFlash_ = nullptr;
  QPushButton* cmdRevert_ = nullptr;
  QPushButton* cmdClose_ = nullptr;
  QLabel* lblSamples_ = nullptr;
  QLabel* lblCoverage_ = nullptr;
  QLabel* lblResidual_ = nullptr;
  QLabel* lblField_ = nullptr;
  QLabel* lblWobble_ = nullptr;
  QLabel* lblCrossAxis_ = nullptr;
  QLabel* lblQuality_ = nullptr;
  std::array<QLabel*, 6> lblOpened_{};
  std::array<QLabel*, 6> lblNow_{};
  std::array<QLabel*, 6> lblFit_{};
  QLabel* lblSpreadBefore_ = nullptr;
  QLabel* lblSpreadAfter_ = nullptr;
  QLabel* lblVerification_ = nullptr;
  QLabel* lblStatus_ = nullptr;
  UnitField* unitField_ = nullptr;  // the unit its writes are recorded under (txtUnit)
  QLabel* lblHelp_ = nullptr;
};

}  // namespace vexa::ui
