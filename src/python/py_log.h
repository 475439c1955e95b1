#pragma once

#include <pybind11/pybind11.h>

namespace vexa::python {

// Session.log (samples into a vexa.LogArray) and Session.log_to_files (the files of
// vexa-cli log), both through the log run the window and the command line use.
void RegisterLog(pybind11::module_& m);

}  // namespace vexa::python
