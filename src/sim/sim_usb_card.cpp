#include "sim/sim_usb_card.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "sim/sim_bus_time.h"

namespace vexa::sim {

namespace {

struct PipeLayout {
  uint8_t endpoint;  // bit 7 set: from the card
};
// Pipe 0 carries commands out, pipe 1 replies in; pipes 2 and 3 are the card's second pair.
constexpr PipeLayout kPipes[] = {{0x02}, {0x86}, {0x04}, {0x88}};
constexpr int kPipeCount = 4;
constexpr uint32_t kBulkPipeType = 2;
constexpr uint32_t kMaxTransferSize = 4096;
constexpr uint16_t kEnglishLanguage = 0x0409;

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool pipeNumber(const uint8_t* in, size_t inLength, int& pipe) {
  if (in == nullptr || inLength < 4) return false;
  int32_t value;
  std::memcpy(&value, in, sizeof value);
  if (value < 0 || value >= kPipeCount) return false;
  pipe = value;
  return true;
}

}  // namespace

void SimUsbCard::pass(SimClock* clock, double seconds) const {
  SimBusTime{clock, config_.wallClockBusTime}.pass(seconds);
}

void SimUsbCard::spend(SimClock* clock, double seconds) {
  pass(clock, seconds);
  spiSeconds_ += seconds;
}

uint16_t SimUsbCard::packetSize(int pipe) const {
  if (pipe == 3) return config_.pipe3PacketSize;
  return config_.pipe3PacketSize <= 64 ? 64 : 512;
}

double SimUsbCard::requestSeconds() const {
  if (config_.requestSeconds >= 0) return config_.requestSeconds;
  return config_.pipe3PacketSize <= 64 ? kFullSpeedRequestSeconds : kHighSpeedRequestSeconds;
}

bool SimUsbCard::request(uint32_t code, const uint8_t* in, size_t inLength, uint8_t* out,
                         size_t outLength, uint32_t& returned, SimClock* clock) {
  returned = 0;
  auto fault = faults_.find(code);
  if (fault != faults_.end()) {
    if (fault->second == FaultMode::Once) faults_.erase(fault);
    return false;
  }

  switch (code) {
    case usbreq::kGetPipeInfo: {
      if (out == nullptr || outLength < usbreq::kPipeInfoSize) return false;
      std::memset(out, 0, usbreq::kPipeInfoSize);
      put16(out, static_cast<uint16_t>(usbreq::kPipeInfoSize));
      out[4] = 0xFF;  // vendor-specific interface class
      put32(out + 12, kPipeCount);
      for (int n = 0; n < kPipeCount; ++n) {
        uint8_t* record = out + 16 + 20 * n;
        put16(record, packetSize(n));
        record[2] = kPipes[n].endpoint;
        put32(record + 4, kBulkPipeType);
        put32(record + 12, kMaxTransferSize);
      }
      returned = usbreq::kPipeInfoSize;
      return true;
    }
    case usbreq::kGetDeviceDescriptor: {
      constexpr size_t kDescriptorLength = 18;
      if (out == nullptr || outLength < kDescriptorLength) return false;
      uint8_t d[kDescriptorLength] = {kDescriptorLength, 1};
      put16(d + 2, config_.pipe3PacketSize <= 64 ? 0x0110 : 0x0200);
      d[4] = 0xFF;
      d[7] = 64;
      put16(d + 8, config_.vendorId);
      put16(d + 10, config_.productId);
      put16(d + 12, 0x0001);
      d[14] = 1;
      d[15] = 2;
      d[17] = 1;
      std::memcpy(out, d, kDescriptorLength);
      returned = kDescriptorLength;
      return true;
    }
    case usbreq::kGetStringDescriptor: {
      if (in == nullptr || inLength < 5 || out == nullptr) return false;
      std::vector<uint16_t> units;
      switch (in[0]) {
        case 0:
          units = {kEnglishLanguage};
          break;
        case 1:
          units.assign(config_.descriptor1.begin(), config_.descriptor1.end());
          break;
        case 2:
          units.assign(config_.descriptor2.begin(), config_.descriptor2.end());
          break;
        default:
          return false;
      }
      std::vector<uint8_t> d(2 + 2 * std::min<size_t>(units.size(), 126));
      d[0] = static_cast<uint8_t>(d.size());
      d[1] = 3;
      for (size_t i = 0; 2 + 2 * i < d.size(); ++i) put16(&d[2 + 2 * i], units[i]);
      const size_t n = std::min(outLength, d.size());
      std::memcpy(out, d.data(), n);
      returned = static_cast<uint32_t>(n);
      return true;
    }
    case usbreq::kBulkWrite: {
      int pipe;
      if (!pipeNumber(in, inLength, pipe)) return false;
      spiSeconds_ = 0;
      pass(clock, requestSeconds());
      return bulkWrite(pipe, out, outLength, returned, clock);
    }
    case usbreq::kBulkRead: {
      int pipe;
      if (!pipeNumber(in, inLength, pipe)) return false;
      // The card's SPI work, already spent, ran while this request waited for its frame.
      pass(clock, std::max(0.0, requestSeconds() - std::exchange(spiSeconds_, 0.0)));
      return bulkRead(pipe, out, outLength, returned);
    }
    default:
      return false;
  }
}

bool SimUsbCard::bulkWrite(int pipe, const uint8_t* data, size_t length, uint32_t& returned,
                           SimClock* clock) {
  if (kPipes[pipe].endpoint & 0x80) return false;  // an IN pipe takes no data
  if (length > 0 && data == nullptr) return false;
  returned = static_cast<uint32_t>(length);
  if (pipe != 0) return true;  // the second OUT pipe is not wired to anything
  std::vector<uint8_t> bytes(data, data + length);
  if (recording_) pipe0Writes_.push_back(bytes);
  runCommand(bytes, clock);
  return true;
}

bool SimUsbCard::bulkRead(int pipe, uint8_t* data, size_t length, uint32_t& returned) {
  if (!(kPipes[pipe].endpoint & 0x80)) return false;  // an OUT pipe has nothing to read
  if (pipe == 1 && recording_) pipe1Reads_.push_back(length);
  if (length == 0) return true;
  if (data == nullptr || pipe != 1 || replies_.empty()) return false;  // nothing comes: timeout
  size_t n = std::min(length, replies_.size());
  n -= std::min(n, shortBy_);
  for (size_t i = 0; i < n; ++i) {
    data[i] = replies_.front();
    replies_.pop_front();
  }
  returned = static_cast<uint32_t>(n);
  return true;
}

void SimUsbCard::runCommand(const std::vector<uint8_t>& bytes, SimClock* clock) {
  if (bytes.empty()) {
    ++protocolErrors_;
    return;
  }
  // The card answers only its latest command: a reply left unread is dropped.
  replies_.clear();
  const size_t length = bytes.size();
  switch (bytes[0]) {
    case 0x00:
      if (length != 1) break;
      if (!silentVersion_) {
        replies_.push_back(config_.firmwareMajor);
        replies_.push_back(config_.firmwareMinor);
      }
      return;
    case 0x01:
      if (length != 1) break;
      replies_.push_back(wordDelay_);
      replies_.push_back(staticBits_);
      return;
    case 0x0B:
      if (length != 2) break;
      wordDelay_ = bytes[1];
      return;
    case 0x0C:
      if (length != 2) break;
      staticBits_ = bytes[1];
      return;
    case 0x0D:
    case 0x0E:
      transfer(bytes, clock);
      return;
    default:
      break;
  }
  ++protocolErrors_;
}

void SimUsbCard::transfer(const std::vector<uint8_t>& bytes, SimClock* clock) {
  if (bytes.size() < 3) {
    ++protocolErrors_;
    return;
  }
  const uint8_t channel = bytes[1];
  const size_t words = bytes[2];
  if (channel < 1 || channel > 5 || words < 1 || words > 16 || bytes.size() != 2 * words + 3) {
    ++protocolErrors_;
    return;
  }
  const bool negative = bytes[0] == 0x0E;
  const double frameSeconds = 16 * config_.spiBitSeconds;
  for (size_t i = 0; i < words; ++i) {
    if (i > 0) spend(clock, wordDelay_ * 1e-6);
    const auto mosi = static_cast<uint16_t>(bytes[3 + 2 * i] << 8 | bytes[4 + 2 * i]);
    uint16_t miso = config_.idleChannelWord;
    if (channel == 1 && slave_ != nullptr) {
      miso = slave_->frameStart();
      spend(clock, frameSeconds);
      slave_->frameEnd(mosi, 16);
    } else {
      spend(clock, frameSeconds);
    }
    if (negative) miso = static_cast<uint16_t>(~miso);
    replies_.push_back(static_cast<uint8_t>(miso >> 8));
    replies_.push_back(static_cast<uint8_t>(miso));
  }
}

SimUsbCard& SimUsbDriver::plug(int slot, SimUsbCardConfig config) {
  auto& place = cards_.at(static_cast<size_t>(slot));
  for (auto it = handles_.begin(); it != handles_.end();) {
    it = it->second.card == place.get() ? handles_.erase(it) : std::next(it);
  }
  place = std::make_unique<SimUsbCard>(std::move(config));
  return *place;
}

void SimUsbDriver::unplug(int slot) {
  SimUsbCard* c = card(slot);
  if (c == nullptr || !c->plugged_) return;
  c->plugged_ = false;
  ++c->connection_;
  c->replies_.clear();
}

void SimUsbDriver::replug(int slot) {
  SimUsbCard* c = card(slot);
  if (c != nullptr) c->plugged_ = true;
}

SimUsbCard* SimUsbDriver::card(int slot) {
  if (slot < 0 || slot >= kSlots) return nullptr;
  return cards_[static_cast<size_t>(slot)].get();
}

UsbHandle SimUsbDriver::open(const std::string& name) {
  constexpr std::string_view kPrefix = "Ezusb-";
  if (name.size() != kPrefix.size() + 1 || name.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  SimUsbCard* c = card(name.back() - '0');
  if (c == nullptr || !c->plugged_) return 0;
  const UsbHandle handle = nextHandle_++;
  handles_[handle] = {c, c->connection_};
  ++opens_;
  return handle;
}

bool SimUsbDriver::request(UsbHandle handle, uint32_t code, const uint8_t* in, size_t inLength,
                           uint8_t* out, size_t outLength, uint32_t& returned) {
  returned = 0;
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  SimUsbCard* c = it->second.card;
  if (!c->plugged_ || c->connection_ != it->second.connection) return false;
  return c->request(code, in, inLength, out, outLength, returned, clock_);
}

void SimUsbDriver::close(UsbHandle handle) {
  handles_.erase(handle);
}

}  // namespace vexa::sim
