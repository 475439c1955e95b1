#pragma once

// Shared by the files that make up frmForm1: captions, colours and small widget helpers.

#include <array>
#include <string>

#include <QColor>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <QWidget>

#include "ui/main/frm_form1.h"
#include "ui/services/qt_text.h"

namespace vexa::ui::form1 {

inline constexpr int kMajorVersion = 4;
inline constexpr const char* kRead = "Read";
inline constexpr const char* kStop = "STOP";

inline const QColor kRed(255, 0, 0);
inline const QColor kGreen(0, 255, 0);
inline const QColor kWhite(255, 255, 255);

inline constexpr std::array<const char*, frmForm1::kReadOuts + 1> kReadOutCaptions = {
    "",           "Power Supply (V)", "X_Gyro (d/s)", "Y_Gyro (d/s)", "Z_Gyro (d/s)", "X_Accl (g)",
    "Y_Accl (g)", "Z_Accl (g)",       "X_Magn (mG)",  "Y_Magn (mG)",  "Z_Magn (mG)",  "Temp (degC)",
    "AUX_ADC"};

// The six status bits shown, their indicator names and captions.
struct StatusFlag {
  int bit;
  const char* name;
  const char* caption;
};
inline constexpr std::array<StatusFlag, 6> kStatusFlags = {{
    {0, "lblLowSupplyFlag", "Power Supply Low"},
    {1, "lblHighSupplyFlag", "Power Supply High"},
    {2, "lblWriteFailFlag", "Control Write Flag"},
    {3, "lblSpiWriteFlag", "SPI Write Flag"},
    {8, "lblAlarm1SetFlag", "Alarm1 Set"},
    {9, "lblAlarm2SetFlag", "Alarm2 Set"},
}};

inline QColor traceColourOf(int channel) {
  switch ((channel - 2) % 3) {
    case 0:
      return QColor(200, 0, 0);
    case 1:
      return QColor(0, 150, 0);
    default:
      return QColor(0, 0, 150);
  }
}

inline void setBackground(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  if (widget->palette().color(role) == colour && widget->testAttribute(Qt::WA_SetPalette)) return;
  QPalette pal = widget->palette();
  pal.setColor(role, colour);
  widget->setPalette(pal);
}

inline QFont monoFont() {
  QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  f.setStyleHint(QFont::Monospace);
  return f;
}

inline QLabel* valueLabel(QWidget* parent, const QString& name, int chars) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setFont(monoFont());
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setFrameShape(QFrame::StyledPanel);
  label->setFrameShadow(QFrame::Sunken);
  label->setMinimumWidth(QFontMetrics(monoFont()).horizontalAdvance(QString(chars, '0')) + 10);
  return label;
}

}  // namespace vexa::ui::form1

namespace vexa::ui {

// Counts a long-running handler; when the outermost one ends, a close that arrived meanwhile
// is carried out.
class frmForm1::BusyScope {
 public:
  explicit BusyScope(frmForm1& form) : form_(form) { ++form_.busyDepth_; }
  ~BusyScope() {
    if (--form_.busyDepth_ == 0) form_.finishDeferredClose();
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  frmForm1& form_;
};

}  // namespace vexa::ui
