#include "python/py_session.h"

#include <cctype>
#include <cstdio>

#include <pybind11/stl.h>

#include "python/py_errors.h"
#include "registers/register_access.h"
#include "registers/register_dump.h"
#include "registers/register_pipeline.h"
#include "registers/sensor_commands.h"
#include "transport/adapter/adapter_spi.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

// The command line's arguments for the options, so that their checks and messages are the
// command line's own. "dump" only completes the command line; nothing runs it.
std::vector<std::string> ArgumentsOf(const OpenOptions& o) {
  std::vector<std::string> args;
  if (o.still)
    args.push_back("--simulate-still");
  else if (o.simulate)
    args.push_back("--simulate");
  if (o.virtualTime) args.push_back("--simulate-virtual-time");
  const auto add = [&](const char* option, const std::optional<std::string>& value) {
    if (!value) return;
    args.push_back(option);
    args.push_back(*value);
  };
  add("--interface", o.interface);
  add("--port", o.port);
  add("--vendor", o.vendor);
  add("--ftdi-serial", o.ftdiSerial);
  add("--ftdi-interface", o.ftdiInterface);
  add("--spi-device", o.spiDevice);
  add("--spi-speed", o.spiSpeed);
  add("--spi-mode", o.spiMode);
  add("--simulate-fault", o.simulateFault);
  args.push_back("dump");
  return args;
}

std::string lowerWithUnderscores(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '-' || c == ' ') c = '_';
  }
  return text;
}

// Whole numbers as the command line takes them: hexadecimal for addresses and register values.
std::optional<std::string> HexOrText(const py::object& value) {
  if (value.is_none()) return std::nullopt;
  if (py::isinstance<py::bool_>(value) || !py::isinstance<py::int_>(value))
    return py::str(value).cast<std::string>();
  const long long n = value.cast<long long>();
  char text[32];
  std::snprintf(text, sizeof text, n < 0 ? "-0x%llX" : "0x%llX",
                static_cast<unsigned long long>(n < 0 ? -n : n));
  return std::string(text);
}

std::optional<std::string> TextOf(const py::object& value) {
  if (value.is_none()) return std::nullopt;
  return py::str(value).cast<std::string>();
}

}  // namespace

Session::Session(const OpenOptions& options) {
  cli::CliOptions parsed;
  std::string error;
  if (!cli::ParseArguments(ArgumentsOf(options), parsed, error)) throw UsageError(error);
  try {
    py::gil_scoped_release nogil;
    cli::CliEnvironment environment;
    environment.simulatedBusTime = true;  // as the program: the simulated card takes its bus time
    session_ = std::make_unique<cli::CliSession>(parsed, err_, environment);
    session_->bringUp();
  } catch (const cli::Failure& failure) {
    const std::string text = failure.text.empty() ? session_->messages().lastLine() : failure.text;
    session_.reset();
    ThrowForStatus(failure.status, text);
  }
}

Session::~Session() = default;

void Session::close() {
  py::gil_scoped_release nogil;
  std::lock_guard<std::mutex> lock(busy_);
  session_.reset();
}

AppContext& Session::ctx() {
  if (!session_) throw UsageError("the session is closed");
  if (!lost_.empty()) throw TransportError(lost_);
  // A card or adapter given up since (a log run that ended on it, say) reads nothing any more.
  const AppContext& c = session_->ctx();
  const bool gone = c.settings.Interface == kInterfaceUsb      ? c.usb.SelectedCard.Present == 0
                    : IsAdapterInterface(c.settings.Interface) ? c.adapters.Present == 0
                                                               : false;
  if (gone) {
    lost_ = session_->messages().lastLine();
    if (lost_.empty()) lost_ = "the device no longer answers";
    throw TransportError(lost_);
  }
  return session_->ctx();
}

std::string Session::failureSince(int shownBefore) {
  if (session_->messages().shown() == shownBefore) return {};
  lost_ = session_->messages().lastLine();
  return lost_;
}

DeviceUse::DeviceUse(Session& session) : lock_(session.busy_), ctx_(session.ctx()) {}

const RegisterTable& Registers() {
  static const RegisterTable table = [] {
    RegisterTable t;
    BuildRegisterTable(t);
    return t;
  }();
  return table;
}

namespace {

// Runs `f` on the device and raises when a transfer failed.
template <class F>
auto OnDevice(Session& s, F&& f) {
  std::string failure;
  if constexpr (std::is_void_v<decltype(f(std::declval<AppContext&>()))>) {
    {
      DeviceUse use(s);
      const int before = s.messagesShown();
      f(use.ctx());
      failure = s.failureSince(before);
    }
    if (!failure.empty()) throw TransportError(failure);
  } else {
    decltype(f(std::declval<AppContext&>())) result;
    {
      DeviceUse use(s);
      const int before = s.messagesShown();
      result = f(use.ctx());
      failure = s.failureSince(before);
    }
    if (!failure.empty()) throw TransportError(failure);
    return result;
  }
}

}  // namespace

double Session::read(const std::string& name) {
  const int16_t row = cli::ReadableRegister(Registers(), name);
  return OnDevice(*this, [&](AppContext& c) {
    ReadRegister(c, row);
    return static_cast<double>(c.access.LastScaled);
  });
}

int Session::readRaw(const std::string& name) {
  const int16_t row = cli::ReadableRegister(Registers(), name);
  return OnDevice(*this, [&](AppContext& c) {
    ReadRegister(c, row);
    return static_cast<int>(c.access.LastRaw);
  });
}

std::vector<double> Session::readMany(const std::vector<std::string>& names, bool pipelined) {
  std::vector<int16_t> rows;
  for (const auto& name : names) rows.push_back(cli::ReadableRegister(Registers(), name));
  return OnDevice(*this, [&](AppContext& c) {
    std::vector<double> values(rows.size());
    if (pipelined) {
      std::vector<AccessState> results(rows.size());
      const size_t live = ReadRegistersPipelined(c, rows.data(), rows.size(), results.data());
      for (size_t i = 0; i < live; ++i) values[i] = results[i].LastScaled;
      return values;
    }
    const int before = messagesShown();
    for (size_t i = 0; i < rows.size() && messagesShown() == before; ++i) {
      ReadRegister(c, rows[i]);
      values[i] = c.access.LastScaled;
    }
    return values;
  });
}

void Session::write(const std::string& name, const std::string& value) {
  const int16_t row = cli::WritableRegister(Registers(), name);
  int32_t number = 0;
  if (!cli::ParseHexValue(value, number))
    throw UsageError("malformed value '" + value +
                     "': give one to four hexadecimal digits, such as 0x1234");
  OnDevice(*this, [&](AppContext& c) { WriteRegister(c, row, number); });
}

std::vector<DumpRow> Session::dump() {
  return OnDevice(*this, [&](AppContext& c) {
    const int before = messagesShown();
    std::vector<DumpRow> rows;
    for (const auto& r : RegisterDumpRows(c, [&] { return messagesShown() != before; }))
      rows.emplace_back(r.name, r.address, r.raw, r.scaled);
    return rows;
  });
}

void Session::command(const std::string& which) {
  const std::string key = lowerWithUnderscores(which);
  int32_t code = 0;
  if (key == "auto_null")
    code = kCommandAutoNull;
  else if (key == "precision_auto_null")
    code = kCommandPrecisionAutoNull;
  else if (key == "factory_restore")
    code = kCommandFactoryRestore;
  else if (key == "flash_update")
    code = kCommandFlashUpdate;
  else
    throw UsageError("unknown command '" + which +
                     "': use auto_null, precision_auto_null, factory_restore or flash_update");
  // Ctrl-C during the precision auto null's passes stops the wait; the sensor goes on by itself.
  OnDevice(*this, [&](AppContext& c) {
    RunSensorCommand(c, code, [](int) {
      py::gil_scoped_acquire gil;
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
  });
}

int Session::product() {
  return readRaw("PROD_ID");
}

std::string Session::interfaceName() {
  return OnDevice(*this,
                  [](AppContext& c) { return std::string(InterfaceName(c.settings.Interface)); });
}

void RegisterSession(py::module_& m) {
  py::class_<Session>(m, "Session", R"(One sensor, opened by vexa.open().

Use it as a context manager: the device is closed when the block ends. A failed transfer raises
TransportError; the session stays failed, and every later call raises the same error.)")
      .def(
          "__enter__", [](Session& s) -> Session& { return s; }, py::return_value_policy::reference)
      .def("__exit__", [](Session& s, py::args) { s.close(); })
      .def("close", &Session::close, "Closes the device. Further calls raise UsageError.")
      .def_property_readonly("closed", &Session::closed)
      .def_property_readonly("interface", &Session::interfaceName,
                             "The interface in use: 'usb', 'parallel', 'ftdi' or 'spidev'.")
      .def("read", &Session::read, py::arg("name"),
           "Reads one register; its scaled value, as the main window shows it.")
      .def("read_raw", &Session::readRaw, py::arg("name"),
           "Reads one register; its raw value, masked and sign-extended.")
      .def("read_many", &Session::readMany, py::arg("names"), py::arg("pipelined") = false,
           "Reads the registers in order; their scaled values. pipelined=True sends each read "
           "command in the frame that brings back the reply to the one before (N + 1 frames).")
      .def(
          "write",
          [](Session& s, const std::string& name, const py::object& value) {
            s.write(name, *HexOrText(value));
          },
          py::arg("name"), py::arg("value"),
          "Writes one register: an int 0..0xFFFF, or hexadecimal text such as '0x1234'.")
      .def("dump", &Session::dump,
           "Reads every register: one tuple (name, address, raw, scaled) per row 0..45.")
      .def("command", &Session::command, py::arg("command"),
           "Runs a sensor command and waits its time: 'auto_null', 'precision_auto_null' (33 s), "
           "'factory_restore' or 'flash_update'.")
      .def("product", &Session::product, "The product ID register (PROD_ID).");

  m.def(
      "open",
      [](const py::object& interface, bool simulate, bool still, bool virtualTime,
         const py::object& port, const py::object& ftdiSerial, const py::object& ftdiInterface,
         const py::object& spiDevice, const py::object& spiSpeed, const py::object& spiMode,
         const py::object& vendor, const py::object& simulateFault) {
        OpenOptions o;
        o.interface = TextOf(interface);
        o.simulate = simulate;
        o.still = still;
        o.virtualTime = virtualTime;
        o.port = HexOrText(port);
        o.ftdiSerial = TextOf(ftdiSerial);
        o.ftdiInterface = TextOf(ftdiInterface);
        o.spiDevice = TextOf(spiDevice);
        o.spiSpeed = TextOf(spiSpeed);
        o.spiMode = TextOf(spiMode);
        o.vendor = HexOrText(vendor);
        o.simulateFault = TextOf(simulateFault);
        return std::make_unique<Session>(o);
      },
      py::kw_only(), py::arg("interface") = py::none(), py::arg("simulate") = false,
      py::arg("still") = false, py::arg("virtual_time") = false, py::arg("port") = py::none(),
      py::arg("ftdi_serial") = py::none(), py::arg("ftdi_interface") = py::none(),
      py::arg("spi_device") = py::none(), py::arg("spi_speed") = py::none(),
      py::arg("spi_mode") = py::none(), py::arg("vendor") = py::none(),
      py::arg("simulate_fault") = py::none(),
      R"(Opens the sensor as vexa-cli does with the same options.

interface: 'usb', 'parallel', 'ftdi' or 'spidev' (default: Interface in CommPort.cfg in the
working folder). simulate: the simulated sensor behind simulated adapters; still: simulated and
lying still with its stated noise; virtual_time: simulated on virtual time, where waits take no
real time and the same calls give the same values each time. port: parallel port address (int, or hexadecimal text).
ftdi_serial, ftdi_interface ('A'..'D'), spi_device, spi_speed (Hz, or text such as '1M'),
spi_mode (0..3): the SPI adapter settings for this session (default: VexaEval.cfg). vendor: the
USB card's vendor ID. Raises UsageError or TransportError with vexa-cli's message.)");
}

}  // namespace vexa::python
