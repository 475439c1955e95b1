#include "python/py_session.h"

#include <cctype>
#include <cstdio>

#include <pybind11/stl.h>

#include "python/py_errors.h"
#include "registers/offset_codes.h"
#include "registers/sensor_commands.h"
#include "results/recording.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

std::string lowerWithUnderscores(std::string text) {
  for (char& c : text) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '-' || c == ' ') c = '_';
  }
  return text;
}

std::string TextOf(const py::object& value) {
  return py::str(value).cast<std::string>();
}

// Whole numbers as the command line takes them: hexadecimal for addresses and register values.
// Each is 16 bits: an int outside 0..0xFFFF is an OverflowError, as Python's own conversions
// raise (2**80 would not even fit the conversion to a C++ integer).
std::string HexOrText(const py::object& value) {
  if (py::isinstance<py::bool_>(value) || !py::isinstance<py::int_>(value))
    return py::str(value).cast<std::string>();
  if (value < py::int_(0) || value > py::int_(0xFFFF)) {
    const std::string text = TextOf(value) + " does not fit 16 bits (give 0..0xFFFF)";
    PyErr_SetString(PyExc_OverflowError, text.c_str());
    throw py::error_already_set();
  }
  const long long n = value.cast<long long>();
  char text[32];
  std::snprintf(text, sizeof text, n < 0 ? "-0x%llX" : "0x%llX",
                static_cast<unsigned long long>(n < 0 ? -n : n));
  return std::string(text);
}

results::CalibrationKind CalibrationKindOf(int32_t command) {
  switch (command) {
    case kCommandAutoNull:
      return results::CalibrationKind::AutoNull;
    case kCommandPrecisionAutoNull:
      return results::CalibrationKind::PrecisionAutoNull;
    case kCommandFactoryRestore:
      return results::CalibrationKind::FactoryRestore;
    default:
      return results::CalibrationKind::FlashUpdate;
  }
}

// A setter's refusal as UsageError.
void Check(bool ok, const std::string& error) {
  if (!ok) throw UsageError(error);
}

template <class T>
T Take(Session& s, Result<T> result) {
  if (!result) s.raise(result.error());
  return std::move(result.value());
}

}  // namespace

Session::Session(const SessionOptions& options, SessionRecording recording)
    : recording_(std::move(recording)) {
  py::gil_scoped_release nogil;
  SessionPlace place;
  place.simulatedBusTime = true;  // as the program: the simulated adapters take their bus time
  place.traceOut = &err_;
  auto device = std::make_unique<vexa::Session>(options, messages_, diagnostics_, place);
  device->readSettings();
  diagnostics_.take();  // settings not used are the command line's warnings; nobody reads them
  if (const Status opened = device->open(); !opened) {
    const std::string cause = opened.error().shown ? std::string() : diagnostics_.take();
    SessionError e = opened.error();
    if (!cause.empty() && e.kind == SessionErrorKind::Device &&
        e.text.find(cause) == std::string::npos)
      e.text += " (" + cause + ")";
    py::gil_scoped_acquire gil;
    raise(e);
  }
  // The presence check: its verdict waits for the reads (a warning) and the log runs (an
  // error); a transfer that failed on the way is an error now.
  const Result<SensorCheck> check = device->checkSensor();
  if (!check) {
    py::gil_scoped_acquire gil;
    raise(check.error());
  }
  device_ = std::move(device);
}

Session::~Session() = default;

std::string Session::storeAddress(const AppContext& ctx) const {
  return results::DatabaseAddress(ctx, recording_.database);
}

void Session::close() {
  py::gil_scoped_release nogil;
  std::lock_guard<std::mutex> lock(busy_);
  device_.reset();
}

std::string Session::textOf(const SessionError& error) const {
  if (!error.shown) return error.text;
  const std::string& line = messages_.lastLine();
  return line.empty() ? error.text : line;
}

void Session::raise(const SessionError& error) const {
  if (error.kind == SessionErrorKind::Usage) throw UsageError(error.text);
  throw TransportError(textOf(error));
}

void Session::warnUnlessKnown() const {
  if (!device_) return;
  const auto& identity = device_->identity();
  if (!identity || identity->known) return;
  const py::object warning = py::module_::import("vexa").attr("SensorWarning");
  if (PyErr_WarnEx(warning.ptr(), identity->message.c_str(), 2) != 0) throw py::error_already_set();
}

void Session::requireKnownSensor(bool sensorCheck) const {
  if (!device_) throw UsageError("the session is closed");
  const auto& identity = device_->identity();
  if (!sensorCheck || !identity || identity->known) return;
  throw SensorError(identity->message + " Give sensor_check=False to go on all the same.");
}

DeviceUse::DeviceUse(Session& session)
    : lock_(session.busy_),
      device_(session.device_ ? *session.device_ : throw UsageError("the session is closed")) {}

const RegisterTable& Registers() {
  static const RegisterTable table = [] {
    RegisterTable t;
    BuildRegisterTable(t);
    return t;
  }();
  return table;
}

double Session::read(const std::string& name) {
  const int16_t row = cli::ReadableRegister(Registers(), name);
  warnUnlessKnown();
  Result<Reading> r = [&] {
    DeviceUse use(*this);
    return use.device().read(row);
  }();
  return Take(*this, std::move(r)).scaled;
}

int Session::readRaw(const std::string& name) {
  const int16_t row = cli::ReadableRegister(Registers(), name);
  warnUnlessKnown();
  Result<Reading> r = [&] {
    DeviceUse use(*this);
    return use.device().read(row);
  }();
  return Take(*this, std::move(r)).raw;
}

std::vector<double> Session::readMany(const std::vector<std::string>& names, bool pipelined) {
  std::vector<int16_t> rows;
  for (const auto& name : names) rows.push_back(cli::ReadableRegister(Registers(), name));
  warnUnlessKnown();
  Result<std::vector<Reading>> r = [&] {
    DeviceUse use(*this);
    return use.device().readMany(rows, pipelined);
  }();
  std::vector<double> values;
  for (const Reading& reading : Take(*this, std::move(r))) values.push_back(reading.scaled);
  return values;
}

void Session::write(const std::string& name, const std::string& value) {
  const int16_t row = cli::WritableRegister(Registers(), name);
  int32_t number = 0;
  if (!ParseHexWord(value, number))
    throw UsageError("malformed value '" + value +
                     "': give one to four hexadecimal digits, such as 0x1234");
  Status done = [&] {
    DeviceUse use(*this);
    return use.device().write(row, number);
  }();
  Take(*this, std::move(done));
}

std::vector<DumpRow> Session::dump() {
  warnUnlessKnown();
  Result<std::vector<RegisterDumpRow>> r = [&] {
    DeviceUse use(*this);
    return use.device().dump();
  }();
  std::vector<DumpRow> rows;
  for (const auto& row : Take(*this, std::move(r)))
    rows.emplace_back(row.name, row.address, row.raw, row.scaled);
  return rows;
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
  KeptRecord kept;
  Status done = [&] {
    DeviceUse use(*this);
    // The offsets before and after, as the calibration window records them.
    std::vector<int16_t> rows;
    for (const auto& row : kOffsetRows) rows.push_back(row.index);
    std::vector<int32_t> before;
    if (recording_.on) before = results::ReadRawValues(use.ctx(), rows);
    Status status = use.device().command(code, [](int) {
      py::gil_scoped_acquire gil;
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
    if (status && recording_.on && use.device().health()) {
      const std::vector<int32_t> after = results::ReadRawValues(use.ctx(), rows);
      if (use.device().health()) {
        results::CalibrationRecord r;
        r.id = results::NewRecordId();
        r.unit = results::NamedUnit(recording_.unit, results::ReadProductNumber(use.ctx()));
        r.bench = results::BenchName(use.ctx());
        r.at = results::UtcNow();
        r.kind = CalibrationKindOf(code);
        r.registers = results::RegisterChanges(use.ctx(), rows, before, after);
        kept = KeepInStore(storeAddress(use.ctx()), r);
      }
    }
    return status;
  }();
  Take(*this, std::move(done));
  WarnIfNotOnline(kept);
}

int Session::product() {
  const Result<Reading> r = [&] {
    DeviceUse use(*this);
    return use.device().read(PROD_ID);
  }();
  return Take(*this, r).raw;
}

std::string Session::interfaceName() {
  DeviceUse use(*this);
  return InterfaceName(use.ctx().settings.Interface);
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
            s.write(name, HexOrText(value));
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
         const py::object& vendor, const py::object& simulateFault, const py::object& unit,
         const py::object& db) {
        SessionOptions o;
        SessionRecording recording;
        recording.on = !unit.is_none() || !db.is_none();
        if (!unit.is_none()) {
          recording.unit = TextOf(unit);
          CheckUnitKeyword(recording.unit);
        }
        if (!db.is_none()) {
          recording.database = py::module_::import("os").attr("fspath")(db).cast<std::string>();
          results::StoreLocation where;
          std::string error;
          if (!results::ParseStoreLocation(recording.database, where, error))
            throw py::value_error("db: " + error);
        }
        o.simulate = simulate || still || virtualTime;
        o.simulateStill = still;
        o.virtualTime = virtualTime;
        std::string error;
        if (!interface.is_none()) Check(SetInterfaceByName(o, TextOf(interface), error), error);
        if (!port.is_none()) Check(SetPortAddress(o, HexOrText(port), error), error);
        if (!vendor.is_none()) Check(SetCardVendor(o, HexOrText(vendor), error), error);
        const std::pair<const py::object*, AdapterSetting> adapter[] = {
            {&ftdiSerial, AdapterSetting::FtdiSerial},
            {&ftdiInterface, AdapterSetting::FtdiInterface},
            {&spiDevice, AdapterSetting::SpiDevice},
            {&spiSpeed, AdapterSetting::SpiSpeed},
            {&spiMode, AdapterSetting::SpiMode}};
        for (const auto& [value, setting] : adapter)
          if (!value->is_none()) Check(SetAdapterSetting(o, setting, TextOf(*value), error), error);
        if (!simulateFault.is_none())
          Check(SetSimulatedFault(o, TextOf(simulateFault), error), error);
        error = SessionOptionsProblem(o);
        Check(error.empty(), error);
        return std::make_unique<Session>(o, recording);
      },
      py::kw_only(), py::arg("interface") = py::none(), py::arg("simulate") = false,
      py::arg("still") = false, py::arg("virtual_time") = false, py::arg("port") = py::none(),
      py::arg("ftdi_serial") = py::none(), py::arg("ftdi_interface") = py::none(),
      py::arg("spi_device") = py::none(), py::arg("spi_speed") = py::none(),
      py::arg("spi_mode") = py::none(), py::arg("vendor") = py::none(),
      py::arg("simulate_fault") = py::none(), py::arg("unit") = py::none(),
      py::arg("db") = py::none(),
      R"(Opens the sensor as vexa-cli does with the same options.

interface: 'usb', 'parallel', 'ftdi' or 'spidev' (default: Interface in CommPort.cfg in the
working folder). simulate: the simulated sensor behind simulated adapters; still: simulated and
lying still with its stated noise; virtual_time: simulated on virtual time, where waits take no
real time and the same calls give the same values each time. port: parallel port address (int, or hexadecimal text).
ftdi_serial, ftdi_interface ('A'..'D'), spi_device, spi_speed (Hz, or text such as '1M'),
spi_mode (0..3): the SPI adapter settings for this session (default: VexaEval.cfg). vendor: the
USB card's vendor ID. unit, db: keep each log run and each calibration command in the results
store, as vexa-cli --unit and --db do: unit names the module (default: its product number), db
is the store's address (default: the SQLite file); a record that waits or is lost gives a
vexa.StoreWarning with its cause. Raises UsageError or TransportError with vexa-cli's message.)");
}

}  // namespace vexa::python
