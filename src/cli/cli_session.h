#pragma once

// The world of one `vexa-cli` run, shared with the Python module so that a script reaches the
// sensor by the very steps the command line takes: the platform set, the context with its
// register table, the console services, the settings files under the options, the transport
// brought into service, and the failures as one-line texts.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "cli/cli.h"
#include "session/platform_set.h"
#include "sim/recording_services.h"
#include "sim/sim_clock.h"

namespace vexa::cli {

constexpr const char* kProgram = "vexa-cli";
constexpr int kExitOk = 0;
constexpr int kExitDevice = 1;
constexpr int kExitUsage = 2;

// A failure that ends the command: its exit status and its one-line text (empty when a message
// has already said it).
class Failure {
 public:
  Failure(int status, std::string text) : status(status), text(std::move(text)) {}
  int status;
  std::string text;
};

// Technical causes wait here until the next message or error line carries them.
class CliDiagnostics : public Diagnostics {
 public:
  void cause(const std::string& line) override;
  std::string lastCause() const override { return last_; }
  // The causes noted since the last call, joined into one text; empty when none.
  std::string take();

 private:
  std::vector<std::string> pending_;
  std::string last_;
};

// Message boxes become lines on standard error, with the technical cause beside the text.
class ConsoleMessages : public MessageService {
 public:
  ConsoleMessages(std::ostream& err, CliDiagnostics& diagnostics)
      : err_(err), diagnostics_(diagnostics) {}
  void show(const std::string& title, const std::string& text, MessageIcon) override;
  int shown() const { return shown_; }
  // The last line shown, without the program's name in front.
  const std::string& lastLine() const { return lastLine_; }

 private:
  std::ostream& err_;
  CliDiagnostics& diagnostics_;
  int shown_ = 0;
  std::string lastLine_;
};

// The row of a register that `read` may read, or that `write` may write; Failure (bad usage)
// naming the problem otherwise.
int16_t ReadableRegister(const RegisterTable& table, const std::string& name);
int16_t WritableRegister(const RegisterTable& table, const std::string& name);

// One run's world. Building it touches no device; bringUp() does.
class CliSession {
 public:
  // `err` takes the messages and the trace and must outlive the session.
  CliSession(const CliOptions& options, std::ostream& err, const CliEnvironment& environment);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // Reads CommPort.cfg and VexaEval.cfg (once), saying on standard error why either was not
  // used, or only in part.
  void readSettings();
  // Reads the settings, lays the options over them, checks that an interface is chosen,
  // calibrates the delay and puts the interface into service. Then, for every `command` but
  // "write", reads PROD_ID: a sensor that is not known is a warning, or for log and magcal
  // (without --no-sensor-check) a Failure; and takes the gyro range as the main window does.
  // Throws Failure.
  void bringUp(const std::string& command = {});

  AppContext& ctx() { return *ctx_; }
  PlatformSet& world() { return *world_; }
  ConsoleMessages& messages() { return messages_; }
  CliDiagnostics& diagnostics() { return diagnostics_; }

 private:
  CliOptions options_;
  CliEnvironment environment_;
  std::ostream& err_;
  bool settingsRead_ = false;
  CliDiagnostics diagnostics_;
  ConsoleMessages messages_;
  UiHooks ui_;
  PlatformOptions platformOptions_;
  std::unique_ptr<PlatformSet> world_;
  std::unique_ptr<AppContext> ctx_;
  std::optional<sim::FixedPaths> otherFolder_;
  std::unique_ptr<sim::SimClock> virtualClock_;
  std::unique_ptr<sim::SimBusyLoop> virtualBusy_;
};

}  // namespace vexa::cli
