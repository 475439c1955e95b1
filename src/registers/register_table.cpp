#include "registers/register_table.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace vexa {

namespace {

constexpr int16_t Y = -1;
constexpr int16_t N = 0;

float floatFromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

struct Row {
  const char* label;
  int32_t baseAddr;
  uint8_t numBytes;
  int16_t readLen;
  int16_t twosCompl;
  float scale;
  float offset;
  int16_t read, write, ec, nd, hidden;
};

}  // namespace

void BuildRegisterTable(RegisterTable& t) {
  t = RegisterTable{};
  // Scales that have no exact decimal form are given by their single-precision bit patterns.
  const float gyro = floatFromBits(0x3D4CC8D4);     // 0.049996212
  const float supply = floatFromBits(0x3B1E704C);   // 0.002417582
  const float gyroOff = floatFromBits(0x3C4CC8D4);  // 0.012499053
  const float accl = floatFromBits(0x3B5A3C21);     // 0.00333
  const float temp = floatFromBits(0x3E0AF4F1);     // 0.1357
  const float adc = floatFromBits(0x3A5349BF);      // 0.000806

  const Row rows[] = {
      {"ENDURANCE", 0x00, 2, 16, N, 1, 0, Y, N, N, N, N},
      {"SUPPLY_OUT", 0x02, 2, 12, N, supply, 0, Y, N, Y, Y, N},
      {"XGYRO_OUT", 0x04, 2, 14, Y, gyro, 0, Y, N, Y, Y, N},
      {"YGYRO_OUT", 0x06, 2, 14, Y, gyro, 0, Y, N, Y, Y, N},
      {"ZGYRO_OUT", 0x08, 2, 14, Y, gyro, 0, Y, N, Y, Y, N},
      {"XACCL_OUT", 0x0A, 2, 14, Y, accl, 0, Y, N, Y, Y, N},
      {"YACCL_OUT", 0x0C, 2, 14, Y, accl, 0, Y, N, Y, Y, N},
      {"ZACCL_OUT", 0x0E, 2, 14, Y, accl, 0, Y, N, Y, Y, N},
      {"XMAGN_OUT", 0x10, 2, 14, Y, 0.5f, 0, Y, N, Y, Y, N},
      {"YMAGN_OUT", 0x12, 2, 14, Y, 0.5f, 0, Y, N, Y, Y, N},
      {"ZMAGN_OUT", 0x14, 2, 14, Y, 0.5f, 0, Y, N, Y, Y, N},
      {"TEMP_OUT", 0x16, 2, 12, Y, temp, 25, Y, N, Y, Y, N},
      {"AUX_ADC", 0x18, 2, 12, N, adc, 0, Y, N, Y, Y, N},
      {"XGYRO_OFF", 0x1A, 2, 13, Y, gyroOff, 0, Y, Y, N, N, N},
      {"YGYRO_OFF", 0x1C, 2, 13, Y, gyroOff, 0, Y, Y, N, N, N},
      {"ZGYRO_ OFF", 0x1E, 2, 13, Y, gyroOff, 0, Y, Y, N, N, N},
      {"XACCL_OFF", 0x20, 2, 12, Y, accl, 0, Y, Y, N, N, N},
      {"YACCL_OFF", 0x22, 2, 12, Y, accl, 0, Y, Y, N, N, N},
      {"ZACCL_OFF", 0x24, 2, 12, Y, accl, 0, Y, Y, N, N, N},
      {"XMAGN_HIF", 0x26, 2, 14, Y, 0.5f, 0, Y, Y, N, N, N},
      {"YMAGN_HIF", 0x28, 2, 14, Y, 0.5f, 0, Y, Y, N, N, N},
      {"ZMAGN_HIF", 0x2A, 2, 14, Y, 0.5f, 0, Y, Y, N, N, N},
      {"XMAGN_SIF", 0x2C, 2, 12, N, 1, 0, Y, Y, N, N, N},
      {"YMAGN_SIF", 0x2E, 2, 12, N, 1, 0, Y, Y, N, N, N},
      {"ZMAGN_SIF", 0x30, 2, 12, N, 1, 0, Y, Y, N, N, N},
      {"GPIO_CTRL", 0x32, 2, 12, N, 1, 0, Y, Y, N, N, N},
      {"MSC_CTRL", 0x34, 2, 12, N, 1, 0, Y, Y, N, N, N},
      {"SMPL_PRD", 0x36, 2, 8, N, 1, 0, Y, Y, N, N, N},
      {"SENS_AVG", 0x38, 2, 11, N, 1, 0, Y, Y, N, N, N},
      {"SLP_CNT", 0x3A, 1, 8, N, 1, 0, Y, Y, N, N, N},
      {"STATUS", 0x3C, 2, 16, N, 1, 0, Y, N, N, N, N},
      {"COMMAND", 0x3E, 1, 8, N, 1, 0, N, Y, N, N, N},
      {"Cont_Slp", 0x3B, 1, 8, N, 1, 0, Y, N, N, N, N},
      {"ALM_MAG1", 0x40, 2, 16, N, 1, 0, Y, Y, N, N, N},
      {"ALM_MAG2", 0x42, 2, 16, N, 1, 0, Y, Y, N, N, N},
      {"ALM_SMPL1", 0x44, 2, 8, N, 1, 0, Y, Y, N, N, N},
      {"ALM_SMPL2", 0x46, 2, 8, N, 1, 0, Y, Y, N, N, N},
      {"ALM_CTRL", 0x48, 2, 16, N, 1, 0, Y, Y, N, N, N},
      {"AUX_DAC", 0x4A, 1, 12, N, 1, 0, Y, Y, N, N, N},
      {"Reserved", 0x4C, 2, 16, N, 1, 0, N, N, N, N, Y},
      {"Reserved", 0x50, 2, 16, N, 1, 0, N, N, N, N, Y},
      {"REV", 0x52, 1, 8, N, 1, 0, Y, N, N, N, N},
      {"DATE", 0x53, 1, 8, N, 1, 0, Y, Y, N, N, N},
      {"MONTH", 0x54, 1, 8, N, 1, 0, Y, Y, N, N, N},
      {"YEAR", 0x55, 1, 8, N, 1, 0, Y, Y, N, N, N},
      {"PROD_ID", 0x56, 2, 16, N, 1, 0, Y, Y, N, N, N},
  };
  static_assert(sizeof rows / sizeof rows[0] == LastRegisterIndex + 1, "one row per register");

  for (int i = 0; i <= LastRegisterIndex; ++i) {
    const Row& r = rows[i];
    t.Label[i] = r.label;
    t.BaseAddr[i] = r.baseAddr;
    t.NumBytes[i] = r.numBytes;
    t.ReadLen[i] = r.readLen;
    t.TwosCompl[i] = r.twosCompl;
    t.RegScale[i] = r.scale;
    t.RegOffset[i] = r.offset;
    t.ReadFlag[i] = r.read;
    t.WriteFlag[i] = r.write;
    t.ECflag[i] = r.ec;
    t.NDflag[i] = r.nd;
    t.Hidden[i] = r.hidden;
    t.EmbMemflag[i] = N;
  }
}

int16_t FindRegisterByLabel(const RegisterTable& table, const std::string& label) {
  auto upper = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
  };
  const std::string wanted = upper(label);
  for (int16_t i = 0; i <= LastRegisterIndex; ++i) {
    if (upper(table.Label[i]) == wanted) return i;
  }
  return -1;
}

}  // namespace vexa
