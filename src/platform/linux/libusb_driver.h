#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/usb_driver.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace vexa {

// The USB SPI cards through libusb-1.0. Attached devices that carry the card's vendor ID are
// named "Ezusb-0".."Ezusb-3" in bus/port-path order, so a card keeps its name while it stays in
// its socket. A device's pipes are the endpoints of its interface 0 in descriptor order. Every
// transfer is bounded in time, so a card pulled out fails a request instead of hanging. Each
// failure leaves one line with its cause and fix in the diagnostics.
//
// Listing the bus, opening a card and claiming its interface cost several times a transfer, so
// the devices found by one listing are kept until the next search (startSearch), and a card
// stays open and claimed after close() for the next operation on it. Only a device that has
// moved data is kept: one a search merely looked at (another product with the same vendor ID)
// is let go at close(), so its own driver gets it back. A card is really closed
// when a request on it fails (an unplugged card fails its next request), when a search no
// longer finds it under its name, and when the driver goes.
class LibusbDriver : public UsbDriver {
 public:
  static constexpr unsigned kDefaultTimeoutMs = 1000;

  // `vendorId` is asked at every listing of the bus, so a vendor ID set at run time applies to
  // the next search. `keepOpen` false closes every device at close(), as an operation ends.
  LibusbDriver(Diagnostics* diagnostics, std::function<uint16_t()> vendorId,
               unsigned timeoutMs = kDefaultTimeoutMs, bool keepOpen = true);
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  UsbHandle open(const std::string& name) override;
  bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
               size_t outLength, uint32_t& returned) override;
  void close(UsbHandle handle) override;
  void startSearch() override;

  // Listings of the bus and device opens (each with its interface claim) so far.
  int scans() const { return scans_; }
  int opens() const { return opens_; }

  // The cause line for a libusb error code met while doing `what` on the device at
  // /dev/bus/usb/BBB/DDD (`node`), with what to do about it.
  static std::string causeLine(const std::string& what, const std::string& node, int error);

 private:
  struct Pipe {
    uint8_t endpoint;
    uint8_t type;  // 0 control, 1 isochronous, 2 bulk, 3 interrupt
    uint8_t interval;
    uint16_t maxPacketSize;
  };
  struct OpenDevice {
    libusb_device* device = nullptr;
    libusb_device_handle* handle = nullptr;
    bool inUse = true;    // between open() and close()
    bool failed = false;  // a request failed: closed for good at close()
    bool moved = false;   // a bulk transfer went through: a card in use, worth keeping open
    std::string name;
    std::string node;
    int interfaceNumber = 0;
    std::vector<Pipe> pipes;
    uint8_t deviceDescriptor[18] = {};
    uint16_t language = 0;  // first language of the string descriptors, once asked
  };

  bool startLibusb();
  bool scan();
  void forgetScan();
  void release(std::map<UsbHandle, OpenDevice>::iterator it);
  bool failed(OpenDevice& device);
  void report(const std::string& line);
  bool pipeInfo(const OpenDevice& device, uint8_t* out, size_t outLength, uint32_t& returned);
  bool stringDescriptor(OpenDevice& device, const uint8_t* in, size_t inLength, uint8_t* out,
                        size_t outLength, uint32_t& returned);
  bool bulk(OpenDevice& device, bool read, const uint8_t* in, size_t inLength, uint8_t* data,
            size_t length, uint32_t& returned);

  Diagnostics* diagnostics_;
  std::function<uint16_t()> vendorId_;
  unsigned timeoutMs_;
  libusb_context* context_ = nullptr;
  bool startFailed_ = false;
  bool keepOpen_;
  std::map<UsbHandle, OpenDevice> open_;
  UsbHandle nextHandle_ = 1;
  bool scanned_ = false;
  std::vector<libusb_device*> cards_;  // the last listing's cards in name order, referenced
  int scans_ = 0;
  int opens_ = 0;
};

}  // namespace vexa
