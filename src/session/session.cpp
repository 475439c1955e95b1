#include "session/session.h"

#include <cmath>

#include "app/delay.h"
#include "app/preferences.h"
#include "app/settings_file.h"
#include "registers/data_ready_wait.h"
#include "registers/gyro_scale.h"
#include "registers/register_access.h"
#include "registers/register_pipeline.h"
#include "registers/sensor_commands.h"
#include "session/platform_set.h"
#include "sim/recording_services.h"
#include "sim/sim_clock.h"
#include "transport/adapter/adapter_spi.h"
#include "transport/parallel/parallel_spi.h"
#include "transport/usb/ez_usb.h"
#include "transport/usb/usb_spi.h"

namespace vexa {

namespace {

// Virtual time starts at 10:00:00; a busy-loop pass costs 10 ns, as on a fast machine.
constexpr double kVirtualStartSeconds = 36000.0;
constexpr double kVirtualSecondsPerPass = 1e-8;
constexpr const char* kPortDriverMessage = "The required I/O drivers could not be installed.";
constexpr const char* kNoAnswer = "the device no longer answers";

std::string rightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

SessionError deviceError(std::string text, bool shown) {
  return SessionError{SessionErrorKind::Device, std::move(text), shown};
}

}  // namespace

// Passes the front end's messages on and keeps the last text, so that an error can name what
// the failing layer said without anyone counting messages.
class Session::Relay : public MessageService {
 public:
  explicit Relay(MessageService& to) : to_(to) {}
  void show(const std::string& title, const std::string& text, MessageIcon icon) override {
    last_ = text;
    said_ = true;
    to_.show(title, text, icon);
  }
  bool ask(const std::string& title, const std::string& text) override {
    return to_.ask(title, text);
  }
  // Whether a message was shown since the last call, and its text.
  bool takeSaid() {
    const bool said = said_;
    said_ = false;
    return said;
  }
  const std::string& last() const { return last_; }

 private:
  MessageService& to_;
  std::string last_;
  bool said_ = false;
};

Reading ReadingOf(const AppContext& ctx, int16_t row, int32_t word) {
  Reading r;
  r.row = row;
  r.word = word;
  r.raw = ctx.access.LastRaw;
  r.scaled = ctx.access.LastScaled;
  r.newData = ctx.registers.NDflag[row] != 0 && (word & 0x8000) != 0;
  r.alarm = ctx.registers.ECflag[row] != 0 && (word & 0x4000) != 0;
  return r;
}

Session::Session(const SessionOptions& options, MessageService& messages, Diagnostics& diagnostics,
                 const SessionPlace& place)
    : options_(options),
      relay_(std::make_unique<Relay>(messages)),
      ui_(std::make_unique<UiHooks>()) {
  PlatformOptions o;
  o.simulate = options.simulate || options.simulateStill;
  o.simulateStill = options.simulateStill;
  o.trace = options.trace;
  o.unplugAfterFrames = options.unplugAfterFrames;
  o.traceOut = place.traceOut;
  o.diagnostics = &diagnostics;
  o.simulatedBusTime = place.simulatedBusTime;
  if (options.vendorId) o.cardVendorId = *options.vendorId;
  const uint16_t vendor = o.cardVendorId;
  o.cardVendorIdSource = [this, vendor] { return ctx_ ? ctx_->usb.CardVendorId : vendor; };
  if (options.virtualTime) {
    // The simulated adapters' bus time is then no wall-clock wait either.
    auto clock = std::make_unique<sim::SimClock>(kVirtualStartSeconds);
    virtualBusy_ = std::make_unique<sim::SimBusyLoop>(*clock, kVirtualSecondsPerPass);
    virtualClock_ = std::move(clock);
    o.clock = virtualClock_.get();
    o.busy = virtualBusy_.get();
    o.simulatedBusTime = false;
  }
  if (place.adjustPlatform) place.adjustPlatform(o);
  world_ = std::make_unique<PlatformSet>(o, *relay_, *ui_);
  ctx_ = std::make_unique<AppContext>(world_->platform());
  if (!place.workingDirectory.empty()) {
    otherFolder_ =
        std::make_unique<sim::FixedPaths>(place.workingDirectory, place.workingDirectory);
    ctx_->platform.paths = otherFolder_.get();
  }
  BuildRegisterTable(ctx_->registers);
  if (options.vendorId) ctx_->usb.CardVendorId = *options.vendorId;
}

// The context goes before the world it points into, the world before its clock.
Session::~Session() {
  ctx_.reset();
  world_.reset();
  virtualBusy_.reset();
  virtualClock_.reset();
}

void Session::readSettings() {
  if (settingsRead_) return;
  settingsRead_ = true;
  ReadSettings(*ctx_);
  ReadPreferences(*ctx_);
}

Status Session::usage(const std::string& text) const {
  return SessionError{SessionErrorKind::Usage, text, false};
}

Status Session::open() {
  AppContext& ctx = *ctx_;
  readSettings();
  if (options_.interface) ctx.settings.Interface = *options_.interface;
  if (options_.port) ctx.settings.PortAddress = static_cast<int16_t>(*options_.port);
  for (const auto& [key, value] : options_.adapterSettings) ctx.preferences.setText(key, value);
  const int16_t interface = ctx.settings.Interface;
  if (interface != kInterfaceParallel && interface != kInterfaceUsb &&
      !IsAdapterInterface(interface))
    return usage(
        "no interface selected: give --interface usb|parallel|ftdi|spidev or set Interface in " +
        std::string(kSettingsFileName));
  if (interface == kInterfaceParallel && ctx.settings.PortAddress == 0 && !options_.simulate &&
      !options_.simulateStill)
    return usage("no parallel port address: give --port HEX or set Port Address in " +
                 std::string(kSettingsFileName));

  ctx.delay.commandLineGiven = true;
  CalibrateDelayQuickly(ctx);
  relay_->takeSaid();
  if (IsAdapterInterface(interface)) {
    // OpenAdapter's message names the cause and the fix.
    if (!OpenAdapter(ctx, interface)) {
      lost_ = deviceError(relay_->last(), true);
      return *lost_;
    }
    return Done{};
  }
  if (interface == kInterfaceParallel) {
    std::string cause;
    const uint16_t base = static_cast<uint16_t>(ctx.settings.PortAddress);
    if (!ctx.platform.portAccess->grant(base, cause)) {
      lost_ = deviceError(std::string(kPortDriverMessage) + " (" + cause + ")", false);
      return *lost_;
    }
    ctx.os.PortDriverStarted = -1;
    PortReset(ctx);
    return Done{};
  }
  FindUsbCard(ctx);
  if (ctx.usb.SelectedCard.Present == 0) {
    // The card search has said why in its own words when it could; the technical cause waits
    // in the diagnostics otherwise.
    const bool said = relay_->takeSaid();
    std::string text = said ? relay_->last() : "no usable USB SPI card";
    if (!said) {
      const std::string cause =
          ctx.platform.diagnostics ? ctx.platform.diagnostics->lastCause() : std::string();
      if (!cause.empty()) text += " (" + cause + ")";
    }
    lost_ = deviceError(text, said);
    return *lost_;
  }
  uint8_t bits = ctx.usb.StaticBits;
  UsbSetStaticBits(ctx, bits);
  uint8_t delay = ctx.usb.WordDelay;
  UsbSetWordDelay(ctx, delay);
  return settle();
}

Status Session::settle() {
  if (lost_) return *lost_;
  // Only a message shown since the last look names this failure; an older one does not.
  const bool said = relay_->takeSaid();
  if (!TransportLost(*ctx_)) return Done{};
  lost_ = deviceError(said ? relay_->last() : kNoAnswer, said);
  return *lost_;
}

Status Session::health() {
  return settle();
}

float Session::gyroScale() const {
  return ctx_->registers.RegScale[XGYRO_OUT];
}

Result<SensorCheck> Session::checkSensor() {
  const Result<Reading> product = read(PROD_ID);
  if (!product) return product.error();
  identity_ = CheckProductId(product->raw);
  // Gyro values scaled as the main window scales them, at the range the sensor is set to.
  const Result<Reading> sensAvg = read(SENS_AVG);
  if (!sensAvg) return sensAvg.error();
  const float scale = GyroScaleOf(sensAvg->raw);
  for (int16_t row : {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT}) ctx_->registers.RegScale[row] = scale;
  return *identity_;
}

Result<Reading> Session::read(int16_t row) {
  if (lost_) return *lost_;
  if (row < 0 || row > LastRegisterIndex || ctx_->registers.ReadFlag[row] == 0)
    return SessionError{
        SessionErrorKind::Usage,
        "register " + rightTrimmed(ctx_->registers.Label[row < 0 ? 0 : row]) + " cannot be read",
        false};
  if (const Status s = settle(); !s) return s.error();
  int16_t address = static_cast<int16_t>(ctx_->registers.BaseAddr[row]);
  const int32_t word = SpiReadWord(*ctx_, address);
  if (const Status s = settle(); !s) return s.error();
  StoreReadResult(*ctx_, row, word);
  return ReadingOf(*ctx_, row, word);
}

Result<std::vector<Reading>> Session::readMany(const std::vector<int16_t>& rows, bool pipelined,
                                               std::vector<Reading>* completed) {
  std::vector<Reading> done;
  done.reserve(rows.size());
  const auto finish = [&](const SessionError& e) -> Result<std::vector<Reading>> {
    if (completed) *completed = done;
    return e;
  };
  if (lost_) return finish(*lost_);
  for (int16_t row : rows)
    if (row < 0 || row > LastRegisterIndex || ctx_->registers.ReadFlag[row] == 0)
      return finish(SessionError{
          SessionErrorKind::Usage,
          "register " + rightTrimmed(ctx_->registers.Label[row < 0 ? 0 : row]) + " cannot be read",
          false});
  if (!pipelined) {
    for (int16_t row : rows) {
      const Result<Reading> r = read(row);
      if (!r) return finish(r.error());
      done.push_back(*r);
    }
    if (completed) *completed = done;
    return done;
  }
  if (const Status s = settle(); !s) return finish(s.error());
  std::vector<AccessState> results(rows.size());
  const size_t live = ReadRegistersPipelined(*ctx_, rows.data(), rows.size(), results.data());
  for (size_t i = 0; i < live; ++i) {
    Reading r;
    r.row = rows[i];
    r.raw = results[i].LastRaw;
    r.scaled = results[i].LastScaled;
    r.word = (results[i].LastHigh * 256 + results[i].LastLow) & 0xFFFF;
    r.newData = ctx_->registers.NDflag[rows[i]] != 0 && results[i].LastNewData != 0;
    r.alarm = ctx_->registers.ECflag[rows[i]] != 0 && results[i].LastAlarm != 0;
    done.push_back(r);
  }
  if (const Status s = settle(); !s) return finish(s.error());
  if (live != rows.size()) return finish(deviceError(kNoAnswer, false));
  if (completed) *completed = done;
  return done;
}

Status Session::write(int16_t row, int32_t value) {
  if (lost_) return *lost_;
  if (row < 0 || row > LastRegisterIndex || ctx_->registers.WriteFlag[row] == 0)
    return usage("register " + rightTrimmed(ctx_->registers.Label[row < 0 ? 0 : row]) +
                 " cannot be written");
  if (const Status s = settle(); !s) return s;
  WriteRegister(*ctx_, row, value);  // the register layer moves the gyro scale with SENS_AVG
  return settle();
}

Status Session::command(int32_t code, const std::function<void(int)>& pass) {
  if (const Status s = settle(); !s) return s;
  RunSensorCommand(*ctx_, code, pass);
  return settle();
}

Result<std::vector<RegisterDumpRow>> Session::dump(std::vector<RegisterDumpRow>* completed) {
  if (const Status s = settle(); !s) {
    if (completed) completed->clear();
    return s.error();
  }
  std::vector<RegisterDumpRow> rows =
      RegisterDumpRows(*ctx_, [this] { return lost_.has_value() || TransportLost(*ctx_); });
  if (completed) *completed = rows;
  if (const Status s = settle(); !s) return s.error();
  return rows;
}

}  // namespace vexa
