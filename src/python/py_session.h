#pragma once

// vexa.Session: one device, reached by the steps vexa-cli takes (cli::CliSession), with the
// command line's operations as methods. Every method that touches the bus runs without the
// interpreter lock. A failed transfer raises TransportError with the message vexa-cli prints,
// and the session stays failed: a later call raises the same error instead of sending frames to
// a lost device or handing out what a failed transfer left behind.

#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <pybind11/pybind11.h>

#include "cli/cli_session.h"

namespace vexa::python {

struct OpenOptions {
  std::optional<std::string> interface;
  bool simulate = false;
  bool still = false;
  bool virtualTime = false;
  std::optional<std::string> port;
  std::optional<std::string> ftdiSerial;
  std::optional<std::string> ftdiInterface;
  std::optional<std::string> spiDevice;
  std::optional<std::string> spiSpeed;
  std::optional<std::string> spiMode;
  std::optional<std::string> vendor;
  std::optional<std::string> simulateFault;
};

using DumpRow = std::tuple<std::string, int, int, double>;

class Session {
 public:
  explicit Session(const OpenOptions& options);
  ~Session();

  void close();
  bool closed() const { return !session_; }

  double read(const std::string& name);
  int readRaw(const std::string& name);
  std::vector<double> readMany(const std::vector<std::string>& names, bool pipelined);
  void write(const std::string& name, const std::string& value);
  std::vector<DumpRow> dump();
  void command(const std::string& which);
  int product();
  std::string interfaceName();

  // The context of an open, working session; UsageError or TransportError otherwise. Only
  // under a DeviceUse.
  AppContext& ctx();
  cli::CliSession& cliSession() { return *session_; }
  int messagesShown() { return session_->messages().shown(); }
  // The message of a transfer that failed since `shownBefore` (the session then stays failed);
  // empty when none did. Only under a DeviceUse.
  std::string failureSince(int shownBefore);

 private:
  friend class DeviceUse;
  std::mutex busy_;         // one call on the device at a time, whichever thread makes it
  std::ostringstream err_;  // the command line's standard error: messages land here
  std::unique_ptr<cli::CliSession> session_;
  std::string lost_;  // the message of the failure that ended the device's use
};

// The session's device for one call: the interpreter lock let go (other threads run on), the
// session's own lock taken, the session checked open and working.
class DeviceUse {
 public:
  explicit DeviceUse(Session& session);
  AppContext& ctx() { return ctx_; }

 private:
  pybind11::gil_scoped_release nogil_;
  std::unique_lock<std::mutex> lock_;
  AppContext& ctx_;
};

// The register table, for names (the same in every session).
const RegisterTable& Registers();

void RegisterSession(pybind11::module_& m);

}  // namespace vexa::python
