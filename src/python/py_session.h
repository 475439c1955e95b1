#pragma once

// vexa.Session: one device, opened from the keywords as typed session options, with the
// command line's operations as methods. Every method that touches the bus runs without the
// interpreter lock. A failed transfer raises TransportError with the message vexa-cli prints,
// and the session stays failed: a later call raises the same error instead of sending frames to
// a lost device or handing out what a failed transfer left behind.

#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <pybind11/pybind11.h>

#include "cli/cli_session.h"
#include "python/py_recording.h"
#include "session/session.h"

namespace vexa::python {

using DumpRow = std::tuple<std::string, int, int, double>;

class Session {
 public:
  explicit Session(const SessionOptions& options, SessionRecording recording = {});
  ~Session();

  void close();
  bool closed() const { return !device_; }

  double read(const std::string& name);
  int readRaw(const std::string& name);
  std::vector<double> readMany(const std::vector<std::string>& names, bool pipelined);
  void write(const std::string& name, const std::string& value);
  std::vector<DumpRow> dump();
  void command(const std::string& which);
  int product();
  std::string interfaceName();

  // Raises SensorError unless a known sensor answered the presence check at open, or the
  // caller asked to go on without one. Under the interpreter lock.
  void requireKnownSensor(bool sensorCheck) const;
  // The error's one-line text as vexa-cli prints it.
  std::string textOf(const SessionError& error) const;
  [[noreturn]] void raise(const SessionError& error) const;
  // The last message the device's layers showed (what a failed log run said).
  std::string lastMessage() const { return messages_.lastLine(); }
  // What the session keeps in the results store (unit= and db= of vexa.open()).
  const SessionRecording& recording() const { return recording_; }
  // The address records go to, as vexa-cli takes --db. With the session's lock held.
  std::string storeAddress(const AppContext& ctx) const;

 private:
  friend class DeviceUse;
  // vexa.SensorWarning when the presence check found no known sensor. Under the lock.
  void warnUnlessKnown() const;

  std::mutex busy_;         // one call on the device at a time, whichever thread makes it
  std::ostringstream err_;  // the command line's standard error: messages land here
  cli::CliDiagnostics diagnostics_;
  cli::ConsoleMessages messages_{err_, diagnostics_};
  std::unique_ptr<vexa::Session> device_;
  SessionRecording recording_;
};

// The session's device for one call: the interpreter lock let go (other threads run on), the
// session's own lock taken, the session checked open.
class DeviceUse {
 public:
  explicit DeviceUse(Session& session);
  vexa::Session& device() { return device_; }
  AppContext& ctx() { return device_.ctx(); }

 private:
  pybind11::gil_scoped_release nogil_;
  std::unique_lock<std::mutex> lock_;
  vexa::Session& device_;
};

// The register table, for names (the same in every session).
const RegisterTable& Registers();

void RegisterSession(pybind11::module_& m);

}  // namespace vexa::python
