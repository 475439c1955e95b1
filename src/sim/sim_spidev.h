#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_bus_time.h"
#include "sim/spi_slave.h"
#include "sim/spi_slave_pins.h"
#include "platform/spidev_io.h"

namespace vexa::sim {

// spidev nodes of a simulated SPI controller with the sensor on /dev/spidev0.0. It checks
// every transfer structure as the kernel would (buffers, length against the word size; a clock
// above the controller's limit is lowered to it, not refused) and turns the segments into
// chip-select cycles for the sensor: chip select goes up after a segment marked cs_change and at
// the end of the message, so a segment left without it makes one long frame. The bits are clocked
// edge by edge in the node's mode to the sensor's pins, which work in the sensor's own mode
// (SpiSlavePins): a node in another mode reads and sends words a bit off. As in the kernel, a
// segment's delay_usecs runs before chip select goes up, and chip select then stays up for the
// core's default cs_change delay alone (10 us) before the next segment of the same message.
class SimSpidev : public SpidevIo {
 public:
  explicit SimSpidev(std::vector<std::string> nodes = {"/dev/spidev0.0", "/dev/spidev0.1"})
      : nodes_(std::move(nodes)) {}

  // The sensor on one node (not owned); other nodes have nothing on their chip select.
  void attach(SpiSlave* slave, const std::string& node = "/dev/spidev0.0") {
    slave_ = slave;
    slaveNode_ = node;
  }
  // An errno that open / the next messages return: e.g. EACCES on open, ETIMEDOUT or ENODEV.
  std::map<std::string, int> openErrors;
  int messageError = 0;
  bool only8BitWords = false;
  uint32_t maxSpeedHz = 10000000;
  // Times chip select between messages (optional; frames within one message need none).
  void useClock(Clock* clock) { clock_ = clock; }
  // Where each message's bus time goes (spidevMessageSeconds in bus_time_model.h).
  void spendBusTime(SimBusTime time) { busTime_ = time; }
  const SimBusTime& busTime() const { return busTime_; }

  std::vector<std::string> nodes() override { return nodes_; }
  int open(const std::string& path) override;
  int setMode(uint8_t mode) override;
  int setBitsPerWord(uint8_t bits) override;
  int setSpeed(uint32_t hz) override;
  int message(const std::vector<SpidevSegment>& segments) override;
  void close() override { open_.clear(); }

  // What the program asked for.
  const std::string& openNode() const { return open_; }
  uint8_t mode() const { return mode_; }
  uint8_t bitsPerWord() const { return bits_; }
  uint32_t speedHz() const { return speed_; }
  long messages() const { return messages_; }
  const std::vector<SpidevSegment>& lastMessage() const { return last_; }
  // Shortest delay_usecs before chip select went up; -1 before the first.
  int shortestPauseUs() const { return shortestPause_; }
  // Shortest time chip select stayed high between two frames, in seconds; -1 before the second
  // frame. Between messages it is measured on the clock given to useClock.
  double shortestChipSelectHighSeconds() const { return shortestHigh_; }

 private:
  void endFrame();
  void startFrame(bool sensorHere);
  bool clockBit(bool out);

  std::vector<std::string> nodes_;
  SpiSlave* slave_ = nullptr;
  std::string slaveNode_;
  std::string open_;
  uint8_t mode_ = 0;
  uint8_t bits_ = 8;
  uint32_t speed_ = 500000;
  long messages_ = 0;
  std::vector<SpidevSegment> last_;
  int shortestPause_ = -1;
  Clock* clock_ = nullptr;
  SimBusTime busTime_;
  double releasedAt_ = -1;  // clock time chip select went up at a message's end; -1: not known
  double highSoFar_ = -1;   // chip select high time before the next frame; -1: no frame yet
  double shortestHigh_ = -1;

  SpiSlavePins pins_;
  bool mosi_ = false;  // the MOSI line, as the controller last drove it
};

}  // namespace vexa::sim
