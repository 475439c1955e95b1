#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "sim/bus_time_model.h"
#include "sim/sim_clock.h"
#include "sim/spi_slave.h"
#include "platform/usb_driver.h"

namespace vexa::sim {

constexpr uint16_t kFifo4ProductId = 0xED03;
constexpr uint16_t kMcpProductId = 0xEF00;

// Its bus time: cardSpiSeconds and roundTripSeconds in bus_time_model.h.

// How one simulated card looks from the host.
struct SimUsbCardConfig {
  uint16_t vendorId = kDefaultCardVendorId;
  uint16_t productId = kFifo4ProductId;
  std::string descriptor1 = "Vexa USB SPI Card";  // string descriptor 1
  std::string descriptor2 = "SPI Buffer";         // string descriptor 2
  uint8_t firmwareMajor = 3;
  uint8_t firmwareMinor = 7;
  // Pipe 3's maximum packet size: 64 on a full-speed link, 512 on a high-speed one. The other
  // pipes follow the same link speed.
  uint16_t pipe3PacketSize = 512;
  // The card's SPI set-up at power-up.
  uint8_t wordDelay = 25;
  uint8_t staticBits = 0x78;
  // What a transfer reads on chip-select channels with nothing attached (2..5, or 1 without a
  // slave): the data line floats high (0xFFFF) or is pulled low (0).
  uint16_t idleChannelWord = 0xFFFF;
  // Virtual time: one SPI bit, and one bulk request's round trip on the bus (a negative value
  // picks it from the link speed: kHighSpeedRequestSeconds or kFullSpeedRequestSeconds).
  double spiBitSeconds = 1e-6;
  double requestSeconds = -1;
  // Without a virtual clock the card takes no time at all, unless this is set: then the bus
  // time (requests, SPI words and word delays) passes on the wall clock, as with a real card.
  bool wallClockBusTime = false;
};

enum class FaultMode { Once, Always };

// One EZ-USB SPI card: the driver's request table on its device side and the card's command
// protocol on its pipes. Pipe 0 takes commands, pipe 1 returns replies; a reply waits in the
// card's FIFO until read or until the next command, and reading an empty FIFO fails as a
// timed-out bulk read would.
// Command 0x0E samples the data input with negative polarity, so the words read come back
// complemented. Chip-select channel 1 reaches the attached slave, one frame per word.
class SimUsbCard {
 public:
  explicit SimUsbCard(SimUsbCardConfig config) : config_(std::move(config)) {
    wordDelay_ = config_.wordDelay;
    staticBits_ = config_.staticBits;
  }

  const SimUsbCardConfig& config() const { return config_; }
  // The device on chip-select channel 1, or none. Not owned.
  void attach(SpiSlave* slave) { slave_ = slave; }

  // Fault injection: a request code fails once or until cleared; the version command goes
  // unanswered, so the card cannot be identified.
  void failRequest(uint32_t code, FaultMode mode = FaultMode::Always) { faults_[code] = mode; }
  void failIdentification(bool fail = true) { silentVersion_ = fail; }
  // Bulk reads on pipe 1 succeed with `missing` bytes fewer than asked (and than the card had).
  void shortenReads(size_t missing) { shortBy_ = missing; }
  void clearFaults() {
    faults_.clear();
    silentVersion_ = false;
    shortBy_ = 0;
  }

  // What crossed the wire: each write to pipe 0 in order, the byte counts asked of pipe 1.
  // Recorded only while recording is on (the default, for tests); a long session turns it off,
  // since the record would otherwise grow with every transfer.
  const std::vector<std::vector<uint8_t>>& pipe0Writes() const { return pipe0Writes_; }
  const std::vector<size_t>& pipe1Reads() const { return pipe1Reads_; }
  // Commands the card could not make sense of (unknown code, wrong length, bad channel/count).
  int protocolErrors() const { return protocolErrors_; }
  void setRecording(bool on) { recording_ = on; }
  bool recording() const { return recording_; }
  void clearLog() {
    pipe0Writes_.clear();
    pipe1Reads_.clear();
    protocolErrors_ = 0;
  }

  // The card's SPI set-up as it stands; tests may preset the raw static-bits byte it reports.
  uint8_t wordDelay() const { return wordDelay_; }
  uint8_t staticBits() const { return staticBits_; }
  void setStaticBits(uint8_t raw) { staticBits_ = raw; }

 private:
  friend class SimUsbDriver;

  bool request(uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength,
               uint32_t& returned, SimClock* clock);
  bool bulkWrite(int pipe, const uint8_t* data, size_t length, uint32_t& returned, SimClock* clock);
  bool bulkRead(int pipe, uint8_t* data, size_t length, uint32_t& returned);
  void runCommand(const std::vector<uint8_t>& bytes, SimClock* clock);
  void transfer(const std::vector<uint8_t>& bytes, SimClock* clock);
  uint16_t packetSize(int pipe) const;
  double requestSeconds() const;
  // Lets `seconds` of bus time pass: on the virtual clock when there is one, else on the wall
  // clock when the configuration asks for it.
  void pass(SimClock* clock, double seconds) const;
  // SPI work of a transfer: it passes as it happens and runs while the reply's request waits
  // for its frame, so that request costs only what is left of it.
  void spend(SimClock* clock, double seconds);
  double spiSeconds_ = 0;

  SimUsbCardConfig config_;
  SpiSlave* slave_ = nullptr;
  uint8_t wordDelay_;
  uint8_t staticBits_;
  std::deque<uint8_t> replies_;
  std::map<uint32_t, FaultMode> faults_;
  bool silentVersion_ = false;
  size_t shortBy_ = 0;
  bool recording_ = true;
  bool plugged_ = true;
  uint64_t connection_ = 0;  // counts re-plugs; a handle from before an unplug stays dead
  std::vector<std::vector<uint8_t>> pipe0Writes_;
  std::vector<size_t> pipe1Reads_;
  int protocolErrors_ = 0;
};

// The driver's view of up to four simulated cards at "Ezusb-0".."Ezusb-3".
class SimUsbDriver : public UsbDriver {
 public:
  static constexpr int kSlots = 4;

  // With a clock, bulk requests and SPI words advance virtual time.
  explicit SimUsbDriver(SimClock* clock = nullptr) : clock_(clock) {}

  // A new card in a slot (replacing any card there). The reference stays valid until the slot
  // is plugged again or the driver goes.
  SimUsbCard& plug(int slot, SimUsbCardConfig config = {});
  // Pulls a card out: it can no longer be opened, and handles opened before fail every
  // request. replug() puts the same card, with its state, back.
  void unplug(int slot);
  void replug(int slot);
  SimUsbCard* card(int slot);

  // Handles opened and not yet closed; every operation should leave none.
  int openHandles() const { return static_cast<int>(handles_.size()); }
  int opens() const { return opens_; }

  UsbHandle open(const std::string& name) override;
  bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
               size_t outLength, uint32_t& returned) override;
  void close(UsbHandle handle) override;

 private:
  struct OpenCard {
    SimUsbCard* card;
    uint64_t connection;
  };

  SimClock* clock_;
  std::array<std::unique_ptr<SimUsbCard>, kSlots> cards_{};
  std::map<UsbHandle, OpenCard> handles_;
  UsbHandle nextHandle_ = 1;
  int opens_ = 0;
};

}  // namespace vexa::sim
