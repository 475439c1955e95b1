#include "ui/analysis/frm_mag_cal.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "analysis/mag_cal_session.h"
#include "app/hex_text.h"
#include "results/recording.h"
#include "ui/analysis/mag_cloud_view.h"
#include "ui/results/unit_field.h"
#include "ui/services/screen_fit.h"

namespace vexa::ui {

namespace {

constexpr const char* kStart = "Start";
constexpr const char* kStop = "Stop";
constexpr const char* kRegisterNames[6] = {"XMAGN_HIF", "YMAGN_HIF", "ZMAGN_HIF",
                                           "XMAGN_SIF", "YMAGN_SIF", "ZMAGN_SIF"};

constexpr const char* kHelp =
    "Press Start and turn the module slowly through every orientation (each face up and down, "
    "and round about each axis) until the coverage is well past 60 %, then Stop. Apply writes "
    "the six registers, reads them back and checks them in a 10-second pass while you keep "
    "turning; Save to flash keeps them over a power cycle; Revert writes back the values the "
    "sensor held when this window opened, and brings back the cloud the fit came from, so it "
    "can be applied again.\n"
    "Sensor model, per axis: reading = (field + hard iron) \u00d7 soft iron / 2048, in counts "
    "of 0.5 mG. Hard iron is XMAGN_HIF .. ZMAGN_HIF (0.5 mG a count, -8192 .. 8191); soft iron "
    "is XMAGN_SIF .. ZMAGN_SIF (2048 = unity, 1 .. 4095). The fit is an axis-aligned ellipsoid; "
    "hard iron = minus its centre, soft iron makes its three radii equal to their mean. The "
    "corrections already in the sensor are taken out of the readings first, so a second run "
    "confirms the first. Trusted with at least 60 samples, 60 % of the 152 equal-area "
    "direction bins and an RMS residual of at most 2 % of the field. The cross-axis part of a "
    "full ellipsoid fit is shown, but the registers cannot hold it.";

QString number(double v, int decimals) {
  return QLocale().toString(v, 'f', decimals);
}

QLabel* named(QLabel* label, const QString& name) {
  label->setObjectName(name);
  return label;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  return b;
}

}  // namespace

frmMagCal::frmMagCal(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("frmMagCal");
  setWindowTitle("Magnetometer Calibration");

  auto* layout = new QVBoxLayout(this);
  picCloud_ = new MagCloudView(this);
  picCloud_->setObjectName("picCloud");
  layout->addWidget(picCloud_, 1);

  auto* middle = new QHBoxLayout;
  auto* coverageBox = new QGroupBox("Coverage", this);
  auto* coverageLayout = new QVBoxLayout(coverageBox);
  picCoverage_ = new CoverageView(bins_, coverageBox);
  picCoverage_->setObjectName("picCoverage");
  coverageLayout->addWidget(picCoverage_);
  middle->addWidget(coverageBox, 2);
  middle->addWidget(buildFigures(), 2);
  middle->addWidget(buildRegisters(), 4);
  layout->addLayout(middle);
  // Whether the fit can be trusted, and why not, in plain sentences.
  lblQuality_ = named(new QLabel(this), "lblQuality");
  lblQuality_->setWordWrap(true);
  layout->addWidget(lblQuality_);
  layout->addWidget(buildVerification());

  lblStatus_ = named(new QLabel(this), "lblStatus");
  lblStatus_->setWordWrap(true);
  layout->addWidget(lblStatus_);
  unitField_ = new UnitField(ctx_, this);
  layout->addWidget(unitField_);

  auto* buttons = new QHBoxLayout;
  cmdCollect_ = button(this, "cmdCollect", kStart);
  cmdClear_ = button(this, "cmdClear", "Clear");
  cmdApply_ = button(this, "cmdApply", "Apply");
  cmdFlash_ = button(this, "cmdFlash", "Save to flash");
  cmdRevert_ = button(this, "cmdRevert", "Revert");
  cmdClose_ = button(this, "cmdClose", "Close");
  for (QPushButton* b : {cmdCollect_, cmdClear_, cmdApply_, cmdFlash_, cmdRevert_}) {
    b->setAutoDefault(false);
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  cmdClose_->setAutoDefault(false);
  buttons->addWidget(cmdClose_);
  layout->addLayout(buttons);

  // The help scrolls in a few lines of its own, so that it never pushes the window past the
  // bottom of a small screen.
  lblHelp_ = named(new QLabel(kHelp), "lblHelp");
  lblHelp_->setWordWrap(true);
  lblHelp_->setStyleSheet("color: #4a5563;");
  auto* help = new QScrollArea(this);
  help->setObjectName("scrHelp");
  help->setWidget(lblHelp_);
  help->setWidgetResizable(true);
  help->setFrameShape(QFrame::NoFrame);
  help->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  help->setFixedHeight(lblHelp_->fontMetrics().lineSpacing() * 4);
  layout->addWidget(help);

  connect(cmdCollect_, &QPushButton::clicked, this, [this] { cmdCollect_Click(); });
  connect(cmdClear_, &QPushButton::clicked, this, [this] { cmdClear_Click(); });
  connect(cmdApply_, &QPushButton::clicked, this, [this] { cmdApply_Click(); });
  connect(cmdFlash_, &QPushButton::clicked, this, [this] { cmdFlash_Click(); });
  connect(cmdRevert_, &QPushButton::clicked, this, [this] { cmdRevert_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { close(); });
  // 960 x 800 where the screen has room for it; on a smaller screen (1366 x 768 with a panel)
  // the clouds give way, so that the buttons and the help below them stay on the screen.
  FitToScreen(*this, QSize(960, 800));
}

frmMagCal::~frmMagCal() {
  analysis::SetTumbling(ctx_, false);
}

QWidget* frmMagCal::buildFigures() {
  auto* box = new QGroupBox("Fit", this);
  auto* grid = new QGridLayout(box);
  const struct {
    const char* caption;
    const char* name;
    QLabel** label;
  } rows[] = {
      {"Samples", "lblSamples", &lblSamples_},
      {"Coverage", "lblCoverage", &lblCoverage_},
      {"Residual (RMS)", "lblResidual", &lblResidual_},
      {"Field strength", "lblField", &lblField_},
      {"Wobble", "lblWobble", &lblWobble_},
      {"Cross-axis", "lblCrossAxis", &lblCrossAxis_},
  };
  int r = 0;
  for (const auto& row : rows) {
    grid->addWidget(new QLabel(row.caption, box), r, 0);
    *row.label = named(new QLabel("-", box), row.name);
    (*row.label)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(*row.label, r++, 1);
  }
  grid->setRowStretch(r, 1);
  return box;
}

QWidget* frmMagCal::buildRegisters() {
  auto* box = new QGroupBox("Registers", this);
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(14);
  const char* headings[] = {"", "When opened", "In sensor", "From the fit"};
  for (int c = 0; c < 4; ++c) grid->addWidget(new QLabel(headings[c], box), 0, c);
  for (int i = 0; i < 6; ++i) {
    grid->addWidget(new QLabel(kRegisterNames[i], box), i + 1, 0);
    lblOpened_[i] = named(new QLabel(box), QString("lblOpened_%1").arg(i + 1));
    lblNow_[i] = named(new QLabel(box), QString("lblNow_%1").arg(i + 1));
    lblFit_[i] = named(new QLabel(box), QString("lblFit_%1").arg(i + 1));
    grid->addWidget(lblOpened_[i], i + 1, 1);
    grid->addWidget(lblNow_[i], i + 1, 2);
    grid->addWidget(lblFit_[i], i + 1, 3);
  }
  return box;
}

QWidget* frmMagCal::buildVerification() {
  auto* box =
      new QGroupBox("Verification: spread of the magnitudes as the sensor reads them", this);
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(14);
  grid->addWidget(new QLabel("Before", box), 0, 0);
  lblSpreadBefore_ = named(new QLabel("-", box), "lblSpreadBefore");
  grid->addWidget(lblSpreadBefore_, 0, 1);
  grid->addWidget(new QLabel("After", box), 0, 2);
  lblSpreadAfter_ = named(new QLabel("-", box), "lblSpreadAfter");
  grid->addWidget(lblSpreadAfter_, 0, 3);
  grid->setColumnStretch(4, 1);
  lblVerification_ = named(new QLabel(box), "lblVerification");
  lblVerification_->setWordWrap(true);
  grid->addWidget(lblVerification_, 1, 0, 1, 5);
  return box;
}

void frmMagCal::Form_Load() {
  opened_ = analysis::ReadMagCorrections(ctx_);
  current_ = opened_;
  cloudCorrections_ = current_;
  showCorrections(lblOpened_, opened_, true);
  status("Press Start and turn the module slowly through every orientation.");
  refresh();
}

void frmMagCal::status(const QString& text) {
  lblStatus_->setText(text);
}

void frmMagCal::showCorrections(const std::array<QLabel*, 6>& row,
                                const analysis::MagCorrections& c, bool known) {
  for (int a = 0; a < 3; ++a) {
    if (!known) {
      row[a]->setText("-");
      row[3 + a]->setText("-");
      continue;
    }
    row[a]->setText(QString("%1  %2 mG")
                        .arg(QString::fromStdString(HexText(c.hardIron[a] & 0xFFFF)))
                        .arg(number(c.hardIron[a] * analysis::kMagMilliGaussPerCount, 1)));
    row[3 + a]->setText(QString("%1  %2")
                            .arg(QString::fromStdString(HexText(c.softIron[a])))
                            .arg(number(c.softIron[a] / double{analysis::kSoftIronUnity}, 4)));
  }
}

void frmMagCal::refresh() {
  result_ = analysis::AnalyseMagReadings(set_.samples(), cloudCorrections_, bins_);
  const analysis::MagQuality& q = result_.quality;
  lblSamples_->setText(QString::number(q.samples));
  lblCoverage_->setText(number(q.coveragePercent, 1) + " %");
  const bool fit = result_.fit.ok;
  lblResidual_->setText(fit ? number(q.residualPercent, 2) + " % of field" : "-");
  lblField_->setText(fit ? number(q.fieldMilliGauss, 1) + " mG" : "-");
  lblWobble_->setText(fit ? number(q.wobbleMilliGauss, 1) + " mG" : "-");
  lblCrossAxis_->setText(result_.full.ok ? number(result_.full.crossAxisPercent, 1) + " %" : "-");
  if (set_.samples().empty()) {
    lblQuality_->setText("");
  } else if (showingCheck_) {
    // The verdict below judges the correction; this pass was never meant to cover every
    // direction, so its coverage is no verdict on anything.
    lblQuality_->setText(QString("The figures above describe the %1-second check pass (%2 % of "
                                 "the directions), read through the new corrections.")
                             .arg(number(kVerifySeconds, 0), number(q.coveragePercent, 1)));
  } else {
    QStringList lines;
    if (result_.trusted) lines << "Good enough to apply.";
    for (const auto& p : result_.problems) lines << QString::fromStdString(p);
    for (const auto& w : result_.warnings) lines << QString::fromStdString(w);
    lblQuality_->setText(lines.join("\n"));
  }
  lblQuality_->setStyleSheet(showingCheck_     ? "color: #4a5563;"
                             : result_.trusted ? "color: #1e7a3c;"
                                               : "color: #a33a00;");
  showCorrections(lblNow_, current_, true);
  showCorrections(lblFit_, result_.derived, fit);

  // The fit lives in the element's frame; the picture shows readings as the sensor gives them.
  analysis::Vec3 centre{}, radii{};
  for (int a = 0; a < 3; ++a) {
    const double gain = cloudCorrections_.softIron[a] / double{analysis::kSoftIronUnity};
    centre[a] =
        (result_.fit.centre[a] + cloudCorrections_.hardIron[a] * analysis::kMagMilliGaussPerCount) *
        gain;
    radii[a] = result_.fit.radii[a] * gain;
  }
  picCloud_->setCloud(set_.samples(), fit, centre, radii, q.fieldMilliGauss);
  picCoverage_->setFilled(result_.coverage.filled);
  setButtons();
}

void frmMagCal::setButtons() {
  cmdCollect_->setText(collecting_ ? kStop : kStart);
  cmdClear_->setEnabled(!collecting_);
  cmdApply_->setEnabled(!collecting_ && result_.trusted);
  cmdFlash_->setEnabled(!collecting_);
  cmdRevert_->setEnabled(!collecting_);
}

void frmMagCal::collect(analysis::MagSampleSet& set, double seconds) {
  collecting_ = true;
  stop_ = false;
  setButtons();
  analysis::SetTumbling(ctx_, true);
  double nextRefresh = 0.0;
  analysis::CollectMagReadings(ctx_, set, seconds, [&](const analysis::CollectProgress& p) {
    if (&set == &set_ && p.elapsedSeconds >= nextRefresh) {
      nextRefresh = p.elapsedSeconds + kRefreshSeconds;
      refresh();
    }
    return !stop_;
  });
  analysis::SetTumbling(ctx_, false);
  collecting_ = false;
}

void frmMagCal::cmdCollect_Click() {
  if (collecting_) {
    stop_ = true;
    return;
  }
  if (showingCheck_) {
    // A new fit starts from a fresh cloud: the check pass was read for the verdict only.
    set_.clear();
    showingCheck_ = false;
  }
  // Readings through other corrections than the cloud's would not fit with it.
  if (cloudCorrections_ != current_) set_.clear();
  if (set_.samples().empty()) cloudCorrections_ = current_;
  status(
      "Collecting: turn the module slowly through every orientation; press Stop when the "
      "coverage is high.");
  collect(set_, -1.0);
  refresh();
  status(result_.trusted ? "Stopped. The fit is good enough to apply."
                         : "Stopped. The fit is not good enough to apply yet.");
  if (closeWhenStopped_) close();
}

void frmMagCal::clearVerification() {
  lblSpreadBefore_->setText("-");
  lblSpreadAfter_->setText("-");
  lblVerification_->setText("");
}

void frmMagCal::cmdClear_Click() {
  set_.clear();
  showingCheck_ = false;
  cloudCorrections_ = current_;
  clearVerification();
  refresh();
}

void frmMagCal::cmdApply_Click() {
  if (collecting_ || !result_.trusted) return;
  const analysis::MagCorrections wanted = result_.derived;
  const analysis::MagnitudeSpread before = analysis::SpreadOf(set_.samples());
  appliedCloud_ = set_;
  appliedCloudCorrections_ = cloudCorrections_;
  const analysis::MagCorrections held = current_;
  current_ = analysis::WriteMagCorrections(ctx_, wanted);
  unitField_->keepCalibration(results::CalibrationKind::MagnetometerApply,
                              results::MagRegisterChanges(held, current_));
  showCorrections(lblNow_, current_, true);
  if (current_ != wanted) {
    lblVerification_->setText("The sensor holds other values than were written: see In sensor.");
    set_.clear();
    cloudCorrections_ = current_;
    refresh();
    return;
  }
  status("Checking the correction: keep turning the module for 10 seconds.");
  analysis::MagSampleSet check;
  collect(check, kVerifySeconds);
  const analysis::MagnitudeSpread after = analysis::SpreadOf(check.samples());
  const analysis::Verdict verdict = analysis::Judge(before, after);
  lblSpreadBefore_->setText(number(before.rmsPercent, 2) + " %");
  lblSpreadAfter_->setText(number(after.rmsPercent, 2) + " %");
  lblVerification_->setText(QString::fromStdString(analysis::VerdictText(verdict, before, after)));
  lblVerification_->setStyleSheet(verdict == analysis::Verdict::NotImproved ? "color: #a33a00;"
                                                                            : "color: #1e7a3c;");
  // From now on the cloud is the one read with the new corrections.
  set_ = check;
  cloudCorrections_ = current_;
  showingCheck_ = true;
  refresh();
  status(stop_ ? "Check stopped early. The cloud now shows the check pass."
               : "Applied and checked; Save to flash keeps it. The cloud now shows the check "
                 "pass, read through the new corrections; press Start to collect for a new fit.");
  if (closeWhenStopped_) close();
}

void frmMagCal::cmdFlash_Click() {
  if (collecting_) return;
  analysis::SaveMagCorrectionsToFlash(ctx_);
  unitField_->keepCalibration(results::CalibrationKind::FlashUpdate,
                              results::MagRegisterChanges(current_, current_));
  status("Flash update sent: the sensor keeps the corrections it holds now.");
}

void frmMagCal::cmdRevert_Click() {
  if (collecting_) return;
  const analysis::MagCorrections held = current_;
  current_ = analysis::WriteMagCorrections(ctx_, opened_);
  unitField_->keepCalibration(results::CalibrationKind::MagnetometerRevert,
                              results::MagRegisterChanges(held, current_));
  // The cloud stays with the corrections it was read through, so the fit is the same one; after
  // an Apply, the cloud that fit came from comes back in place of the check pass.
  if (showingCheck_ && !appliedCloud_.samples().empty()) {
    set_ = appliedCloud_;
    cloudCorrections_ = appliedCloudCorrections_;
  }
  showingCheck_ = false;
  clearVerification();
  refresh();
  status(current_ == opened_ ? "The values held when the window opened are back in the sensor; "
                               "the collected cloud is kept, so Apply writes its fit again."
                             : "The sensor holds other values than were written back.");
}

void frmMagCal::closeEvent(QCloseEvent* event) {
  if (collecting_) {
    // The collection runs inside a handler further down the stack: end it, then close.
    stop_ = true;
    closeWhenStopped_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void frmMagCal::reject() {
  if (collecting_) {
    stop_ = true;
    closeWhenStopped_ = true;
    return;
  }
  QDialog::reject();
}

}  // namespace vexa::ui
