#include "registers/offset_codes.h"

#include <algorithm>
#include <cmath>

#include "app/number_format.h"

namespace vexa {

namespace {

// Wholly a number in the regional form, and a finite one ("nan" is not a value to write).
bool isNumber(const std::string& text, const QLocale& locale) {
  return IsNumeric(text, locale) && std::isfinite(RegionalValue(text, locale));
}

constexpr double kGyroLower = -37.50912, kGyroUpper = 37.490805;
constexpr double kAccelLower = -5.165056, kAccelUpper = 5.162534;
constexpr double kHardIronLower = -4096, kHardIronUpper = 4096;
constexpr double kSoftIronLower = 0, kSoftIronUpper = 4095;

}  // namespace

const std::array<OffsetRow, 12> kOffsetRows = {{
    {XGYRO_OFF, "GX", "deg / sec", kGyroLower, kGyroUpper, true},
    {YGYRO_OFF, "GY", "deg / sec", kGyroLower, kGyroUpper, true},
    {ZGYRO_OFF, "GZ", "deg / sec", kGyroLower, kGyroUpper, true},
    {XACCL_OFF, "AX", "g", kAccelLower, kAccelUpper, false},
    {YACCL_OFF, "AY", "g", kAccelLower, kAccelUpper, false},
    {ZACCL_OFF, "AZ", "g", kAccelLower, kAccelUpper, false},
    {XMAGN_HIF, "HX", "mG", kHardIronLower, kHardIronUpper, false},
    {YMAGN_HIF, "HY", "mG", kHardIronLower, kHardIronUpper, false},
    {ZMAGN_HIF, "HZ", "mG", kHardIronLower, kHardIronUpper, false},
    {XMAGN_SIF, "SX", "Lsb", kSoftIronLower, kSoftIronUpper, false},
    {YMAGN_SIF, "SY", "Lsb", kSoftIronLower, kSoftIronUpper, false},
    {ZMAGN_SIF, "SZ", "Lsb", kSoftIronLower, kSoftIronUpper, false},
}};

CodeLimits RegisterCodeLimits(const RegisterTable& table, int16_t index) {
  const int bits = std::clamp<int>(table.ReadLen[index], 1, 16);
  if (table.TwosCompl[index] != 0) return {-(1 << (bits - 1)), (1 << (bits - 1)) - 1};
  return {0, (1 << bits) - 1};
}

AcceptedValue AcceptOffsetText(const std::string& typed, const OffsetRow& row,
                               const QLocale& locale) {
  AcceptedValue a{typed, 0.0};
  if (!isNumber(a.text, locale)) a.text = "0";
  a.value = RegionalValue(a.text, locale);
  if (a.value < row.lower) {
    a.value = row.lower;
    a.text = GeneralNumber(row.lower, locale);
  } else if (a.value > row.upper) {
    a.value = row.upper;
    a.text = GeneralNumber(row.upper, locale);
  }
  return a;
}

int32_t OffsetCode(const RegisterTable& table, int16_t index, double value) {
  const double code = RoundHalfEven(value / static_cast<double>(table.RegScale[index]));
  const CodeLimits limits = RegisterCodeLimits(table, index);
  return SaturatingInt32(std::clamp<double>(code, limits.min, limits.max));
}

std::string WrittenOffsetText(const RegisterTable& table, const OffsetRow& row, int32_t code,
                              const QLocale& locale) {
  const double value = static_cast<double>(table.RegScale[row.index]) * code;
  return row.fourDecimals ? FormatPattern(value, "0.0000", locale) : GeneralNumber(value, locale);
}

std::string ReadOffsetText(float scaled, const QLocale& locale) {
  return GeneralNumber(RoundHalfEven(static_cast<double>(scaled), 3), locale);
}

}  // namespace vexa
