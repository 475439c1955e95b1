#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/spidev_io.h"
#include "transport/spi_link.h"

namespace vexa {

struct SpidevSetup {
  std::string device = "/dev/spidev0.0";
  uint32_t speedHz = 1000000;
  int mode = 3;
  double pauseUs = 100;
};

// SPI through a Linux spidev node: mode, word size and clock set once, then every 16-bit frame
// as an SPI_IOC_MESSAGE of its own, which releases chip select at its end, followed by the
// pause. (Within one message the kernel waits a segment's delay_usecs with chip select still
// down, and keeps it up between segments only for its short cs_change delay.) A controller that
// cannot do 16-bit words gets two 8-bit words per frame, high byte first, which puts the same bits
// on the wire.
class SpidevLink : public SpiLink {
 public:
  // Waits the pause after a frame, in microseconds.
  using Wait = std::function<void(double microseconds)>;

  static std::unique_ptr<SpidevLink> open(SpidevIo& io, const SpidevSetup& setup,
                                          std::string& cause, Wait wait = {});
  ~SpidevLink() override;

  bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) override;
  uint64_t requests() const override { return requests_; }
  int spiMode() const override { return setup_.mode; }

  uint8_t bitsPerWord() const { return bits_; }

  // The cause line for an errno met while doing `what` on `device`, with what to do about it.
  static std::string causeLine(const std::string& what, const std::string& device, int error);

 private:
  SpidevLink(SpidevIo& io, SpidevSetup setup, Wait wait)
      : io_(io), setup_(std::move(setup)), wait_(std::move(wait)) {}

  SpidevIo& io_;
  SpidevSetup setup_;
  Wait wait_;
  uint8_t bits_ = 16;
  std::vector<SpidevSegment> segments_;
  std::vector<uint16_t> tx_;
  std::vector<uint16_t> rx_;
  uint64_t requests_ = 0;
};

}  // namespace vexa
