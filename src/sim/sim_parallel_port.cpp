#include "sim/sim_parallel_port.h"

namespace vexa::sim {

void SimParallelPort::vbOut(uint16_t port, uint8_t value) {
  if (recording_) accesses_.push_back({Access::Write, port, value});
  if (!fixedBase_ && (!base_ || (port != *base_ + 1 && port != *base_ + 2))) base_ = port;
  if (port == *base_) {
    writeData(value);
  } else if (port == *base_ + 1) {
    statusWritten_ = value;  // the status register has no latch; the write changes no line
  } else if (port == *base_ + 2) {
    control_ = value;
  }
}

uint8_t SimParallelPort::vbInp(uint16_t port) {
  uint8_t value = kFloatingBus;
  if (base_) {
    if (port == *base_) {
      value = data_;
    } else if (port == *base_ + 1) {
      // The adapter inverts the sensor's data output onto status bit 6.
      value = replyBit() ? kStatusIdle : static_cast<uint8_t>(kStatusIdle | kStatusDataIn);
    } else if (port == *base_ + 2) {
      value = static_cast<uint8_t>(control_ | 0xC0);
    }
  }
  if (recording_) accesses_.push_back({Access::Read, port, value});
  return value;
}

bool SimParallelPort::replyBit() const {
  if (!inFrame() || slave_ == nullptr || bits_ >= 16) return false;
  return ((reply_ >> (15 - bits_)) & 1) != 0;
}

void SimParallelPort::writeData(uint8_t value) {
  const uint8_t before = data_;
  data_ = value;
  const bool frameRose = !(before & kFrame) && (value & kFrame);
  const bool frameFell = (before & kFrame) && !(value & kFrame);
  const bool clockFell = (before & kClock) && !(value & kClock);

  // A clock edge in the same write as a frame edge belongs to no frame.
  if (frameRose) {
    if (clockFell) ++strayEdges_;
    mosi_ = 0;
    bits_ = 0;
    reply_ = slave_ != nullptr ? slave_->frameStart() : 0;
    return;
  }
  if (frameFell) {
    if (clockFell) ++strayEdges_;
    ++frames_;
    if (slave_ != nullptr) slave_->frameEnd(static_cast<uint16_t>(mosi_ & 0xFFFF), bits_);
    return;
  }
  if (!clockFell) return;
  if (!(value & kFrame)) {
    ++strayEdges_;
    return;
  }
  // The bit on the line at the falling edge; the line carries its complement.
  const uint32_t bit = (value & kDataOutInverted) ? 0 : 1;
  mosi_ = (mosi_ << 1) | bit;
  ++bits_;
}

}  // namespace vexa::sim
