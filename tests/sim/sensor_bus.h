#pragma once

#include <cstdint>

#include "sim/spi_slave.h"
#include "registers/register_table.h"

namespace vexa::testing {

// Register reads and writes as whole frames, the way the transports put them on the bus.
class SensorBus {
 public:
  explicit SensorBus(sim::SpiSlave& slave) : slave_(slave) { BuildRegisterTable(table_); }

  // The word the sensor returns for a read of the register's address.
  uint16_t word(int16_t index) {
    const uint16_t command = static_cast<uint16_t>((table_.BaseAddr[index] & 0x7F) << 8);
    slave_.exchange(command);
    return slave_.exchange(0);
  }
  // The register's value: masked to its width, sign-extended if it is two's complement.
  int32_t read(int16_t index) {
    const uint16_t w = word(index);
    const int n = table_.ReadLen[index];
    if (table_.TwosCompl[index]) return (w & ((1 << (n - 1)) - 1)) - (w & (1 << (n - 1)));
    return n >= 16 ? w : (w & ((1 << n) - 1));
  }
  // Two byte writes, high byte first (ALM_SMPL1 low byte first).
  void write(int16_t index, int32_t value) {
    const int a = table_.BaseAddr[index] & 0x7F;
    const int hi = (value >> 8) & 0xFF, lo = value & 0xFF;
    if (index == ALM_SMPL1) {
      writeByte(a, lo);
      writeByte(a + 1, hi);
    } else {
      writeByte(a + 1, hi);
      writeByte(a, lo);
    }
  }
  void writeByte(int address, int data) {
    slave_.exchange(static_cast<uint16_t>(0x8000 | ((address & 0x7F) << 8) | (data & 0xFF)));
  }
  void command(int bits) { write(COMMAND, bits); }

  const RegisterTable& table() const { return table_; }

 private:
  sim::SpiSlave& slave_;
  RegisterTable table_;
};

}  // namespace vexa::testing
