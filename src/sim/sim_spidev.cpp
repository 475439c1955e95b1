#include "sim/sim_spidev.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/bus_time_model.h"

namespace vexa::sim {

namespace {
constexpr double kCsChangeDelaySeconds = 10e-6;
}  // namespace

int SimSpidev::open(const std::string& path) {
  if (std::find(nodes_.begin(), nodes_.end(), path) == nodes_.end()) return ENOENT;
  const auto fault = openErrors.find(path);
  if (fault != openErrors.end() && fault->second != 0) return fault->second;
  open_ = path;
  return 0;
}

int SimSpidev::setMode(uint8_t mode) {
  if (open_.empty()) return EBADF;
  if (mode > 3) return EINVAL;
  mode_ = mode;
  return 0;
}

int SimSpidev::setBitsPerWord(uint8_t bits) {
  if (open_.empty()) return EBADF;
  if (bits != 8 && (bits != 16 || only8BitWords)) return EINVAL;
  bits_ = bits;
  return 0;
}

int SimSpidev::setSpeed(uint32_t hz) {
  if (open_.empty()) return EBADF;
  if (hz == 0) return EINVAL;
  speed_ = std::min(hz, maxSpeedHz);
  return 0;
}

void SimSpidev::endFrame() {
  pins_.deselect();
}

void SimSpidev::startFrame(bool sensorHere) {
  pins_.attach(sensorHere ? slave_ : nullptr);
  pins_.select();
  if (releasedAt_ >= 0 && clock_ != nullptr) highSoFar_ = clock_->monotonicSeconds() - releasedAt_;
  releasedAt_ = -1;
  if (highSoFar_ >= 0 && (shortestHigh_ < 0 || highSoFar_ < shortestHigh_))
    shortestHigh_ = highSoFar_;
  highSoFar_ = -1;
}

// One bit in the controller's mode, edge by edge at the slave's pins. At each edge the
// controller samples first, then the slave sees the edge, then the controller drives its next
// bit: with CPHA 0 it drives before the leading edge and samples on it, with CPHA 1 it drives
// on the leading edge and samples on the trailing one.
bool SimSpidev::clockBit(bool out) {
  const bool leadingRises = (mode_ & 2) == 0;
  bool in = false;
  if ((mode_ & 1) == 0) {
    mosi_ = out;
    in = pins_.miso();
    pins_.edge(leadingRises, mosi_);
    pins_.edge(!leadingRises, mosi_);
  } else {
    pins_.edge(leadingRises, mosi_);
    mosi_ = out;
    in = pins_.miso();
    pins_.edge(!leadingRises, mosi_);
  }
  return in;
}

int SimSpidev::message(const std::vector<SpidevSegment>& segments) {
  if (open_.empty()) return EBADF;
  ++messages_;
  last_ = segments;
  if (messageError != 0) return messageError;
  // The kernel checks every segment before any goes out.
  for (const SpidevSegment& s : segments) {
    const uint8_t bits = s.bitsPerWord ? s.bitsPerWord : bits_;
    if (bits != 8 && (bits != 16 || only8BitWords)) return EINVAL;
    if (s.length == 0 || s.length % (bits / 8) != 0) return EINVAL;
    if (s.tx == nullptr && s.rx == nullptr) return EINVAL;
    // A clock above the controller's limit is lowered to it, as the SPI core does.
  }
  double seconds = kSpidevMessageSeconds;
  for (const SpidevSegment& s : segments) {
    const uint32_t hz = s.speedHz ? std::min(s.speedHz, maxSpeedHz) : speed_;
    seconds += 8.0 * s.length / hz + s.delayUsecs * 1e-6;
  }
  busTime_.pass(seconds);
  const bool sensorHere = slave_ != nullptr && open_ == slaveNode_;
  for (size_t i = 0; i < segments.size(); ++i) {
    const SpidevSegment& s = segments[i];
    const uint8_t bits = s.bitsPerWord ? s.bitsPerWord : bits_;
    const auto* tx = static_cast<const uint8_t*>(s.tx);
    auto* rx = static_cast<uint8_t*>(s.rx);
    for (uint32_t at = 0; at < s.length; at += bits / 8) {
      uint16_t out = 0;
      if (tx != nullptr) {
        if (bits == 16)
          std::memcpy(&out, tx + at, 2);  // the processor's byte order
        else
          out = tx[at];
      }
      uint16_t in = 0;
      for (int b = bits - 1; b >= 0; --b) {
        if (!pins_.selected()) startFrame(sensorHere);
        in = static_cast<uint16_t>(in | (clockBit(((out >> b) & 1u) != 0) ? 1u << b : 0u));
      }
      if (rx != nullptr) {
        if (bits == 16)
          std::memcpy(rx + at, &in, 2);
        else
          rx[at] = static_cast<uint8_t>(in);
      }
    }
    const bool last = i + 1 == segments.size();
    if (s.csChange != last) {
      // cs_change on the last segment would leave chip select asserted after the message.
      if (shortestPause_ < 0 || s.delayUsecs < shortestPause_) shortestPause_ = s.delayUsecs;
      endFrame();
      // delay_usecs went by with chip select still low: up inside a message, it stays so for the
      // core's default cs_change delay; up at the end, until the next message asserts it.
      if (last)
        releasedAt_ = clock_ != nullptr ? clock_->monotonicSeconds() : -1;
      else
        highSoFar_ = kCsChangeDelaySeconds;
    }
  }
  // A controller that went away while the message was on the wire fails the message.
  return messageError;
}

}  // namespace vexa::sim
