#pragma once

#include <pybind11/pybind11.h>

namespace vexa::python {

// vexa.accel_fit: the fit of vexa-cli accelcal on still means or on a stream of readings.
void RegisterAccelFit(pybind11::module_& m);

}  // namespace vexa::python
