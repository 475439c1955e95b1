#pragma once

#include <string>
#include <vector>

#include "platform/ftdi_io.h"

struct ftdi_context;

namespace vexa {

// FTDI boards through libftdi1 (finding, opening, reset, latency, MPSSE mode) and libusb bulk
// transfers on the channel's endpoints, so that every failure keeps its exact cause. Every
// transfer is bounded by the selector's timeout: a board pulled out fails instead of hanging.
class LibftdiIo : public FtdiIo {
 public:
  LibftdiIo() = default;
  ~LibftdiIo() override;
  LibftdiIo(const LibftdiIo&) = delete;
  LibftdiIo& operator=(const LibftdiIo&) = delete;

  bool list(const std::vector<UsbId>& ids, std::vector<FtdiBoard>& boards,
            std::string& cause) override;
  bool open(const FtdiSelector& selector, FtdiBoard& opened, std::string& cause) override;
  bool write(const uint8_t* data, size_t length, std::string& cause) override;
  bool read(uint8_t* data, size_t length, double busSeconds, std::string& cause) override;
  void close() override;

 private:
  std::string transferCause(const char* what, int error) const;

  ftdi_context* ftdi_ = nullptr;
  std::string busPort_;
  std::string node_;
  unsigned timeoutMs_ = 1000;
  std::vector<uint8_t> packet_;
  std::vector<uint8_t> pending_;  // data of a packet beyond what the last read asked for
};

}  // namespace vexa
