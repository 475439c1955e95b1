#include "cli/cli_session.h"

#include <ostream>

#include "cli/console_line.h"

namespace vexa::cli {

namespace {

std::string rightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
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

Failure FailureOf(const SessionError& error) {
  if (error.kind == SessionErrorKind::Usage) return Failure(kExitUsage, error.text);
  return Failure(kExitDevice, error.shown ? std::string() : error.text);
}

CliSession::CliSession(const CliOptions& options, std::ostream& err,
                       const CliEnvironment& environment)
    : options_(options), environment_(environment), err_(err), messages_(err, diagnostics_) {
  SessionPlace place;
  place.workingDirectory = environment.workingDirectory;
  place.simulatedBusTime = environment.simulatedBusTime;
  place.traceOut = &err;
  place.adjustPlatform = environment.adjustPlatform;
  session_ = std::make_unique<Session>(options.device, messages_, diagnostics_, place);
}

CliSession::~CliSession() = default;

void CliSession::readSettings() {
  session_->readSettings();
  const std::string cause = diagnostics_.take();
  if (!cause.empty()) err_ << kProgram << ": warning: " << CutLongFields(cause) << '\n';
}

void CliSession::bringUp(const std::string& command) {
  readSettings();
  if (const Status opened = session_->open(); !opened) {
    const SessionError& e = opened.error();
    // A cause the console has not shown yet goes on the error line.
    const std::string cause = e.shown ? std::string() : diagnostics_.take();
    if (cause.empty() || e.kind == SessionErrorKind::Usage ||
        e.text.find(cause) != std::string::npos)
      throw FailureOf(e);
    throw Failure(kExitDevice, e.text + " (" + cause + ")");
  }
  if (command != "write") {
    const Result<SensorCheck> check = session_->checkSensor();
    if (!check) throw FailureOf(check.error());
    const bool refuse = (command == "log" || command == "magcal") && !options_.noSensorCheck;
    if (!check->known && refuse)
      throw Failure(kExitDevice, check->message + " Give --no-sensor-check to go on all the same.");
    if (!check->known) err_ << kProgram << ": warning: " << check->message << '\n';
  }
  if (environment_.beforeCommand) environment_.beforeCommand(session_->world(), session_->ctx());
}

}  // namespace vexa::cli
