#pragma once

#include <string>

#include "session/session_options.h"

namespace vexa::cli {

// The SPI adapters' options: --ftdi-serial, --ftdi-interface, --spi-device, --spi-speed and
// --spi-mode. Each becomes one or more adapter settings of the session, for this run only.
bool IsAdapterOption(const std::string& option);
bool ParseAdapterOption(const std::string& option, const std::string& value,
                        SessionOptions& options, std::string& error);

}  // namespace vexa::cli
