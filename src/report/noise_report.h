#pragma once

#include <QByteArray>
#include <map>
#include <string>
#include <vector>

#include "analysis/log_file.h"
#include "analysis/noise_characterisation.h"

namespace vexa::report {

// What the report says about the record the figures come from.
struct RecordSummary {
  std::vector<std::string> files;  // file names
  std::string date;                // of the first file, as its header gives it
  double seconds = 0.0;            // length
  double rateHz = 0.0;             // of the fastest channel analysed
  std::string product;
};
RecordSummary SummaryOf(const analysis::LogRecord& record,
                        const std::vector<analysis::ChannelNoise>& channels);

// A figure's maximum per channel kind, in the units the figures are reported in:
// {"gyro": {"N": 0.5, "B": 60, "density": 0.01}, "accelerometer": {...}, "other": {...}}
// with the term names Q, N, B, K, R and "density" for the density's white level.
struct NoiseLimits {
  std::map<std::string, std::map<std::string, double>> maximum;  // kind -> figure -> maximum
  bool empty() const { return maximum.empty(); }
};
bool ParseNoiseLimits(const std::string& json, NoiseLimits& limits, std::string& error);

// "pass", "fail" or "" (no limit) for one figure; a term the record does not resolve passes
// only when its bound does.
std::string Verdict(const NoiseLimits& limits, analysis::SensorKind kind, const std::string& name,
                    double value);

// Figures as the report prints them: four significant digits, a decimal point always.
std::string ReportNumber(double v);

// The report as PDF bytes: page 1 the record, the Allan deviation with its fit and the noise
// density; then the figures table per channel, with a pass/fail column when limits are given.
// Needs a QGuiApplication (fonts).
QByteArray NoiseReportPdf(const RecordSummary& record,
                          const std::vector<analysis::ChannelNoise>& channels,
                          const NoiseLimits& limits);

}  // namespace vexa::report
