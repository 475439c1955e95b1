#include "platform/linux/linux_spidev_io.h"

#include <fcntl.h>
#include <linux/spi/spidev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace vexa {

LinuxSpidevIo::~LinuxSpidevIo() {
  close();
}

std::vector<std::string> LinuxSpidevIo::nodes() {
  std::vector<std::string> out;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(devFolder_, error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("spidev", 0) == 0) out.push_back(entry.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

int LinuxSpidevIo::open(const std::string& path) {
  close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return fd_ < 0 ? errno : 0;
}

namespace {
int call(int fd, unsigned long request, void* arg) {
  if (fd < 0) return EBADF;
  return ::ioctl(fd, request, arg) < 0 ? errno : 0;
}
}  // namespace

int LinuxSpidevIo::setMode(uint8_t mode) {
  return call(fd_, SPI_IOC_WR_MODE, &mode);
}

int LinuxSpidevIo::setBitsPerWord(uint8_t bits) {
  return call(fd_, SPI_IOC_WR_BITS_PER_WORD, &bits);
}

int LinuxSpidevIo::setSpeed(uint32_t hz) {
  return call(fd_, SPI_IOC_WR_MAX_SPEED_HZ, &hz);
}

int LinuxSpidevIo::message(const std::vector<SpidevSegment>& segments) {
  if (segments.empty()) return 0;
  std::vector<spi_ioc_transfer> transfers(segments.size());
  for (size_t i = 0; i < segments.size(); ++i) {
    spi_ioc_transfer& t = transfers[i];
    std::memset(&t, 0, sizeof t);
    const SpidevSegment& s = segments[i];
    t.tx_buf = reinterpret_cast<uintptr_t>(s.tx);
    t.rx_buf = reinterpret_cast<uintptr_t>(s.rx);
    t.len = s.length;
    t.speed_hz = s.speedHz;
    t.delay_usecs = s.delayUsecs;
    t.bits_per_word = s.bitsPerWord;
    t.cs_change = s.csChange ? 1 : 0;
  }
  if (fd_ < 0) return EBADF;
  // SPI_IOC_MESSAGE(n) spelt out for a count known only at run time.
  const unsigned long request = _IOC(_IOC_WRITE, SPI_IOC_MAGIC, 0, SPI_MSGSIZE(transfers.size()));
  const int rc = ::ioctl(fd_, request, transfers.data());
  return rc < 0 ? errno : 0;
}

void LinuxSpidevIo::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace vexa
