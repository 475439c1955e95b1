#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/ftdi_io.h"
#include "sim/spi_slave.h"
#include "sim/spi_slave_pins.h"

namespace vexa::sim {

// The MPSSE command processor of one FTDI channel as FTDI's command reference describes it,
// simulated down to its pins, with a slave wired to ADBUS0 (SCK), ADBUS1 (DO, to MOSI), ADBUS2
// (DI, from MISO) and one ADBUS pin as chip select.
//
// Commands are taken from the byte stream the host writes, in any split over writes. Pin
// commands set levels and directions; data commands clock bits at the rate the divisor gives.
// A data command puts its first bit on DO when it starts and the next one at each edge of the
// kind its opcode names for output; it samples DI at each edge of the kind named for input.
// The chip supports only the pairings of clock level and output edge its reference documents:
// output on the falling edge with the clock starting low, on the rising edge with the clock
// starting high (SPI modes 0 and 2). Any other start (output on the falling edge with the clock
// high) moves to the second bit at the first edge, before the slave has sampled the first one:
// the frame arrives shifted by a bit, as on the chip. Such commands are counted.
//
// Only pins set as outputs drive their lines; lines nobody drives read high (pull-ups).
// Opcodes the chip does not know (the 2232D lacks the H chips' clock commands) are answered
// 0xFA and the opcode. TMS shifting (JTAG) is not modelled and answered the same way.
class MpsseInterpreter {
 public:
  explicit MpsseInterpreter(FtdiChip chip = FtdiChip::Ft232H) : chip_(chip) {}

  // The slave on the pins and the SPI mode it works in (the sensor's, unless another is given).
  void attach(SpiSlave* slave, int slaveMode = kSensorSpiMode) {
    pins_.attach(slave);
    pins_.setMode(slaveMode);
  }
  // The ADBUS pin the slave's chip select is wired to (3..7).
  void wireChipSelect(int pin) { csPin_ = pin; }
  FtdiChip chip() const { return chip_; }

  // Back to the state after a bitmode reset: every pin an input, 12 MHz base, divisor 0.
  void reset();
  void feed(const uint8_t* data, size_t length);
  // Answers waiting to be read.
  std::deque<uint8_t>& output() { return output_; }

  double clockHz() const;
  uint8_t levels() const { return levels_; }
  uint8_t directions() const { return directions_; }
  bool loopback() const { return loopback_; }
  // Bus time spent clocking, in seconds.
  double busSeconds() const { return busSeconds_; }
  // Shortest time chip select stayed high between two frames; negative before the second frame.
  double shortestGapSeconds() const { return shortestGap_; }
  // Clock edges while chip select was high (pauses), opcodes refused.
  long idleClocks() const { return idleClocks_; }
  const std::vector<uint8_t>& badCommands() const { return badCommands_; }
  int frames() const { return frames_; }

  // Data commands whose output edge did not match the clock level they started at.
  long undocumentedCommands() const { return undocumented_; }
  // Frames in which the slave saw other than 16 edges of its sampling kind and 16 of the other.
  long oddFrames() const { return oddFrames_; }
  // Every clock edge while chip select was low, frame by frame.
  const std::vector<int>& edgesPerFrame() const { return edgesPerFrame_; }
  // At the slave's pins, shortest over all frames: MOSI steady before a sampling edge that a
  // data command clocked (or chip select low before the first), and chip select still low after
  // the last sampling edge when a data command clocked it. Negative before the first frame.
  double shortestSetupSeconds() const { return shortestSetup_; }
  double shortestHoldSeconds() const { return shortestHold_; }
  // The pins' value command takes no bus time here (the reference gives it none), so an edge it
  // makes is held to order: MOSI set by an earlier command, chip select raised by a later one
  // than the last sampling edge. Edges that changed together with MOSI or chip select in one
  // command.
  long racingEdges() const { return racingEdges_; }

 private:
  // Bytes a command needs, including its opcode; 0 for an opcode this chip does not know.
  size_t commandLength(const uint8_t* command, size_t available) const;
  void run(const uint8_t* command);
  void shift(uint8_t opcode, const uint8_t* data, uint32_t bits, bool bitMode);
  void idle(uint32_t clocks);
  void setLevels(uint8_t levels, uint8_t directions);

  bool line(uint8_t pin) const;  // a driven output's level, else high
  bool chipSelected() const { return !line(static_cast<uint8_t>(1u << csPin_)); }
  bool diLine() const;
  void setDo(bool high);
  // One SCK edge: the engine samples DI first, then the slave sees the edge.
  void edge(bool rising, bool engineReads, bool& sample);
  void frameStart();
  void frameEnd();
  static void keepShortest(double& shortest, double value);

  FtdiChip chip_;
  SpiSlavePins pins_;
  int csPin_ = 3;
  std::vector<uint8_t> pending_;
  std::deque<uint8_t> output_;

  uint8_t levels_ = 0;
  uint8_t directions_ = 0;
  uint16_t divisor_ = 0;
  bool divideBy5_ = true;
  bool loopback_ = false;

  int frames_ = 0;
  double busSeconds_ = 0;
  double frameEndAt_ = -1;
  double shortestGap_ = -1;
  long idleClocks_ = 0;
  std::vector<uint8_t> badCommands_;
  long undocumented_ = 0;
  long oddFrames_ = 0;
  double doSteadySince_ = 0;  // bus time of the last change of MOSI or of chip select falling
  double lastSampleAt_ = -1;
  double shortestSetup_ = -1;
  double shortestHold_ = -1;
  std::vector<int> edgesPerFrame_;
  long racingEdges_ = 0;
  long command_ = 0;             // commands run so far
  bool pinCommand_ = false;      // the command running sets the pins' value
  long doSteadyCommand_ = -1;    // the command of the last change of MOSI or chip select falling
  long lastSampleCommand_ = -1;  // the command of the last sampling edge a pin command made
};

}  // namespace vexa::sim
