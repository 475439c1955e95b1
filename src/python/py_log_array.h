#pragma once

// The samples of a log as a numpy structured array (vexa.LogArray, an ndarray with the log's
// facts as attributes), whether a log run took them or they were read back from files.
//
// Fields, packed: "sample" (int64, from 1), "time" (float64 seconds from the first sample),
// then per channel in register-table order its register name ("XGYRO_OUT", float32, the value
// as the log writes it) and that name with "_new" (bool, the new-data flag).

#include <cstdint>
#include <cstring>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "datalog/log_sample.h"

namespace vexa::python {

// The register name of an output register index (1..12).
std::string ChannelFieldName(int16_t registerIndex);

// Where each field of a row lies.
struct LogRowLayout {
  explicit LogRowLayout(size_t channels) : channels(channels) {}
  size_t channels;
  size_t bytes() const { return 16 + 5 * channels; }
  static constexpr size_t kSample = 0;
  static constexpr size_t kTime = 8;
  size_t value(size_t c) const { return 16 + 5 * c; }
  size_t flag(size_t c) const { return 20 + 5 * c; }

  void put(uint8_t* row, int64_t sample, double time, const datalog::SampleValues& values,
           bool raw) const {
    std::memcpy(row + kSample, &sample, 8);
    std::memcpy(row + kTime, &time, 8);
    for (size_t c = 0; c < channels; ++c) {
      const float v = raw ? static_cast<float>(values[c].raw) : values[c].scaled;
      std::memcpy(row + value(c), &v, 4);
      row[flag(c)] = values[c].newData != 0 ? 1 : 0;
    }
  }
};

pybind11::dtype LogDtype(const datalog::ChannelList& channels);
// A new array of `rows` rows of the channels' layout (contents undefined).
pybind11::array NewLogRows(const datalog::ChannelList& channels, size_t rows);
// The array as a vexa.LogArray with `attributes` set on it.
pybind11::object AsLogArray(const pybind11::array& rows, const pybind11::dict& attributes);

// Defines vexa.LogArray in the module.
void RegisterLogArray(pybind11::module_& m);

}  // namespace vexa::python
