#include "registers/operation_codes.h"

#include <algorithm>
#include <cmath>

#include "app/number_format.h"

namespace vexa {

namespace {

// Wholly a number in the regional form, and a finite one ("nan" is not a value to write).
bool isNumber(const std::string& text, const QLocale& locale) {
  return IsNumeric(text, locale) && std::isfinite(RegionalValue(text, locale));
}

}  // namespace

double SampleRateOf(int32_t smplPrd) {
  const int32_t t = (smplPrd & 0x80) / 128;
  const int32_t ns = smplPrd & 0x7F;
  const double baseMs = t == 0 ? kFastSampleBaseMs : kSlowSampleBaseMs;
  return 1.0 / ((ns + 1) * baseMs / 1000.0);
}

std::string SampleRateText(int32_t smplPrd, const QLocale& locale) {
  return FormatPattern(SampleRateOf(smplPrd), "##0.0##", locale);
}

std::string AcceptSampleRateText(const std::string& typed, const QLocale& locale) {
  return isNumber(typed, locale) ? typed : FormatPattern(819.202, "##0.0##", locale);
}

int32_t SampleRateCode(double requestedRate) {
  const double f = std::clamp(requestedRate, kMinSampleRate, kMaxSampleRate);
  const double period = 1.0 / f;
  const bool slow = f < kSlowBaseBelowRate;
  const double base = (slow ? kSlowSampleBaseMs : kFastSampleBaseMs) / 1000.0;
  const double n = std::max(period / base - 1.0, 1.0);
  const int32_t ns = static_cast<int32_t>(std::min(RoundHalfEven(n), 127.0));
  return (slow ? 128 : 0) + ns;
}

int32_t RangeBitsOf(int32_t sensAvg) {
  return (sensAvg & 0x700) / 256;
}

int32_t TapsOf(int32_t sensAvg) {
  return 1 << (sensAvg & 7);
}

std::string AcceptTapsText(const std::string& typed, const QLocale& locale) {
  double taps = isNumber(typed, locale) ? RegionalValue(typed, locale) : 0.0;
  if (taps > 64) taps = 64;
  if (!(taps >= 1)) taps = 1;
  return GeneralNumber(RoundHalfEven(taps), locale);
}

double Log2(double x) {
  return std::log(x) / std::log(2.0);
}

int32_t SensAvgCode(int32_t rangeBits, double taps) {
  return static_cast<int32_t>(RoundHalfEven(rangeBits * 256.0 + Log2(taps)));
}

int32_t GpioCtrlValue(const DigitalLines& lines) {
  int32_t value = 0;
  for (int k = 0; k < 4; ++k) {
    if (lines.output[k]) value += 1 << k;
    if (lines.output[k] && lines.high[k]) value += 1 << (8 + k);
  }
  return value;
}

DigitalLines DigitalLinesOf(int32_t gpioCtrl) {
  DigitalLines lines;
  for (int k = 0; k < 4; ++k) {
    lines.output[k] = (gpioCtrl >> k) & 1;
    lines.high[k] = (gpioCtrl >> (8 + k)) & 1;
  }
  return lines;
}

int32_t MscCtrlValue(const DataReady& dr) {
  return (dr.lineOne ? 1 : 0) + (dr.activeHigh ? 2 : 0) + (dr.enabled ? 4 : 0);
}

DataReady DataReadyOf(int32_t mscCtrl) {
  return {(mscCtrl & 1) != 0, (mscCtrl & 2) != 0, (mscCtrl & 4) != 0};
}

std::string AcceptVoltsText(const std::string& typed, const QLocale& locale) {
  if (!isNumber(typed, locale)) return "0";
  const double v = RegionalValue(typed, locale);
  if (v < 0) return "0";
  if (v > kDacFullScaleVolts) return GeneralNumber(kDacFullScaleVolts, locale);
  return typed;
}

int32_t DacCode(double volts) {
  // Truncated, but the volts a code shows (seven decimals, so up to 0.00008 of a step below
  // the code) give that code again: Update pressed twice must not step the DAC down.
  constexpr double kShownSlack = 1e-4;
  const double code = std::floor(volts / kDacFullScaleVolts * kDacFullScaleCode + kShownSlack);
  return static_cast<int32_t>(std::clamp<double>(code, 0, kDacFullScaleCode));
}

std::string DacVoltsText(int32_t code, const QLocale& locale) {
  return FormatPattern(code / static_cast<double>(kDacFullScaleCode) * kDacFullScaleVolts,
                       "0.0######", locale);
}

}  // namespace vexa
