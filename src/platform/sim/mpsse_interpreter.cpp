#include "platform/sim/mpsse_interpreter.h"

#include <algorithm>

namespace vexa::sim {

namespace {

constexpr uint8_t kSck = 0x01;
constexpr uint8_t kDo = 0x02;
constexpr uint8_t kDi = 0x04;

bool highSpeed(FtdiChip chip) {
  return chip == FtdiChip::Ft2232H || chip == FtdiChip::Ft4232H || chip == FtdiChip::Ft232H;
}

}  // namespace

void MpsseInterpreter::reset() {
  if (inFrame_) frameEnd();
  pending_.clear();
  output_.clear();
  levels_ = 0;
  directions_ = 0;
  divisor_ = 0;
  divideBy5_ = true;
  loopback_ = false;
}

double MpsseInterpreter::clockHz() const {
  const double base = highSpeed(chip_) && !divideBy5_ ? 60e6 : 12e6;
  return base / ((1.0 + divisor_) * 2.0);
}

size_t MpsseInterpreter::commandLength(const std::vector<uint8_t>& p) const {
  const uint8_t op = p[0];
  if (op & 0x80) {
    switch (op) {
      case 0x80:
      case 0x82:
      case 0x86:
        return 3;
      case 0x81:
      case 0x83:
      case 0x84:
      case 0x85:
      case 0x87:
        return 1;
      case 0x8A:
      case 0x8B:
      case 0x8C:
      case 0x8D:
      case 0x96:
      case 0x97:
        return highSpeed(chip_) ? 1 : 0;
      case 0x8E:
        return highSpeed(chip_) ? 2 : 0;
      case 0x8F:
        return highSpeed(chip_) ? 3 : 0;
      default:
        return 0;
    }
  }
  // Data commands. TMS shifting is for JTAG and not modelled; neither is an opcode that moves
  // no data.
  if ((op & 0x40) || (op & 0x30) == 0) return 0;
  const bool write = (op & 0x10) != 0;
  if (op & 0x02) return write ? 3 : 2;
  if (p.size() < 3) return 3;
  const size_t n = static_cast<size_t>(p[1] | p[2] << 8) + 1;
  return write ? 3 + n : 3;
}

void MpsseInterpreter::feed(const uint8_t* data, size_t length) {
  pending_.insert(pending_.end(), data, data + length);
  size_t at = 0;
  std::vector<uint8_t> view;
  while (at < pending_.size()) {
    const uint8_t op = pending_[at];
    view.assign(pending_.begin() + static_cast<std::ptrdiff_t>(at),
                pending_.begin() + static_cast<std::ptrdiff_t>(std::min(pending_.size(), at + 3)));
    const size_t n = commandLength(view);
    if (n == 0) {
      output_.push_back(0xFA);
      output_.push_back(op);
      badCommands_.push_back(op);
      ++at;
      continue;
    }
    if (pending_.size() - at < n) break;
    run(pending_.data() + at, n);
    at += n;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

void MpsseInterpreter::run(const uint8_t* c, size_t length) {
  const uint8_t op = c[0];
  switch (op) {
    case 0x80:
      setLevels(c[1], c[2]);
      return;
    case 0x81: {
      uint8_t read = 0;
      for (int pin = 0; pin < 8; ++pin) {
        const uint8_t bit = static_cast<uint8_t>(1u << pin);
        const bool high = bit == kDi && !(directions_ & kDi) ? misoLine() : line(bit);
        if (high) read |= bit;
      }
      output_.push_back(read);
      return;
    }
    case 0x83:
      output_.push_back(0xFF);
      return;
    case 0x82:
    case 0x87:
    case 0x8C:
    case 0x8D:
    case 0x96:
    case 0x97:
      return;
    case 0x84:
      loopback_ = true;
      return;
    case 0x85:
      loopback_ = false;
      return;
    case 0x86:
      divisor_ = static_cast<uint16_t>(c[1] | c[2] << 8);
      return;
    case 0x8A:
      divideBy5_ = false;
      return;
    case 0x8B:
      divideBy5_ = true;
      return;
    case 0x8E:
      idle(static_cast<uint32_t>(c[1]) + 1);
      return;
    case 0x8F:
      idle((static_cast<uint32_t>(c[1] | c[2] << 8) + 1) * 8);
      return;
    default:
      break;
  }
  const bool bitMode = (op & 0x02) != 0;
  const bool write = (op & 0x10) != 0;
  const uint32_t bits =
      bitMode ? static_cast<uint32_t>(c[1]) + 1 : (static_cast<uint32_t>(c[1] | c[2] << 8) + 1) * 8;
  const uint8_t* data = write ? c + (bitMode ? 2 : 3) : nullptr;
  (void)length;
  shift(op, data, bits, bitMode);
}

bool MpsseInterpreter::line(uint8_t pin) const {
  return (directions_ & pin) ? (levels_ & pin) != 0 : true;
}

bool MpsseInterpreter::misoLine() const {
  if (loopback_) return line(kDo);
  if (directions_ & kDi) return (levels_ & kDi) != 0;
  if (!inFrame_ || slave_ == nullptr) return true;
  const int index = std::max(0, falls_ - 1);
  if (index >= 16) return true;
  return ((reply_ >> (15 - index)) & 1) != 0;
}

void MpsseInterpreter::frameStart() {
  inFrame_ = true;
  mosi_ = 0;
  bits_ = 0;
  falls_ = 0;
  reply_ = slave_ != nullptr ? slave_->frameStart() : 0xFFFF;
  if (frameEndAt_ >= 0) {
    const double gap = busSeconds_ - frameEndAt_;
    if (shortestGap_ < 0 || gap < shortestGap_) shortestGap_ = gap;
  }
}

void MpsseInterpreter::frameEnd() {
  inFrame_ = false;
  ++frames_;
  frameEndAt_ = busSeconds_;
  if (slave_ != nullptr) slave_->frameEnd(static_cast<uint16_t>(mosi_ & 0xFFFF), bits_);
}

// One clock edge on the SCK line as the slave sees it; the master's sample is taken first.
void MpsseInterpreter::edge(bool rising, bool masterReads, bool& sample) {
  if (masterReads) sample = misoLine();
  if (!(directions_ & kSck)) return;  // the clock pin is not driven: no edge reaches the sensor
  if (inFrame_) {
    if (rising) {
      mosi_ = (mosi_ << 1) | (line(kDo) ? 1u : 0u);
      ++bits_;
    } else {
      ++falls_;
    }
  } else if (rising) {
    ++idleClocks_;
  }
}

void MpsseInterpreter::setLevels(uint8_t levels, uint8_t directions) {
  const bool sckBefore = line(kSck);
  const bool selectedBefore = chipSelected();
  levels_ = levels;
  directions_ = directions;
  const bool selected = chipSelected();
  const bool sckNow = line(kSck);
  bool unused = false;
  if (selected && !selectedBefore) frameStart();
  if (sckNow != sckBefore && (directions_ & kSck)) edge(sckNow, false, unused);
  if (!selected && selectedBefore) frameEnd();
}

void MpsseInterpreter::idle(uint32_t clocks) {
  busSeconds_ += clocks / clockHz();
  if (!inFrame_) {
    if (directions_ & kSck) idleClocks_ += clocks;
    return;
  }
  bool unused = false;
  for (uint32_t i = 0; i < clocks; ++i) {
    const bool high = (levels_ & kSck) != 0;
    levels_ ^= kSck;
    edge(!high, false, unused);
    levels_ ^= kSck;
    edge(high, false, unused);
  }
}

void MpsseInterpreter::shift(uint8_t op, const uint8_t* data, uint32_t bits, bool bitMode) {
  const bool writeOnFalling = (op & 0x01) != 0;
  const bool readOnFalling = (op & 0x04) != 0;
  const bool lsbFirst = (op & 0x08) != 0;
  const bool write = (op & 0x10) != 0;
  const bool read = (op & 0x20) != 0;
  const double period = 1.0 / clockHz();
  uint8_t inByte = 0;
  int inBits = 0;
  for (uint32_t i = 0; i < bits; ++i) {
    bool outBit = false;
    if (write) {
      const uint8_t byte = bitMode ? data[0] : data[i / 8];
      const int pos = lsbFirst ? static_cast<int>(i % 8) : 7 - static_cast<int>(i % 8);
      outBit = ((byte >> pos) & 1) != 0;
    }
    const bool firstRising = (levels_ & kSck) == 0;
    // Data goes out on the write edge; when that is the period's second edge, the bit is put on
    // the line before the first one (at the previous write edge, or at the command's start).
    const bool writeOnFirst = writeOnFalling == !firstRising;
    if (write && !writeOnFirst)
      levels_ = static_cast<uint8_t>(outBit ? levels_ | kDo : levels_ & ~kDo);
    bool sample = false;
    for (int e = 0; e < 2; ++e) {
      const bool rising = (e == 0) == firstRising;
      levels_ ^= kSck;
      edge(rising, read && (readOnFalling == !rising), sample);
      if (write && e == 0 && writeOnFirst)
        levels_ = static_cast<uint8_t>(outBit ? levels_ | kDo : levels_ & ~kDo);
    }
    busSeconds_ += period;
    if (read) {
      inByte = static_cast<uint8_t>(lsbFirst ? (inByte >> 1) | (sample ? 0x80 : 0)
                                             : (inByte << 1) | (sample ? 1 : 0));
      if (++inBits == 8 || (bitMode && i + 1 == bits)) {
        output_.push_back(inByte);
        inByte = 0;
        inBits = 0;
      }
    }
  }
}

}  // namespace vexa::sim
