#include "sim/mpsse_interpreter.h"

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
  if (pins_.selected()) frameEnd();
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

size_t MpsseInterpreter::commandLength(const uint8_t* p, size_t available) const {
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
  if (available < 3) return 3;
  const size_t n = static_cast<size_t>(p[1] | p[2] << 8) + 1;
  return write ? 3 + n : 3;
}

void MpsseInterpreter::feed(const uint8_t* data, size_t length) {
  pending_.insert(pending_.end(), data, data + length);
  size_t at = 0;
  while (at < pending_.size()) {
    const uint8_t op = pending_[at];
    const size_t n = commandLength(pending_.data() + at, pending_.size() - at);
    if (n == 0) {
      output_.push_back(0xFA);
      output_.push_back(op);
      badCommands_.push_back(op);
      ++at;
      continue;
    }
    if (pending_.size() - at < n) break;
    run(pending_.data() + at);
    at += n;
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

void MpsseInterpreter::run(const uint8_t* c) {
  const uint8_t op = c[0];
  ++command_;
  switch (op) {
    case 0x80:
      pinCommand_ = true;
      setLevels(c[1], c[2]);
      pinCommand_ = false;
      return;
    case 0x81: {
      uint8_t read = 0;
      for (int pin = 0; pin < 8; ++pin) {
        const uint8_t bit = static_cast<uint8_t>(1u << pin);
        const bool high = bit == kDi ? diLine() : line(bit);
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
  shift(op, data, bits, bitMode);
}

bool MpsseInterpreter::line(uint8_t pin) const {
  return (directions_ & pin) ? (levels_ & pin) != 0 : true;
}

bool MpsseInterpreter::diLine() const {
  if (loopback_) return line(kDo);
  if (directions_ & kDi) return (levels_ & kDi) != 0;
  return pins_.miso();
}

void MpsseInterpreter::setDo(bool high) {
  const bool before = line(kDo);
  levels_ = static_cast<uint8_t>(high ? levels_ | kDo : levels_ & ~kDo);
  if (line(kDo) != before) {
    doSteadySince_ = busSeconds_;
    doSteadyCommand_ = command_;
  }
}

void MpsseInterpreter::keepShortest(double& shortest, double value) {
  if (shortest < 0 || value < shortest) shortest = value;
}

void MpsseInterpreter::frameStart() {
  pins_.select();
  doSteadySince_ = busSeconds_;
  doSteadyCommand_ = command_;
  lastSampleAt_ = -1;
  lastSampleCommand_ = -1;
  if (frameEndAt_ >= 0) keepShortest(shortestGap_, busSeconds_ - frameEndAt_);
}

void MpsseInterpreter::frameEnd() {
  ++frames_;
  frameEndAt_ = busSeconds_;
  edgesPerFrame_.push_back(pins_.edges());
  if (pins_.samplingEdges() != 16 || pins_.edges() != 32) ++oddFrames_;
  if (lastSampleCommand_ >= 0) {
    if (lastSampleCommand_ == command_) ++racingEdges_;
  } else if (lastSampleAt_ >= 0) {
    keepShortest(shortestHold_, busSeconds_ - lastSampleAt_);
  }
  pins_.deselect();
}

void MpsseInterpreter::edge(bool rising, bool engineReads, bool& sample) {
  if (engineReads) sample = diLine();
  if (!(directions_ & kSck)) return;  // the clock pin is not driven: no edge reaches the slave
  if (!pins_.selected()) {
    if (rising) ++idleClocks_;
    return;
  }
  if (pins_.samplesOn(rising)) {
    lastSampleAt_ = busSeconds_;
    if (pinCommand_) {
      if (doSteadyCommand_ == command_) ++racingEdges_;
      lastSampleCommand_ = command_;
    } else {
      keepShortest(shortestSetup_, busSeconds_ - doSteadySince_);
      lastSampleCommand_ = -1;
    }
  }
  pins_.edge(rising, line(kDo));
}

void MpsseInterpreter::setLevels(uint8_t levels, uint8_t directions) {
  const bool sckBefore = line(kSck);
  const bool doBefore = line(kDo);
  const bool selectedBefore = chipSelected();
  levels_ = levels;
  directions_ = directions;
  if (line(kDo) != doBefore) {
    doSteadySince_ = busSeconds_;
    doSteadyCommand_ = command_;
  }
  const bool selected = chipSelected();
  const bool sckNow = line(kSck);
  bool unused = false;
  if (selected && !selectedBefore) frameStart();
  if (sckNow != sckBefore && (directions_ & kSck)) edge(sckNow, false, unused);
  if (!selected && selectedBefore) frameEnd();
}

void MpsseInterpreter::idle(uint32_t clocks) {
  const double half = 0.5 / clockHz();
  if (!pins_.selected()) {
    busSeconds_ += 2 * half * clocks;
    if (directions_ & kSck) idleClocks_ += clocks;
    return;
  }
  bool unused = false;
  for (uint32_t i = 0; i < 2 * clocks; ++i) {
    const bool rising = (levels_ & kSck) == 0;
    levels_ ^= kSck;
    busSeconds_ += half;
    edge(rising, false, unused);
  }
}

void MpsseInterpreter::shift(uint8_t op, const uint8_t* data, uint32_t bits, bool bitMode) {
  const bool outOnFalling = (op & 0x01) != 0;
  const bool inOnFalling = (op & 0x04) != 0;
  const bool lsbFirst = (op & 0x08) != 0;
  const bool write = (op & 0x10) != 0;
  const bool read = (op & 0x20) != 0;
  const bool startsHigh = (levels_ & kSck) != 0;
  if (write && outOnFalling == startsHigh) ++undocumented_;
  const auto bitAt = [&](uint32_t i) {
    const uint8_t byte = bitMode ? data[0] : data[i / 8];
    const int pos = lsbFirst ? static_cast<int>(i % 8) : 7 - static_cast<int>(i % 8);
    return ((byte >> pos) & 1) != 0;
  };
  const double half = 0.5 / clockHz();
  uint32_t outIndex = 0;
  uint32_t samples = 0;
  uint8_t inByte = 0;
  int inBits = 0;
  if (write) setDo(bitAt(0));
  for (uint32_t e = 0; e < 2 * bits; ++e) {
    const bool rising = (levels_ & kSck) == 0;
    levels_ ^= kSck;
    busSeconds_ += half;
    const bool reads = read && rising != inOnFalling && samples < bits;
    bool sample = false;
    edge(rising, reads, sample);
    if (reads) {
      ++samples;
      inByte = static_cast<uint8_t>(lsbFirst ? (inByte >> 1) | (sample ? 0x80 : 0)
                                             : (inByte << 1) | (sample ? 1 : 0));
      if (++inBits == 8 || (bitMode && samples == bits)) {
        output_.push_back(inByte);
        inByte = 0;
        inBits = 0;
      }
    }
    // The output edge moves DO on to the next bit; the last bit stays until something else
    // drives the pin.
    if (write && rising != outOnFalling && ++outIndex < bits) setDo(bitAt(outIndex));
  }
}

}  // namespace vexa::sim
