#include "cli/cli_adapters.h"

#include <cctype>

#include "app/typed_number.h"
#include "transport/adapter/adapter_spi.h"

namespace vexa::cli {

using namespace adapter_keys;

bool IsAdapterOption(const std::string& o) {
  return o == "--ftdi-serial" || o == "--ftdi-interface" || o == "--spi-device" ||
         o == "--spi-speed" || o == "--spi-mode";
}

bool ParseAdapterOption(const std::string& o, const std::string& value,
                        std::vector<std::pair<std::string, std::string>>& settings,
                        std::string& error) {
  if (o == "--ftdi-serial") {
    settings.emplace_back(kFtdiSerial, value);
  } else if (o == "--ftdi-interface") {
    const char c = value.size() == 1 ? static_cast<char>(std::toupper(value[0])) : 0;
    if (c < 'A' || c > 'D') {
      error = "malformed FTDI interface '" + value + "': give A, B, C or D";
      return false;
    }
    settings.emplace_back(kFtdiInterface, std::string(1, c));
  } else if (o == "--spi-device") {
    if (value.empty()) {
      error = "--spi-device needs a device node such as /dev/spidev0.0";
      return false;
    }
    settings.emplace_back(kSpidevDevice, value);
  } else if (o == "--spi-speed") {
    const long hz = HertzFromText(value);
    if (hz < 1000 || hz > 30000000) {
      error = "malformed SPI clock '" + value + "': give 1000 to 30000000 Hz, such as 1M or 500k";
      return false;
    }
    settings.emplace_back(kFtdiClockHz, std::to_string(hz));
    settings.emplace_back(kSpidevSpeedHz, std::to_string(hz));
  } else if (o == "--spi-mode") {
    if (value.size() != 1 || value[0] < '0' || value[0] > '3') {
      error = "malformed SPI mode '" + value + "': give 0, 1, 2 or 3";
      return false;
    }
    settings.emplace_back(kFtdiMode, value);
    settings.emplace_back(kSpidevMode, value);
  } else {
    return false;
  }
  return true;
}

}  // namespace vexa::cli
