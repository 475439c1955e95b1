#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// A USB vendor/product ID pair.
struct UsbId {
  uint16_t vendor = 0;
  uint16_t product = 0;
  bool operator==(const UsbId& o) const { return vendor == o.vendor && product == o.product; }
};

// The MPSSE-capable FTDI chips the SPI adapter drives. The 2232D runs its engine from 12 MHz
// and lacks the H chips' extra commands (60 MHz clock, idle clocking, adaptive clocking).
enum class FtdiChip { Unknown, Ft2232D, Ft2232H, Ft4232H, Ft232H };

// One board as the bus shows it.
struct FtdiBoard {
  UsbId id;
  FtdiChip chip = FtdiChip::Unknown;
  std::string description;  // product string
  std::string serial;
  int bus = 0;
  std::string ports;  // port path from the root hub, "2.3"; with the bus "1-2.3"
  std::string busPort() const { return std::to_string(bus) + "-" + ports; }
};

// Which board to open, and how long any one USB request may take.
struct FtdiSelector {
  std::vector<UsbId> ids;
  std::string serial;   // empty: any
  std::string busPort;  // "1-2.3"; empty: any
  char channel = 'A';   // interface A..D of multi-channel chips
  unsigned timeoutMs = 1000;
};

// The FTDI chip on USB, below the MPSSE protocol: finding boards, opening one channel in MPSSE
// mode, and moving bytes to and from its command processor. Every failure leaves one cause line
// that says what to do about it.
class FtdiIo {
 public:
  virtual ~FtdiIo() = default;
  virtual bool list(const std::vector<UsbId>& ids, std::vector<FtdiBoard>& boards,
                    std::string& cause) = 0;
  // Opens the first matching board, resets the channel, empties its buffers and switches it to
  // MPSSE mode with every pin an input.
  virtual bool open(const FtdiSelector& selector, FtdiBoard& opened, std::string& cause) = 0;
  // One bulk write of command bytes.
  virtual bool write(const uint8_t* data, size_t length, std::string& cause) = 0;
  // Exactly `length` bytes of the engine's answers, or a failure once the timeout has passed
  // beyond `busSeconds`, the time the engine needs to clock the answers out.
  virtual bool read(uint8_t* data, size_t length, double busSeconds, std::string& cause) = 0;
  virtual void close() = 0;
};

}  // namespace vexa
