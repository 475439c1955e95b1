#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <QLocale>

#include "registers/register_table.h"

namespace vexa {

// The twelve offset and correction registers as the calibration window edits them: typed
// values in physical units, bounds, codes and the texts shown.

struct OffsetRow {
  int16_t index;     // the register
  const char* axis;  // GX .. SZ: the row's controls are txt<axis>, cmdCal_<axis>, lbl<axis>
  const char* unit;  // unit label
  double lower;      // accepted range of a typed value, both bounds included
  double upper;
  bool fourDecimals;  // the text right after a write: "0.0000" (gyro rows) or plain
};

// In reading order: gyro X, Y, Z, accelerometer X, Y, Z, hard iron X, Y, Z, soft iron X, Y, Z.
extern const std::array<OffsetRow, 12> kOffsetRows;

struct CodeLimits {
  int32_t min;
  int32_t max;
};

// The codes a register keeps as written: its ReadLen data bits, two's complement or unsigned.
// A code outside them would read back as another value (8192 in 14 bits reads -8192).
CodeLimits RegisterCodeLimits(const RegisterTable& table, int16_t index);

// A row's typed text made acceptable, with the value it stands for: text that is not wholly a
// number becomes "0"; a value outside the row's range becomes the nearer bound.
struct AcceptedValue {
  std::string text;
  double value;
};
AcceptedValue AcceptOffsetText(const std::string& typed, const OffsetRow& row,
                               const QLocale& locale = {});

// value / RegScale to the nearest integer (halves to even), kept within what the register holds.
int32_t OffsetCode(const RegisterTable& table, int16_t index, double value);

// RegScale x code as the row shows it right after a write.
std::string WrittenOffsetText(const RegisterTable& table, const OffsetRow& row, int32_t code,
                              const QLocale& locale = {});

// A value read back, rounded to three decimals (exact halves to even), as plain number text.
std::string ReadOffsetText(float scaled, const QLocale& locale = {});

}  // namespace vexa
