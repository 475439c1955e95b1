#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vexa {

// Register descriptors by register index, as parallel columns. Rows 0..LastRegisterIndex are
// defined; the rest of the capacity stays zero, so neither readable nor writable.
struct RegisterTable {
  static constexpr int kCapacity = 297;

  std::array<std::string, kCapacity> Label{};
  std::array<int32_t, kCapacity> BaseAddr{};
  std::array<uint8_t, kCapacity> NumBytes{};
  std::array<int16_t, kCapacity> ReadLen{};
  std::array<int16_t, kCapacity> TwosCompl{};  // booleans: -1 true, 0 false
  std::array<float, kCapacity> RegScale{};
  std::array<float, kCapacity> RegOffset{};
  std::array<int16_t, kCapacity> ReadFlag{};
  std::array<int16_t, kCapacity> WriteFlag{};
  std::array<int16_t, kCapacity> ECflag{};
  std::array<int16_t, kCapacity> NDflag{};
  std::array<int16_t, kCapacity> Hidden{};
  std::array<int16_t, kCapacity> EmbMemflag{};
};

constexpr int16_t LastRegisterIndex = 45;

// One index constant per register, named by its label.
constexpr int16_t ENDURANCE = 0;
constexpr int16_t SUPPLY_OUT = 1;
constexpr int16_t XGYRO_OUT = 2;
constexpr int16_t YGYRO_OUT = 3;
constexpr int16_t ZGYRO_OUT = 4;
constexpr int16_t XACCL_OUT = 5;
constexpr int16_t YACCL_OUT = 6;
constexpr int16_t ZACCL_OUT = 7;
constexpr int16_t XMAGN_OUT = 8;
constexpr int16_t YMAGN_OUT = 9;
constexpr int16_t ZMAGN_OUT = 10;
constexpr int16_t TEMP_OUT = 11;
constexpr int16_t AUX_ADC = 12;
constexpr int16_t XGYRO_OFF = 13;
constexpr int16_t YGYRO_OFF = 14;
constexpr int16_t ZGYRO_OFF = 15;  // labelled "ZGYRO_ OFF"
constexpr int16_t XACCL_OFF = 16;
constexpr int16_t YACCL_OFF = 17;
constexpr int16_t ZACCL_OFF = 18;
constexpr int16_t XMAGN_HIF = 19;
constexpr int16_t YMAGN_HIF = 20;
constexpr int16_t ZMAGN_HIF = 21;
constexpr int16_t XMAGN_SIF = 22;
constexpr int16_t YMAGN_SIF = 23;
constexpr int16_t ZMAGN_SIF = 24;
constexpr int16_t GPIO_CTRL = 25;
constexpr int16_t MSC_CTRL = 26;
constexpr int16_t SMPL_PRD = 27;
constexpr int16_t SENS_AVG = 28;
constexpr int16_t SLP_CNT = 29;
constexpr int16_t STATUS = 30;
constexpr int16_t COMMAND = 31;
constexpr int16_t Cont_Slp = 32;
constexpr int16_t ALM_MAG1 = 33;
constexpr int16_t ALM_MAG2 = 34;
constexpr int16_t ALM_SMPL1 = 35;
constexpr int16_t ALM_SMPL2 = 36;
constexpr int16_t ALM_CTRL = 37;
constexpr int16_t AUX_DAC = 38;
constexpr int16_t Reserved1 = 39;
constexpr int16_t Reserved2 = 40;
constexpr int16_t REV = 41;
constexpr int16_t DATE = 42;
constexpr int16_t MONTH = 43;
constexpr int16_t YEAR = 44;
constexpr int16_t PROD_ID = 45;

// Fills rows 0..LastRegisterIndex with the sensor's register map and clears the rest.
void BuildRegisterTable(RegisterTable& table);

// Index of the row whose label matches `label` exactly (case-insensitive, inner blanks kept),
// or -1.
int16_t FindRegisterByLabel(const RegisterTable& table, const std::string& label);

}  // namespace vexa
