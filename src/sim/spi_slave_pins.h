#pragma once

#include <cstdint>

#include "sim/spi_slave.h"

namespace vexa::sim {

// The SPI mode the sensor works in, fixed by the device: the clock idles high (CPOL 1), the
// sensor moves to its next reply bit on each falling edge and takes MOSI on each rising one
// (CPHA 1).
constexpr int kSensorSpiMode = 3;

// A slave's pins, edge by edge, in one SPI mode (CPOL in bit 1, CPHA in bit 0). The leading
// edge of a clock cycle leaves the idle level, the trailing edge returns to it. With CPHA 0
// the first reply bit is on MISO from chip select on, the slave samples on leading edges and
// moves on at trailing ones; with CPHA 1 it moves on at leading edges (the first one presents
// the first bit, which is already driven from chip select on) and samples at trailing ones.
// So a master in another mode than the slave's sees its words a bit off, or sends them so.
class SpiSlavePins {
 public:
  explicit SpiSlavePins(int mode = kSensorSpiMode) : mode_(mode & 3) {}

  void attach(SpiSlave* slave) { slave_ = slave; }
  SpiSlave* slave() const { return slave_; }
  void setMode(int mode) { mode_ = mode & 3; }
  int mode() const { return mode_; }

  // Chip select goes low (the slave fixes its word for the frame) or high (the frame ends with
  // the bits sampled so far). The slave counts every clock edge while selected: a frame is whole
  // only when its edges pair up into its sampled bits (16 cycles: 32 edges). Any other count,
  // such as a 17th leading edge before chip select rises, reaches the slave as a frame of other
  // than 16 clocks, which it discards.
  void select();
  void deselect();
  bool selected() const { return selected_; }
  // One SCK edge with MOSI at `mosi` just before it: the slave samples before it moves on.
  void edge(bool rising, bool mosi);
  // What the slave drives on MISO; high (pulled up) when it is not selected.
  bool miso() const;
  // Edges of the slave's sampling kind, and of both kinds, in the frame now running or last
  // ended.
  int samplingEdges() const { return bits_; }
  int edges() const { return bits_ + moves_; }
  // Whether an edge in that direction is one the slave samples MOSI on.
  bool samplesOn(bool rising) const { return rising == (mode_ == 0 || mode_ == 3); }

 private:
  SpiSlave* slave_ = nullptr;
  int mode_;
  bool selected_ = false;
  uint16_t reply_ = 0xFFFF;
  uint32_t mosi_ = 0;
  int bits_ = 0;
  int moves_ = 0;
};

}  // namespace vexa::sim
