#include "sim/sim_ftdi_io.h"

#include <algorithm>
#include <cstdio>

#include "platform/ftdi_causes.h"
#include "sim/bus_time_model.h"

namespace vexa::sim {

namespace {

std::string nodeOf(const FtdiBoard& b, int address) {
  char node[32];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", b.bus, address);
  return node;
}

}  // namespace

FtdiBoard SimFtdiIo::ft232h(const std::string& serial, const std::string& ports) {
  FtdiBoard b;
  b.id = {0x0403, 0x6014};
  b.chip = FtdiChip::Ft232H;
  b.description = "Single RS232-HS";
  b.serial = serial;
  b.bus = 1;
  b.ports = ports;
  return b;
}

SimFtdiIo::Board& SimFtdiIo::plug(FtdiBoard info) {
  boards_.push_back(std::make_unique<Board>(std::move(info)));
  boards_.back()->address = static_cast<int>(boards_.size()) + 1;
  return *boards_.back();
}

bool SimFtdiIo::list(const std::vector<UsbId>& ids, std::vector<FtdiBoard>& out, std::string&) {
  out.clear();
  for (const auto& b : boards_)
    if (b->plugged && std::find(ids.begin(), ids.end(), b->info.id) != ids.end())
      out.push_back(b->info);
  return true;
}

bool SimFtdiIo::open(const FtdiSelector& s, FtdiBoard& opened, std::string& cause) {
  close();
  Board* chosen = nullptr;
  for (const auto& b : boards_) {
    if (!b->plugged || std::find(s.ids.begin(), s.ids.end(), b->info.id) == s.ids.end()) continue;
    if (!s.serial.empty() && b->info.serial != s.serial) continue;
    if (!s.busPort.empty() && b->info.busPort() != s.busPort) continue;
    chosen = b.get();
    break;
  }
  if (chosen == nullptr) {
    cause = ftdi_causes::noBoard(s);
    return false;
  }
  const std::string busPort = chosen->info.busPort();
  cause = ftdi_causes::noChannel(busPort, chosen->info.chip, s.channel);
  if (!cause.empty()) return false;
  if (!chosen->permission) {
    cause = ftdi_causes::noPermission(nodeOf(chosen->info, chosen->address));
    return false;
  }
  if (chosen->kernelDriverBound) {
    cause = ftdi_causes::kernelDriver(busPort, s.channel);
    return false;
  }
  engine_ = s.channel == 'A' ? &chosen->engine : &chosen->channelB;
  engine_->reset();
  busAtRead_ = engine_->busSeconds();
  open_ = chosen;
  selector_ = s;
  opened = chosen->info;
  return true;
}

bool SimFtdiIo::reachable(std::string& cause) const {
  if (open_ == nullptr) {
    cause = "the FTDI board is not open: choose it in Interface > FTDI";
    return false;
  }
  if (!open_->plugged) {
    cause = ftdi_causes::unplugged(open_->info.busPort());
    return false;
  }
  return true;
}

bool SimFtdiIo::write(const uint8_t* data, size_t length, std::string& cause) {
  ++writes_;
  if (!reachable(cause)) return false;
  busTime_.pass(ftdiRequestSeconds(open_->info.chip));
  lastWrite_.assign(data, data + length);
  if (recording_) written_.insert(written_.end(), data, data + length);
  if (!open_->silent) engine_->feed(data, length);
  return true;
}

bool SimFtdiIo::read(uint8_t* data, size_t length, double busSeconds, std::string& cause) {
  ++reads_;
  if (!reachable(cause)) return false;
  auto& out = engine_->output();
  const double clocking = engine_->busSeconds() - busAtRead_;
  busAtRead_ = engine_->busSeconds();
  if (out.size() < length || clocking > selector_.timeoutMs * 1e-3 + busSeconds) {
    cause = ftdi_causes::timedOut(open_->info.busPort(), selector_.timeoutMs);
    return false;
  }
  busTime_.pass(std::max(ftdiRequestSeconds(open_->info.chip), clocking));
  std::copy_n(out.begin(), length, data);
  out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(length));
  return true;
}

void SimFtdiIo::close() {
  open_ = nullptr;
  engine_ = nullptr;
}

}  // namespace vexa::sim
