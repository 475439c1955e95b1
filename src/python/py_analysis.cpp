#include "python/py_analysis.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "analysis/allan_deviation.h"
#include "analysis/log_file.h"
#include "analysis/mag_calibration.h"
#include "analysis/noise_characterisation.h"
#include "analysis/record_series.h"
#include "analysis/span_statistics.h"
#include "datalog/log_file_format.h"
#include "python/py_errors.h"
#include "python/py_log_array.h"
#include "python/py_recording.h"
#include "results/recording.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;

std::vector<std::string> PathsOf(const py::object& pathOrPaths) {
  const py::object fspath = py::module_::import("os").attr("fspath");
  if (py::isinstance<py::str>(pathOrPaths) || py::hasattr(pathOrPaths, "__fspath__"))
    return {fspath(pathOrPaths).cast<std::string>()};
  std::vector<std::string> paths;
  for (auto p : pathOrPaths) paths.push_back(fspath(p).cast<std::string>());
  return paths;
}

std::vector<double> ValuesOf(const py::object& x) {
  const DoubleArray a = DoubleArray::ensure(x);
  if (!a) {
    // Text or objects that are no numbers: the caller passed the wrong type, not a bad value.
    PyErr_Clear();
    throw py::type_error("the samples must be numbers");
  }
  if (a.ndim() != 1) throw UsageError("the samples must be one-dimensional");
  // A NaN or an infinity would come back as a NaN figure that looks like a result.
  for (py::ssize_t i = 0; i < a.size(); ++i)
    if (!std::isfinite(a.data()[i]))
      throw py::value_error("sample " + std::to_string(i) + " is " +
                            std::string(std::isnan(a.data()[i]) ? "NaN" : "infinite") +
                            ": the samples must be finite numbers");
  return std::vector<double>(a.data(), a.data() + a.size());
}

// The output register a log column belongs to, by its value title.
int16_t RegisterOfTitle(const std::string& title) {
  for (const auto& c : datalog::kLogChannels)
    if (title == c.valueTitle) return c.registerIndex;
  return 0;
}

py::object ReadLog(const py::object& pathOrPaths) {
  const std::vector<std::string> paths = PathsOf(pathOrPaths);
  analysis::LogRecord record;
  analysis::LogError error;
  bool ok = false;
  {
    py::gil_scoped_release nogil;
    ok = analysis::ReadLogFiles(paths, record, error);
  }
  if (!ok) throw LogFileError(error.message());

  datalog::ChannelList channels;
  for (const auto& c : record.channels) {
    const int16_t r = RegisterOfTitle(c.title);
    if (r == 0) throw LogFileError(c.title + ": not a channel of this program's logs");
    channels.push_back(r);
  }
  const size_t n = static_cast<size_t>(record.samples());
  py::array rows = NewLogRows(channels, n);
  const LogRowLayout layout(channels.size());
  auto* base = static_cast<uint8_t*>(rows.mutable_data());
  {
    py::gil_scoped_release nogil;
    datalog::SampleValues values(channels.size());
    for (size_t i = 0; i < n; ++i) {
      for (size_t c = 0; c < channels.size(); ++c) {
        values[c].scaled = static_cast<float>(record.channels[c].values[i]);
        values[c].newData = record.channels[c].newData[i];
      }
      layout.put(base + i * layout.bytes(), static_cast<int64_t>(i + 1),
                 static_cast<double>(i) * record.sampleInterval, values, false);
    }
  }

  py::dict units, titles, captions;
  for (size_t c = 0; c < channels.size(); ++c) {
    const std::string field = ChannelFieldName(channels[c]);
    units[py::str(field)] = record.channels[c].units;
    titles[py::str(field)] = record.channels[c].title;
    captions[py::str(field)] = analysis::ChannelName(record.channels[c]);
  }
  py::list files;
  for (const auto& f : record.files) files.append(f.path);
  py::dict a;
  a["files"] = files;
  a["date"] = record.files.front().date;
  a["time_of_day"] = record.files.front().time;
  a["begin_seconds"] = record.files.front().beginSeconds;
  a["end_seconds"] = record.files.back().endSeconds;
  a["sample_interval"] = record.sampleInterval;
  a["rate"] = record.sampleInterval > 0 ? 1.0 / record.sampleInterval : 0.0;
  a["units"] = units;
  a["titles"] = titles;
  a["captions"] = captions;
  a["lsb"] = record.lsb;
  a["interrupted"] = false;
  return AsLogArray(rows, a);
}

// The series the command line's adev takes: repeated reads left out when flags are given.
analysis::RateSeries SeriesOf(const py::object& x, double rate, const py::object& newData) {
  if (!(rate > 0) || !std::isfinite(rate))
    throw UsageError("malformed rate '" + std::string(py::str(py::float_(rate))) +
                     "': give the sample rate in Hz, such as 819.2");
  analysis::LogRecord record;
  record.channels.resize(1);
  record.channels[0].values = ValuesOf(x);
  if (newData.is_none()) {
    record.channels[0].newData.assign(record.channels[0].values.size(), 1);
  } else {
    for (double f : ValuesOf(newData)) record.channels[0].newData.push_back(f != 0 ? 1 : 0);
    if (record.channels[0].newData.size() != record.channels[0].values.size())
      throw UsageError("new_data must have one flag per sample");
  }
  return analysis::SeriesForAnalysis(record, 0, rate);
}

// Ctrl-C between the octaves of a long record cancels the computation.
std::vector<analysis::AllanPoint> Curve(const analysis::RateSeries& s) {
  std::vector<analysis::AllanPoint> curve;
  bool interrupted = false;
  {
    py::gil_scoped_release nogil;
    curve = analysis::OverlappingAllanDeviation(s.values, s.tau0, {}, [&](double) {
      py::gil_scoped_acquire gil;
      interrupted = PyErr_CheckSignals() != 0;
      return !interrupted;
    });
  }
  if (interrupted) throw py::error_already_set();
  if (curve.empty()) throw UsageError("too few samples for an Allan deviation");
  return curve;
}

// The record check of vexa-cli adev and noise: a record that is not still is refused with its
// reasons unless forced.
void CheckStill(const std::vector<std::string>& reasons, bool force) {
  if (reasons.empty() || force) return;
  std::string text = "the record is not still: ";
  for (size_t i = 0; i < reasons.size(); ++i) text += (i ? "; " : "") + reasons[i];
  throw UsageError(text + " (give force=True to analyse it anyway)");
}

py::tuple Adev(const py::object& x, double rate, const py::object& newData, bool force) {
  const analysis::RateSeries s = SeriesOf(x, rate, newData);
  const auto curve = Curve(s);
  std::vector<std::string> reasons;
  for (const auto& finding : analysis::CheckChannelStill(s.values, s.tau0, curve, "", ""))
    reasons.push_back(finding.reason);
  CheckStill(reasons, force);
  py::array_t<double> taus(curve.size()), devs(curve.size());
  py::array_t<double> bounds({size_t(2), curve.size()});
  auto t = taus.mutable_unchecked<1>();
  auto d = devs.mutable_unchecked<1>();
  auto b = bounds.mutable_unchecked<2>();
  for (size_t i = 0; i < curve.size(); ++i) {
    t(i) = curve[i].tau;
    d(i) = curve[i].adev;
    b(0, i) = curve[i].low;
    b(1, i) = curve[i].high;
  }
  return py::make_tuple(taus, devs, bounds);
}

py::dict ReadOffsOf(const py::object& x, double rate, const py::object& newData,
                    const std::string& units) {
  const auto r = analysis::ReadOffs(Curve(SeriesOf(x, rate, newData)));
  const auto t = analysis::CustomaryReadOffs(r, units);
  py::dict d;
  d["random_walk_found"] = r.randomWalkFound;
  d["random_walk_name"] = t.randomWalkName;
  d["random_walk"] = t.randomWalk;
  d["random_walk_units"] = t.randomWalkUnits;
  d["random_walk_tau"] = r.randomWalkTau;
  d["floor_found"] = r.floorFound;
  d["bias_instability"] = t.biasInstability;
  d["bias_units"] = t.biasUnits;
  d["floor_tau"] = r.floorTau;
  return d;
}

py::dict Stats(const py::object& x) {
  const std::vector<double> values = ValuesOf(x);
  // No samples have no mean: 0 would pass for one.
  if (values.empty()) throw py::value_error("stats needs at least one sample");
  const auto s = analysis::StatisticsOf(values);
  py::dict d;
  d["count"] = s.count;
  d["mean"] = s.mean;
  d["std"] = s.standardDeviation;
  d["min"] = s.min;
  d["max"] = s.max;
  return d;
}

analysis::Vec3 Vec3Of(const py::object& o) {
  const auto v = ValuesOf(o);
  if (v.size() != 3) throw UsageError("give three values, one per axis");
  return {v[0], v[1], v[2]};
}

py::dict MagFit(const py::object& readings, const py::object& hardIron,
                const py::object& softIron) {
  const DoubleArray a = DoubleArray::ensure(readings);
  if (!a || a.ndim() != 2 || a.shape(1) != 3)
    throw UsageError("the readings must be an array of shape (N, 3), in mG");
  std::vector<analysis::Vec3> points(static_cast<size_t>(a.shape(0)));
  for (size_t i = 0; i < points.size(); ++i) points[i] = {a.at(i, 0), a.at(i, 1), a.at(i, 2)};
  analysis::MagCorrections current;
  const auto hard = Vec3Of(hardIron);
  const auto soft = Vec3Of(softIron);
  for (int k = 0; k < 3; ++k) {
    current.hardIron[k] = static_cast<int>(hard[k]);
    current.softIron[k] = static_cast<int>(soft[k]);
  }
  analysis::MagCalResult r;
  {
    py::gil_scoped_release nogil;
    const analysis::SphereBins bins;
    r = analysis::AnalyseMagReadings(points, current, bins);
  }
  py::dict d;
  d["trusted"] = r.trusted;
  d["hard_iron"] =
      py::make_tuple(r.derived.hardIron[0], r.derived.hardIron[1], r.derived.hardIron[2]);
  d["soft_iron"] =
      py::make_tuple(r.derived.softIron[0], r.derived.softIron[1], r.derived.softIron[2]);
  d["limited"] = std::vector<bool>(r.limited.begin(), r.limited.end());
  d["centre"] = r.fit.centre;
  d["radii"] = r.fit.radii;
  d["cross_axis_percent"] = r.full.crossAxisPercent;
  d["samples"] = r.quality.samples;
  d["coverage_percent"] = r.quality.coveragePercent;
  d["residual_percent"] = r.quality.residualPercent;
  d["field_mg"] = r.quality.fieldMilliGauss;
  d["wobble_mg"] = r.quality.wobbleMilliGauss;
  d["problems"] = r.problems;
  d["warnings"] = r.warnings;
  return d;
}

// The noise model of one channel in the JSON form `vexa-cli noise --json` prints, so a script
// gets the very figures (and the same keys) the command line gives.
py::dict Noise(const py::object& x, double rate, const py::object& newData, const py::object& kind,
               const std::string& units, const std::string& title, bool force,
               const py::object& unit, const py::object& db) {
  std::string unitName, address;
  if (!unit.is_none()) {
    unitName = py::str(unit).cast<std::string>();
    CheckUnitKeyword(unitName);
  }
  if (!db.is_none()) address = py::module_::import("os").attr("fspath")(db).cast<std::string>();
  analysis::SensorKind k = analysis::SensorKindOf(units);
  if (!kind.is_none()) {
    const std::string name = py::str(kind);
    if (name == "gyro")
      k = analysis::SensorKind::Gyro;
    else if (name == "accelerometer")
      k = analysis::SensorKind::Accelerometer;
    else if (name == "other")
      k = analysis::SensorKind::Other;
    else
      throw UsageError("unknown kind '" + name + "': give gyro, accelerometer or other");
  }
  const analysis::RateSeries s = SeriesOf(x, rate, newData);
  analysis::ChannelNoise n;
  {
    py::gil_scoped_release nogil;
    n = analysis::FitNoiseModel(s.values, s.tau0, k, units, title);
  }
  CheckStill(n.notStill, force);
  if (!n.model.ok) throw UsageError("too few samples for a noise model");
  // Kept only under a unit named, as vexa-cli noise --unit: samples do not say whose they are.
  if (!unitName.empty()) {
    results::NoiseRecord r;
    r.id = results::NewRecordId();
    r.unit = results::NamedUnit(unitName, "");
    r.bench = r.host = results::HostName();
    r.at = results::UtcNow();
    r.source = "python: vexa.noise";
    r.channels.push_back(results::FiguresOf(n));
    KeptRecord kept;
    {
      py::gil_scoped_release nogil;
      kept = KeepInStore(address, r);
    }
    WarnIfNotOnline(kept);
  }
  const py::object loads = py::module_::import("json").attr("loads");
  return loads(analysis::NoiseJson({n}))["channels"].cast<py::list>()[0].cast<py::dict>();
}

}  // namespace

void RegisterAnalysis(py::module_& m) {
  m.def("read_log", &ReadLog, py::arg("path_or_paths"),
        R"(Reads a log file, or the files of one session (NAME_n.ext, joined in order of n), as
vexa-cli adev and stats do. Returns a vexa.LogArray; raises LogFileError naming file and line
when a file is missing or damaged (a file is never read in part).)");
  m.def("adev", &Adev, py::arg("x"), py::arg("rate"), py::arg("new_data") = py::none(),
        py::arg("force") = false,
        R"(Overlapping Allan deviation of rate samples x taken at `rate` Hz, at octave cluster
times up to a tenth of the record. With new_data (the '_new' flags of a log), repeated reads are
left out as vexa-cli adev does. Returns (taus, deviations, bounds): bounds[0] low and bounds[1]
high, the 68 % confidence interval. A record that is not still (a motion, a rocking, a step in
the mean, values that do not change) raises UsageError with the reasons unless force=True.)");
  m.def("read_offs", &ReadOffsOf, py::arg("x"), py::arg("rate"), py::arg("new_data") = py::none(),
        py::arg("units") = "",
        R"(The figures vexa-cli adev reads off the curve: random walk (the -1/2 line at 1 s) and
bias instability (floor / 0.664), in the customary units of `units` ('deg/sec', 'g', ...).)");
  m.def("stats", &Stats, py::arg("x"),
        "Count, mean, sample standard deviation (n - 1), min and max, as vexa-cli stats.");
  m.def("mag_fit", &MagFit, py::arg("readings"), py::arg("hard_iron") = std::vector<int>{0, 0, 0},
        py::arg("soft_iron") = std::vector<int>{2048, 2048, 2048},
        R"(The magnetometer fit of vexa-cli magcal: readings (N x 3, mG) taken with the given
corrections in the sensor (register codes). Returns the derived corrections (hard_iron,
soft_iron codes), whether they are trusted, the problems and warnings in plain sentences, and the
fit's quality figures.)");
  m.def("noise", &Noise, py::arg("x"), py::arg("rate"), py::arg("new_data") = py::none(),
        py::arg("kind") = py::none(), py::arg("units") = "", py::arg("title") = "",
        py::arg("force") = false, py::kw_only(), py::arg("unit") = py::none(),
        py::arg("db") = py::none(),
        R"(The noise model of vexa-cli noise: the five-term Allan fit and the noise density of
rate samples x taken at `rate` Hz (new_data as for adev). kind is 'gyro', 'accelerometer' or
'other' (None: told from `units`, such as 'deg/sec' or 'g'). Returns one channel of vexa-cli
noise --json: title, kind, units, rate_hz, samples, terms {Q, N, B, K, R} each {value, sigma,
unit, resolved} (a term not resolved carries its bound), density {white, unit, convention}. A
record that is not still raises UsageError with the reasons unless force=True; then the channel
carries record: 'record not still' and not_still: [reasons]. unit: keep the figures in the
results store under this module's name, as vexa-cli noise --unit does (title names the
channel, such as 'X Gyro'); db: the store's address (default: the SQLite file).)");
}

}  // namespace vexa::python
