#pragma once

#include <string>
#include <vector>

#include "platform/ftdi_io.h"

namespace vexa::ftdi_causes {

// "0403:6014, 0403:6010"
std::string idList(const std::vector<UsbId>& ids);
std::string noBoard(const FtdiSelector& selector);
std::string noPermission(const std::string& node);
std::string kernelDriver(const std::string& busPort, char channel);
std::string noChannel(const std::string& busPort, char channel);
std::string unplugged(const std::string& busPort);
std::string timedOut(const std::string& busPort, unsigned timeoutMs);
std::string notMpsse(const std::string& busPort);

}  // namespace vexa::ftdi_causes
