#pragma once

// The command line's front on a Session: the console services (messages and technical causes
// as lines on standard error), the sensor check's policy (warn or refuse), and the session's
// errors as Failures carrying an exit status and a one-line text. The Python module uses the
// same console services for its messages and turns the same errors into its exceptions.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "cli/cli.h"
#include "session/platform_set.h"
#include "session/session.h"

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
  // The last line shown, without the program's name in front.
  const std::string& lastLine() const { return lastLine_; }

 private:
  std::ostream& err_;
  CliDiagnostics& diagnostics_;
  std::string lastLine_;
};

// The row of a register that `read` may read, or that `write` may write; Failure (bad usage)
// naming the problem otherwise.
int16_t ReadableRegister(const RegisterTable& table, const std::string& name);
int16_t WritableRegister(const RegisterTable& table, const std::string& name);

// A session error as the command line's Failure: a device error (status 1) whose message the
// console has already shown carries no text of its own.
Failure FailureOf(const SessionError& error);

// One run's session. Building it touches no device; bringUp() does.
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
  // Reads the settings and opens the session. Then, for every `command` but "write", checks
  // the sensor: one that is not known is a warning, or for log and magcal (without
  // --no-sensor-check) a Failure. Throws Failure.
  void bringUp(const std::string& command = {});

  Session& session() { return *session_; }
  AppContext& ctx() { return session_->ctx(); }
  PlatformSet& world() { return session_->world(); }
  ConsoleMessages& messages() { return messages_; }
  CliDiagnostics& diagnostics() { return diagnostics_; }

 private:
  CliOptions options_;
  CliEnvironment environment_;
  std::ostream& err_;
  CliDiagnostics diagnostics_;
  ConsoleMessages messages_;
  std::unique_ptr<Session> session_;
};

}  // namespace vexa::cli
