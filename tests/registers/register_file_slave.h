#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sim/spi_slave.h"

namespace vexa::testing {

// A bare SPI register file: a read command's word comes back in the next frame, a write command
// stores its byte. Every frame is noted as it arrived, malformed ones included.
class RegisterFileSlave : public sim::SpiSlave {
 public:
  struct Frame {
    uint16_t mosi;
    int bits;
    bool operator==(const Frame& o) const { return mosi == o.mosi && bits == o.bits; }
  };

  uint16_t frameStart() override { return pending_; }
  void frameEnd(uint16_t mosi, int bitCount) override {
    frames.push_back({mosi, bitCount});
    pending_ = 0;
    if (bitCount != 16) return;
    const uint8_t address = (mosi >> 8) & 0x7F;
    if (mosi & 0x8000)
      bytes[address] = mosi & 0xFF;
    else
      pending_ = words.count(address) ? words[address] : 0;
  }

  std::vector<uint16_t> mosiWords() const {
    std::vector<uint16_t> out;
    for (const auto& f : frames) out.push_back(f.mosi);
    return out;
  }

  std::map<uint8_t, uint16_t> words;  // what a read of each address answers
  std::map<uint8_t, uint8_t> bytes;   // what writes left at each address
  std::vector<Frame> frames;

 private:
  uint16_t pending_ = 0;
};

}  // namespace vexa::testing
