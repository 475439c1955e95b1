#include "ui/main/eval_arguments.h"

#include <cstring>

#include "app/hex_text.h"
#include "sim/unplug_fault.h"
#include "results/store_location.h"

namespace vexa::ui {

namespace {

bool isHexId(const char* text) {
  const size_t n = std::strlen(text);
  if (n == 0 || n > 6) return false;
  const char* digits =
      (n > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) ? text + 2 : text;
  if (*digits == '\0' || std::strlen(digits) > 4) return false;
  return std::strspn(digits, "0123456789abcdefABCDEF") == std::strlen(digits);
}

}  // namespace

EvalArguments ParseEvalArguments(int argc, const char* const* argv) {
  EvalArguments a;
  a.commandLineGiven = argc > 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) a.help = true;
    if (std::strcmp(argv[i], "--version") == 0) a.version = true;
    if (std::strcmp(argv[i], "--simulate") == 0) a.simulate = true;
    if (std::strcmp(argv[i], "--simulate-still") == 0) a.simulate = a.simulateStill = true;
    if (std::strcmp(argv[i], "--simulate-poses") == 0) a.simulate = a.simulatePoses = true;
    if (std::strcmp(argv[i], "--view-log") == 0)
      while (i + 1 < argc && argv[i + 1][0] != '-') a.logs.push_back(argv[++i]);
    if (std::strcmp(argv[i], "--window") == 0 && i + 1 < argc) a.window = argv[++i];
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) a.screenshot = argv[++i];
    if (std::strcmp(argv[i], "--db") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        a.error = "--db needs an address: postgresql://USER@HOST:PORT/NAME or a file";
        return a;
      }
      a.database = argv[++i];
      results::StoreLocation where;
      if (!results::ParseStoreLocation(a.database, where, a.error)) return a;
    }
    if (std::strcmp(argv[i], "--simulate-fault") == 0) {
      uint64_t frames = 0;
      if (i + 1 >= argc || !sim::ParseUnplugFault(argv[i + 1], frames)) {
        a.error = "--simulate-fault needs unplug-after=N (N SPI frames)";
        return a;
      }
      a.unplugAfterFrames = frames;
      ++i;
    }
    if (std::strcmp(argv[i], "--vendor") == 0) {
      if (i + 1 >= argc || !isHexId(argv[i + 1])) {
        a.error = "--vendor needs a USB vendor ID of up to four hex digits";
        return a;
      }
      a.vendorId = static_cast<uint16_t>(HexToLong(argv[++i]));
    }
  }
  if (a.unplugAfterFrames && !a.simulate)
    a.error = "--simulate-fault needs --simulate or --simulate-still";
  return a;
}

}  // namespace vexa::ui
