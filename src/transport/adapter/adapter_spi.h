#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/app_context.h"
#include "platform/ftdi_io.h"
#include "transport/ftdi/mpsse_commands.h"
#include "transport/spidev/spidev_spi.h"

namespace vexa {

// The FTDI board and the spidev node as transports of register access: their settings in the
// program's own settings file, opening the one Interface names, and moving frames through it.

// Keys in VexaEval.cfg.
namespace adapter_keys {
constexpr const char* kFtdiIds = "ftdi.ids";  // "0403:6014,0403:6010,0403:6011"
constexpr const char* kFtdiSerial = "ftdi.serial";
constexpr const char* kFtdiBusPort = "ftdi.bus_port";     // "1-2.3"
constexpr const char* kFtdiInterface = "ftdi.interface";  // A..D
constexpr const char* kFtdiClockHz = "ftdi.clock_hz";
constexpr const char* kFtdiMode = "ftdi.mode";
constexpr const char* kFtdiCsPin = "ftdi.cs_pin";  // ADBUS pin number, 3..7
constexpr const char* kFtdiPauseUs = "ftdi.pause_us";
constexpr const char* kFtdiTimeoutMs = "ftdi.timeout_ms";
constexpr const char* kSpidevDevice = "spidev.device";
constexpr const char* kSpidevSpeedHz = "spidev.speed_hz";
constexpr const char* kSpidevMode = "spidev.mode";
constexpr const char* kSpidevPauseUs = "spidev.pause_us";
}  // namespace adapter_keys

// The parallel port's pause after every frame; adapters never pause less.
constexpr double kMinimumPauseUs = 100;

struct FtdiChoice {
  FtdiSelector selector;
  mpsse::SpiSetup setup;
};

// Read with defaults for what is missing or out of range: the three FTDI IDs, interface A,
// 1 MHz, mode 3, ADBUS3, 0.1 ms pause, 1 s timeout; /dev/spidev0.0, 1 MHz, mode 3, 0.1 ms.
FtdiChoice ReadFtdiChoice(const ProgramSettings& preferences);
void WriteFtdiChoice(ProgramSettings& preferences, const FtdiChoice& choice);
SpidevSetup ReadSpidevChoice(const ProgramSettings& preferences);
void WriteSpidevChoice(ProgramSettings& preferences, const SpidevSetup& setup);
// "0403:6014,0403:6010" to IDs; false for malformed text.
bool ParseUsbIds(const std::string& text, std::vector<UsbId>& ids);

bool IsAdapterInterface(int16_t interface);
// "FTDI adapter", "spidev adapter".
std::string AdapterName(int16_t interface);

// Opens the adapter of `interface` with the settings in ctx.preferences, replacing any open
// one. On failure a message box names the cause and the fix, and the adapter is not present.
bool OpenAdapter(AppContext& ctx, int16_t interface);
void CloseAdapter(AppContext& ctx);
// Interface names an adapter that failed (or never opened).
bool AdapterLost(const AppContext& ctx);

// Frames through the open adapter of the selected Interface. Does nothing and returns false
// while it is not present; a failure shows its message once and leaves it not present.
bool AdapterTransfer(AppContext& ctx, const uint16_t* out, uint16_t* in, size_t count);

// The selection windows' Test: opens the adapter as set and reads PROD_ID; false (after the
// message) when the adapter failed.
bool AdapterReadProductId(AppContext& ctx, int16_t interface, int32_t& product);

}  // namespace vexa
