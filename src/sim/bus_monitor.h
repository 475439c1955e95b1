#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/spi_slave.h"

namespace vexa::sim {

// One frame as it crossed the bus.
struct BusFrame {
  uint16_t mosi = 0;  // word sent to the slave
  uint16_t miso = 0;  // word the slave returned
  int bitCount = 16;

  bool operator==(const BusFrame& o) const {
    return mosi == o.mosi && miso == o.miso && bitCount == o.bitCount;
  }
};

// Sits between a master and a slave and records every frame that passes, for a trace option
// and for tests. The slave sees exactly the traffic it would see without the monitor.
class BusMonitor : public SpiSlave {
 public:
  explicit BusMonitor(SpiSlave& slave) : slave_(slave) {}

  uint16_t frameStart() override;
  void frameEnd(uint16_t mosi, int bitCount) override;

  const std::vector<BusFrame>& frames() const { return frames_; }
  void clear() { frames_.clear(); }
  // Recording can be switched off when only the live trace is wanted.
  void setRecording(bool on) { recording_ = on; }
  // Called with the formatted line of every frame as it completes; empty to stop.
  void setTrace(std::function<void(const std::string&)> trace) { trace_ = std::move(trace); }

  // "spi mosi=0xB712 miso=0x0000"; a frame of other than 16 bits adds " bits=N".
  static std::string format(const BusFrame& frame);

 private:
  SpiSlave& slave_;
  std::vector<BusFrame> frames_;
  std::function<void(const std::string&)> trace_;
  uint16_t miso_ = 0;
  bool recording_ = true;
};

}  // namespace vexa::sim
