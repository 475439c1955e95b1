#pragma once

// The live noise of a Python log run: the keywords live_noise and until_resolved read as
// vexa-cli log reads --live-noise and --until-resolved (the same names accepted and refused,
// the refusals in the keywords' names), and the live figures as the dicts the progress
// callback and the run's result carry.

#include <string>

#include <pybind11/pybind11.h>

#include "analysis/live_noise_sink.h"
#include "cli/cli_live_noise.h"

namespace vexa::python {

// Each keyword's value: one name or target, or a sequence of them; None for none.
cli::LiveNoiseCommand LiveNoiseCommandOf(const pybind11::object& liveNoise,
                                         const pybind11::object& untilResolved);

// The command line's words for the options, in the keywords' names.
std::string LiveNoiseKeywords(std::string text);

// {caption: {caption, seconds, samples, N, N_sigma, N_resolved, B, ..., estimated_from,
// warm_up, time_left: {"X Gyro/B:10": seconds or None}}}
pybind11::dict LiveFiguresOf(const analysis::LiveNoiseStatus& status);

// "resolved" when every until_resolved figure ended the run, "interrupted" when Ctrl-C or the
// callback did, else "samples" (the limit, or a failure the caller is raised); None without
// targets.
pybind11::object EndedBy(const analysis::LiveNoiseStatus& status, bool cancelled);

}  // namespace vexa::python
