#include "sim/bus_monitor.h"

#include <cstdio>

namespace vexa::sim {

uint16_t BusMonitor::frameStart() {
  miso_ = slave_.frameStart();
  return miso_;
}

void BusMonitor::frameEnd(uint16_t mosi, int bitCount) {
  slave_.frameEnd(mosi, bitCount);
  const BusFrame frame{mosi, miso_, bitCount};
  if (recording_) frames_.push_back(frame);
  if (trace_) trace_(format(frame));
}

std::string BusMonitor::format(const BusFrame& frame) {
  char text[48];
  if (frame.bitCount == 16) {
    std::snprintf(text, sizeof text, "spi mosi=0x%04X miso=0x%04X", frame.mosi, frame.miso);
  } else {
    std::snprintf(text, sizeof text, "spi mosi=0x%04X miso=0x%04X bits=%d", frame.mosi, frame.miso,
                  frame.bitCount);
  }
  return text;
}

}  // namespace vexa::sim
