#include "ui/main/frm_form1.h"

#include <QLineEdit>

#include "app/delay.h"
#include "app/hex_text.h"
#include "app/number_format.h"
#include "registers/data_ready_wait.h"
#include "registers/register_access.h"

#include "ui/main/frm_form1_parts.h"

namespace vexa::ui {

using namespace form1;

// ---------------------------------------------------------------------------------------------
// Status, self-test, power-down.

void frmForm1::CmdUpdateStatus_Click() {
  if (ctx_.settings.Interface == kInterfaceNone) return;
  ReadRegister(ctx_, STATUS);
  if (TransportLost(ctx_)) return;  // the transport said why; what it left is no status
  StatusShadow_ = ctx_.access.LastRaw;
  lblStatus_->setText(text(HexText(ctx_.access.LastRaw)));
  for (size_t n = 0; n < kStatusFlags.size(); ++n) {
    const bool set = (ctx_.access.LastRaw >> kStatusFlags[n].bit) & 1;
    QLabel* indicator = flags_[n];
    indicator->setText(set ? "Alarm" : "OK");
    if (indicator->palette().color(QPalette::Window) == (set ? kRed : kGreen)) continue;
    QPalette pal = indicator->palette();
    pal.setColor(QPalette::Window, set ? kRed : kGreen);
    pal.setColor(QPalette::WindowText, set ? kWhite : QColor(0, 0, 0));
    indicator->setPalette(pal);
  }
}

void frmForm1::optSTON_Click() {
  ctx_.access.MscCtrlShadow |= 0x100;
  WriteRegister(ctx_, MSC_CTRL, ctx_.access.MscCtrlShadow);
}

void frmForm1::optSTOFF_Click() {
  ctx_.access.MscCtrlShadow &= 0xFF;
  WriteRegister(ctx_, MSC_CTRL, ctx_.access.MscCtrlShadow);
}

void frmForm1::txtPowerDown_Change() {
  if (!IsNumeric(str(txtPowerDown_->text()))) txtPowerDown_->setText("0.0");
  if (RegionalValue(str(txtPowerDown_->text())) > 127.5) txtPowerDown_->setText("127.5");
  if (RegionalValue(str(txtPowerDown_->text())) < 0) txtPowerDown_->setText("0.0");
}

void frmForm1::cmdPowerDown_Click() {
  const float t = static_cast<float>(RegionalValue(str(txtPowerDown_->text())));
  const int32_t count = SaturatingInt32(std::floor(2.0 * t));
  WriteRegister(ctx_, SLP_CNT, count);
  BusyScope busy(*this);
  Clock& clock = ctx_.clock();
  const float start = clock.secondsSinceMidnight();
  // The time of day wraps at midnight; a count-down that spans it must still end.
  auto sinceStart = [&clock, start] {
    const float elapsed = clock.secondsSinceMidnight() - start;
    return elapsed < 0 ? elapsed + 86400.0f : elapsed;
  };
  float elapsed = sinceStart();
  while (elapsed < t && !closing_) {
    lblPDElapsed_->setText(text(FormatPattern(elapsed, "##0.0")));
    elapsed = sinceStart();
    ctx_.ui().processEvents();
  }
  DelayMs(ctx_, 200.0f);
}

}  // namespace vexa::ui
