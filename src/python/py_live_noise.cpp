#include "python/py_live_noise.h"

#include <vector>

#include "python/py_errors.h"
#include "python/py_session.h"

namespace py = pybind11;

namespace vexa::python {

namespace {

std::vector<std::string> NamesOf(const py::object& value) {
  std::vector<std::string> names;
  if (value.is_none()) return names;
  if (py::isinstance<py::str>(value)) return {value.cast<std::string>()};
  for (auto v : value) names.push_back(py::str(v));
  return names;
}

// The figures of one term under its letter: value, sigma and whether it is resolved.
void AddFigure(py::dict& d, const char* term, const analysis::NoiseFigure& f) {
  const std::string t = term;
  d[py::str(t)] = f.value;
  d[py::str(t + "_sigma")] = f.sigma;
  d[py::str(t + "_resolved")] = f.resolved;
  d[py::str(t + "_unit")] = f.unit;
}

}  // namespace

std::string LiveNoiseKeywords(std::string text) {
  static const std::pair<std::string, std::string> kNames[] = {
      {"--live-noise", "live_noise"}, {"--until-resolved", "until_resolved"}};
  for (const auto& [option, keyword] : kNames)
    for (size_t at = text.find(option); at != std::string::npos;
         at = text.find(option, at + keyword.size()))
      text.replace(at, option.size(), keyword);
  return text;
}

cli::LiveNoiseCommand LiveNoiseCommandOf(const py::object& liveNoise,
                                         const py::object& untilResolved) {
  std::vector<std::string> ops;
  for (const std::string& n : NamesOf(liveNoise)) ops.insert(ops.end(), {"--live-noise", n});
  for (const std::string& n : NamesOf(untilResolved))
    ops.insert(ops.end(), {"--until-resolved", n});
  cli::LiveNoiseCommand command;
  std::string error;
  for (size_t i = 0; i < ops.size(); ++i) {
    const std::string keyword = LiveNoiseKeywords(ops[i]);
    if (cli::ParseLiveNoiseOption(ops, i, Registers(), command, error) >= 0) continue;
    // A target's own words say what is wrong with it, not which keyword gave it.
    error = LiveNoiseKeywords(error);
    throw UsageError(error.find(keyword) == std::string::npos ? keyword + ": " + error : error);
  }
  return command;
}

py::dict LiveFiguresOf(const analysis::LiveNoiseStatus& status) {
  py::dict all;
  for (const analysis::LiveFigures& c : status.channels) {
    py::dict d;
    d["caption"] = c.noise.title;
    d["seconds"] = c.seconds;
    d["samples"] = c.noise.samples;
    d["fitted"] = c.noise.model.ok;
    for (int t = 0; t < analysis::kNoiseTerms; ++t)
      AddFigure(d, analysis::kNoiseTermNames[size_t(t)], c.noise.figures[size_t(t)]);
    // Cluster times from this one on are estimates from the thinned integral.
    d["estimated_from_tau"] = c.firstEstimated < c.noise.curve.size()
                                  ? py::object(py::float_(c.noise.curve[c.firstEstimated].tau))
                                  : py::object(py::none());
    d["warm_up"] =
        c.warmUp.found ? py::object(py::str(analysis::WarmUpText(c.warmUp))) : py::none();
    py::dict left, percent;
    for (const analysis::TargetState& t : status.targets) {
      if (t.target.caption != c.noise.title) continue;
      const std::string key = analysis::ResolveTargetText(t.target);
      left[py::str(key)] = t.met           ? py::object(py::float_(0.0))
                           : t.secondsLeft ? py::object(py::float_(*t.secondsLeft))
                                           : py::object(py::none());
      percent[py::str(key)] = t.percent ? py::object(py::float_(*t.percent)) : py::none();
    }
    d["time_left"] = left;
    d["percent"] = percent;
    all[py::str(c.noise.title)] = d;
  }
  return all;
}

py::object EndedBy(const analysis::LiveNoiseStatus& status, bool cancelled) {
  if (status.targets.empty()) return py::none();
  if (status.allMet && cancelled) return py::str("resolved");
  return py::str(cancelled ? "interrupted" : "samples");
}

}  // namespace vexa::python
