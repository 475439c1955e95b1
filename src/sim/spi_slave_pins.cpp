#include "sim/spi_slave_pins.h"

#include <algorithm>

namespace vexa::sim {

void SpiSlavePins::select() {
  if (selected_) return;
  selected_ = true;
  mosi_ = 0;
  bits_ = 0;
  moves_ = 0;
  reply_ = slave_ != nullptr ? slave_->frameStart() : 0xFFFF;
}

void SpiSlavePins::deselect() {
  if (!selected_) return;
  selected_ = false;
  // The clocks the slave counted: an edge left over never makes a whole 16-clock frame.
  int clocks = bits_;
  if (moves_ != bits_) {
    clocks = (bits_ + moves_ + 1) / 2;
    if (clocks == 16) clocks = bits_ + moves_ < 32 ? 15 : 17;
  }
  if (slave_ != nullptr) slave_->frameEnd(static_cast<uint16_t>(mosi_ & 0xFFFF), clocks);
}

void SpiSlavePins::edge(bool rising, bool mosi) {
  if (!selected_) return;
  if (samplesOn(rising)) {
    mosi_ = (mosi_ << 1) | (mosi ? 1u : 0u);
    ++bits_;
  } else {
    ++moves_;
  }
}

bool SpiSlavePins::miso() const {
  if (!selected_) return true;
  // With CPHA 1 the first leading edge presents the bit already on the line.
  const int index = (mode_ & 1) ? std::max(0, moves_ - 1) : moves_;
  if (index >= 16) return true;
  return ((reply_ >> (15 - index)) & 1) != 0;
}

}  // namespace vexa::sim
