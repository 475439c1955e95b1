#pragma once

#include <QByteArray>
#include <QLocale>
#include <map>
#include <string>
#include <vector>

#include "analysis/log_file.h"
#include "analysis/noise_characterisation.h"

namespace vexa::report {

// What the report says about the record the figures come from.
struct RecordSummary {
  std::vector<std::string> files;     // file names
  std::string date;                   // of the first file, as its header gives it
  double seconds = 0.0;               // length
  double rateHz = 0.0;                // of the fastest channel analysed
  int64_t samples = 0;                // of the longest channel analysed
  std::string product;                // what kind of module
  std::string productNumber;          // the device code, when the user or the store gives it
  std::string unit;                   // the unit's name, likewise
  std::string version;                // of the program that made the report
  std::vector<std::string> notStill;  // the record check's reasons, every channel's
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

// Figures as the report prints them: four significant digits, with the decimal separator of
// `locale` (the C locale's point by default).
std::string ReportNumber(double v, const QLocale& locale = QLocale::c());

// The overall verdict over every figure that has a limit: "pass", "fail", or "" without limits.
std::string OverallVerdict(const NoiseLimits& limits,
                           const std::vector<analysis::ChannelNoise>& channels);

// The report as PDF bytes: page 1 the summary an engineer hands over (product number, unit,
// software version, date, the record's span, rate and samples, the fitted figures with units and
// sigmas, each limit with pass or fail and the verdict); then a page per kind of channel with
// the Allan deviation and its fit and the noise density. Numbers in `locale`'s form. Needs a
// QGuiApplication (fonts).
QByteArray NoiseReportPdf(const RecordSummary& record,
                          const std::vector<analysis::ChannelNoise>& channels,
                          const NoiseLimits& limits, const QLocale& locale = QLocale());

}  // namespace vexa::report
