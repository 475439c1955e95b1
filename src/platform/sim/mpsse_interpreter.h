#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/ftdi_io.h"
#include "platform/sim/spi_slave.h"

namespace vexa::sim {

// The MPSSE command processor of one FTDI channel, simulated down to its pins, with the sensor
// wired to ADBUS0 (SCK), ADBUS1 (MOSI), ADBUS2 (MISO) and one ADBUS pin as chip select.
//
// Commands are taken from the byte stream the host writes, in any split over writes. Pin
// commands set levels and directions; data commands clock bits out and in on the edges their
// opcode names, at the rate the divisor gives. Only pins set as outputs drive their lines;
// lines nobody drives read high (pull-ups). The sensor is an SPI mode 3 slave: frames start
// and end with chip select, it takes MOSI on each rising clock edge and moves to its next reply
// bit on each falling edge after the first. So a wrong opcode, edge, pin or direction shows up
// as a frame with other bits, of another length, or as none at all. Opcodes the chip does not
// know (the 2232D lacks the H chips' clock commands) are answered 0xFA and the opcode.
class MpsseInterpreter {
 public:
  explicit MpsseInterpreter(FtdiChip chip = FtdiChip::Ft232H) : chip_(chip) {}

  void attach(SpiSlave* slave) { slave_ = slave; }
  // The ADBUS pin the sensor's chip select is wired to (3..7).
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

 private:
  // Bytes a command needs, including its opcode; 0 for an opcode this chip does not know.
  size_t commandLength(const std::vector<uint8_t>& pending) const;
  void run(const uint8_t* command, size_t length);
  void shift(uint8_t opcode, const uint8_t* data, uint32_t bits, bool bitMode);
  void idle(uint32_t clocks);
  void setLevels(uint8_t levels, uint8_t directions);

  bool line(uint8_t pin) const;  // a driven output's level, else high
  bool chipSelected() const { return !line(static_cast<uint8_t>(1u << csPin_)); }
  bool misoLine() const;
  void edge(bool rising, bool masterReads, bool& sample);
  void frameStart();
  void frameEnd();

  FtdiChip chip_;
  SpiSlave* slave_ = nullptr;
  int csPin_ = 3;
  std::vector<uint8_t> pending_;
  std::deque<uint8_t> output_;

  uint8_t levels_ = 0;
  uint8_t directions_ = 0;
  uint16_t divisor_ = 0;
  bool divideBy5_ = true;
  bool loopback_ = false;

  bool inFrame_ = false;
  uint16_t reply_ = 0;
  uint32_t mosi_ = 0;
  int bits_ = 0;
  int falls_ = 0;
  int frames_ = 0;
  double busSeconds_ = 0;
  double frameEndAt_ = -1;
  double shortestGap_ = -1;
  long idleClocks_ = 0;
  std::vector<uint8_t> badCommands_;
};

}  // namespace vexa::sim
