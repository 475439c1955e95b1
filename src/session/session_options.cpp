#include "session/session_options.h"

#include <cctype>

#include "app/app_state.h"
#include "app/hex_text.h"
#include "app/typed_number.h"
#include "sim/unplug_fault.h"
#include "transport/adapter/adapter_spi.h"

namespace vexa {

using namespace adapter_keys;

bool ParseHexWord(const std::string& text, int32_t& value) {
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = digits.substr(2);
  if (digits.empty() || digits.size() > 4) return false;
  for (char c : digits)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  value = HexToLong(digits);
  return true;
}

bool SetInterfaceByName(SessionOptions& o, const std::string& name, std::string& error) {
  if (name == "parallel")
    o.interface = kInterfaceParallel;
  else if (name == "usb")
    o.interface = kInterfaceUsb;
  else if (name == "ftdi")
    o.interface = kInterfaceFtdi;
  else if (name == "spidev")
    o.interface = kInterfaceSpidev;
  else {
    error = "unknown interface '" + name + "': use usb, parallel, ftdi or spidev";
    return false;
  }
  return true;
}

namespace {

bool hexOption(std::optional<uint16_t>& to, const char* what, const std::string& hex,
               std::string& error) {
  int32_t number = 0;
  if (!ParseHexWord(hex, number)) {
    error =
        "malformed " + std::string(what) + " '" + hex + "': give one to four hexadecimal digits";
    return false;
  }
  to = static_cast<uint16_t>(number);
  return true;
}

}  // namespace

bool SetPortAddress(SessionOptions& o, const std::string& hex, std::string& error) {
  return hexOption(o.port, "port address", hex, error);
}

bool SetCardVendor(SessionOptions& o, const std::string& hex, std::string& error) {
  return hexOption(o.vendorId, "vendor ID", hex, error);
}

bool SetAdapterSetting(SessionOptions& o, AdapterSetting which, const std::string& value,
                       std::string& error) {
  auto& settings = o.adapterSettings;
  switch (which) {
    case AdapterSetting::FtdiSerial:
      settings.emplace_back(kFtdiSerial, value);
      return true;
    case AdapterSetting::FtdiInterface: {
      const char c = value.size() == 1 ? static_cast<char>(std::toupper(value[0])) : 0;
      if (c < 'A' || c > 'D') {
        error = "malformed FTDI interface '" + value + "': give A, B, C or D";
        return false;
      }
      settings.emplace_back(kFtdiInterface, std::string(1, c));
      return true;
    }
    case AdapterSetting::SpiDevice:
      if (value.empty()) {
        error = "--spi-device needs a device node such as /dev/spidev0.0";
        return false;
      }
      settings.emplace_back(kSpidevDevice, value);
      return true;
    case AdapterSetting::SpiSpeed: {
      const long hz = HertzFromText(value);
      if (hz < 1000 || hz > 30000000) {
        error = "malformed SPI clock '" + value + "': give 1000 to 30000000 Hz, such as 1M or 500k";
        return false;
      }
      settings.emplace_back(kFtdiClockHz, std::to_string(hz));
      settings.emplace_back(kSpidevSpeedHz, std::to_string(hz));
      return true;
    }
    case AdapterSetting::SpiMode:
      if (value.size() != 1 || value[0] < '0' || value[0] > '3') {
        error = "malformed SPI mode '" + value + "': give 0, 1, 2 or 3";
        return false;
      }
      settings.emplace_back(kFtdiMode, value);
      settings.emplace_back(kSpidevMode, value);
      return true;
  }
  return false;
}

bool SetSimulatedFault(SessionOptions& o, const std::string& fault, std::string& error) {
  uint64_t frames = 0;
  if (!sim::ParseUnplugFault(fault, frames)) {
    error = "unknown fault '" + fault + "': use unplug-after=N (N SPI frames)";
    return false;
  }
  o.unplugAfterFrames = frames;
  return true;
}

std::string SessionOptionsProblem(const SessionOptions& o) {
  if (o.unplugAfterFrames && !o.simulate && !o.simulateStill)
    return "--simulate-fault needs --simulate or --simulate-still";
  return {};
}

}  // namespace vexa
