#include "platform/linux/libftdi_io.h"

#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/ftdi_causes.h"

namespace vexa {

namespace {

constexpr int kStringLength = 128;
constexpr int kStatusBytes = 2;  // every packet from the chip starts with two modem-status bytes

FtdiChip chipOf(uint16_t bcdDevice) {
  switch (bcdDevice >> 8) {
    case 0x05:
      return FtdiChip::Ft2232D;
    case 0x07:
      return FtdiChip::Ft2232H;
    case 0x08:
      return FtdiChip::Ft4232H;
    case 0x09:
      return FtdiChip::Ft232H;
    default:
      return FtdiChip::Unknown;
  }
}

std::string nodeOf(libusb_device* device) {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", libusb_get_bus_number(device),
                libusb_get_device_address(device));
  return node;
}

std::string portsOf(libusb_device* device) {
  uint8_t ports[8];
  const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string out;
  for (int i = 0; i < depth; ++i) out += (i ? "." : "") + std::to_string(ports[i]);
  return out;
}

struct Found {
  FtdiBoard board;
  libusb_device* device;
  bool stringsRead = false;  // false: no access to the node, so the serial is unknown
};

// Every attached board with one of the IDs; devices stay referenced until `release`.
bool findBoards(ftdi_context* f, const std::vector<UsbId>& ids, std::vector<Found>& found,
                std::string& cause) {
  for (const UsbId& id : ids) {
    ftdi_device_list* list = nullptr;
    const int n = ftdi_usb_find_all(f, &list, id.vendor, id.product);
    if (n < 0) {
      cause = std::string("listing USB devices failed: ") + ftdi_get_error_string(f) +
              "; check that /dev/bus/usb exists and is readable";
      return false;
    }
    for (ftdi_device_list* d = list; d != nullptr; d = d->next) {
      Found item;
      item.device = libusb_ref_device(d->dev);
      libusb_device_descriptor desc;
      if (libusb_get_device_descriptor(d->dev, &desc) == LIBUSB_SUCCESS)
        item.board.chip = chipOf(desc.bcdDevice);
      item.board.id = id;
      item.board.bus = libusb_get_bus_number(d->dev);
      item.board.ports = portsOf(d->dev);
      char manufacturer[kStringLength] = "", description[kStringLength] = "",
           serial[kStringLength] = "";
      if (ftdi_usb_get_strings2(f, d->dev, manufacturer, kStringLength, description, kStringLength,
                                serial, kStringLength) == 0) {
        item.board.description = description;
        item.board.serial = serial;
        item.stringsRead = true;
      } else {
        item.board.description = "(strings unreadable: " + nodeOf(d->dev) + " not accessible)";
      }
      found.push_back(item);
    }
    ftdi_list_free(&list);
  }
  std::sort(found.begin(), found.end(),
            [](const Found& a, const Found& b) { return a.board.busPort() < b.board.busPort(); });
  return true;
}

void release(std::vector<Found>& found) {
  for (Found& f : found) libusb_unref_device(f.device);
  found.clear();
}

}  // namespace

LibftdiIo::~LibftdiIo() {
  close();
}

bool LibftdiIo::list(const std::vector<UsbId>& ids, std::vector<FtdiBoard>& boards,
                     std::string& cause) {
  boards.clear();
  ftdi_context* f = ftdi_new();
  if (f == nullptr) {
    cause = "libftdi could not start (out of memory)";
    return false;
  }
  std::vector<Found> found;
  const bool ok = findBoards(f, ids, found, cause);
  for (const Found& item : found) boards.push_back(item.board);
  release(found);
  ftdi_free(f);
  return ok;
}

bool LibftdiIo::open(const FtdiSelector& selector, FtdiBoard& opened, std::string& cause) {
  close();
  timeoutMs_ = selector.timeoutMs;
  ftdi_ = ftdi_new();
  if (ftdi_ == nullptr) {
    cause = "libftdi could not start (out of memory)";
    return false;
  }
  std::vector<Found> found;
  if (!findBoards(ftdi_, selector.ids, found, cause)) {
    close();
    return false;
  }
  const Found* chosen = nullptr;
  for (const Found& item : found) {
    if (!selector.serial.empty() && item.board.serial != selector.serial) continue;
    if (!selector.busPort.empty() && item.board.busPort() != selector.busPort) continue;
    chosen = &item;
    break;
  }
  const auto fail = [&](std::string why) {
    cause = std::move(why);
    release(found);
    close();
    return false;
  };
  if (chosen == nullptr) {
    // A board whose serial could not be read may well be the one asked for.
    for (const Found& item : found) {
      if (selector.serial.empty() || item.stringsRead) continue;
      if (!selector.busPort.empty() && item.board.busPort() != selector.busPort) continue;
      return fail(ftdi_causes::noPermission(nodeOf(item.device)));
    }
    return fail(ftdi_causes::noBoard(selector));
  }
  opened = chosen->board;
  busPort_ = opened.busPort();
  node_ = nodeOf(chosen->device);
  const int channel = selector.channel - 'A';
  const std::string noChannel = ftdi_causes::noChannel(busPort_, opened.chip, selector.channel);
  if (!noChannel.empty()) return fail(noChannel);
  if (::access(node_.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
    return fail(ftdi_causes::noPermission(node_));
  ftdi_set_interface(ftdi_, static_cast<ftdi_interface>(INTERFACE_A + channel));
  // Bounded from the first request on, the set-up's control transfers included.
  ftdi_->usb_read_timeout = static_cast<int>(timeoutMs_);
  ftdi_->usb_write_timeout = static_cast<int>(timeoutMs_);
  const int rc = ftdi_usb_open_dev(ftdi_, chosen->device);
  if (rc == -8 || (rc == -4 && errno == EACCES)) return fail(ftdi_causes::noPermission(node_));
  // libftdi has tried to detach ftdi_sio by then: the interface (-5) or the configuration (-3)
  // is still held by that driver or by another program.
  if (rc == -5 || rc == -3) return fail(ftdi_causes::kernelDriver(busPort_, selector.channel));
  if (rc < 0)
    return fail("opening the FTDI board at " + busPort_ +
                " failed: " + ftdi_get_error_string(ftdi_) + ": unplug and replug it");
  release(found);
  if (ftdi_usb_reset(ftdi_) < 0 || ftdi_set_latency_timer(ftdi_, 1) < 0 ||
      ftdi_tcioflush(ftdi_) < 0 || ftdi_set_bitmode(ftdi_, 0, BITMODE_RESET) < 0) {
    cause = "setting up the FTDI board at " + busPort_ +
            " failed: " + ftdi_get_error_string(ftdi_) + ": unplug and replug it";
    close();
    return false;
  }
  if (ftdi_set_bitmode(ftdi_, 0, BITMODE_MPSSE) < 0) {
    cause = ftdi_causes::notMpsse(busPort_);
    close();
    return false;
  }
  pending_.clear();
  return true;
}

std::string LibftdiIo::transferCause(const char* what, int error) const {
  if (error == LIBUSB_ERROR_NO_DEVICE || ::access(node_.c_str(), F_OK) != 0)
    return ftdi_causes::unplugged(busPort_);
  if (error == LIBUSB_ERROR_TIMEOUT) return ftdi_causes::timedOut(busPort_, timeoutMs_);
  return std::string(what) + " on the FTDI board at " + busPort_ +
         " failed: " + libusb_error_name(error) + ": unplug and replug it";
}

bool LibftdiIo::write(const uint8_t* data, size_t length, std::string& cause) {
  if (ftdi_ == nullptr || ftdi_->usb_dev == nullptr) {
    cause = "the FTDI board is not open: choose it in Interface > FTDI";
    return false;
  }
  size_t done = 0;
  while (done < length) {
    int moved = 0;
    const int chunk = static_cast<int>(std::min<size_t>(length - done, 65536));
    // libftdi names the endpoints from the chip's side: in_ep takes the host's data.
    const int rc =
        libusb_bulk_transfer(ftdi_->usb_dev, static_cast<unsigned char>(ftdi_->in_ep),
                             const_cast<uint8_t*>(data + done), chunk, &moved, timeoutMs_);
    if (rc != LIBUSB_SUCCESS) {
      cause = transferCause("a USB write", rc);
      return false;
    }
    done += static_cast<size_t>(moved);
  }
  return true;
}

bool LibftdiIo::read(uint8_t* data, size_t length, double busSeconds, std::string& cause) {
  if (ftdi_ == nullptr || ftdi_->usb_dev == nullptr) {
    cause = "the FTDI board is not open: choose it in Interface > FTDI";
    return false;
  }
  size_t got = std::min(length, pending_.size());
  std::copy_n(pending_.begin(), got, data);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(got));
  const size_t packetSize = ftdi_->max_packet_size > kStatusBytes ? ftdi_->max_packet_size : 64;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs_) +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(std::max(0.0, busSeconds)));
  while (got < length) {
    // Room for the answers still owed plus their status bytes, in whole packets.
    const size_t packets =
        (length - got + packetSize - kStatusBytes - 1) / (packetSize - kStatusBytes);
    packet_.resize(packets * packetSize);
    int moved = 0;
    const int rc =
        libusb_bulk_transfer(ftdi_->usb_dev, static_cast<unsigned char>(ftdi_->out_ep),
                             packet_.data(), static_cast<int>(packet_.size()), &moved, timeoutMs_);
    if (rc != LIBUSB_SUCCESS) {
      cause = transferCause("a USB read", rc);
      return false;
    }
    for (size_t start = 0; start < static_cast<size_t>(moved); start += packetSize) {
      const size_t end = std::min(static_cast<size_t>(moved), start + packetSize);
      for (size_t i = start + kStatusBytes; i < end; ++i) {
        if (got < length)
          data[got++] = packet_[i];
        else
          pending_.push_back(packet_[i]);
      }
    }
    if (got < length && std::chrono::steady_clock::now() >= deadline) {
      cause = ftdi_causes::timedOut(busPort_, timeoutMs_);
      return false;
    }
  }
  return true;
}

void LibftdiIo::close() {
  if (ftdi_ == nullptr) return;
  if (ftdi_->usb_dev != nullptr) {
    ftdi_set_bitmode(ftdi_, 0, BITMODE_RESET);
    ftdi_usb_close(ftdi_);
  }
  ftdi_free(ftdi_);
  ftdi_ = nullptr;
  pending_.clear();
}

}  // namespace vexa
