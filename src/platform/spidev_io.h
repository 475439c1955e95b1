#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

// One segment of a spidev message, the fields of the kernel's struct spi_ioc_transfer that this
// program sets. With 16 bits per word the buffers hold 16-bit words in the processor's byte
// order; `length` counts bytes.
struct SpidevSegment {
  const void* tx = nullptr;
  void* rx = nullptr;
  uint32_t length = 0;
  uint32_t speedHz = 0;
  uint16_t delayUsecs = 0;  // after the segment, before chip select changes
  uint8_t bitsPerWord = 0;
  bool csChange = false;  // release chip select after this segment (before the next one)
};

// Linux spidev nodes (/dev/spidevB.C): open, the mode / word size / clock ioctls, and one
// SPI_IOC_MESSAGE of several segments. Calls return 0 or an errno value.
class SpidevIo {
 public:
  virtual ~SpidevIo() = default;
  // The device nodes present, sorted.
  virtual std::vector<std::string> nodes() = 0;
  virtual int open(const std::string& path) = 0;
  virtual int setMode(uint8_t mode) = 0;
  virtual int setBitsPerWord(uint8_t bits) = 0;
  virtual int setSpeed(uint32_t hz) = 0;
  virtual int message(const std::vector<SpidevSegment>& segments) = 0;
  virtual void close() = 0;
};

}  // namespace vexa
