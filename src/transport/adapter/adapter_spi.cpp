#include "transport/adapter/adapter_spi.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "app/delay.h"
#include "transport/ftdi/ftdi_spi.h"

namespace vexa {

using namespace adapter_keys;

namespace {

const std::vector<UsbId> kDefaultFtdiIds = {{0x0403, 0x6014}, {0x0403, 0x6010}, {0x0403, 0x6011}};

long bounded(const ProgramSettings& p, const char* key, long fallback, long low, long high) {
  const long v = p.number(key, fallback);
  return v < low || v > high ? fallback : v;
}

std::string hex4(uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", v);
  return text;
}

const char* chipName(FtdiChip chip) {
  switch (chip) {
    case FtdiChip::Ft2232D:
      return "FT2232D";
    case FtdiChip::Ft2232H:
      return "FT2232H";
    case FtdiChip::Ft4232H:
      return "FT4232H";
    case FtdiChip::Ft232H:
      return "FT232H";
    default:
      return "FTDI chip";
  }
}

// The message carries the cause itself, so it goes to no diagnostics line as well.
void report(AppContext& ctx, int16_t interface, const std::string& cause) {
  ctx.messages().show(kApplicationTitle, AdapterName(interface) + ": " + cause);
}

}  // namespace

bool ParseUsbIds(const std::string& text, std::vector<UsbId>& ids) {
  std::vector<UsbId> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    unsigned vendor = 0, product = 0;
    char tail = 0;
    if (std::sscanf(item.c_str(), " %x:%x %c", &vendor, &product, &tail) != 2 || vendor > 0xFFFF ||
        product > 0xFFFF)
      return false;
    out.push_back({static_cast<uint16_t>(vendor), static_cast<uint16_t>(product)});
  }
  if (out.empty()) return false;
  ids = out;
  return true;
}

FtdiChoice ReadFtdiChoice(const ProgramSettings& p) {
  FtdiChoice c;
  if (!ParseUsbIds(p.text(kFtdiIds), c.selector.ids)) c.selector.ids = kDefaultFtdiIds;
  c.selector.serial = p.text(kFtdiSerial);
  c.selector.busPort = p.text(kFtdiBusPort);
  const std::string channel = p.text(kFtdiInterface, "A");
  c.selector.channel =
      channel.size() == 1 && channel[0] >= 'A' && channel[0] <= 'D' ? channel[0] : 'A';
  c.selector.timeoutMs = static_cast<unsigned>(bounded(p, kFtdiTimeoutMs, 1000, 10, 60000));
  c.setup.clockHz = static_cast<uint32_t>(bounded(p, kFtdiClockHz, 1000000, 100, 30000000));
  c.setup.mode = static_cast<int>(bounded(p, kFtdiMode, 3, 0, 3));
  c.setup.csPin =
      static_cast<int>(bounded(p, kFtdiCsPin, 3, mpsse::kFirstCsPin, mpsse::kLastCsPin));
  c.setup.pauseUs = static_cast<double>(bounded(p, kFtdiPauseUs, 100, 100, 1000000));
  return c;
}

void WriteFtdiChoice(ProgramSettings& p, const FtdiChoice& c) {
  std::string ids;
  for (const UsbId& id : c.selector.ids)
    ids += (ids.empty() ? "" : ",") + hex4(id.vendor) + ":" + hex4(id.product);
  p.setText(kFtdiIds, ids);
  p.setText(kFtdiSerial, c.selector.serial);
  p.setText(kFtdiBusPort, c.selector.busPort);
  p.setText(kFtdiInterface, std::string(1, c.selector.channel));
  p.setNumber(kFtdiTimeoutMs, static_cast<long>(c.selector.timeoutMs));
  p.setNumber(kFtdiClockHz, static_cast<long>(c.setup.clockHz));
  p.setNumber(kFtdiMode, c.setup.mode);
  p.setNumber(kFtdiCsPin, c.setup.csPin);
  p.setNumber(kFtdiPauseUs, static_cast<long>(std::max(c.setup.pauseUs, kMinimumPauseUs)));
}

SpidevSetup ReadSpidevChoice(const ProgramSettings& p) {
  SpidevSetup s;
  s.device = p.text(kSpidevDevice, s.device);
  s.speedHz = static_cast<uint32_t>(bounded(p, kSpidevSpeedHz, 1000000, 1000, 100000000));
  s.mode = static_cast<int>(bounded(p, kSpidevMode, 3, 0, 3));
  s.pauseUs = static_cast<double>(bounded(p, kSpidevPauseUs, 100, 100, 65535));
  return s;
}

void WriteSpidevChoice(ProgramSettings& p, const SpidevSetup& s) {
  p.setText(kSpidevDevice, s.device);
  p.setNumber(kSpidevSpeedHz, static_cast<long>(s.speedHz));
  p.setNumber(kSpidevMode, s.mode);
  p.setNumber(kSpidevPauseUs, static_cast<long>(std::max(s.pauseUs, kMinimumPauseUs)));
}

bool IsAdapterInterface(int16_t interface) {
  return interface == kInterfaceFtdi || interface == kInterfaceSpidev;
}

std::string AdapterName(int16_t interface) {
  return interface == kInterfaceFtdi ? "FTDI adapter" : "spidev adapter";
}

void CloseAdapter(AppContext& ctx) {
  AdapterState& a = ctx.adapters;
  a.link.reset();
  a.Present = 0;
  a.openInterface = 0;
  a.description.clear();
}

bool OpenAdapter(AppContext& ctx, int16_t interface) {
  CloseAdapter(ctx);
  std::string cause;
  AdapterState& a = ctx.adapters;
  if (interface == kInterfaceFtdi) {
    if (ctx.platform.ftdi == nullptr) {
      cause = "this program was built without FTDI support: rebuild it with libftdi1-dev";
    } else {
      const FtdiChoice choice = ReadFtdiChoice(ctx.preferences);
      auto link = FtdiSpiLink::open(*ctx.platform.ftdi, choice.selector, choice.setup, cause);
      if (link) {
        const FtdiBoard& b = link->board();
        a.description = std::string(chipName(b.chip)) + " at " + b.busPort() +
                        (b.serial.empty() ? "" : ", serial " + b.serial) + ", interface " +
                        std::string(1, choice.selector.channel);
        a.link = std::move(link);
      }
    }
  } else if (interface == kInterfaceSpidev) {
    if (ctx.platform.spidev == nullptr) {
      cause = "spidev is not available on this system";
    } else {
      const SpidevSetup setup = ReadSpidevChoice(ctx.preferences);
      auto link = SpidevLink::open(*ctx.platform.spidev, setup, cause, [&ctx](double us) {
        DelayMs(ctx, static_cast<float>(us / 1000.0));
      });
      if (link) {
        a.description = setup.device;
        a.link = std::move(link);
      }
    }
  } else {
    return false;
  }
  if (!a.link) {
    report(ctx, interface, cause);
    return false;
  }
  a.Present = -1;
  a.openInterface = interface;
  return true;
}

bool AdapterLost(const AppContext& ctx) {
  return IsAdapterInterface(ctx.settings.Interface) &&
         (ctx.adapters.Present == 0 || ctx.adapters.openInterface != ctx.settings.Interface);
}

bool AdapterTransfer(AppContext& ctx, const uint16_t* out, uint16_t* in, size_t count) {
  AdapterState& a = ctx.adapters;
  if (a.Present == 0 || !a.link || a.openInterface != ctx.settings.Interface) return false;
  std::string cause;
  if (a.link->transfer(out, in, count, cause)) return true;
  const int16_t interface = a.openInterface;
  CloseAdapter(ctx);
  report(ctx, interface, cause);
  return false;
}

bool AdapterReadProductId(AppContext& ctx, int16_t interface, int32_t& product) {
  if (!OpenAdapter(ctx, interface)) return false;
  const int16_t selected = ctx.settings.Interface;
  ctx.settings.Interface = interface;
  const int32_t command = (ctx.registers.BaseAddr[PROD_ID] & 0x7F) * 256;
  const uint16_t out[2] = {static_cast<uint16_t>(command), static_cast<uint16_t>(command)};
  uint16_t in[2] = {0, 0};
  const bool ok = AdapterTransfer(ctx, out, in, 2);
  ctx.settings.Interface = selected;
  if (ok) product = in[1];
  return ok;
}

}  // namespace vexa
