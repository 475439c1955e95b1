#include "python/py_log_array.h"

#include <pybind11/eval.h>

#include "registers/register_table.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

// An ndarray subclass only to carry the log's facts; slices and views keep them.
constexpr const char* kLogArraySource = R"(
import numpy as _np

class LogArray(_np.ndarray):
    """A log's samples: a numpy structured array with the log's facts as attributes.

    Fields: 'sample' (int64), 'time' (float64 s from the first sample), and per channel its
    register name ('XGYRO_OUT', float32) and that name with '_new' (bool, new-data flag).

    Attributes: files (paths, empty for a log in memory), date and time_of_day (of the first
    file's header), begin_seconds and end_seconds (seconds since midnight), sample_interval
    (s, 0 when unknown), rate (Hz, 0 when unknown), units (field -> units text), titles (field
    -> column title in the files), captions (field -> the name outputs give it, read_log only),
    lsb (raw register values), interrupted (Ctrl-C ended it).
    """

    def __array_finalize__(self, obj):
        if obj is not None:
            self.__dict__.update(getattr(obj, '__dict__', {}))

    @property
    def channels(self):
        """The channel field names, in register-table order."""
        return [n for n in self.dtype.names if n not in ('sample', 'time') and not n.endswith('_new')]
)";

const RegisterTable& Table() {
  static const RegisterTable table = [] {
    RegisterTable t;
    BuildRegisterTable(t);
    return t;
  }();
  return table;
}

}  // namespace

std::string ChannelFieldName(int16_t registerIndex) {
  std::string name = Table().Label[registerIndex];
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

py::dtype LogDtype(const datalog::ChannelList& channels) {
  py::list fields;
  fields.append(py::make_tuple("sample", "<i8"));
  fields.append(py::make_tuple("time", "<f8"));
  for (int16_t r : channels) {
    const std::string name = ChannelFieldName(r);
    fields.append(py::make_tuple(name, "<f4"));
    fields.append(py::make_tuple(name + "_new", "?"));
  }
  return py::dtype::from_args(fields);
}

py::array NewLogRows(const datalog::ChannelList& channels, size_t rows) {
  return py::array(LogDtype(channels), std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows)});
}

py::object AsLogArray(const py::array& rows, const py::dict& attributes) {
  py::object type = py::module_::import("vexa").attr("LogArray");
  py::object view = rows.attr("view")(type);
  for (auto item : attributes) py::setattr(view, item.first, item.second);
  return view;
}

void RegisterLogArray(py::module_& m) {
  py::exec(kLogArraySource, m.attr("__dict__"));
  m.attr("LogArray").attr("__module__") = "vexa";
}

}  // namespace vexa::python
