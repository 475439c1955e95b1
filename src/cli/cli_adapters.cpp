#include "cli/cli_adapters.h"

namespace vexa::cli {

namespace {

const struct {
  const char* option;
  AdapterSetting setting;
} kAdapterOptions[] = {
    {"--ftdi-serial", AdapterSetting::FtdiSerial},
    {"--ftdi-interface", AdapterSetting::FtdiInterface},
    {"--spi-device", AdapterSetting::SpiDevice},
    {"--spi-speed", AdapterSetting::SpiSpeed},
    {"--spi-mode", AdapterSetting::SpiMode},
};

}  // namespace

bool IsAdapterOption(const std::string& o) {
  for (const auto& a : kAdapterOptions)
    if (o == a.option) return true;
  return false;
}

bool ParseAdapterOption(const std::string& o, const std::string& value, SessionOptions& options,
                        std::string& error) {
  for (const auto& a : kAdapterOptions)
    if (o == a.option) return SetAdapterSetting(options, a.setting, value, error);
  return false;
}

}  // namespace vexa::cli
