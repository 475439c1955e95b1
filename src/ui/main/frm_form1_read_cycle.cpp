#include "ui/main/frm_form1.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/delay.h"
#include "app/number_format.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"
#include "registers/register_pipeline.h"
#include "ui/main/strip_chart.h"

#include "ui/main/frm_form1_parts.h"

namespace vexa::ui {

using namespace form1;

// ---------------------------------------------------------------------------------------------
// Read cycle.

void frmForm1::cmdReadData_Click() {
  if (ctx_.settings.Interface == kInterfaceNone) return;
  if (ckLoop_->isChecked()) {
    if (cmdReadData_->text() == kRead)
      cmdReadData_->setText(kStop);
    else if (cmdReadData_->text() == kStop)
      cmdReadData_->setText(kRead);
  }
  BusyScope busy(*this);
  ctx_.ui().processEvents();
  if (closing_) return;
  ReadData();
}

bool frmForm1::readPass(Values& shown) {
  Values values = shown;
  // With Fast Reads the twelve registers go out pipelined first; the read-outs then follow the
  // same steps with each register's own results.
  const std::optional<bool> supplyBefore = supplyLow_;
  std::vector<AccessState> piped;
  if (PipelinedReadsChosen(ctx_)) {
    std::vector<int16_t> rows;
    for (int16_t i = 1; i <= kReadOuts; ++i) rows.push_back(i);
    piped = ReadRegisterList(ctx_, rows, true);
  }
  for (int16_t i = 1; i <= kReadOuts; ++i) {
    if (piped.empty()) ReadRegister(ctx_, i);
    const float scaled = piped.empty() ? ctx_.access.LastScaled : piped[i - 1].LastScaled;
    if (i == SUPPLY_OUT) {
      // The colour follows the supply as its read-out would show it, pass by pass.
      const double shown = RegionalValue(FormatPattern(scaled, "0.00"));
      if (shown < 2.6)
        supplyLow_ = true;
      else if (shown > 2.6)
        supplyLow_ = false;
    }
    values[i] = scaled;
  }
  // The supply colour above is a thin record of the pass; it is shown only with the pass.
  if (TransportLost(ctx_)) {
    supplyLow_ = supplyBefore;
    return false;
  }
  shown = values;
  return true;
}

void frmForm1::showReadOuts(const Values& values) {
  for (int16_t i = 1; i <= kReadOuts; ++i)
    txtReadReg_[i]->setText(text(FormatPattern(values[i], "0.00")));
  if (supplyLow_) {
    QLineEdit* supply = txtReadReg_[SUPPLY_OUT];
    const QColor colour = *supplyLow_ ? kRed : kWhite;
    if (supply->palette().color(QPalette::Base) != colour)
      setBackground(supply, QPalette::Base, colour);
  }
  readOutsShownAt_ = ctx_.clock().monotonicSeconds();
}

bool frmForm1::readOutsDue() const {
  const double since = ctx_.clock().monotonicSeconds() - readOutsShownAt_;
  return !(since >= 0 && since < kReadOutSeconds);
}

void frmForm1::plotAndStatus(const Values& values) {
  PlotGyros(values, gyro_.high, gyro_.low);
  PlotAccs(values, acc_.high, acc_.low);
  PlotMags(values, mag_.high, mag_.low);
  CmdUpdateStatus_Click();
}

void frmForm1::ReadData() {
  Values values{};
  if (!ckLoop_->isChecked()) {
    // A pass the transport failed in shows nothing: its message says why.
    if (!readPass(values)) return;
    showReadOuts(values);
    plotAndStatus(values);
    return;
  }
  BusyScope busy(*this);
  // Every pass goes to the charts (which repaint at the screen's pace); the read-outs change at
  // a pace a person can read, and show the last pass when the loop ends.
  bool unshown = false;
  while (cmdReadData_->text() == kStop && !closing_) {
    if (!readPass(values)) {
      // The transport failed during the pass and has said why; `values` is still the last
      // whole pass, which the read-outs show below if they have not yet.
      cmdReadData_->setText(kRead);
      break;
    }
    unshown = !readOutsDue();
    if (!unshown) showReadOuts(values);
    ctx_.ui().processEvents();
    plotAndStatus(values);
    if (TransportLost(ctx_)) {
      cmdReadData_->setText(kRead);  // the status read failed: nothing more to read
      break;
    }
    DelayMs(ctx_, static_cast<float>(RegionalValue(str(txtLoopDelay_->text()))));
  }
  if (unshown && !unloaded_) showReadOuts(values);
}

void frmForm1::ckLoop_Click() {
  if (!ckLoop_->isChecked() && cmdReadData_->text() == kStop) cmdReadData_->setText(kRead);
}

void frmForm1::txtLoopDelay_Change() {
  const std::string t = str(txtLoopDelay_->text());
  if (!IsNumeric(t)) {
    txtLoopDelay_->setText("0");
  } else {
    if (RegionalValue(t) > 1000) txtLoopDelay_->setText("1000");
    if (RegionalValue(str(txtLoopDelay_->text())) < 0) txtLoopDelay_->setText("0");
  }
}

// ---------------------------------------------------------------------------------------------
// Charts.

void frmForm1::writeScaleLabels(int chart, const FullScale& scale) {
  // The plots write their labels on every sample; the text changes only with the scale.
  FullScale& shown = labelsShown_[static_cast<size_t>(chart)];
  if (shown.high == scale.high && shown.low == scale.low &&
      !scaleLabels_[chart][0]->text().isEmpty())
    return;
  shown = scale;
  scaleLabels_[chart][0]->setText(text(GeneralNumber(scale.low)));
  scaleLabels_[chart][1]->setText(text(GeneralNumber(scale.low + (scale.high - scale.low) / 2)));
  scaleLabels_[chart][2]->setText(text(GeneralNumber(scale.high)));
}

void frmForm1::PlotGyros(const Values& Yvalue, double& HiPk, double& LowPk) {
  pic_[0]->addSample({Yvalue[2], Yvalue[3], Yvalue[4]},
                     {ckG_[2]->isChecked(), ckG_[3]->isChecked(), ckG_[4]->isChecked()}, HiPk,
                     LowPk);
}

void frmForm1::PlotAccs(const Values& Yvalue, double& HiPk, double& LowPk) {
  writeScaleLabels(1, {HiPk, LowPk});
  pic_[1]->addSample({Yvalue[5], Yvalue[6], Yvalue[7]},
                     {ckG_[5]->isChecked(), ckG_[6]->isChecked(), ckG_[7]->isChecked()}, HiPk,
                     LowPk);
}

void frmForm1::PlotMags(const Values& Yvalue, double& HiPk, double& LowPk) {
  writeScaleLabels(2, {HiPk, LowPk});
  pic_[2]->addSample({Yvalue[8], Yvalue[9], Yvalue[10]},
                     {ckG_[8]->isChecked(), ckG_[9]->isChecked(), ckG_[10]->isChecked()}, HiPk,
                     LowPk);
}

void frmForm1::cmdScaleGyro_Click() {
  const double h = gyro_.high;
  gyro_.high = h == 400 ? 300 : h == 300 ? 150 : h == 150 ? 75 : 400;
  gyro_.low = -gyro_.high;
  writeScaleLabels(0, gyro_);
}

void frmForm1::cmdScaleAcc_Click() {
  const double h = acc_.high;
  acc_.high = h == 1.5 ? 18 : h == 18 ? 7 : h == 7 ? 1.5 : 18;
  acc_.low = -acc_.high;
  writeScaleLabels(1, acc_);
}

void frmForm1::cmdScaleMag_Click() {
  const double h = mag_.high;
  mag_.high = h == 1000 ? 400 : h == 400 ? 2500 : h == 2500 ? 1000 : 2500;
  mag_.low = -mag_.high;
  writeScaleLabels(2, mag_);
}

void frmForm1::ckG_Click(int channel) {
  Shape_[channel]->setVisible(ckG_[channel]->isChecked());
}

void frmForm1::showPointer(int chart, double x, double y) {
  auto whole = [](double v) { return QString::number(SaturatingInt64(RoundHalfEven(v))); };
  lblCurSam_[chart]->setText(whole(x));
  lblCurVal_[chart]->setText(whole(y));
}

}  // namespace vexa::ui
