#include "platform/sim/sim_spidev.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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
  if (!inFrame_) return;
  inFrame_ = false;
  if (slave_ != nullptr && open_ == slaveNode_)
    slave_->frameEnd(static_cast<uint16_t>(mosi_ & 0xFFFF), frameBits_);
}

void SimSpidev::startFrame(bool sensorHere) {
  inFrame_ = true;
  mosi_ = 0;
  frameBits_ = 0;
  reply_ = sensorHere ? slave_->frameStart() : 0xFFFF;
  if (releasedAt_ >= 0 && clock_ != nullptr) highSoFar_ = clock_->monotonicSeconds() - releasedAt_;
  releasedAt_ = -1;
  if (highSoFar_ >= 0 && (shortestHigh_ < 0 || highSoFar_ < shortestHigh_))
    shortestHigh_ = highSoFar_;
  highSoFar_ = -1;
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
        if (!inFrame_) startFrame(sensorHere);
        // The sensor's bit k is on the line for the rising edge of clock k; a CPHA 0 master
        // samples on the edge before, when bit k - 1 is still there.
        int k = frameBits_;
        if ((mode_ & 1) == 0) k = std::max(0, k - 1);
        const bool misoBit = k < 16 ? ((reply_ >> (15 - k)) & 1) != 0 : true;
        in = static_cast<uint16_t>(in | (misoBit ? 1u << b : 0u));
        mosi_ = (mosi_ << 1) | ((out >> b) & 1u);
        ++frameBits_;
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
