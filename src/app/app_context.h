#pragma once

#include <string>

#include "app/adapter_state.h"
#include "app/app_state.h"
#include "app/program_settings.h"
#include "platform/platform.h"
#include "registers/register_table.h"

namespace vexa {

constexpr const char* kApplicationTitle = "Vexa27150_Eval_4";

// Everything one running program shares: its platform services and its program-wide state.
// Windows and operations receive it; each test builds its own.
struct AppContext {
  explicit AppContext(const Platform& p) : platform(p) {}

  Platform platform;
  Settings settings;
  DelayState delay;
  RegisterTable registers;
  AccessState access;
  UsbState usb;
  AdapterState adapters;  // FTDI or spidev link
  OsState os;
  ProgramSettings preferences;  // the program's own settings file, beside CommPort.cfg
  std::string resultsDatabase;  // --db for this run; empty: results.database in preferences

  // Shorthands for the services used everywhere.
  MessageService& messages() { return *platform.messages; }
  Clock& clock() { return *platform.clock; }
  UiHooks& ui() { return *platform.ui; }
};

}  // namespace vexa
