#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/log_file.h"

namespace vexa::analysis {

// The samples of one channel that a noise analysis takes, and their interval.
struct RateSeries {
  std::vector<double> values;
  double tau0 = 0.0;       // seconds between the samples taken; 0 when unknown
  bool freshOnly = false;  // the log read faster than the sensor sampled: repeats left out
  int64_t logged = 0;      // samples in the log
};

// A log that reads faster than the sensor samples repeats samples (new-data flag 0); those are
// left out, so that the analysis sees each of the sensor's samples once, at the sensor's own
// interval (the log's duration over the fresh samples). `rateHz` > 0 states the rate at which
// the log's lines were taken, instead of the interval the files give.
RateSeries SeriesForAnalysis(const LogRecord& record, int channel, double rateHz = 0.0);

}  // namespace vexa::analysis
