#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_context.h"
#include "registers/register_dump.h"
#include "session/session.h"

namespace vexa {

class PlatformSet;
struct PlatformOptions;

namespace cli {

// What the command line asked for.
struct CliOptions {
  bool help = false;
  bool version = false;
  SessionOptions device;       // how the session reaches the sensor
  bool noSensorCheck = false;  // log and magcal go on without a known PROD_ID
  std::string database;        // --db: the results store's address (empty: VexaEval.cfg, the file)
  std::string unit;     // --unit of log, magcal, noise: the module's name in the results store
  std::string command;  // "read", "write", "dump", "log" or "magcal"
  std::vector<std::string> operands;
};

// Reads the arguments (without the program name). Returns false with a one-line error.
bool ParseArguments(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The row of a register named on the command line: its label, case aside; the inner blank of a
// label such as "ZGYRO_ OFF" may be left out. -1 when no row has that name.
int16_t FindRegisterByName(const RegisterTable& table, const std::string& name);

// Hexadecimal text of one to four digits, with or without "0x". False for anything else.
bool ParseHexValue(const std::string& text, int32_t& value);

// The register dump, shared with the register information window.
using vexa::RegisterDumpLines;

// One line of `read`: label, TAB, raw value as HexText, TAB, scaled value in general form.
std::string ReadLine(const RegisterTable& table, const Reading& reading);

std::string UsageText();

// Hooks for tests: another working folder (CommPort.cfg), and a look at the world before the
// command runs.
struct CliEnvironment {
  std::string workingDirectory;  // empty: the process's own
  // With --simulate, the simulated card's bus time passes on the wall clock (the program);
  // tests leave it off.
  bool simulatedBusTime = false;
  std::function<void(PlatformSet&, AppContext&)> beforeCommand;
  // A look at the platform options before the world is built (a virtual clock, say).
  std::function<void(PlatformOptions&)> adjustPlatform;
};

// The whole program: exit status 0 on success, 1 when the device or a transfer failed, 2 on bad
// usage. Results go to `out`, errors, messages and the trace to `err`.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& environment = {});

}  // namespace cli
}  // namespace vexa
