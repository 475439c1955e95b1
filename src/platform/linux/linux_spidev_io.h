#pragma once

#include <string>
#include <vector>

#include "platform/spidev_io.h"

namespace vexa {

// spidev nodes through open(2) and the SPI_IOC_* ioctls.
class LinuxSpidevIo : public SpidevIo {
 public:
  explicit LinuxSpidevIo(std::string devFolder = "/dev") : devFolder_(std::move(devFolder)) {}
  ~LinuxSpidevIo() override;

  std::vector<std::string> nodes() override;
  int open(const std::string& path) override;
  int setMode(uint8_t mode) override;
  int setBitsPerWord(uint8_t bits) override;
  int setSpeed(uint32_t hz) override;
  int message(const std::vector<SpidevSegment>& segments) override;
  void close() override;

 private:
  std::string devFolder_;
  int fd_ = -1;
};

}  // namespace vexa
