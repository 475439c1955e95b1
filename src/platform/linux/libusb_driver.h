#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/usb_driver.h"

struct libusb_context;
struct libusb_device_handle;

namespace vexa {

// The USB SPI cards through libusb-1.0. Attached devices that carry the card's vendor ID are
// named "Ezusb-0".."Ezusb-3" in bus/port-path order, so a card keeps its name while it stays in
// its socket. A device's pipes are the endpoints of its interface 0 in descriptor order. Every
// transfer is bounded in time, so a card pulled out fails a request instead of hanging. Each
// failure leaves one line with its cause and fix in the diagnostics.
class LibusbDriver : public UsbDriver {
 public:
  static constexpr unsigned kDefaultTimeoutMs = 1000;

  // `vendorId` is asked at every open, so a vendor ID set at run time applies to the next search.
  LibusbDriver(Diagnostics* diagnostics, std::function<uint16_t()> vendorId,
               unsigned timeoutMs = kDefaultTimeoutMs);
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  UsbHandle open(const std::string& name) override;
  bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
               size_t outLength, uint32_t& returned) override;
  void close(UsbHandle handle) override;

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
    libusb_device_handle* handle = nullptr;
    std::string name;
    std::string node;
    int interfaceNumber = 0;
    std::vector<Pipe> pipes;
    uint8_t deviceDescriptor[18] = {};
    uint16_t language = 0;  // first language of the string descriptors, once asked
  };

  bool startLibusb();
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
  std::map<UsbHandle, OpenDevice> open_;
  UsbHandle nextHandle_ = 1;
};

}  // namespace vexa
