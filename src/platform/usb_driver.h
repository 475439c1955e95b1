#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexa {

// Request codes of the card's general-purpose USB driver.
namespace usbreq {
constexpr uint32_t kGetPipeInfo = 0x222000;
constexpr uint32_t kGetDeviceDescriptor = 0x222004;
constexpr uint32_t kGetStringDescriptor = 0x222044;
constexpr uint32_t kBulkRead = 0x22204E;
constexpr uint32_t kBulkWrite = 0x222051;
constexpr size_t kPipeInfoSize = 356;
constexpr size_t kDeviceDescriptorBlockSize = 147;
}  // namespace usbreq

using UsbHandle = intptr_t;  // 0 means no handle

// Named devices "Ezusb-0".."Ezusb-3" and the driver's request table. A request fills `out` and
// `returned` and succeeds only when it returns true. Implementations bound every request in time.
class UsbDriver {
 public:
  virtual ~UsbDriver() = default;
  virtual UsbHandle open(const std::string& name) = 0;
  virtual bool request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength,
                       uint8_t* out, size_t outLength, uint32_t& returned) = 0;
  virtual void close(UsbHandle handle) = 0;
  // A search for cards begins: the next open matches names to the devices attached now. A
  // driver that keeps devices open between operations lets go of those no longer attached.
  virtual void startSearch() {}
};

}  // namespace vexa
