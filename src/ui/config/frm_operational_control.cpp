#include "ui/config/frm_operational_control.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "app/hex_text.h"
#include "app/number_format.h"
#include "registers/operation_codes.h"
#include "registers/register_access.h"
#include "registers/sensor_commands.h"
#include "ui/services/qt_text.h"

namespace vexa::ui {

namespace {

constexpr std::array<const char*, 4> kLineNames = {"zero", "one", "two", "three"};

// Reads a register and shows its word in hex in its contents label; returns the word.
int32_t readShown(AppContext& ctx, int16_t index, QLabel* contents) {
  ReadRegister(ctx, index);
  contents->setText(text(HexText(ctx.access.LastRaw)));
  return ctx.access.LastRaw;
}

QLabel* contentsLabel(const QString& name, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setObjectName(name);
  QFont mono("monospace");
  mono.setStyleHint(QFont::Monospace);
  l->setFont(mono);
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(QFrame::Sunken);
  l->setMinimumWidth(l->fontMetrics().horizontalAdvance("0x0000") + 12);
  l->setMinimumHeight(l->fontMetrics().height() + 8);
  return l;
}

QPushButton* namedButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLineEdit* namedEdit(const QString& name, int width, QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(name);
  e->setFixedWidth(width);
  return e;
}

QRadioButton* option(const QString& name, const QString& caption, QWidget* parent) {
  auto* o = new QRadioButton(caption, parent);
  o->setObjectName(name);
  return o;
}

// A pair (or more) of options of which exactly one is selected, in a borderless frame.
QWidget* exclusive(std::initializer_list<QRadioButton*> options, QWidget* parent,
                   Qt::Orientation orientation = Qt::Horizontal) {
  auto* frame = new QWidget(parent);
  QBoxLayout* layout = orientation == Qt::Horizontal
                           ? static_cast<QBoxLayout*>(new QHBoxLayout(frame))
                           : static_cast<QBoxLayout*>(new QVBoxLayout(frame));
  layout->setContentsMargins(0, 0, 0, 0);
  auto* group = new QButtonGroup(frame);
  group->setExclusive(true);
  for (QRadioButton* o : options) {
    o->setParent(frame);
    group->addButton(o);
    layout->addWidget(o);
  }
  return frame;
}

}  // namespace

frmOperationalControl::frmOperationalControl(AppContext& ctx, QWidget* parent)
    : QDialog(parent), ctx_(ctx) {
  setObjectName("frmOperationalControl");
  setWindowTitle("Operational Control");
  setModal(true);

  cmdFlash_ = namedButton("cmdFlash", "Flash Memory Register Update", this);
  cmdClose_ = namedButton("cmdClose", "Close Window", this);

  auto* left = new QVBoxLayout;
  left->addWidget(buildSampleRate());
  left->addWidget(buildRangeAndFilter());
  left->addWidget(buildDac());
  left->addStretch();
  auto* right = new QVBoxLayout;
  right->addWidget(buildDigitalIo());
  right->addWidget(buildDataReady());
  right->addStretch();
  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdFlash_);
  buttons->addStretch();
  buttons->addWidget(cmdClose_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(cmdFlash_, &QPushButton::clicked, this, [this] { cmdFlash_Click(); });
  connect(cmdClose_, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

QWidget* frmOperationalControl::buildSampleRate() {
  auto* box = new QGroupBox("Sample Rate", this);
  auto* grid = new QGridLayout(box);
  txtSampleRate_ = namedEdit("txtSampleRate", 90, box);
  cmdWriteSmpl_prd_ = namedButton("cmdWriteSmpl_prd", "Update", box);
  lblSmpl_Prd_ = contentsLabel("lblSmpl_Prd", box);
  grid->addWidget(new QLabel("SMPL_PRD Contents", box), 0, 3);
  grid->addWidget(new QLabel("Sample Rate", box), 1, 0);
  auto* rate = new QHBoxLayout;
  rate->addWidget(txtSampleRate_);
  rate->addWidget(new QLabel("SPS", box));
  grid->addLayout(rate, 1, 1);
  grid->addWidget(cmdWriteSmpl_prd_, 1, 2);
  grid->addWidget(lblSmpl_Prd_, 1, 3);
  connect(cmdWriteSmpl_prd_, &QPushButton::clicked, this, [this] { cmdWriteSmpl_prd_Click(); });
  return box;
}

QWidget* frmOperationalControl::buildRangeAndFilter() {
  auto* box = new QGroupBox("Measurement Range and Digital Filtering", this);
  auto* grid = new QGridLayout(box);
  const std::array<const char*, 3> ranges = {"75 deg/sec", "150 deg/sec", "300 deg/sec"};
  for (int i = 0; i < 3; ++i)
    opt_Rate_[i] = option(QString("opt_Rate_%1").arg(i + 1), ranges[i], box);
  txtTaps_ = namedEdit("txtTaps", 60, box);
  cmdWriteSensAvg_ = namedButton("cmdWriteSensAvg", "Update", box);
  lblSensAvg_ = contentsLabel("lblSensAvg", box);
  grid->addWidget(new QLabel("Select Gyro Range ", box), 0, 0);
  grid->addWidget(exclusive({opt_Rate_[0], opt_Rate_[1], opt_Rate_[2]}, box, Qt::Vertical), 1, 0, 2,
                  1);
  grid->addWidget(new QLabel("Taps", box), 0, 1);
  grid->addWidget(txtTaps_, 1, 1, Qt::AlignTop);
  grid->addWidget(cmdWriteSensAvg_, 1, 2, Qt::AlignTop);
  grid->addWidget(new QLabel("SENS/AVG Contents", box), 0, 3);
  grid->addWidget(lblSensAvg_, 1, 3, Qt::AlignTop);
  connect(cmdWriteSensAvg_, &QPushButton::clicked, this, [this] { cmdWriteSensAvg_Click(); });
  return box;
}

QWidget* frmOperationalControl::buildDigitalIo() {
  auto* box = new QGroupBox("Auxilliary Digital I/O Configuration", this);
  auto* outer = new QVBoxLayout(box);
  outer->addWidget(new QLabel("Configure as a general purpose I/O line", box));
  auto* grid = new QGridLayout;
  for (int k = 0; k < 4; ++k) {
    const QString line = kLineNames[k];
    op_io_input_[k] = option("op_io_" + line + "_input", "Input", box);
    op_io_output_[k] = option("op_io_" + line + "_output", "Output", box);
    op_dat_high_[k] = option("op_dat_" + line + "_high", "High", box);
    op_dat_low_[k] = option("op_dat_" + line + "_low", "Low", box);
    grid->addWidget(
        new QLabel(k == 3 ? QString("Digital I/O Line 3") : QString("Digital I/O Line %1:").arg(k),
                   box),
        k, 0);
    grid->addWidget(exclusive({op_io_input_[k], op_io_output_[k]}, box), k, 1);
    grid->addWidget(new QLabel(QString("Line %1 Level").arg(k), box), k, 2);
    grid->addWidget(exclusive({op_dat_high_[k], op_dat_low_[k]}, box), k, 3);
    for (QRadioButton* o : {op_io_input_[k], op_io_output_[k], op_dat_high_[k], op_dat_low_[k]})
      connect(o, &QRadioButton::clicked, this, [this] { WriteGPIO(); });
  }
  outer->addLayout(grid);
  lblGPIO_ = contentsLabel("lblGPIO", box);
  auto* contents = new QHBoxLayout;
  contents->addStretch();
  contents->addWidget(new QLabel("GPIO_CTRL Contents", box));
  contents->addWidget(lblGPIO_);
  outer->addLayout(contents);
  return box;
}

QWidget* frmOperationalControl::buildDataReady() {
  auto* box = new QGroupBox("Configure as a data ready line", this);
  auto* grid = new QGridLayout(box);
  optDRselect_One_ = option("optDRselect_One", "DI/O1", box);
  optDRselect_Zero_ = option("optDRselect_Zero", "DI/O0", box);
  optDRPolarity_High_ = option("optDRPolarity_High", "High", box);
  optDRPolarity_Low_ = option("optDRPolarity_Low", "Low", box);
  optDREnable_On_ = option("optDREnable_On", "ON", box);
  optDREnable_Off_ = option("optDREnable_Off", "OFF", box);
  grid->addWidget(new QLabel("Select I/O line", box), 0, 0);
  grid->addWidget(exclusive({optDRselect_One_, optDRselect_Zero_}, box), 0, 1);
  grid->addWidget(new QLabel("Output Polarity", box), 1, 0);
  grid->addWidget(exclusive({optDRPolarity_High_, optDRPolarity_Low_}, box), 1, 1);
  grid->addWidget(new QLabel("Enable", box), 2, 0);
  grid->addWidget(exclusive({optDREnable_On_, optDREnable_Off_}, box), 2, 1);
  lblMSC_ = contentsLabel("lblMSC", box);
  grid->addWidget(new QLabel("MSC_CTRL Contents", box), 3, 0, Qt::AlignRight);
  grid->addWidget(lblMSC_, 3, 1, Qt::AlignLeft);
  for (QRadioButton* o : {optDRselect_One_, optDRselect_Zero_, optDRPolarity_High_,
                          optDRPolarity_Low_, optDREnable_On_, optDREnable_Off_})
    connect(o, &QRadioButton::clicked, this, [this] { Write_MSC_Ctrl(); });
  return box;
}

QWidget* frmOperationalControl::buildDac() {
  auto* box = new QGroupBox("Auxilliary D/A Converter Output", this);
  auto* grid = new QGridLayout(box);
  txtVolts_ = namedEdit("txtVolts", 90, box);
  cmdWriteAuxDac_ = namedButton("cmdWriteAuxDac", "Update", box);
  lblAuxDac_ = contentsLabel("lblAuxDac", box);
  grid->addWidget(new QLabel("AUX_DAC Contents", box), 0, 3);
  grid->addWidget(txtVolts_, 1, 0);
  grid->addWidget(new QLabel("Volts", box), 1, 1);
  grid->addWidget(cmdWriteAuxDac_, 1, 2);
  grid->addWidget(lblAuxDac_, 1, 3);
  connect(cmdWriteAuxDac_, &QPushButton::clicked, this, [this] { cmdWriteAuxDac_Click(); });
  return box;
}

void frmOperationalControl::Form_Load() {
  if (QWidget* main = parentWidget()) move(main->frameGeometry().topLeft());
  showSampleRate();
  showSensAvg();
  ReadGPIO();
  ReadMSC();
  showDac();
}

double frmOperationalControl::log2(double x) const {
  return Log2(x);
}

// --- Sample rate ---------------------------------------------------------------------------

void frmOperationalControl::showSampleRate() {
  txtSampleRate_->setText(text(SampleRateText(readShown(ctx_, SMPL_PRD, lblSmpl_Prd_))));
}

void frmOperationalControl::cmdWriteSmpl_prd_Click() {
  txtSampleRate_->setText(text(AcceptSampleRateText(txtSampleRate_->text().toStdString())));
  const double requested = RegionalValue(txtSampleRate_->text().toStdString());
  WriteRegister(ctx_, SMPL_PRD, SampleRateCode(requested));
  DelayMs(ctx_, 10);
  showSampleRate();
}

// --- Range and taps ------------------------------------------------------------------------

void frmOperationalControl::showSensAvg() {
  const int32_t raw = readShown(ctx_, SENS_AVG, lblSensAvg_);
  const int32_t range = RangeBitsOf(raw);
  if (range == 1) opt_Rate_[0]->setChecked(true);
  if (range == 2) opt_Rate_[1]->setChecked(true);
  if (range == 4) opt_Rate_[2]->setChecked(true);
  txtTaps_->setText(QString::number(TapsOf(raw)));
}

void frmOperationalControl::cmdWriteSensAvg_Click() {
  int32_t range = 0;
  if (opt_Rate_[0]->isChecked())
    range = 1;
  else if (opt_Rate_[1]->isChecked())
    range = 2;
  else if (opt_Rate_[2]->isChecked())
    range = 4;
  txtTaps_->setText(text(AcceptTapsText(txtTaps_->text().toStdString())));
  const double taps = RegionalValue(txtTaps_->text().toStdString());
  WriteRegister(ctx_, SENS_AVG, SensAvgCode(range, taps));
  showSensAvg();
  if (setGyroScales) setGyroScales();
}

// --- Digital lines -------------------------------------------------------------------------

void frmOperationalControl::WriteGPIO() {
  if (!isVisible()) return;
  DigitalLines lines;
  for (int k = 0; k < 4; ++k) {
    lines.output[k] = op_io_output_[k]->isChecked();
    lines.high[k] = op_dat_high_[k]->isChecked();
    if (lines.output[k]) {
      op_dat_low_[k]->setEnabled(true);
      op_dat_high_[k]->setEnabled(true);
    }
  }
  ctx_.access.GpioCtrlShadow = GpioCtrlValue(lines);
  WriteRegister(ctx_, GPIO_CTRL, ctx_.access.GpioCtrlShadow);
  DelayMs(ctx_, 100);
  ReadGPIO();
}

void frmOperationalControl::ReadGPIO() {
  for (int k = 0; k < 4; ++k) {
    op_io_input_[k]->setChecked(true);
    op_dat_low_[k]->setEnabled(false);
    op_dat_high_[k]->setEnabled(false);
  }
  const DigitalLines lines = DigitalLinesOf(readShown(ctx_, GPIO_CTRL, lblGPIO_));
  for (int k = 0; k < 4; ++k) {
    if (!lines.output[k]) continue;
    op_io_output_[k]->setChecked(true);
    op_dat_low_[k]->setEnabled(true);
    op_dat_high_[k]->setEnabled(true);
  }
  for (int k = 0; k < 4; ++k) op_dat_low_[k]->setChecked(true);
  for (int k = 0; k < 4; ++k)
    if (lines.high[k]) op_dat_high_[k]->setChecked(true);
}

// --- Data ready ----------------------------------------------------------------------------

void frmOperationalControl::Write_MSC_Ctrl() {
  if (!isVisible()) return;
  const DataReady dr{optDRselect_One_->isChecked(), optDRPolarity_High_->isChecked(),
                     optDREnable_On_->isChecked()};
  ctx_.access.MscCtrlShadow = MscCtrlValue(dr);
  WriteRegister(ctx_, MSC_CTRL, ctx_.access.MscCtrlShadow);
  DelayMs(ctx_, 100);
  ReadMSC();
}

void frmOperationalControl::ReadMSC() {
  const DataReady dr = DataReadyOf(readShown(ctx_, MSC_CTRL, lblMSC_));
  (dr.lineOne ? optDRselect_One_ : optDRselect_Zero_)->setChecked(true);
  (dr.activeHigh ? optDRPolarity_High_ : optDRPolarity_Low_)->setChecked(true);
  (dr.enabled ? optDREnable_On_ : optDREnable_Off_)->setChecked(true);
}

// --- DAC -----------------------------------------------------------------------------------

void frmOperationalControl::showDac() {
  txtVolts_->setText(text(DacVoltsText(readShown(ctx_, AUX_DAC, lblAuxDac_))));
}

void frmOperationalControl::cmdWriteAuxDac_Click() {
  txtVolts_->setText(text(AcceptVoltsText(txtVolts_->text().toStdString())));
  WriteRegister(ctx_, AUX_DAC, DacCode(RegionalValue(txtVolts_->text().toStdString())));
  DelayMs(ctx_, 100);
  WriteRegister(ctx_, COMMAND, kCommandAuxDacUpdate);
  DelayMs(ctx_, 100);
  showDac();
}

// --- Window --------------------------------------------------------------------------------

void frmOperationalControl::cmdFlash_Click() {
  WriteRegister(ctx_, COMMAND, kCommandFlashUpdate);
  DelayMs(ctx_, 200);
}

void frmOperationalControl::cmdClose_Click() {
  close();
}

}  // namespace vexa::ui
