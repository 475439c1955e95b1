#include "transport/spidev/spidev_spi.h"

#include <cerrno>
#include <cstring>

namespace vexa {

std::string SpidevLink::causeLine(const std::string& what, const std::string& device, int error) {
  const std::string text = std::strerror(error);
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return device +
             " does not exist: enable the SPI controller and its spidev device (device "
             "tree overlay), or choose another node";
    case EACCES:
    case EPERM:
      return "no permission on " + device +
             ": add your user to the group that owns it (often spi) or install the udev rules "
             "(see README), then log in again";
    case EBUSY:
      return device + " is in use by another program: close it and try again";
    case ETIMEDOUT:
      return what + " on " + device + " timed out: check the wiring and the sensor's supply";
    case EINVAL:
      return what + " on " + device + ": the controller refused the setting (" + text +
             "): choose another SPI mode or clock";
    default:
      return what + " on " + device + " failed: " + text;
  }
}

std::unique_ptr<SpidevLink> SpidevLink::open(SpidevIo& io, const SpidevSetup& setup,
                                             std::string& cause, Wait wait) {
  if (setup.device.empty()) {
    cause =
        "no spidev device node is set: choose one in the spidev window or give "
        "--spi-device, such as /dev/spidev0.0";
    return nullptr;
  }
  int rc = io.open(setup.device);
  if (rc != 0) {
    cause = causeLine("opening", setup.device, rc);
    return nullptr;
  }
  std::unique_ptr<SpidevLink> link(new SpidevLink(io, setup, std::move(wait)));
  const auto fail = [&](const char* what, int error) {
    cause = causeLine(what, setup.device, error);
    return nullptr;
  };
  if ((rc = io.setMode(static_cast<uint8_t>(setup.mode & 3))) != 0)
    return fail("setting SPI mode", rc);
  if ((rc = io.setBitsPerWord(16)) != 0) {
    if (rc != EINVAL) return fail("setting 16 bits per word", rc);
    link->bits_ = 8;
    if ((rc = io.setBitsPerWord(8)) != 0) return fail("setting 8 bits per word", rc);
  }
  if ((rc = io.setSpeed(setup.speedHz)) != 0) return fail("setting the SPI clock", rc);
  return link;
}

SpidevLink::~SpidevLink() {
  io_.close();
}

bool SpidevLink::transfer(const uint16_t* out, uint16_t* in, size_t count, std::string& cause) {
  if (count == 0) return true;
  tx_.assign(out, out + count);
  rx_.assign(count, 0);
  if (bits_ == 8) {
    // Bytes in wire order: the high byte first.
    for (auto& w : tx_) {
      const uint8_t bytes[2] = {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
      std::memcpy(&w, bytes, 2);
    }
  }
  segments_.assign(1, SpidevSegment{});
  SpidevSegment& s = segments_[0];
  s.length = 2;
  s.speedHz = setup_.speedHz;
  s.bitsPerWord = bits_;
  // Without cs_change the message's end releases chip select; the pause follows with it up.
  s.csChange = false;
  for (size_t i = 0; i < count; ++i) {
    s.tx = &tx_[i];
    s.rx = &rx_[i];
    ++requests_;
    const int rc = io_.message(segments_);
    if (rc != 0) {
      cause = causeLine("an SPI transfer", setup_.device, rc);
      return false;
    }
    if (wait_) wait_(setup_.pauseUs);
  }
  for (size_t i = 0; in != nullptr && i < count; ++i) {
    if (bits_ == 8) {
      uint8_t bytes[2];
      std::memcpy(bytes, &rx_[i], 2);
      in[i] = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    } else {
      in[i] = rx_[i];
    }
  }
  return true;
}

}  // namespace vexa
