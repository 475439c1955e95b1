#pragma once

#include <string>

#include "datalog/log_run.h"

namespace vexa::ui {

// What a user who closed the datalog window during a run is told once the run has ended:
// that it was cancelled, where the files are, and which file holds how many samples (every
// file but the last is whole; the last holds the samples taken before the cancel).
std::string ClosedRunText(const datalog::LogResult& result, double samplesPerFile);

}  // namespace vexa::ui
