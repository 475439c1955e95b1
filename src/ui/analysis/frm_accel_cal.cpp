#include "ui/analysis/frm_accel_cal.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "registers/offset_codes.h"
#include "ui/analysis/frm_accel_cal_coverage.h"
#include "ui/services/screen_fit.h"

namespace vexa::ui {

namespace {

constexpr const char* kStart = "Start";
constexpr const char* kStop = "Stop";
constexpr const char* kOffsetNames[3] = {"XACCL_OFF", "YACCL_OFF", "ZACCL_OFF"};

constexpr const char* kHelp =
    "Press Start and lay the module still on each face and each edge in turn, holding it 3 s "
    "each; the light shows when it is still, the tiles which faces and edges are done. At 12 "
    "orientations (at least 9, every axis once up and once down) the fit follows: reading = T "
    "\u00d7 true + bias, T = diag(1 + scale) plus the y axis leaning toward x and the z axis "
    "toward x and y. Apply writes the bias into XACCL_OFF .. ZACCL_OFF (3.33 mg steps), reads "
    "them back and checks six new orientations; Save to flash keeps them; Revert writes back "
    "what the sensor held when this window opened.";

QString number(double v, int decimals) {
  return QLocale().toString(v, 'f', decimals);
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  return b;
}

QLabel* label(QWidget* parent, const char* name) {
  auto* l = new QLabel(parent);
  l->setObjectName(name);
  return l;
}

}  // namespace

frmAccelCal::frmAccelCal(AppContext& ctx, QWidget* parent)
    : QDialog(parent),
      read(analysis::RegisterImuReader(ctx)),
      readOffsets(analysis::RegisterOffsetReader(ctx)),
      writeOffsets(analysis::RegisterOffsetWriter(ctx)),
      ctx_(ctx) {
  setObjectName("frmAccelCal");
  setWindowTitle("Accelerometer Calibration");
  auto* layout = new QVBoxLayout(this);

  auto* top = new QHBoxLayout;
  auto* facesBox = new QGroupBox("Faces and edges covered", this);
  auto* facesLayout = new QVBoxLayout(facesBox);
  picFaces_ = new AccelCoverageView(facesBox);
  picFaces_->setObjectName("picFaces");
  facesLayout->addWidget(picFaces_);
  top->addWidget(facesBox, 3);

  auto* stateBox = new QGroupBox("Poses", this);
  auto* grid = new QGridLayout(stateBox);
  lblStill_ = label(stateBox, "lblStill");
  lblStill_->setAlignment(Qt::AlignCenter);
  lblStill_->setMinimumHeight(28);
  lblPoses_ = label(stateBox, "lblPoses");
  lblResidual_ = label(stateBox, "lblResidual");
  grid->addWidget(new QLabel("Module", stateBox), 0, 0);
  grid->addWidget(lblStill_, 0, 1);
  grid->addWidget(new QLabel("Still poses", stateBox), 1, 0);
  grid->addWidget(lblPoses_, 1, 1);
  grid->addWidget(new QLabel("Residual (RMS)", stateBox), 2, 0);
  grid->addWidget(lblResidual_, 2, 1);
  top->addWidget(stateBox, 2);
  layout->addLayout(top);

  tblFit_ = new QTableWidget(5, 6, this);
  tblFit_->setObjectName("tblFit");
  tblFit_->setHorizontalHeaderLabels({"X", "\u03c3 X", "Y", "\u03c3 Y", "Z", "\u03c3 Z"});
  tblFit_->setVerticalHeaderLabels({"Bias (mg)", "Scale (ppm)", "Misalignment (deg: yx, zx, zy)",
                                    "Gyro bias (deg/s)", "Offset registers"});
  tblFit_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  tblFit_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  layout->addWidget(tblFit_, 1);

  lblProblem_ = label(this, "lblProblem");
  lblOffsets_ = label(this, "lblOffsets");
  lblVerification_ = label(this, "lblVerification");
  lblStatus_ = label(this, "lblStatus");
  for (QLabel* l : {lblProblem_, lblOffsets_, lblVerification_, lblStatus_}) {
    l->setWordWrap(true);
    layout->addWidget(l);
  }

  auto* buttons = new QHBoxLayout;
  cmdCollect_ = button(this, "cmdCollect", kStart);
  cmdApply_ = button(this, "cmdApply", "Apply");
  cmdRevert_ = button(this, "cmdRevert", "Revert");
  cmdFlash_ = button(this, "cmdFlash", "Save to flash");
  cmdClose_ = button(this, "cmdClose", "Close");
  for (QPushButton* b : {cmdCollect_, cmdApply_, cmdRevert_, cmdFlash_}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(cmdClose_);
  layout->addLayout(buttons);
  auto* help = new QLabel(kHelp, this);
  help->setObjectName("lblHelp");
  help->setWordWrap(true);
  layout->addWidget(help);

  connect(cmdCollect_, &QPushButton::clicked, this, [this] { cmdCollect_Click(); });
  connect(cmdApply_, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
  connect(cmdRevert_, &QPushButton::clicked, this, [this] { cmdRevert_Click(); });
  connect(cmdFlash_, &QPushButton::clicked, this, [this] { cmdFlash_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { close(); });
  showFit();
  setButtons();
  FitToScreen(*this, QSize(900, 640));
}

void frmAccelCal::Form_Load() {
  std::string error;
  offsetsKnown_ = readOffsets(opened_, error);
  current_ = opened_;
  if (!offsetsKnown_) status(QString::fromStdString("Cannot read the offsets: " + error));
  showOffsets();
  setButtons();
}

void frmAccelCal::status(const QString& text) {
  lblStatus_->setText(text);
}

bool frmAccelCal::collect(size_t goal, std::vector<analysis::StillPose>& into) {
  collecting_ = true;
  stop_ = false;
  setButtons();
  double nextRefresh = 0.0;
  const analysis::PoseCollection c = analysis::CollectStillPoses(
      ctx_, read, goal, kSecondsPerPose, kCollectLimitSeconds,
      [&](const analysis::CollectStatus& s) {
        if (s.newPose) {
          picFaces_->setCoverage(s.coverage);
          lblPoses_->setText(
              QString("%1 (%2 of %3 orientations)").arg(s.poses).arg(s.distinct).arg(goal));
        }
        if (s.elapsedSeconds >= nextRefresh) {
          nextRefresh = s.elapsedSeconds + kRefreshSeconds;
          lblStill_->setText(s.still ? "still" : "moving");
          lblStill_->setStyleSheet(s.still ? "background: #3caa50; color: white;"
                                           : "background: #d08a20; color: white;");
        }
        return !stop_;
      });
  collecting_ = false;
  setButtons();
  if (!c.ok) {
    status(QString::fromStdString("Reading failed: " + c.error + "; nothing from it is used."));
    return false;
  }
  into = c.poses;
  picFaces_->setCoverage(analysis::CoverageOfPoses(into));
  return true;
}

void frmAccelCal::cmdCollect_Click() {
  if (collecting_) {
    stop_ = true;
    return;
  }
  poses_.clear();
  fit_ = analysis::AccelFit{};
  applied_ = false;
  lblVerification_->clear();
  showFit();
  status("Lay the module still on a face or an edge, hold it, then turn it to the next.");
  if (!collect(kGoalPoses, poses_)) return;
  fit_ = analysis::FitAccelPoses(poses_, 1.0);
  showFit();
  status(fit_.ok && fit_.trusted ? "Fit ready: Apply writes the offsets." : "Fit not trusted.");
  setButtons();
}

void frmAccelCal::cmdApply_Click() {
  if (!fit_.ok || !fit_.trusted || !offsetsKnown_) return;
  const RegisterTable& t = ctx_.registers;
  const CodeLimits limits = RegisterCodeLimits(t, XACCL_OFF);
  const analysis::OffsetPlan plan = analysis::PlanAccelOffsets(
      fit_.model, current_, t.RegScale[XACCL_OFF], limits.min, limits.max);
  std::string error;
  analysis::AccelOffsetCodes back{};
  if (!writeOffsets(plan.codes, error) || !readOffsets(back, error)) {
    offsetsKnown_ = false;
    status(QString::fromStdString("Writing the offsets failed: " + error));
    setButtons();
    return;
  }
  current_ = back;
  applied_ = true;
  showOffsets();
  if (back != plan.codes) {
    status("The offset registers read back differently from what was written.");
    return;
  }
  lblOffsets_->setText(lblOffsets_->text() + QString("   Left over: %1, %2, %3 mg")
                                                 .arg(number(plan.leftoverG[0] * 1000, 3),
                                                      number(plan.leftoverG[1] * 1000, 3),
                                                      number(plan.leftoverG[2] * 1000, 3)));
  status("Written and read back. Now lay the module in six more orientations to check.");
  std::vector<analysis::StillPose> check;
  if (!collect(kVerifyPoses, check)) return;
  const double before = analysis::RmsResidualMg(check, analysis::AccelErrorModel{}, 1.0);
  const double after =
      analysis::RmsResidualMg(check, analysis::HostModelAfter(fit_.model, plan), 1.0);
  lblVerification_->setText(QString("Check of %1 poses: residual %2 mg RMS as read, %3 mg RMS "
                                    "corrected (scale and misalignment by the host)")
                                .arg(check.size())
                                .arg(number(before, 3), number(after, 3)));
  status(after < before || after < 1.0 ? "Verified." : "The check did not confirm the fit.");
  setButtons();
}

void frmAccelCal::cmdRevert_Click() {
  std::string error;
  analysis::AccelOffsetCodes back{};
  if (!writeOffsets(opened_, error) || !readOffsets(back, error)) {
    offsetsKnown_ = false;
    status(QString::fromStdString("Reverting failed: " + error));
    setButtons();
    return;
  }
  current_ = back;
  applied_ = false;
  showOffsets();
  status(back == opened_ ? "The offsets are back as they were when the window opened."
                         : "The offsets read back differently from what was written.");
  setButtons();
}

void frmAccelCal::cmdFlash_Click() {
  std::string error;
  status(analysis::FlashAccelOffsets(ctx_, error)
             ? "Flash update sent: the sensor keeps the offsets."
             : QString::fromStdString("Flash update failed: " + error));
}

void frmAccelCal::showFit() {
  tblFit_->clearContents();
  lblResidual_->setText(fit_.ok ? number(fit_.rmsResidualMg, 3) + " mg" : "-");
  lblProblem_->setText(QString::fromStdString(fit_.problem));
  if (lblPoses_->text().isEmpty() || poses_.empty()) lblPoses_->setText("0");
  if (lblStill_->text().isEmpty()) lblStill_->setText("-");
  if (!fit_.ok) return;
  const struct {
    const analysis::Vec3& value;
    const analysis::Vec3& sigma;
    double factor;
    int decimals;
  } rows[] = {{fit_.model.biasG, fit_.sigma.biasG, 1000, 3},
              {fit_.model.scale, fit_.sigma.scale, 1e6, 1},
              {fit_.model.misalignmentDeg, fit_.sigma.misalignmentDeg, 1, 4},
              {fit_.gyroBiasDegPerSec, fit_.gyroBiasSigma, 1, 4}};
  for (int r = 0; r < 4; ++r)
    for (int a = 0; a < 3; ++a) {
      tblFit_->setItem(
          r, 2 * a,
          new QTableWidgetItem(number(rows[r].value[a] * rows[r].factor, rows[r].decimals)));
      tblFit_->setItem(
          r, 2 * a + 1,
          new QTableWidgetItem(number(rows[r].sigma[a] * rows[r].factor, rows[r].decimals)));
    }
  showOffsets();
}

void frmAccelCal::showOffsets() {
  if (!offsetsKnown_) {
    lblOffsets_->setText("Offsets: unknown");
    return;
  }
  QString text = "Offsets now:";
  for (int a = 0; a < 3; ++a) {
    text += QString(" %1 = %2").arg(kOffsetNames[a]).arg(current_[a]);
    tblFit_->setItem(4, 2 * a, new QTableWidgetItem(QString::number(current_[a])));
  }
  lblOffsets_->setText(text);
}

void frmAccelCal::setButtons() {
  cmdCollect_->setText(collecting_ ? kStop : kStart);
  cmdApply_->setEnabled(!collecting_ && fit_.ok && fit_.trusted && offsetsKnown_ && !applied_);
  cmdRevert_->setEnabled(!collecting_ && offsetsKnown_ && current_ != opened_);
  cmdFlash_->setEnabled(!collecting_ && offsetsKnown_ && applied_);
  cmdClose_->setEnabled(!collecting_);
}

void frmAccelCal::reject() {
  if (collecting_) {
    stop_ = true;
    return;
  }
  QDialog::reject();
}

void frmAccelCal::closeEvent(QCloseEvent* event) {
  if (collecting_) {
    stop_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace vexa::ui
