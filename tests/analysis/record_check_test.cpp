#include "analysis/record_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "support/noise_records.h"

namespace vexa::analysis {
namespace {

using noise_records::NoiseTruth;

constexpr double kTau0 = 0.02;
constexpr size_t kSamples = 180000;  // an hour at 50 Hz
constexpr double kPi = 3.14159265358979323846;

std::vector<RecordFinding> check(const std::vector<double>& y,
                                 const std::string& units = "deg/sec") {
  return CheckChannelStill(y, kTau0, OverlappingAllanDeviation(y, kTau0), units, "X Gyro");
}

// Noise at rest, of every kind the model knows, strong or faint, is never taken for a motion.
TEST(RecordCheck, PassesRecordsAtRest) {
  const NoiseTruth truths[] = {
      {0, 0.02, 0, 0, 0},       {0.002, 0.02, 0, 4e-4, 0}, {0, 0.02, 0.01, 4e-4, 0},
      {0, 0.02, 0, 4e-4, 1e-6}, {0, 0.002, 0, 2e-3, 0},    {0.01, 0.002, 0, 0, 0},
      {0, 0.002, 0.05, 0, 0},
  };
  for (const NoiseTruth& t : truths)
    for (uint64_t seed = 1; seed <= 4; ++seed) {
      const auto findings = check(noise_records::NoiseRecord(t, kTau0, kSamples, seed));
      EXPECT_TRUE(findings.empty()) << "N " << t.N << " K " << t.K << " B " << t.B << " seed "
                                    << seed << ": " << (findings.empty() ? "" : findings[0].reason);
    }
}

// Each way a record fails to be still, laid over white noise, gives its own reason.
TEST(RecordCheck, NamesEachWayARecordIsNotStill) {
  struct Case {
    const char* name;
    std::function<double(double t)> motion;
    RecordFault fault;
  };
  const Case cases[] = {
      {"a 90 degree turn", [](double t) { return t > 1000 && t < 1009 ? 10.0 : 0.0; },
       RecordFault::Motion},
      {"rocking", [](double t) { return 2.0 * std::sin(2 * kPi * t / 10.0); },
       RecordFault::Rocking},
      {"a step", [](double t) { return t > 1800 ? 0.1 : 0.0; }, RecordFault::Step},
      {"a turning table", [](double) { return 15.0; }, RecordFault::FarFromBias},
  };
  for (const Case& c : cases) {
    auto y = noise_records::NoiseRecord({0, 0.02, 0, 0, 0}, kTau0, kSamples, 3);
    for (size_t i = 0; i < y.size(); ++i) y[i] += c.motion(double(i) * kTau0);
    const auto findings = check(y);
    ASSERT_FALSE(findings.empty()) << c.name;
    EXPECT_EQ(findings[0].fault, c.fault) << c.name << ": " << findings[0].reason;
    EXPECT_EQ(findings[0].channel, "X Gyro");
  }
  // Constant within the log's seven digits, whatever the level.
  for (const double level : {0.0, 1.0, -3.25e4}) {
    std::vector<double> y(kSamples, level);
    y[100] = level * (1 + 1e-7);
    const auto findings = check(y, "g");
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].fault, RecordFault::Constant);
    EXPECT_NE(findings[0].reason.find("values do not change"), std::string::npos);
  }
}

TEST(RecordCheck, FindsTimeMissingBetweenASessionsFiles) {
  LogRecord r;
  r.sampleInterval = 0.01;
  const auto file = [](const char* name, double begin, double end) {
    LogFileInfo f;
    f.fileName = name;
    f.beginSeconds = begin;
    f.endSeconds = end;
    return f;
  };
  // Back to back, through midnight too: no gap.
  r.files = {file("a_1.csv", 100, 3700), file("a_2.csv", 3700.01, 7300),
             file("a_3.csv", 7300.02, 86399), file("a_4.csv", 0.3, 100)};
  EXPECT_TRUE(CheckRecordFiles(r).empty());
  // An hour missing between the second and the third; and across midnight.
  r.files[2].beginSeconds = 10900;
  r.files[3].beginSeconds = 3600;
  const auto findings = CheckRecordFiles(r);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].fault, RecordFault::Gap);
  EXPECT_NE(findings[0].reason.find("3600 s between a_2.csv and a_3.csv"), std::string::npos)
      << findings[0].reason;
  EXPECT_NE(findings[1].reason.find("3601 s"), std::string::npos) << findings[1].reason;
}

}  // namespace
}  // namespace vexa::analysis
