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
// Interfaces with an MPSSE engine: A on the 232H and the 2232D, A and B on the 2232H and 4232H.
int mpsseChannels(FtdiChip chip);
// Why `channel` cannot clock SPI on this chip; empty when it can.
std::string noChannel(const std::string& busPort, FtdiChip chip, char channel);
std::string unplugged(const std::string& busPort);
std::string timedOut(const std::string& busPort, unsigned timeoutMs);
std::string notMpsse(const std::string& busPort);

}  // namespace vexa::ftdi_causes
