// `vexa-cli noise` on a channel of 10 million samples: the Allan deviation, the five-term fit
// and the Welch noise density together, goal 3 s (ratio below 1 meets it); and, timed apart,
// reading those samples from a log file (no goal: it shows what the file costs beside them).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>

#include "analysis/log_file.h"
#include "analysis/noise_characterisation.h"
#include "analysis/record_series.h"
#include "sim/sensor_noise.h"

namespace vexa {
namespace {

constexpr double kNoiseGoalSeconds = 3.0;
constexpr size_t kSamples = 10'000'000;
constexpr double kInterval = 1.0 / 819.2;

// A still gyro as the simulation makes it: white, flicker and rate random walk.
std::vector<double> stillGyro() {
  sim::AxisNoise noise(0.4 / 60.0, 50.0 / 3600.0, 600.0 / 216000.0, 1);
  std::vector<double> y(kSamples);
  for (double& v : y) v = noise.next(kInterval);
  return y;
}

void BM_NoiseFitAndDensity10M(benchmark::State& state) {
  const auto y = stillGyro();
  for (auto _ : state) {
    const auto n = analysis::FitNoiseModel(y, kInterval, analysis::SensorKind::Gyro, "deg/sec");
    if (!n.model.ok || !n.density.whiteFound) state.SkipWithError("no model");
    benchmark::DoNotOptimize(n.curve.data());
  }
  state.counters["goal_s"] = kNoiseGoalSeconds;
  state.counters["ratio_to_goal"] =
      benchmark::Counter(double(state.iterations()) * kNoiseGoalSeconds,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_NoiseReadLog10M(benchmark::State& state) {
  const std::string path = "/tmp/vexa_bench_noise_1.csv";
  {
    const auto y = stillGyro();
    std::ofstream out(path, std::ios::binary);
    out << "File Name,vexa_bench_noise_1.csv\r\nDate,12/7/2026\r\nTime,10:00:00\r\n"
           "Begin Seconds,0\r\nEnd Seconds,"
        << kSamples * kInterval << "\r\n \r\nSample #,XgND,X Gryo,\r\n";
    char line[64];
    for (size_t i = 0; i < y.size(); ++i) {
      std::snprintf(line, sizeof line, "%zu,1,%.7g,\r\n", i + 1, y[i]);
      out << line;
    }
  }
  for (auto _ : state) {
    analysis::LogRecord record;
    analysis::LogError error;
    if (!analysis::ReadLogFiles({path}, record, error)) state.SkipWithError("unreadable");
    const auto series = analysis::SeriesForAnalysis(record, 0);
    benchmark::DoNotOptimize(series.values.data());
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_NoiseFitAndDensity10M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_NoiseReadLog10M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
