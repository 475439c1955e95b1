#include "python/py_memory_sink.h"

#include <algorithm>

namespace py = pybind11;

namespace vexa::python {

namespace {
// Up to this many rows are taken at once; a run asking for more grows to it as it goes, so a
// run of two billion samples cancelled early costs no more than it took.
constexpr int64_t kFirstRowsAtMost = int64_t(1) << 20;
}  // namespace

int64_t MemorySink::InitialRows(int64_t expected) {
  return std::max<int64_t>(1, std::min(expected, kFirstRowsAtMost));
}

MemorySink::MemorySink(Clock& clock, py::array& rows, size_t channels, int64_t expected, bool raw)
    : clock_(clock), rows_(rows), layout_(channels), expected_(expected), raw_(raw) {
  capacity_ = rows_.shape(0);
  base_ = static_cast<uint8_t*>(rows_.mutable_data());
}

bool MemorySink::grow() {
  const int64_t wanted = std::min(expected_, std::max<int64_t>(capacity_ * 2, 1));
  py::gil_scoped_acquire gil;
  try {
    rows_.resize({static_cast<py::ssize_t>(wanted)}, false);
  } catch (py::error_already_set& e) {
    failure_.kind = datalog::SinkFailureKind::TooSlow;
    failure_.cause =
        std::string("no memory for ") + std::to_string(wanted) + " samples: " + e.what();
    return false;
  }
  capacity_ = wanted;
  base_ = static_cast<uint8_t*>(rows_.mutable_data());
  return true;
}

bool MemorySink::addSample(int64_t, const datalog::SampleValues& values) {
  if (taken_ == capacity_ && !grow()) return false;
  const double now = clock_.monotonicSeconds();
  if (taken_ == 0) start_ = now;
  // Sample numbers run on over the whole record, as read_log gives them for joined files.
  layout_.put(base_ + taken_ * static_cast<int64_t>(layout_.bytes()), taken_ + 1, now - start_,
              values, raw_);
  ++taken_;
  return true;
}

bool MemorySink::endFile(const datalog::LogHeader& header, std::string& path) {
  if (!sawHeader_) first_ = header;
  sawHeader_ = true;
  last_ = header;
  path.clear();
  return true;
}

void MemorySink::trim() {
  if (taken_ != capacity_) rows_.resize({static_cast<py::ssize_t>(taken_)}, false);
}

}  // namespace vexa::python
