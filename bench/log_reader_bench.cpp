// The peak memory of `vexa-cli stats` on a log of 10 million lines of one channel (about 224 MB),
// against its goal: 1.5 times the values kept as doubles (76.3 MiB) above the program's own
// start-up size, which is measured in the same run as `vexa-cli stats` of a three-line log.
// Each run is a child process: its peak resident size comes from wait4, its wall clock from the
// steady clock around it. A ratio below 1 meets the goal.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sensor_random.h"

namespace vexa {
namespace {

constexpr long kLines = 10'000'000;
constexpr double kGoalShareOfValues = 1.5;
constexpr double kMiB = 1024.0 * 1024.0;

struct ChildRun {
  double peakMiB = 0.0;
  double seconds = 0.0;
  int status = -1;
};

// Runs vexa-cli with `args`, its output thrown away.
ChildRun runCli(const std::string& file) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(VEXA_CLI_PATH, "vexa-cli", "stats", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ChildRun r;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peakMiB = double(usage.ru_maxrss) * 1024.0 / kMiB;  // ru_maxrss is in KiB
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A log as the datalog writes it: seven header lines, then "n,1,value," per line, CR LF.
void writeLog(const std::string& path, long lines) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fprintf(f,
               "File Name,BENCH_1.csv\r\nDate,12/7/2026\r\nTime,1:00:00 PM\r\n"
               "Begin Seconds,3600\r\nEnd Seconds,%.7g\r\n \r\nSample #,XgND,X Gryo,\r\n",
               3600.0 + double(lines) / 819.2);
  sim::SensorRandom random(5);
  for (long n = 1; n <= lines; ++n)
    std::fprintf(f, "%ld,1,%.7g,\r\n", n, 0.1 + 0.3 * random.gaussian());
  std::fclose(f);
}

void BM_StatsPeakMemory10M(benchmark::State& state) {
  char folder[] = "/tmp/vexa-bench-XXXXXX";
  if (!mkdtemp(folder)) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string big = std::string(folder) + "/BENCH_1.csv";
  const std::string tiny = std::string(folder) + "/TINY_1.csv";
  writeLog(big, kLines);
  writeLog(tiny, 3);
  ChildRun startup, stats;
  for (auto _ : state) {
    startup = runCli(tiny);
    stats = runCli(big);
    state.SetIterationTime(stats.seconds);
  }
  std::remove(big.c_str());
  std::remove(tiny.c_str());
  rmdir(folder);
  if (startup.status != 0 || stats.status != 0) {
    state.SkipWithError("vexa-cli stats failed");
    return;
  }
  const double valuesMiB = double(kLines) * sizeof(double) / kMiB;
  const double goalMiB = startup.peakMiB + kGoalShareOfValues * valuesMiB;
  state.counters["startup_MiB"] = startup.peakMiB;
  state.counters["values_MiB"] = valuesMiB;
  state.counters["peak_MiB"] = stats.peakMiB;
  state.counters["goal_MiB"] = goalMiB;
  state.counters["ratio_to_goal"] = stats.peakMiB / goalMiB;
  state.counters["above_startup_per_values"] = (stats.peakMiB - startup.peakMiB) / valuesMiB;
  state.counters["wall_s"] = stats.seconds;
}

}  // namespace
}  // namespace vexa

BENCHMARK(vexa::BM_StatsPeakMemory10M)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

BENCHMARK_MAIN();
