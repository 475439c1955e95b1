#pragma once

// One open sensor: the world it lives in (platform services, the context with its register
// table), the link brought into service, the sensor's identity from the presence check and the
// gyro scale. Every operation returns its value or the error that stopped it; once a transfer
// has failed the session stays failed, and every later operation returns that error without
// sending a frame, so no value read after a failure ever leaves the session.
//
// Failures are told by the link's own state (the card marked unusable, the adapter closed),
// never by counting the messages shown. The parallel port cannot tell a lost sensor from a
// quiet one and so never fails.

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "registers/register_dump.h"
#include "registers/sensor_check.h"
#include "session/session_options.h"
#include "session/session_result.h"

namespace vexa {

class PlatformSet;
struct PlatformOptions;

// One register read as the sensor answered it.
struct Reading {
  int16_t row = 0;
  int32_t word = 0;      // the 16 bits received
  int32_t raw = 0;       // masked and sign-extended as the register table says
  float scaled = 0.0f;   // raw times the row's scale plus its offset
  bool newData = false;  // the new-data bit, on rows that carry one
  bool alarm = false;    // the error/alarm bit, on rows that carry one
};

// Where the session lives besides its options: the hooks of a front end or a test.
struct SessionPlace {
  std::string workingDirectory;  // CommPort.cfg and VexaEval.cfg here; empty: the process's own
  // With simulate, the simulated adapters spend their bus time on the wall clock (programs);
  // tests leave it off.
  bool simulatedBusTime = false;
  std::ostream* traceOut = nullptr;  // the trace's lines; default standard error
  // A last look at the platform options before the world is built.
  std::function<void(PlatformOptions&)> adjustPlatform;
};

class Session {
 public:
  // Builds the world; touches no device. `messages` and `diagnostics` are the front end's and
  // must outlive the session.
  Session(const SessionOptions& options, MessageService& messages, Diagnostics& diagnostics,
          const SessionPlace& place = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Reads CommPort.cfg and VexaEval.cfg once; why either was not used goes to the diagnostics.
  void readSettings();
  // The settings read, the options laid over them, the delay calibrated, the link in service.
  Status open();
  // Reads PROD_ID and keeps what it says as the sensor's identity, then takes the gyro scale
  // from SENS_AVG. An unknown product is no error here: the front end decides whether to warn
  // or refuse (SensorCheck::message says why); a failed transfer is.
  Result<SensorCheck> checkSensor();
  // The last check's result; none before the first.
  const std::optional<SensorCheck>& identity() const { return identity_; }
  // Degrees per second per LSB of the gyro outputs, as the session scales them now.
  float gyroScale() const;

  Result<Reading> read(int16_t row);
  // The rows in order, one at a time or pipelined. `completed`, when given, receives the
  // readings whose transfers all completed, also when an error is returned.
  Result<std::vector<Reading>> readMany(const std::vector<int16_t>& rows, bool pipelined,
                                        std::vector<Reading>* completed = nullptr);
  // Both bytes of a writable row. A write of SENS_AVG moves the gyro scale with it.
  Status write(int16_t row, int32_t value);
  // Writes a sensor command to COMMAND and waits its time (`pass` after each second of the
  // precision auto null, with the passes left).
  Status command(int32_t code, const std::function<void(int passesLeft)>& pass = {});
  // Every row 0..LastRegisterIndex; `completed` as for readMany.
  Result<std::vector<RegisterDumpRow>> dump(std::vector<RegisterDumpRow>* completed = nullptr);

  // After work done on ctx() directly (a log run, the magnetometer's collection): the error
  // of the transfer that failed on the way, or Done while the link still serves.
  Status health();
  bool failed() const { return lost_.has_value(); }

  // The context: register table, settings and "last read" values, for the windows' and the
  // log run's own steps.
  AppContext& ctx() { return *ctx_; }
  PlatformSet& world() { return *world_; }

 private:
  class Relay;
  Status usage(const std::string& text) const;
  Status settle();

  SessionOptions options_;
  bool settingsRead_ = false;
  std::unique_ptr<Relay> relay_;
  std::unique_ptr<UiHooks> ui_;
  std::unique_ptr<Clock> virtualClock_;
  std::unique_ptr<BusyLoop> virtualBusy_;
  std::unique_ptr<Paths> otherFolder_;
  std::unique_ptr<PlatformSet> world_;
  std::unique_ptr<AppContext> ctx_;
  std::optional<SensorCheck> identity_;
  std::optional<SessionError> lost_;
};

// The reading of `row` as the last read left it in ctx.access.
Reading ReadingOf(const AppContext& ctx, int16_t row, int32_t word);

}  // namespace vexa
