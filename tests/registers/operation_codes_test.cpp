// Sample rate, range and taps, digital lines, data ready and DAC: typed values to register
// values and back.

#include "registers/operation_codes.h"

#include "app/number_format.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

const QLocale kPoint = QLocale::c();

TEST(SampleRate, RequestsGoToTheNearestPeriodOnTheBaseTheyChoose) {
  struct Case {
    const char* typed;
    int32_t smplPrd;
    const char* shown;
  } cases[] = {
      {"819.202", 0x01, "819.202"}, {"1000", 0x01, "819.202"}, {"fast", 0x01, "819.202"},
      {"100", 0x0F, "102.4"},       {"200", 0x07, "204.801"},  {"52.851359", 0x1E, "52.852"},
      {"50", 0x81, "26.426"},       {"1", 0xB4, "0.997"},      {"0", 0xFF, "0.413"},
      {"0.1", 0xFF, "0.413"},       {"-5", 0xFF, "0.413"},     {"", 0x01, "819.202"},
  };
  for (const Case& c : cases) {
    const std::string accepted = AcceptSampleRateText(c.typed, kPoint);
    const int32_t code = SampleRateCode(Val(accepted));
    EXPECT_EQ(code, c.smplPrd) << c.typed;
    EXPECT_EQ(SampleRateText(code, kPoint), c.shown) << c.typed;
  }
  EXPECT_EQ(SampleRateText(0x00, kPoint), "1638.404");  // Ns = 0, never written by us
  for (double f = 0.3; f < 900; f *= 1.01) {
    const int32_t ns = SampleRateCode(f) & 0x7F;
    EXPECT_GE(ns, 1) << f;
  }
}

TEST(SensAvg, RangeAndTapsToTheRegister) {
  struct Case {
    int32_t range;
    const char* typed;
    const char* accepted;
    int32_t value;
  } cases[] = {
      {2, "3", "3", 0x202},   {4, "64", "64", 0x406}, {4, "100", "64", 0x406},
      {1, "0.4", "1", 0x100}, {1, "2.5", "2", 0x101}, {1, "x", "1", 0x100},
      {1, "45", "45", 0x105}, {1, "46", "46", 0x106}, {0, "6", "6", 0x003},
      {1, "5", "5", 0x102},   {1, "11", "11", 0x103}, {1, "12", "12", 0x104},
  };
  for (const Case& c : cases) {
    const std::string accepted = AcceptTapsText(c.typed, kPoint);
    EXPECT_EQ(accepted, c.accepted) << c.typed;
    EXPECT_EQ(SensAvgCode(c.range, Val(accepted)), c.value) << c.typed;
  }
  EXPECT_EQ(RangeBitsOf(0x202), 2);
  EXPECT_EQ(TapsOf(0x202), 4);
  EXPECT_EQ(RangeBitsOf(0), 0);
  EXPECT_EQ(TapsOf(0), 1);
}

// Line 2 as a high output (0x404) and back to input are driven through the window's options.
TEST(DigitalLinesAndDataReady, BitsBothWays) {
  DigitalLines lines;
  lines.output[0] = lines.output[3] = true;
  lines.high[1] = lines.high[3] = true;  // line 1 is an input: no level bit
  EXPECT_EQ(GpioCtrlValue(lines), 0x809);
  const DigitalLines read = DigitalLinesOf(0xA05);
  EXPECT_EQ(read.output, (std::array<bool, 4>{true, false, true, false}));
  EXPECT_EQ(read.high, (std::array<bool, 4>{false, true, false, true}));
  EXPECT_EQ(MscCtrlValue({false, false, true}), 0x004);
  const DataReady dr = DataReadyOf(0x106);  // bits above 2 are not shown
  EXPECT_TRUE(!dr.lineOne && dr.activeHigh && dr.enabled);
}

TEST(Dac, VoltsToCodeAndBack) {
  struct Case {
    const char* typed;
    const char* accepted;
    int32_t code;
    const char* shown;
  } cases[] = {
      {"1.25", "1.25", 2047, "1.2496947"}, {"1", "1", 1638, "1.0"}, {"2.5", "2.5", 4095, "2.5"},
      {"3", "2.5", 4095, "2.5"},           {"-1", "0", 0, "0.0"},   {"volts", "0", 0, "0.0"},
  };
  for (const Case& c : cases) {
    const std::string accepted = AcceptVoltsText(c.typed, kPoint);
    EXPECT_EQ(accepted, c.accepted) << c.typed;
    const int32_t code = DacCode(Val(accepted));
    EXPECT_EQ(code, c.code) << c.typed;
    EXPECT_EQ(DacVoltsText(code, kPoint), c.shown) << c.typed;
  }
  // The volts a code shows, typed back (or the Update pressed again), give that code: 2047
  // shows 1.2496947, a little below 2047 / 4095 x 2.5.
  for (const QLocale& locale : {kPoint, QLocale(QLocale::German)}) {
    for (int32_t code = 0; code <= 4095; ++code) {
      const std::string shown = DacVoltsText(code, locale);
      ASSERT_EQ(DacCode(RegionalValue(AcceptVoltsText(shown, locale), locale)), code) << shown;
    }
  }
}

}  // namespace
}  // namespace vexa
