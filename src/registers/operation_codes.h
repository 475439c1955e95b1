#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <QLocale>

namespace vexa {

// The sensor's operating settings as the operational control window edits them: sample rate
// (SMPL_PRD), gyro range and filter taps (SENS_AVG), the digital lines (GPIO_CTRL), the
// data-ready output (MSC_CTRL) and the auxiliary DAC (AUX_DAC).

// --- SMPL_PRD: bit 7 time base (0: 0.61035 ms, 1: 18.921 ms), bits 6..0 Ns; period (Ns+1) x base.
constexpr double kFastSampleBaseMs = 0.61035;
constexpr double kSlowSampleBaseMs = 18.921;
constexpr double kMinSampleRate = 0.4129;  // a request is limited to these rates
constexpr double kMaxSampleRate = 819.2;
constexpr double kSlowBaseBelowRate = 52.851359;  // requests below this use the slow base

// Samples per second of a SMPL_PRD value.
double SampleRateOf(int32_t smplPrd);
// That rate as the window shows it ("##0.0##": 102.4, 819.202, 0.413).
std::string SampleRateText(int32_t smplPrd, const QLocale& locale = {});
// A typed rate that is not wholly a number asks for the fastest rate.
std::string AcceptSampleRateText(const std::string& typed, const QLocale& locale = {});
// The SMPL_PRD value whose period lies nearest the requested rate on the base the rate selects
// (Ns 1..127, never 0).
int32_t SampleRateCode(double requestedRate);

// --- SENS_AVG: bits 10..8 gyro range (1: 75, 2: 150, 4: 300 deg/sec), bits 2..0 log2(taps).
int32_t RangeBitsOf(int32_t sensAvg);
int32_t TapsOf(int32_t sensAvg);
// Typed taps made acceptable: not a number "0", above 64 "64", below 1 "1", then a whole number
// (halves to even).
std::string AcceptTapsText(const std::string& typed, const QLocale& locale = {});
// Natural logarithm of x over that of 2, unrounded.
double Log2(double x);
// range x 256 + log2(taps), rounded: taps 3..5 store 2, 6..11 store 3, ...
int32_t SensAvgCode(int32_t rangeBits, double taps);

// --- GPIO_CTRL: bit k line k is an output; bit 8 + k its level is high.
struct DigitalLines {
  std::array<bool, 4> output{};
  std::array<bool, 4> high{};
};
// A level bit is written only for an output line whose level is high.
int32_t GpioCtrlValue(const DigitalLines& lines);
DigitalLines DigitalLinesOf(int32_t gpioCtrl);

// --- MSC_CTRL: bit 0 data ready on line 1, bit 1 active high, bit 2 enabled. A value built
// here has every other bit clear.
struct DataReady {
  bool lineOne = false;
  bool activeHigh = false;
  bool enabled = false;
};
int32_t MscCtrlValue(const DataReady& dr);
DataReady DataReadyOf(int32_t mscCtrl);

// --- AUX_DAC: code 0..4095 for 0 to 2.5 volts.
constexpr double kDacFullScaleVolts = 2.5;
constexpr int32_t kDacFullScaleCode = 4095;
// Typed volts made acceptable: not a number or below 0 "0", above 2.5 "2.5".
std::string AcceptVoltsText(const std::string& typed, const QLocale& locale = {});
// volts / 2.5 x 4095, truncated, within 0..4095; the volts a code shows give that code.
int32_t DacCode(double volts);
// The volts of a code, "0.0######" (2047 shows 1.2496947).
std::string DacVoltsText(int32_t code, const QLocale& locale = {});

}  // namespace vexa
