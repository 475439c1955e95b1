#pragma once

#include <pybind11/pybind11.h>

namespace vexa::python {

// vexa.read_log, vexa.adev, vexa.read_offs, vexa.stats, vexa.mag_fit, vexa.noise: the
// analyses of vexa-cli adev / stats / magcal / noise on numpy arrays.
void RegisterAnalysis(pybind11::module_& m);

}  // namespace vexa::python
