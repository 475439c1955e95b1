#pragma once

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

// SPI through a Linux spidev node: mode, word size and clock set once, then every batch of
// frames as one SPI_IOC_MESSAGE, one segment and one chip-select cycle per 16-bit word, each
// followed by the pause. A controller that cannot do 16-bit words gets two 8-bit words per
// frame, high byte first, which puts the same bits on the wire.
class SpidevLink : public SpiLink {
 public:
  static std::unique_ptr<SpidevLink> open(SpidevIo& io, const SpidevSetup& setup,
                                          std::string& cause);
  ~SpidevLink() override;

  bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) override;
  uint64_t requests() const override { return requests_; }

  uint8_t bitsPerWord() const { return bits_; }

  // The cause line for an errno met while doing `what` on `device`, with what to do about it.
  static std::string causeLine(const std::string& what, const std::string& device, int error);

 private:
  SpidevLink(SpidevIo& io, SpidevSetup setup) : io_(io), setup_(std::move(setup)) {}

  SpidevIo& io_;
  SpidevSetup setup_;
  uint8_t bits_ = 16;
  std::vector<SpidevSegment> segments_;
  std::vector<uint16_t> tx_;
  std::vector<uint16_t> rx_;
  uint64_t requests_ = 0;
};

}  // namespace vexa
