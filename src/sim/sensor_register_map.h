#pragma once

#include <array>
#include <cstdint>

#include "registers/register_table.h"

namespace vexa::sim {

// Decodes the sensor's 128 byte addresses into registers, from the register table.
//
// A register occupies as many bytes as its width needs (at least its byte count), so AUX_DAC,
// one byte in the table but 12 bits wide, also owns 0x4B. A read of a register's base address
// returns its word; every other address, including the upper byte of a word, reads 0. A write
// lands only on a byte of a register the table marks writable.
class SensorRegisterMap {
 public:
  static constexpr int kAddresses = 128;
  static constexpr int kRegisters = LastRegisterIndex + 1;

  explicit SensorRegisterMap(const RegisterTable& table);

  // Register whose word a read of `address` returns, or -1.
  int16_t readable(uint8_t address) const { return read_[address & 0x7F]; }
  // Register a write of `address` changes, or -1; `upperByte` tells which byte.
  int16_t writable(uint8_t address, bool& upperByte) const {
    const Slot& s = write_[address & 0x7F];
    upperByte = s.upper;
    return s.index;
  }
  // The bits the register holds.
  uint16_t mask(int16_t index) const { return masks_[index]; }
  int16_t width(int16_t index) const { return widths_[index]; }
  bool twosComplement(int16_t index) const { return signed_[index]; }

  // The register's stored bits as a signed or unsigned number, as the table describes it.
  int32_t decode(int16_t index, uint16_t bits) const;
  // A number into the register's bits, saturated at the ends of its range as a converter does.
  uint16_t encode(int16_t index, int32_t value) const;

 private:
  struct Slot {
    int16_t index = -1;
    bool upper = false;
  };
  std::array<int16_t, kAddresses> read_{};
  std::array<Slot, kAddresses> write_{};
  std::array<uint16_t, kRegisters> masks_{};
  std::array<int16_t, kRegisters> widths_{};
  std::array<bool, kRegisters> signed_{};
};

}  // namespace vexa::sim
