#include "registers/register_table.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vexa {
namespace {

uint32_t bitsOf(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

TEST(RegisterTable, ScalesAreTheExactSinglePrecisionPatterns) {
  RegisterTable t;
  BuildRegisterTable(t);
  struct Case {
    int16_t index;
    uint32_t bits;
  } cases[] = {{XGYRO_OUT, 0x3D4CC8D4}, {SUPPLY_OUT, 0x3B1E704C}, {XGYRO_OFF, 0x3C4CC8D4},
               {XACCL_OUT, 0x3B5A3C21}, {ZACCL_OFF, 0x3B5A3C21},  {TEMP_OUT, 0x3E0AF4F1},
               {AUX_ADC, 0x3A5349BF}};
  for (const auto& c : cases) EXPECT_EQ(bitsOf(t.RegScale[c.index]), c.bits) << t.Label[c.index];
}

TEST(RegisterTable, RowsPastTheLastDefinedOneCanNeitherBeReadNorWritten) {
  RegisterTable t;
  BuildRegisterTable(t);
  for (int i = LastRegisterIndex + 1; i < RegisterTable::kCapacity; ++i) {
    EXPECT_EQ(t.ReadFlag[i], 0);
    EXPECT_EQ(t.WriteFlag[i], 0);
  }
}

TEST(RegisterTable, ParticularRowsKeepTheirOddities) {
  RegisterTable t;
  BuildRegisterTable(t);
  EXPECT_EQ(t.Label[ZGYRO_OFF], "ZGYRO_ OFF");
  EXPECT_EQ(t.BaseAddr[Cont_Slp], 0x3B);
  EXPECT_EQ(t.BaseAddr[Reserved2], 0x50);
  EXPECT_EQ(t.NumBytes[AUX_DAC], 1);
  EXPECT_EQ(t.ReadLen[AUX_DAC], 12);
  EXPECT_EQ(t.ReadFlag[COMMAND], 0);
  EXPECT_EQ(t.WriteFlag[COMMAND], -1);
  EXPECT_EQ(t.Hidden[Reserved1], -1);
  EXPECT_EQ(t.ReadFlag[Reserved1], 0);
  EXPECT_FLOAT_EQ(t.RegOffset[TEMP_OUT], 25.0f);
  int withOffset = 0;
  for (int i = 0; i <= LastRegisterIndex; ++i) withOffset += t.RegOffset[i] != 0;
  EXPECT_EQ(withOffset, 1);
  EXPECT_EQ(FindRegisterByLabel(t, "xgyro_out"), XGYRO_OUT);
  EXPECT_EQ(FindRegisterByLabel(t, "NOPE"), -1);
}

}  // namespace
}  // namespace vexa
