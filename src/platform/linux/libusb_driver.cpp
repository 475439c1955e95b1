#include "platform/linux/libusb_driver.h"

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

namespace vexa {

namespace {

constexpr std::string_view kNamePrefix = "Ezusb-";
constexpr int kNamedDevices = 4;
constexpr size_t kMaxPipes = 17;
constexpr size_t kDeviceDescriptorLength = 18;
constexpr uint16_t kFallbackLanguage = 0x0409;
constexpr uint32_t kMaxTransferSize = 4096;

struct Candidate {
  libusb_device* device;
  std::vector<uint8_t> path;  // bus number, then the port numbers from the root
};

std::string nodeOf(libusb_device* device) {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  return node;
}

std::string hex16(uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

std::string hex8(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int nameIndex(const std::string& name) {
  if (name.size() != kNamePrefix.size() + 1 || name.compare(0, kNamePrefix.size(), kNamePrefix))
    return -1;
  const int n = name.back() - '0';
  return n >= 0 && n < kNamedDevices ? n : -1;
}

}  // namespace

LibusbDriver::LibusbDriver(Diagnostics* diagnostics, std::function<uint16_t()> vendorId,
                           unsigned timeoutMs, bool keepOpen)
    : diagnostics_(diagnostics),
      vendorId_(std::move(vendorId)),
      timeoutMs_(timeoutMs),
      keepOpen_(keepOpen) {}

LibusbDriver::~LibusbDriver() {
  while (!open_.empty()) release(open_.begin());
  forgetScan();
  if (context_ != nullptr) libusb_exit(context_);
}

std::string LibusbDriver::causeLine(const std::string& what, const std::string& node, int error) {
  const std::string name = libusb_error_name(error);
  switch (error) {
    case LIBUSB_ERROR_ACCESS:
      return "no permission on " + node + ": install the udev rules (see README)";
    case LIBUSB_ERROR_NO_DEVICE:
      return what + ": " + name + ", the card was unplugged: plug it in and search again";
    case LIBUSB_ERROR_BUSY:
      return what + ": " + name + ", " + node +
             " is in use by another program or driver: close it and search again";
    case LIBUSB_ERROR_TIMEOUT:
      return what + ": " + name +
             ", the card did not answer: check its cable and power, then search again";
    case LIBUSB_ERROR_PIPE:
      return what + ": " + name + ", the card stalled the endpoint: unplug and replug it";
    case LIBUSB_ERROR_OVERFLOW:
      return what + ": " + name +
             ", the card sent more than was asked for: check that its firmware matches";
    case LIBUSB_ERROR_NO_MEM:
      return what + ": " + name + ", out of memory: close other programs";
    default:
      return what + ": " + name + " (" + libusb_strerror(error) + ")";
  }
}

void LibusbDriver::report(const std::string& line) {
  if (diagnostics_ != nullptr) diagnostics_->cause(line);
}

bool LibusbDriver::startLibusb() {
  if (context_ != nullptr) return true;
  if (startFailed_) return false;
  const int rc = libusb_init(&context_);
  if (rc != LIBUSB_SUCCESS) {
    context_ = nullptr;
    startFailed_ = true;
    report(causeLine("starting libusb", "/dev/bus/usb", rc) +
           "; check that /dev/bus/usb exists (usbfs) and is readable");
    return false;
  }
  return true;
}

void LibusbDriver::forgetScan() {
  for (libusb_device* d : cards_) libusb_unref_device(d);
  cards_.clear();
  scanned_ = false;
}

void LibusbDriver::startSearch() {
  forgetScan();
}

// Lists the bus once: the devices with the card's vendor ID, in bus/port-path order. Cards kept
// open that are no longer found under their name are closed.
bool LibusbDriver::scan() {
  forgetScan();
  const uint16_t vendor = vendorId_ ? vendorId_() : 0;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  ++scans_;
  if (count < 0) {
    report(causeLine("listing USB devices", "/dev/bus/usb", static_cast<int>(count)));
    return false;
  }
  std::vector<Candidate> cards;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor d;
    if (libusb_get_device_descriptor(list[i], &d) != LIBUSB_SUCCESS || d.idVendor != vendor)
      continue;
    Candidate c{list[i], {libusb_get_bus_number(list[i])}};
    uint8_t ports[8];
    const int depth = libusb_get_port_numbers(list[i], ports, sizeof ports);
    if (depth > 0) c.path.insert(c.path.end(), ports, ports + depth);
    c.path.push_back(libusb_get_device_address(list[i]));  // ties only without port numbers
    cards.push_back(std::move(c));
  }
  std::sort(cards.begin(), cards.end(),
            [](const Candidate& a, const Candidate& b) { return a.path < b.path; });
  for (const Candidate& c : cards) cards_.push_back(libusb_ref_device(c.device));
  libusb_free_device_list(list, 1);
  scanned_ = true;
  if (cards_.empty()) {
    // Absent names are the normal outcome of a search; only an empty bus is worth a line.
    report("no USB device with vendor ID " + hex16(vendor) +
           " is attached: plug in the card, or set the vendor ID that the card carries");
  }

  for (auto it = open_.begin(); it != open_.end();) {
    const OpenDevice& od = it->second;
    const size_t index = static_cast<size_t>(nameIndex(od.name));
    const bool stillThere = index < cards_.size() && cards_[index] == od.device;
    if (!od.inUse && !stillThere)
      release(it++);
    else
      ++it;
  }
  return true;
}

UsbHandle LibusbDriver::open(const std::string& name) {
  const int index = nameIndex(name);
  if (index < 0 || !startLibusb()) return 0;
  if (!scanned_ && !scan()) return 0;
  if (static_cast<size_t>(index) >= cards_.size()) return 0;
  libusb_device* device = cards_[static_cast<size_t>(index)];

  for (auto& [handle, od] : open_) {
    if (od.device == device && od.name == name && !od.inUse && !od.failed) {
      od.inUse = true;
      return handle;
    }
  }

  OpenDevice od;
  od.device = device;
  od.name = name;
  od.node = nodeOf(device);
  libusb_device_descriptor d;
  libusb_config_descriptor* config = nullptr;
  int rc = libusb_get_device_descriptor(device, &d);
  if (rc == LIBUSB_SUCCESS) rc = libusb_get_active_config_descriptor(device, &config);
  UsbHandle result = 0;
  if (rc != LIBUSB_SUCCESS) {
    report(causeLine(name + ": reading the descriptors of " + od.node, od.node, rc));
  } else if (config->bNumInterfaces == 0 || config->interface[0].num_altsetting == 0) {
    report(name + ": " + od.node +
           " has no interface: it is not an SPI card, or its firmware is not loaded");
  } else {
    const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
    od.interfaceNumber = alt.bInterfaceNumber;
    for (uint8_t e = 0; e < alt.bNumEndpoints && od.pipes.size() < kMaxPipes; ++e) {
      const libusb_endpoint_descriptor& ep = alt.endpoint[e];
      od.pipes.push_back({ep.bEndpointAddress, static_cast<uint8_t>(ep.bmAttributes & 3),
                          ep.bInterval, ep.wMaxPacketSize});
    }
    uint8_t* raw = od.deviceDescriptor;
    raw[0] = d.bLength;
    raw[1] = d.bDescriptorType;
    put16(raw + 2, d.bcdUSB);
    raw[4] = d.bDeviceClass;
    raw[5] = d.bDeviceSubClass;
    raw[6] = d.bDeviceProtocol;
    raw[7] = d.bMaxPacketSize0;
    put16(raw + 8, d.idVendor);
    put16(raw + 10, d.idProduct);
    put16(raw + 12, d.bcdDevice);
    raw[14] = d.iManufacturer;
    raw[15] = d.iProduct;
    raw[16] = d.iSerialNumber;
    raw[17] = d.bNumConfigurations;

    ++opens_;
    rc = libusb_open(device, &od.handle);
    if (rc != LIBUSB_SUCCESS) {
      report(causeLine(name + ": opening " + od.node, od.node, rc));
    } else {
      libusb_set_auto_detach_kernel_driver(od.handle, 1);  // unsupported: nothing to detach
      rc = libusb_claim_interface(od.handle, od.interfaceNumber);
      if (rc != LIBUSB_SUCCESS) {
        report(causeLine(
            name + ": claiming interface " + std::to_string(od.interfaceNumber) + " of " + od.node,
            od.node, rc));
        libusb_close(od.handle);
      } else {
        result = nextHandle_++;
        open_.emplace(result, std::move(od));
      }
    }
  }
  if (config != nullptr) libusb_free_config_descriptor(config);
  // A card that cannot be opened now may be another device by the next search.
  if (result == 0) forgetScan();
  return result;
}

void LibusbDriver::release(std::map<UsbHandle, OpenDevice>::iterator it) {
  libusb_release_interface(it->second.handle, it->second.interfaceNumber);
  libusb_close(it->second.handle);
  open_.erase(it);
}

void LibusbDriver::close(UsbHandle handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) return;
  if (keepOpen_ && !it->second.failed && it->second.moved)
    it->second.inUse = false;
  else
    release(it);
}

// A request that failed closes the card at the end of the operation, and the next open lists
// the bus again: the card may be gone, or back under another device number.
bool LibusbDriver::failed(OpenDevice& device) {
  device.failed = true;
  forgetScan();
  return false;
}

bool LibusbDriver::request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength,
                           uint8_t* out, size_t outLength, uint32_t& returned) {
  returned = 0;
  auto it = open_.find(handle);
  if (it == open_.end() || !it->second.inUse) return false;
  OpenDevice& device = it->second;
  switch (code) {
    case usbreq::kGetPipeInfo:
      return pipeInfo(device, out, outLength, returned);
    case usbreq::kGetDeviceDescriptor:
      if (out == nullptr || outLength < kDeviceDescriptorLength) return false;
      std::memcpy(out, device.deviceDescriptor, kDeviceDescriptorLength);
      returned = kDeviceDescriptorLength;
      return true;
    case usbreq::kGetStringDescriptor:
      return stringDescriptor(device, in, inLength, out, outLength, returned);
    case usbreq::kBulkRead:
      return bulk(device, true, in, inLength, out, outLength, returned);
    case usbreq::kBulkWrite:
      return bulk(device, false, in, inLength, out, outLength, returned);
    default:
      report(device.name + ": unknown driver request " + std::to_string(code));
      return false;
  }
}

bool LibusbDriver::pipeInfo(const OpenDevice& device, uint8_t* out, size_t outLength,
                            uint32_t& returned) {
  if (out == nullptr || outLength < usbreq::kPipeInfoSize) return false;
  std::memset(out, 0, usbreq::kPipeInfoSize);
  put16(out, static_cast<uint16_t>(usbreq::kPipeInfoSize));
  out[2] = static_cast<uint8_t>(device.interfaceNumber);
  put32(out + 12, static_cast<uint32_t>(device.pipes.size()));
  for (size_t n = 0; n < device.pipes.size(); ++n) {
    const Pipe& p = device.pipes[n];
    uint8_t* record = out + 16 + 20 * n;
    put16(record, p.maxPacketSize);
    record[2] = p.endpoint;
    record[3] = p.interval;
    put32(record + 4, p.type);
    put32(record + 12, kMaxTransferSize);
  }
  returned = usbreq::kPipeInfoSize;
  return true;
}

bool LibusbDriver::stringDescriptor(OpenDevice& device, const uint8_t* in, size_t inLength,
                                    uint8_t* out, size_t outLength, uint32_t& returned) {
  if (in == nullptr || inLength < 1 || out == nullptr) return false;
  const uint8_t index = in[0];
  unsigned char buffer[255];
  if (index != 0 && device.language == 0) {
    const int rc = libusb_get_string_descriptor(device.handle, 0, 0, buffer, sizeof buffer);
    device.language =
        rc >= 4 ? static_cast<uint16_t>(buffer[2] | buffer[3] << 8) : kFallbackLanguage;
  }
  const int rc = libusb_get_string_descriptor(
      device.handle, index, index == 0 ? 0 : device.language, buffer, sizeof buffer);
  if (rc < 0) {
    report(causeLine(device.name + ": reading string descriptor " + std::to_string(index),
                     device.node, rc));
    return failed(device);
  }
  if (rc < 2 || buffer[1] != LIBUSB_DT_STRING || buffer[0] > rc) {
    report(device.name + ": string descriptor " + std::to_string(index) +
           " is malformed: check the card's firmware");
    return failed(device);
  }
  const size_t n = std::min<size_t>(outLength, buffer[0]);
  std::memcpy(out, buffer, n);
  returned = static_cast<uint32_t>(n);
  return true;
}

bool LibusbDriver::bulk(OpenDevice& device, bool read, const uint8_t* in, size_t inLength,
                        uint8_t* data, size_t length, uint32_t& returned) {
  int32_t pipe = -1;
  if (in != nullptr && inLength >= sizeof pipe) std::memcpy(&pipe, in, sizeof pipe);
  if (pipe < 0 || static_cast<size_t>(pipe) >= device.pipes.size()) {
    report(device.name + ": pipe " + std::to_string(pipe) + " does not exist (the card has " +
           std::to_string(device.pipes.size()) + "): check the card's firmware");
    return failed(device);
  }
  const Pipe& p = device.pipes[static_cast<size_t>(pipe)];
  const bool fromCard = (p.endpoint & LIBUSB_ENDPOINT_IN) != 0;
  if (fromCard != read) {
    report(device.name + ": pipe " + std::to_string(pipe) + " (endpoint " + hex8(p.endpoint) +
           ") cannot be " + (read ? "read" : "written"));
    return failed(device);
  }
  if (length > 0 && data == nullptr) return false;
  int transferred = 0;
  const int rc = p.type == LIBUSB_TRANSFER_TYPE_INTERRUPT
                     ? libusb_interrupt_transfer(device.handle, p.endpoint, data,
                                                 static_cast<int>(length), &transferred, timeoutMs_)
                     : libusb_bulk_transfer(device.handle, p.endpoint, data,
                                            static_cast<int>(length), &transferred, timeoutMs_);
  returned = static_cast<uint32_t>(transferred > 0 ? transferred : 0);
  if (rc != LIBUSB_SUCCESS) {
    std::string what = device.name + ": " + (read ? "reading " : "writing ") +
                       std::to_string(length) + " bytes " + (read ? "from" : "to") + " pipe " +
                       std::to_string(pipe) + " (endpoint " + hex8(p.endpoint) + ")";
    if (rc == LIBUSB_ERROR_TIMEOUT) what += " within " + std::to_string(timeoutMs_) + " ms";
    report(causeLine(what, device.node, rc));
    return failed(device);
  }
  device.moved = true;
  return true;
}

}  // namespace vexa
