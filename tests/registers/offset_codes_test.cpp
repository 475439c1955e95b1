// Typed offsets to codes and back: bounds, rounding, and codes the registers keep as written.

#include "registers/offset_codes.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

const QLocale kPoint = QLocale::c();

const OffsetRow& row(const char* axis) {
  for (const OffsetRow& r : kOffsetRows)
    if (std::string(r.axis) == axis) return r;
  throw std::runtime_error(axis);
}

class OffsetCodes : public ::testing::Test {
 protected:
  OffsetCodes() { BuildRegisterTable(table); }
  RegisterTable table;
};

TEST_F(OffsetCodes, TypedTextBecomesAcceptedTextAndCode) {
  struct Case {
    const char* axis;
    const char* typed;
    const char* accepted;
    int32_t code;
  } cases[] = {
      {"GX", "-100", "-37.50912", -3001},
      {"GY", "37.490805", "37.490805", 2999},  // bounds included
      {"GZ", "1", "1", 80},
      {"AX", "0.1", "0.1", 30},
      {"AY", "-9", "-5.165056", -1551},
      {"AZ", "5.162534", "5.162534", 1550},
      {"SX", "-1", "0", 0},
      {"SY", "4095.4", "4095", 4095},  // compared with the bound before rounding
      {"SZ", "2.5", "2.5", 2},         // halves to even
      {"SZ", "3.5", "3.5", 4},
      {"GX", "", "0", 0},       // not a number
      {"GX", "12abc", "0", 0},  // a leading number is not enough
      {"GX", "nan", "0", 0},
      // Hard iron: 4096 mG is accepted as typed, but 8192 would read back as -8192 in the
      // 14-bit register, so the code stops at 8191.
      {"HX", "4096", "4096", 8191},
      {"HY", "5000", "4096", 8191},
      {"HZ", "-4096", "-4096", -8192},
      {"HZ", "-5000", "-4096", -8192},
  };
  for (const Case& c : cases) {
    const OffsetRow& r = row(c.axis);
    const AcceptedValue a = AcceptOffsetText(c.typed, r, kPoint);
    EXPECT_EQ(a.text, c.accepted) << c.axis << " " << c.typed;
    EXPECT_EQ(OffsetCode(table, r.index, a.value), c.code) << c.axis << " " << c.typed;
  }
}

TEST_F(OffsetCodes, NoRowWritesACodeItsRegisterWouldReadAsAnotherValue) {
  for (const OffsetRow& r : kOffsetRows) {
    const CodeLimits limits = RegisterCodeLimits(table, r.index);
    for (double v : {r.lower, r.upper}) {
      const int32_t code = OffsetCode(table, r.index, v);
      const int bits = table.ReadLen[r.index];
      const int32_t kept = code & ((1 << bits) - 1);
      const int32_t readBack =
          table.TwosCompl[r.index] && (kept >> (bits - 1)) ? kept - (1 << bits) : kept;
      EXPECT_EQ(readBack, code) << r.axis << " " << v;
      EXPECT_GE(code, limits.min);
      EXPECT_LE(code, limits.max);
    }
  }
}

TEST_F(OffsetCodes, TextsAfterAWriteAndAfterTheReread) {
  EXPECT_EQ(WrittenOffsetText(table, row("GX"), -3001, kPoint), "-37.5097");
  EXPECT_EQ(WrittenOffsetText(table, row("HX"), 8191, kPoint), "4095.5");
  EXPECT_EQ(WrittenOffsetText(table, row("SX"), 2048, kPoint), "2048");
  EXPECT_EQ(ReadOffsetText(-3001 * table.RegScale[XGYRO_OFF], kPoint), "-37.51");
  EXPECT_EQ(ReadOffsetText(8191 * 0.5f, kPoint), "4095.5");
  EXPECT_EQ(ReadOffsetText(11 * table.RegScale[XACCL_OFF], kPoint), "0.037");
  EXPECT_EQ(ReadOffsetText(0.0f, kPoint), "0");
  EXPECT_EQ(ReadOffsetText(-0.0001f, kPoint), "0");
  EXPECT_EQ(ReadOffsetText(-3001 * table.RegScale[XGYRO_OFF], QLocale(QLocale::German)), "-37,51");
}

}  // namespace
}  // namespace vexa
