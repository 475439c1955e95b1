#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ftdi_io.h"
#include "transport/ftdi/mpsse_commands.h"
#include "transport/spi_link.h"

namespace vexa {

// SPI through an FTDI chip's MPSSE engine. The adapter's whole protocol is here: set-up,
// a sync probe that proves the engine answers, and one write plus one read per batch of frames.
class FtdiSpiLink : public SpiLink {
 public:
  // Opens the board the selector names and sets the engine up; null with a cause on failure.
  static std::unique_ptr<FtdiSpiLink> open(FtdiIo& io, const FtdiSelector& selector,
                                           mpsse::SpiSetup setup, std::string& cause);
  ~FtdiSpiLink() override;

  bool transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) override;
  uint64_t requests() const override { return requests_; }
  int spiMode() const override { return setup_.mode; }

  const FtdiBoard& board() const { return board_; }
  const mpsse::SpiSetup& setup() const { return setup_; }

 private:
  FtdiSpiLink(FtdiIo& io, FtdiBoard board, mpsse::SpiSetup setup)
      : io_(io), board_(std::move(board)), setup_(setup) {}
  bool write(const std::vector<uint8_t>& bytes, std::string& cause);
  bool read(uint8_t* data, size_t length, double busSeconds, std::string& cause);

  FtdiIo& io_;
  FtdiBoard board_;
  mpsse::SpiSetup setup_;
  std::vector<uint8_t> commands_;
  std::vector<uint8_t> replies_;
  uint64_t requests_ = 0;
};

}  // namespace vexa
