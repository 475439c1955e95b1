#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/port_io.h"
#include "sim/spi_slave.h"

namespace vexa::sim {

// A PC parallel port with the sensor's SPI adapter on it, simulated at the level of its pins.
//
// Data register: bit 0 is the frame enable (chip select), bit 1 the bit clock, bit 2 the
// outgoing data, complemented. Status register (data + 1): bit 6 is the incoming data,
// complemented.
//
// Decoding follows the lines, not the program: a frame starts when bit 0 rises and ends when it
// falls, with the number of bits clocked in between. A bit is taken on each falling clock edge
// inside a frame, from bit 2 as it stands at that edge (0 on the line is a 1 bit). The slave's
// reply word is shifted out most significant bit first: its first bit is on the line from the
// frame's start, and each falling clock edge moves on to the next one. Clock edges outside a
// frame go to no slave and are counted as stray. A pin sequence that differs from the one the
// transport prescribes therefore produces a frame with other bits, or of another length.
//
// The port sits at a fixed base address, or follows the program: without a fixed base, any
// address written that is not the status or control register of the present base becomes the
// data register.
class SimParallelPort : public PortIo {
 public:
  struct Access {
    enum Kind { Write, Read };
    Kind kind;
    uint16_t port;
    uint8_t value;
    bool operator==(const Access& o) const {
      return kind == o.kind && port == o.port && value == o.value;
    }
  };

  // Status bits other than the data input (bit 6 clear), as an idle printer port reads them.
  static constexpr uint8_t kStatusIdle = 0xBF;
  static constexpr uint8_t kStatusDataIn = 0x40;
  // What a read of an address where no register answers returns (a floating bus).
  static constexpr uint8_t kFloatingBus = 0xFF;

  explicit SimParallelPort(std::optional<uint16_t> base = std::nullopt) : base_(base) {}

  // The device at the far end, or none (the input line then floats and reads as 0 bits). Not
  // owned.
  void attach(SpiSlave* slave) { slave_ = slave; }

  void vbOut(uint16_t port, uint8_t value) override;
  uint8_t vbInp(uint16_t port) override;

  // Base address in use; unset until the first write when the port follows the program.
  std::optional<uint16_t> base() const { return base_; }
  uint8_t dataRegister() const { return data_; }
  uint8_t statusWritten() const { return statusWritten_; }
  bool inFrame() const { return (data_ & kFrame) != 0; }

  // Every port access in order, while recording is on.
  void setRecording(bool on) { recording_ = on; }
  const std::vector<Access>& accesses() const { return accesses_; }
  void clearAccesses() { accesses_.clear(); }

  int frames() const { return frames_; }
  int strayClockEdges() const { return strayEdges_; }

 private:
  static constexpr uint8_t kFrame = 0x01;
  static constexpr uint8_t kClock = 0x02;
  static constexpr uint8_t kDataOutInverted = 0x04;

  void writeData(uint8_t value);
  bool replyBit() const;

  std::optional<uint16_t> base_;
  bool fixedBase_ = base_.has_value();
  SpiSlave* slave_ = nullptr;
  uint8_t data_ = 0;
  uint8_t statusWritten_ = 0;
  uint8_t control_ = 0;

  uint16_t reply_ = 0;
  uint32_t mosi_ = 0;
  int bits_ = 0;
  int frames_ = 0;
  int strayEdges_ = 0;

  bool recording_ = false;
  std::vector<Access> accesses_;
};

}  // namespace vexa::sim
