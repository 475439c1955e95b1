#include "cli/cli_session.h"

#include <ostream>

#include "app/delay.h"
#include "app/preferences.h"
#include "app/settings_file.h"
#include "cli/cli_accelcal.h"
#include "cli/console_line.h"
#include "registers/gyro_scale.h"
#include "registers/sensor_check.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/parallel/parallel_spi.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa::cli {

namespace {

// Virtual time starts at 10:00:00; a busy-loop pass costs 10 ns, as on a fast machine.
constexpr double kVirtualStartSeconds = 36000.0;
constexpr double kVirtualSecondsPerPass = 1e-8;
constexpr const char* kPortDriverMessage = "The required I/O drivers could not be installed.";

std::string rightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// Puts the interface in use into service, as the main window does when it opens.
void BringUpTransport(AppContext& ctx, ConsoleMessages& messages, CliDiagnostics& diagnostics) {
  if (IsAdapterInterface(ctx.settings.Interface)) {
    // OpenAdapter's message names the cause and the fix.
    if (!OpenAdapter(ctx, ctx.settings.Interface)) throw Failure(kExitDevice, "");
    return;
  }
  if (ctx.settings.Interface == kInterfaceParallel) {
    std::string cause;
    const uint16_t base = static_cast<uint16_t>(ctx.settings.PortAddress);
    if (!ctx.platform.portAccess->grant(base, cause))
      throw Failure(kExitDevice, std::string(kPortDriverMessage) + " (" + cause + ")");
    ctx.os.PortDriverStarted = -1;
    PortReset(ctx);
    return;
  }
  const int before = messages.shown();
  FindUsbCard(ctx);
  if (ctx.usb.SelectedCard.Present == 0) {
    // FindUsbCard has said why in its own words; an error line only when it said nothing.
    if (messages.shown() == before) {
      std::string cause = diagnostics.take();
      throw Failure(kExitDevice,
                    "no usable USB SPI card" + (cause.empty() ? "" : " (" + cause + ")"));
    }
    throw Failure(kExitDevice, "");
  }
  uint8_t bits = ctx.usb.StaticBits;
  UsbSetStaticBits(ctx, bits);
  uint8_t delay = ctx.usb.WordDelay;
  UsbSetWordDelay(ctx, delay);
}

int16_t knownRow(const RegisterTable& table, const std::string& name) {
  const int16_t row = FindRegisterByName(table, name);
  if (row < 0) throw Failure(kExitUsage, "unknown register name '" + name + "'");
  return row;
}

}  // namespace

void CliDiagnostics::cause(const std::string& line) {
  pending_.push_back(line);
  last_ = line;
}

std::string CliDiagnostics::take() {
  std::string joined;
  for (const auto& c : pending_) joined += (joined.empty() ? "" : "; ") + c;
  pending_.clear();
  return joined;
}

void ConsoleMessages::show(const std::string& title, const std::string& text, MessageIcon) {
  ++shown_;
  std::string line;
  if (!title.empty() && title != kApplicationTitle) line += title + ": ";
  line += ConsoleLine(text);
  const std::string cause = diagnostics_.take();
  if (!cause.empty()) line += " (" + cause + ")";
  lastLine_ = line;
  err_ << kProgram << ": " << CutLongFields(line) << '\n';
}

int16_t ReadableRegister(const RegisterTable& table, const std::string& name) {
  const int16_t row = knownRow(table, name);
  if (table.ReadFlag[row] == 0 || table.Hidden[row] != 0)
    throw Failure(kExitUsage, "register " + rightTrimmed(table.Label[row]) + " cannot be read");
  return row;
}

int16_t WritableRegister(const RegisterTable& table, const std::string& name) {
  const int16_t row = knownRow(table, name);
  if (table.WriteFlag[row] == 0)
    throw Failure(kExitUsage, "register " + rightTrimmed(table.Label[row]) + " cannot be written");
  return row;
}

CliSession::CliSession(const CliOptions& options, std::ostream& err,
                       const CliEnvironment& environment)
    : options_(options), environment_(environment), err_(err), messages_(err, diagnostics_) {
  PlatformOptions& o = platformOptions_;
  o.simulate = options.simulate;
  o.simulateStill = options.simulateStill;
  AddAccelSimulation(options, o);
  o.trace = options.trace;
  o.unplugAfterFrames = options.unplugAfterFrames;
  o.traceOut = &err;
  o.diagnostics = &diagnostics_;
  o.simulatedBusTime = environment.simulatedBusTime;
  if (options.vendorId) o.cardVendorId = *options.vendorId;
  o.cardVendorIdSource = [this] {
    return ctx_ ? ctx_->usb.CardVendorId : platformOptions_.cardVendorId;
  };
  if (options.virtualTime) {
    // The simulated card's bus time is then no wall-clock wait either.
    virtualClock_ = std::make_unique<sim::SimClock>(kVirtualStartSeconds);
    virtualBusy_ = std::make_unique<sim::SimBusyLoop>(*virtualClock_, kVirtualSecondsPerPass);
    o.clock = virtualClock_.get();
    o.busy = virtualBusy_.get();
    o.simulatedBusTime = false;
  }
  if (environment.adjustPlatform) environment.adjustPlatform(o);
  world_ = std::make_unique<PlatformSet>(o, messages_, ui_);

  ctx_ = std::make_unique<AppContext>(world_->platform());
  if (!environment.workingDirectory.empty()) {
    otherFolder_.emplace(environment.workingDirectory, environment.workingDirectory);
    ctx_->platform.paths = &*otherFolder_;
  }
  BuildRegisterTable(ctx_->registers);
  if (options.vendorId) ctx_->usb.CardVendorId = *options.vendorId;
}

// The context goes before the world it points into.
CliSession::~CliSession() {
  ctx_.reset();
  world_.reset();
  virtualBusy_.reset();
  virtualClock_.reset();
}

void CliSession::readSettings() {
  if (settingsRead_) return;
  settingsRead_ = true;
  ReadSettings(*ctx_);
  ReadPreferences(*ctx_);
  const std::string cause = diagnostics_.take();
  if (!cause.empty()) err_ << kProgram << ": warning: " << CutLongFields(cause) << '\n';
}

void CliSession::bringUp(const std::string& command) {
  AppContext& ctx = *ctx_;
  readSettings();
  if (options_.interface) ctx.settings.Interface = *options_.interface;
  if (options_.port) ctx.settings.PortAddress = static_cast<int16_t>(*options_.port);
  for (const auto& [key, value] : options_.adapterSettings) ctx.preferences.setText(key, value);
  if (ctx.settings.Interface != kInterfaceParallel && ctx.settings.Interface != kInterfaceUsb &&
      !IsAdapterInterface(ctx.settings.Interface))
    throw Failure(kExitUsage,
                  "no interface selected: give --interface usb|parallel|ftdi|spidev or set "
                  "Interface in " +
                      std::string(kSettingsFileName));
  if (ctx.settings.Interface == kInterfaceParallel && ctx.settings.PortAddress == 0 &&
      !options_.simulate)
    throw Failure(kExitUsage, "no parallel port address: give --port HEX or set Port Address in " +
                                  std::string(kSettingsFileName));

  ctx.delay.commandLineGiven = true;
  CalibrateDelayQuickly(ctx);
  BringUpTransport(ctx, messages_, diagnostics_);
  if (command != "write") {
    const int before = messages_.shown();
    const SensorCheck check = CheckSensorPresent(ctx);
    if (messages_.shown() != before) throw Failure(kExitDevice, "");  // the transfer failed: said
    const bool refuse = (command == "log" || command == "magcal") && !options_.noSensorCheck;
    if (!check.known && refuse)
      throw Failure(kExitDevice, check.message + " Give --no-sensor-check to go on all the same.");
    if (!check.known) err_ << kProgram << ": warning: " << check.message << '\n';
    // Gyro values scaled as the main window scales them, at the range the sensor is set to.
    SetGyroScales(ctx);
  }
  if (environment_.beforeCommand) environment_.beforeCommand(*world_, ctx);
}

}  // namespace vexa::cli
