#include "python/py_recording.h"

#include <pybind11/stl.h>

#include "results/recording.h"

namespace py = pybind11;

namespace vexa::python {

KeptRecord KeepInStore(const std::string& address, const results::AnyRecord& record) {
  results::Recorder recorder(address);
  KeptRecord kept;
  kept.state = recorder.keep(record);
  kept.cause = recorder.untoldCause();
  if (kept.state == "results store: online") kept.state.clear();
  return kept;
}

void WarnIfNotOnline(const KeptRecord& kept) {
  if (kept.state.empty() && kept.cause.empty()) return;
  std::string text = kept.state.empty() ? std::string("results store") : kept.state;
  if (!kept.cause.empty()) text += " (" + kept.cause + ")";
  const py::object warning = py::module_::import("vexa").attr("StoreWarning");
  if (PyErr_WarnEx(warning.ptr(), text.c_str(), 2) != 0) throw py::error_already_set();
}

void CheckUnitKeyword(const std::string& unit) {
  std::string error;
  if (!results::CheckUnitName(unit, error)) throw py::value_error("unit: " + error);
}

namespace {

py::list Calibrations(const py::object& unit, const py::object& database) {
  const std::string name = unit.is_none() ? std::string() : py::str(unit).cast<std::string>();
  results::StoreLocation where;
  std::string error;
  const std::string address =
      database.is_none() ? std::string() : py::str(database).cast<std::string>();
  if (!results::ParseStoreLocation(address, where, error)) throw py::value_error("db: " + error);
  std::vector<results::CalibrationSummary> found;
  bool ok = false;
  {
    py::gil_scoped_release nogil;
    results::ResultsStore store(where);
    ok = store.calibrations(name, found, error);
  }
  if (!ok) throw StoreError(error);
  py::list out;
  for (const auto& c : found) {
    py::list registers;
    for (const auto& r : c.registers) registers.append(py::make_tuple(r.label, r.before, r.after));
    py::dict d;
    d["at"] = c.at;
    d["unit"] = c.unit;
    d["kind"] = c.kind;
    d["registers"] = registers;
    out.append(d);
  }
  return out;
}

}  // namespace

void RegisterRecording(py::module_& m) {
  py::register_exception<StoreError>(m, "StoreError", m.attr("Error")).doc() =
      "The results store could not be read: the message names its address and the cause.";
  m.attr("StoreWarning") = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
      "vexa.StoreWarning",
      "A record was not taken by the results store now (it waits, or was lost); the "
      "message says why.",
      PyExc_UserWarning, nullptr));
  m.def("calibrations", &Calibrations, py::kw_only(), py::arg("unit") = py::none(),
        py::arg("db") = py::none(),
        R"(The calibration writes in the results store, as vexa-cli calibrations lists them,
oldest first: dicts with at (UTC), unit, kind ('magnetometer apply', 'magnetometer revert',
'auto null', 'precision auto null', 'factory restore', 'flash update') and registers, a list of
(label, before, after). unit: one unit's (default: every unit's). db: the store's address as
vexa-cli --db takes it (default: the SQLite file). Raises StoreError when the store cannot be
read.)");
}

}  // namespace vexa::python
