// The Log Viewer's two heavy jobs, each set against its goal as a ratio (below 1 meets it):
// - the overlapping Allan deviation of 10 million samples at all octave cluster times (1 to a
//   tenth of the record: 20 cluster times), goal 2 s on the worker thread;
// - one redraw of the time plot showing a whole channel of a million samples, goal 30 ms.
// Beside them, reading a log file of a million samples (no goal; it shows what opening costs).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "analysis/allan_deviation.h"
#include "analysis/log_file.h"
#include "sim/sensor_random.h"
#include "qt_benchmark_main.h"
#include "ui/analysis/log_plot.h"

namespace vexa {
namespace {

constexpr double kAllanGoalSeconds = 2.0;
constexpr double kRedrawGoalSeconds = 0.030;

std::vector<double> noise(size_t n) {
  sim::SensorRandom random(1);
  std::vector<double> y(n);
  for (double& v : y) v = 0.3 + 0.05 * random.gaussian();
  return y;
}

void BM_AllanDeviation10M(benchmark::State& state) {
  const auto y = noise(10'000'000);
  size_t points = 0;
  for (auto _ : state) {
    const auto curve = analysis::OverlappingAllanDeviation(y, 0.001);
    points = curve.size();
    benchmark::DoNotOptimize(curve.data());
  }
  state.counters["cluster_times"] = double(points);
  state.counters["goal_s"] = kAllanGoalSeconds;
  state.counters["ratio_to_goal"] =
      benchmark::Counter(double(state.iterations()) * kAllanGoalSeconds,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_LogPlotRedraw1M(benchmark::State& state) {
  const auto y = noise(1'000'000);
  ui::LogPlot plot;
  plot.resize(1000, 420);
  plot.setSeries({{"X Gryo", "deg/sec", &y, 0.001, QColor(38, 94, 160)}});
  QImage image(1000, 420, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    plot.render(painter, image.rect());
  }
  state.counters["goal_ms"] = kRedrawGoalSeconds * 1000;
  state.counters["ratio_to_goal"] =
      benchmark::Counter(double(state.iterations()) * kRedrawGoalSeconds,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ReadLog1M(benchmark::State& state) {
  const std::string path = "/tmp/vexa_bench_log_1.csv";
  {
    const auto y = noise(1'000'000);
    std::ofstream out(path, std::ios::binary);
    out << "File Name,vexa_bench_log_1.csv\r\nDate,12/7/2026\r\nTime,10:00:00\r\n"
           "Begin Seconds,36000\r\nEnd Seconds,37000\r\n \r\nSample #,XgND,X Gryo,\r\n";
    char line[64];
    for (size_t i = 0; i < y.size(); ++i) {
      std::snprintf(line, sizeof line, "%zu,1,%.7g,\r\n", i + 1, y[i]);
      out << line;
    }
  }
  for (auto _ : state) {
    analysis::LogRecord record;
    analysis::LogError error;
    if (!analysis::ReadLogFile(path, record, error)) state.SkipWithError("unreadable");
    benchmark::DoNotOptimize(record.channels.data());
  }
  std::remove(path.c_str());
}

BENCHMARK(BM_AllanDeviation10M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_LogPlotRedraw1M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ReadLog1M)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

}  // namespace
}  // namespace vexa

VEXA_QT_BENCHMARK_MAIN();
