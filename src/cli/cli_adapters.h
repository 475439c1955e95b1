#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vexa::cli {

// The SPI adapters' options: --ftdi-serial, --ftdi-interface, --spi-device, --spi-speed and
// --spi-mode. Each becomes one or more settings (key, value) for this run only.
bool IsAdapterOption(const std::string& option);
bool ParseAdapterOption(const std::string& option, const std::string& value,
                        std::vector<std::pair<std::string, std::string>>& settings,
                        std::string& error);

}  // namespace vexa::cli
