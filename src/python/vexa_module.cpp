// The Python module `vexa`: the sensor, its logs and their analysis, on the core the window and
// the command line use.

#include <pybind11/pybind11.h>

#include "app/version.h"
#include "python/py_accel.h"
#include "python/py_analysis.h"
#include "python/py_errors.h"
#include "python/py_log.h"
#include "python/py_recording.h"
#include "python/py_session.h"

PYBIND11_MODULE(vexa, m) {
  m.doc() =
      "The sensor, its logs and their analysis: vexa.open() for a session on the sensor, "
      "read_log() for log files, adev() and stats() for their analysis.";
  m.attr("__version__") = vexa::kVersion;
  vexa::python::RegisterErrors(m);
  vexa::python::RegisterSession(m);
  vexa::python::RegisterLog(m);
  vexa::python::RegisterAnalysis(m);
  vexa::python::RegisterAccelFit(m);
  vexa::python::RegisterRecording(m);
}
