#include "ui/config/fm_calibration.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "app/hex_text.h"
#include "registers/offset_codes.h"
#include "registers/register_access.h"
#include "registers/sensor_commands.h"
#include "results/recording.h"
#include "ui/services/qt_text.h"

namespace vexa::ui {

namespace {

constexpr int kPrecisionPasses = 33;
constexpr const char* kInProgress = "  In Progress";

QPushButton* namedButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

fmCalibration::fmCalibration(AppContext& ctx, QWidget* parent)
    : QDialog(parent),
      ctx_(ctx),
      cmdAutoNull_(namedButton("cmdAutoNull", "Run", this)),
      cmdPreciAutoNull_(namedButton("cmdPreciAutoNull", "Run", this)),
      cmdFactoryCal_(namedButton("cmdFactoryCal", "Run", this)),
      cmdFlash_(namedButton("cmdFlash", "Flash Memory Register Update", this)),
      cmdClose_(namedButton("cmdClose", "Close", this)),
      cmdMagAssistant_(namedButton("cmdMagAssistant", "Calibration Assistant...", this)),
      LbLInProgress_(new QLabel(kInProgress, this)) {
  setObjectName("fmCalibration");
  setWindowTitle("Calibration");
  setModal(true);

  // Automatic features.
  auto* automatic = new QGroupBox("Automatic Features", this);
  auto* autoGrid = new QGridLayout(automatic);
  const std::array<std::pair<const char*, QPushButton*>, 3> commands = {{
      {"Auto Null", cmdAutoNull_},
      {"Precision Auto Null", cmdPreciAutoNull_},
      {"Restore Factory Calibration", cmdFactoryCal_},
  }};
  for (int i = 0; i < 3; ++i) {
    autoGrid->addWidget(new QLabel(commands[i].first, automatic), i, 0);
    autoGrid->addWidget(commands[i].second, i, 1);
  }
  LbLInProgress_->setObjectName("LbLInProgress");
  QFont bold = LbLInProgress_->font();
  bold.setBold(true);
  LbLInProgress_->setFont(bold);
  LbLInProgress_->setAutoFillBackground(true);
  QPalette green = LbLInProgress_->palette();
  green.setColor(QPalette::Window, QColor(0, 192, 0));
  green.setColor(QPalette::WindowText, Qt::black);
  LbLInProgress_->setPalette(green);
  LbLInProgress_->setMinimumWidth(
      LbLInProgress_->fontMetrics().horizontalAdvance("  In Progress  32") + 12);
  autoGrid->addWidget(LbLInProgress_, 1, 2);
  autoGrid->setColumnStretch(3, 1);
  LbLInProgress_->hide();

  // Manual adjustment: three blocks of rows.
  auto* manual = new QGroupBox("Manual Calibration Adjustment", this);
  auto* manualLayout = new QVBoxLayout(manual);
  const std::array<const char*, 3> blocks = {"Gyroscopes", "Accelerometers", "Magnetometers"};
  const std::array<const char*, 12> captions = {"X-Axis Offset", "Y-Axis Offset", "Z-Axis Offset",
                                                "X-Axis Offset", "Y-Axis Offset", "Z-Axis Offset",
                                                "XMAGN_HIC",     "YMAGN_HIC",     "ZMAGN_HIC",
                                                "XMAGN_SIC",     "YMAGN_SIC",     "ZMAGN_SIC"};
  QFont mono("monospace");
  mono.setStyleHint(QFont::Monospace);
  for (int b = 0; b < 3; ++b) {
    auto* block = new QGroupBox(blocks[b], manual);
    auto* grid = new QGridLayout(block);
    // Rows close together, so that the window fits a 1366 x 768 screen with a panel.
    grid->setVerticalSpacing(2);
    grid->setContentsMargins(9, 4, 9, 6);
    grid->addWidget(new QLabel("Register Contents", block), 0, 4);
    const int first = b * 3;
    const int last = b == 2 ? 12 : first + 3;
    for (int i = first; i < last; ++i) {
      const OffsetRow& row = kOffsetRows[i];
      const QString axis = row.axis;
      const int r = i - first + 1;
      txt_[i] = new QLineEdit(block);
      txt_[i]->setObjectName("txt" + axis);
      txt_[i]->setFixedWidth(110);
      cmdCal_[i] = namedButton("cmdCal_" + axis, "Update", block);
      lbl_[i] = new QLabel(block);
      lbl_[i]->setObjectName("lbl" + axis);
      lbl_[i]->setFont(mono);
      lbl_[i]->setFrameShape(QFrame::Panel);
      lbl_[i]->setFrameShadow(QFrame::Sunken);
      lbl_[i]->setMinimumWidth(lbl_[i]->fontMetrics().horizontalAdvance("0x0000") + 12);
      grid->addWidget(new QLabel(captions[i], block), r, 0);
      grid->addWidget(txt_[i], r, 1);
      grid->addWidget(new QLabel(row.unit, block), r, 2);
      grid->addWidget(cmdCal_[i], r, 3);
      grid->addWidget(lbl_[i], r, 4);
      connect(cmdCal_[i], &QPushButton::clicked, this, [this, i] { cmdCal_Click(i); });
    }
    if (b == 2) grid->addWidget(cmdMagAssistant_, last - first + 1, 0, 1, 5, Qt::AlignLeft);
    manualLayout->addWidget(block);
  }

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdFlash_);
  buttons->addStretch();
  buttons->addWidget(cmdClose_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(automatic);
  layout->addWidget(manual);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  busyOrder_ = {cmdFactoryCal_, cmdPreciAutoNull_, cmdAutoNull_};
  busyOrder_.insert(busyOrder_.end(), cmdCal_.begin(), cmdCal_.end());
  busyOrder_.push_back(cmdClose_);
  busyOrder_.push_back(cmdFlash_);
  busyOrder_.insert(busyOrder_.end(), txt_.begin(), txt_.end());
  busyOrder_.push_back(cmdMagAssistant_);

  connect(cmdAutoNull_, &QPushButton::clicked, this, [this] { cmdAutoNull_Click(); });
  connect(cmdFactoryCal_, &QPushButton::clicked, this, [this] { cmdFactoryCal_Click(); });
  connect(cmdPreciAutoNull_, &QPushButton::clicked, this, [this] { cmdPreciAutoNull_Click(); });
  connect(cmdFlash_, &QPushButton::clicked, this, [this] { cmdFlash_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
  connect(cmdMagAssistant_, &QPushButton::clicked, this, [this] {
    if (!openMagnetometerAssistant) return;
    openMagnetometerAssistant();
    ReadCalRegisters();
  });
}

void fmCalibration::Form_Load() {
  if (QWidget* main = parentWidget()) move(main->frameGeometry().topLeft());
  ReadCalRegisters();
}

void fmCalibration::showEvent(QShowEvent* event) {
  cmdMagAssistant_->setVisible(static_cast<bool>(openMagnetometerAssistant));
  QDialog::showEvent(event);
}

void fmCalibration::ReadCalRegisters() {
  for (size_t i = 0; i < kOffsetRows.size(); ++i) {
    ReadRegister(ctx_, kOffsetRows[i].index);
    lbl_[i]->setText(text(HexText(ctx_.access.LastRaw)));
    txt_[i]->setText(text(ReadOffsetText(ctx_.access.LastScaled)));
  }
}

void fmCalibration::runCommand(int32_t command, float waitMs) {
  WriteRegister(ctx_, COMMAND, command);
  DelayMs(ctx_, waitMs);
}

void fmCalibration::recordedWrite(int kind, const std::function<void()>& write) {
  std::vector<int16_t> rows;
  std::vector<int32_t> before, after;
  for (size_t i = 0; i < kOffsetRows.size(); ++i) {
    rows.push_back(kOffsetRows[i].index);
    before.push_back(HexToLong(lbl_[i]->text().toStdString()));
  }
  write();
  for (size_t i = 0; i < kOffsetRows.size(); ++i)
    after.push_back(HexToLong(lbl_[i]->text().toStdString()));
  // No product number: this window's traffic is the calibration's own (a flash update reads
  // nothing back); the unit's record keeps the number its runs read.
  results::KeepCalibration(ctx_, ctx_.preferences.text(results::kUnitKey), {},
                           static_cast<results::CalibrationKind>(kind),
                           results::RegisterChanges(ctx_, rows, before, after));
}

void fmCalibration::cmdAutoNull_Click() {
  recordedWrite(static_cast<int>(results::CalibrationKind::AutoNull), [this] {
    runCommand(kCommandAutoNull, 250);
    ReadCalRegisters();
  });
}

void fmCalibration::cmdFactoryCal_Click() {
  recordedWrite(static_cast<int>(results::CalibrationKind::FactoryRestore), [this] {
    runCommand(kCommandFactoryRestore, 250);
    ReadCalRegisters();
  });
}

void fmCalibration::setBusy(bool busy) {
  busy_ = busy;
  setEnabled(!busy);
  for (QWidget* w : busyOrder_) w->setEnabled(!busy);
}

void fmCalibration::cmdPreciAutoNull_Click() {
  recordedWrite(static_cast<int>(results::CalibrationKind::PrecisionAutoNull),
                [this] { precisionAutoNull(); });
}

void fmCalibration::precisionAutoNull() {
  WriteRegister(ctx_, COMMAND, kCommandPrecisionAutoNull);
  setBusy(true);
  ctx_.ui().processEvents();
  LbLInProgress_->setText(kInProgress);
  LbLInProgress_->show();
  ctx_.ui().processEvents();
  for (int n = 0; n < kPrecisionPasses; ++n) {
    DelayMs(ctx_, 1000);
    LbLInProgress_->setText(QString("  In Progress  %1").arg(kPrecisionPasses - 1 - n));
    ctx_.ui().processEvents();
  }
  LbLInProgress_->hide();
  setBusy(false);
  ReadCalRegisters();
  ctx_.ui().processEvents();
}

void fmCalibration::cmdCal_Click(int row) {
  const OffsetRow& r = kOffsetRows.at(static_cast<size_t>(row));
  const AcceptedValue accepted = AcceptOffsetText(txt_[row]->text().toStdString(), r);
  txt_[row]->setText(text(accepted.text));
  const int32_t code = OffsetCode(ctx_.registers, r.index, accepted.value);
  WriteRegister(ctx_, r.index, code);
  txt_[row]->setText(text(WrittenOffsetText(ctx_.registers, r, code)));
  DelayMs(ctx_, 100);
  ReadCalRegisters();
}

void fmCalibration::cmdFlash_Click() {
  recordedWrite(static_cast<int>(results::CalibrationKind::FlashUpdate),
                [this] { runCommand(kCommandFlashUpdate, 200); });
}

void fmCalibration::cmdClose_Click() {
  close();
}

// While the count-down runs the window cannot be closed: the close box and Escape wait for it.
void fmCalibration::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void fmCalibration::reject() {
  if (!busy_) QDialog::reject();
}

}  // namespace vexa::ui
