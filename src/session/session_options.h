#pragma once

// How a session reaches its sensor, as typed values: every front end (the command line's
// options, the Python module's keywords) fills this in; nobody builds command-line text.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexa {

struct SessionOptions {
  // The simulated sensor behind simulated adapters instead of the machine's devices.
  bool simulate = false;
  bool simulateStill = false;  // simulated, lying still with its stated noise
  bool virtualTime = false;    // simulated on virtual time: waits take no real time
  bool trace = false;          // one line per frame (and per FTDI bulk transfer) on the trace
  // Simulated only: the card, the FTDI board and the spidev node are pulled out after N frames.
  std::optional<uint64_t> unplugAfterFrames;
  // kInterfaceParallel, kInterfaceUsb, kInterfaceFtdi or kInterfaceSpidev; unset:
  // CommPort.cfg decides.
  std::optional<int16_t> interface;
  std::optional<uint16_t> port;      // parallel port address; unset: CommPort.cfg
  std::optional<uint16_t> vendorId;  // the USB card's vendor ID
  // SPI adapter settings (VexaEval.cfg key, value) for this session only.
  std::vector<std::pair<std::string, std::string>> adapterSettings;
};

}  // namespace vexa

namespace vexa {

// The options' typed setters, shared by the command line's arguments and the Python module's
// keywords so that both check alike and say the same. Each returns false with a one-line error.
enum class AdapterSetting { FtdiSerial, FtdiInterface, SpiDevice, SpiSpeed, SpiMode };
bool SetInterfaceByName(SessionOptions& o, const std::string& name, std::string& error);
bool SetPortAddress(SessionOptions& o, const std::string& hex, std::string& error);
bool SetCardVendor(SessionOptions& o, const std::string& hex, std::string& error);
bool SetAdapterSetting(SessionOptions& o, AdapterSetting which, const std::string& value,
                       std::string& error);
// "unplug-after=N".
bool SetSimulatedFault(SessionOptions& o, const std::string& fault, std::string& error);
// What the options cannot mean together (a fault without a simulation); empty when none.
std::string SessionOptionsProblem(const SessionOptions& o);

// Hexadecimal text of one to four digits, with or without "0x". False for anything else.
bool ParseHexWord(const std::string& text, int32_t& value);

}  // namespace vexa
