// Scripted USB devices for umockdev: the testbed fakes sysfs, udev and the usbfs nodes, and a
// UsbfsDevice plays one device on its node's ioctls (URB submit, reap, discard), so libusb - and
// what sits on it - runs its real code path. Tests using it run under umockdev-wrapper.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vexa::testing {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint16_t v);
// A USB string descriptor holding `text`.
Bytes stringDescriptor(const std::string& text);
// True when the umockdev preload is in place (the test runs under umockdev-wrapper).
bool umockdevPreloaded();

// One device as its usbfs node answers. The common requests (capabilities, claims, URBs) are
// answered here; a device says what it does with control requests and bulk transfers.
class UsbfsDevice {
 public:
  virtual ~UsbfsDevice() = default;

  std::mutex lock;  // held while an ioctl is answered

  // The ioctl handler's entry point (the `handle-ioctl` signal, with the device as user data).
  static gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user);

 protected:
  // What intercept() did with a request.
  enum class Intercept {
    Pass,      // noted at most: the common answer follows
    Answered,  // the client is completed
    Unknown,   // a request this device does not handle
  };
  // Called first for every request, under the lock.
  virtual Intercept intercept(unsigned long request, UMockdevIoctlClient* client) = 0;
  // A control transfer: the data stage's bytes in `answer`; false stalls the request.
  virtual bool control(const uint8_t* setup, Bytes& answer) = 0;
  // A bulk OUT transfer's bytes.
  virtual void bulkOut(const Bytes& bytes) = 0;
  // Whether a bulk IN transfer can be answered now, and its bytes (at most `capacity`).
  virtual bool hasReply() = 0;
  virtual Bytes takeReply(size_t capacity) = 0;

 private:
  void finish(UMockdevIoctlData* urbData, UMockdevIoctlData* buffer, const Bytes& bytes,
              int status = 0);
  void serveWaiting();
  void submit(UMockdevIoctlData* arg);

  std::deque<UMockdevIoctlData*> completed_;
  std::vector<UMockdevIoctlData*> waiting_;  // IN URBs with nothing to read yet
};

// A umockdev testbed with the devices added to bus 1. Goes before the devices' users close.
class UsbfsBus {
 public:
  UsbfsBus();
  ~UsbfsBus();
  UsbfsBus(const UsbfsBus&) = delete;
  UsbfsBus& operator=(const UsbfsBus&) = delete;

  // `device` at port `port` of bus 1 with device number `devnum`: its sysfs attributes
  // (besides bus, device number, speed and configuration) and raw descriptors.
  template <typename Device>
  Device& add(std::unique_ptr<Device> device, int port, int devnum,
              const std::vector<std::string>& attributes, const Bytes& descriptors) {
    Device& added = *device;
    attach(std::move(device), port, devnum, attributes, descriptors);
    return added;
  }

 private:
  void attach(std::unique_ptr<UsbfsDevice> device, int port, int devnum,
              const std::vector<std::string>& attributes, const Bytes& descriptors);

  UMockdevTestbed* testbed_ = nullptr;
  std::vector<std::unique_ptr<UsbfsDevice>> devices_;
  std::vector<UMockdevIoctlBase*> handlers_;
};

}  // namespace vexa::testing
