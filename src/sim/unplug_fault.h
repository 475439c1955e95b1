#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/spi_slave.h"

namespace vexa::sim {

// Sits in front of the simulated bus and pulls the adapter out once `frames` SPI frames have
// crossed it: as the next frame starts, `unplug` runs (each simulated transport then fails as an
// unplugged one does), and from then on nothing reaches the sensor. Lets users and tests see a
// run lose its transport part-way, at a frame they choose.
class UnplugAfterFrames : public SpiSlave {
 public:
  UnplugAfterFrames(SpiSlave& next, uint64_t frames, std::function<void()> unplug)
      : next_(next), left_(frames), unplug_(std::move(unplug)) {}

  uint16_t frameStart() override;
  void frameEnd(uint16_t mosi, int bitCount) override;

  bool unplugged() const { return unplugged_; }

 private:
  SpiSlave& next_;
  uint64_t left_;
  std::function<void()> unplug_;
  bool unplugged_ = false;
  bool inFrame_ = false;  // the current frame reached the sensor
};

// "unplug-after=N" (N from 0 up): the frame count; false for anything else.
bool ParseUnplugFault(const std::string& text, uint64_t& frames);

}  // namespace vexa::sim
