#pragma once

// What a Python session keeps in the results store, as vexa-cli does: with unit= or db= given
// to vexa.open(), each log run and each calibration command (auto null, precision auto null,
// factory restore, flash update, with the offset registers before and after); vexa.noise(...,
// unit=) keeps its figures. vexa.calibrations() lists calibration writes.

#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

#include "app/app_context.h"
#include "results/record_codec.h"

namespace vexa::python {

// The results store could not be read (vexa.StoreError).
struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct SessionRecording {
  bool on = false;       // unit= or db= given
  std::string unit;      // empty: the product number names the unit
  std::string database;  // empty: VexaEval.cfg's, else the SQLite file
};

// How a record went: the state text when it is not simply online, and the cause, for a warning.
struct KeptRecord {
  std::string state;
  std::string cause;
};

// Keeps `record` (no interpreter lock needed).
KeptRecord KeepInStore(const std::string& address, const results::AnyRecord& record);
// A vexa.StoreWarning for a record that is waiting or was not kept. Under the interpreter lock.
void WarnIfNotOnline(const KeptRecord& kept);

// A unit name given to vexa: refused with ValueError naming the keyword when it holds control
// characters.
void CheckUnitKeyword(const std::string& unit);

void RegisterRecording(pybind11::module_& m);

}  // namespace vexa::python
