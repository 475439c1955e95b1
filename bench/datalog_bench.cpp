// Log runs over the simulated transports with all twelve channels: samples per second of a log
// run against the same reads without logging (goal: at least 95%), measured back to back in the
// same benchmark, on the real clock; the parallel
// port's 0.1 ms pause after every frame is busy-waited as on the bench. The USB card takes a
// full-speed card's bus time on the wall clock (kFullSpeedRequestSeconds per request, so 2 ms
// per register read), as a real one would; BM_LogUsbSoftwareOnly takes the card's bus time
// away to show the logging's own cost against reads that cost nothing else.
//
// log_vs_reads counts the whole run, including creating, writing, flushing to the disk (fsync)
// and closing the file; sampling_vs_reads only the stretch from the first sample to the last,
// which the file's Begin and End Seconds measure; log_vs_reads_cpu the whole run on this
// thread's processor time, which other programs on a busy machine do not disturb.

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/app_context.h"
#include "app/delay.h"
#include "datalog/log_run.h"
#include "platform/file_ops.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"

namespace vexa {
namespace {

using Seconds = std::chrono::duration<double>;

// A program on the real clock whose selected transport reaches the simulated sensor.
struct Bench {
  explicit Bench(int16_t interface, bool cardBusTime = true)
      : sensor(realClock), monitor(sensor), usb(nullptr) {
    monitor.setRecording(false);
    port.attach(&monitor);
    sim::SimUsbCardConfig card;
    card.pipe3PacketSize = 64;  // a full-speed card
    card.wallClockBusTime = cardBusTime;
    usb.plug(0, card).attach(&monitor);
    AppContext& ctx = world.ctx;
    ctx.platform.port = &port;
    ctx.platform.usb = &usb;
    ctx.platform.clock = &realClock;
    ctx.platform.busy = &busy;
    CalibrateDelayQuickly(ctx, 0.05);
    ctx.settings.Interface = interface;
    ctx.settings.PortAddress = 0x378;
    if (interface == kInterfaceUsb) FindUsbCard(ctx);
  }

  testing::SimWorld world;
  linux_platform::LinuxClock realClock;
  linux_platform::LinuxBusyLoop busy;
  sim::SimSensor sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
};

// Notes when the file's sampling began and when its last sample was taken: the stretch that
// the file's Begin and End Seconds measure, without opening, writing and closing the file.
// Processor time of this thread: what the work costs when other programs share the processor.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class TimingHost : public datalog::LogHost {
 public:
  bool cancelRequested() override { return false; }
  void fileStarted(int64_t) override { begin = std::chrono::steady_clock::now(); }
  void progress(const datalog::LogProgress&) override { end = std::chrono::steady_clock::now(); }
  double sampling() const { return Seconds(end - begin).count(); }
  std::chrono::steady_clock::time_point begin, end;
};

void logAgainstReads(benchmark::State& state, int16_t interface, int64_t samples,
                     bool cardBusTime = true) {
  Bench bench(interface, cardBusTime);
  AppContext& ctx = bench.world.ctx;
  datalog::ChannelList all;
  for (int16_t i = 1; i <= datalog::kChannelCount; ++i) all.push_back(i);
  datalog::LogSettings settings;
  settings.samplesPerFile = static_cast<double>(samples);
  settings.channels = all;
  settings.directory = bench.world.folder();
  settings.replaceExisting = true;  // each iteration writes the same names
  TimingHost host;

  double readSeconds = 0, logSeconds = 0, samplingSeconds = 0;
  double readCpu = 0, logCpu = 0;
  datalog::SampleValues values;
  for (auto _ : state) {
    double cpu = threadSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int64_t s = 0; s < samples; ++s) {
      datalog::ReadSampleByRegister(ctx, all, values);
      ctx.ui().processEvents();
      benchmark::DoNotOptimize(values.data());
    }
    readSeconds += Seconds(std::chrono::steady_clock::now() - start).count();
    readCpu += threadSeconds() - cpu;
    cpu = threadSeconds();

    start = std::chrono::steady_clock::now();
    datalog::LogRun run(ctx, settings, host);
    run.run();
    logSeconds += Seconds(std::chrono::steady_clock::now() - start).count();
    samplingSeconds += host.sampling();
    logCpu += threadSeconds() - cpu;
  }
  const double n = static_cast<double>(state.iterations() * samples);
  state.counters["reads_samples_per_s"] = n / readSeconds;
  state.counters["log_samples_per_s"] = n / logSeconds;
  state.counters["log_vs_reads"] = readSeconds / logSeconds;  // goal >= 0.95
  // The same without opening, writing, flushing to the disk and closing the file.
  state.counters["sampling_vs_reads"] = readSeconds / samplingSeconds;  // goal >= 0.95
  // The same on processor time, for a machine busy with other work.
  state.counters["log_vs_reads_cpu"] = readCpu / logCpu;
}

// The parallel port: 24 frames per sample, each followed by its 0.1 ms pause.
void BM_LogParallel(benchmark::State& state) {
  logAgainstReads(state, kInterfaceParallel, state.range(0));
}
// The USB card: two-word transfers through the card's pipes, at a full-speed card's pace.
void BM_LogUsb(benchmark::State& state) {
  logAgainstReads(state, kInterfaceUsb, state.range(0));
}
// The same card taking no time at all: the logging's own cost against the bare reads.
void BM_LogUsbSoftwareOnly(benchmark::State& state) {
  logAgainstReads(state, kInterfaceUsb, state.range(0), false);
}

// A disk on which every write and every sync takes 200 ms.
class SlowDisk : public FileOps {
 public:
  ssize_t write(int fd, const void* data, size_t length) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return FileOps::write(fd, data, length);
  }
  int sync(int fd) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return FileOps::sync(fd);
  }
};

// Notes the wall-clock time of every sample.
class IntervalHost : public datalog::LogHost {
 public:
  bool cancelRequested() override { return false; }
  void progress(const datalog::LogProgress&) override {
    times.push_back(std::chrono::steady_clock::now());
  }
  double percentile99() const {
    std::vector<double> gaps;
    for (size_t i = 1; i < times.size(); ++i)
      gaps.push_back(Seconds(times[i] - times[i - 1]).count());
    std::sort(gaps.begin(), gaps.end());
    return gaps.empty() ? 0 : gaps[std::min(gaps.size() - 1, gaps.size() * 99 / 100)];
  }
  std::vector<std::chrono::steady_clock::time_point> times;
};

// The 99th percentile of the time between consecutive samples of a 12-channel log over the
// parallel port, with every write and sync of the disk taking 200 ms, against the same run on
// the machine's disk: the sampling never waits for the disk (goal: within 5%).
void BM_LogSlowDisk(benchmark::State& state) {
  Bench bench(kInterfaceParallel);
  AppContext& ctx = bench.world.ctx;
  datalog::LogSettings settings;
  settings.samplesPerFile = static_cast<double>(state.range(0));
  for (int16_t i = 1; i <= datalog::kChannelCount; ++i) settings.channels.push_back(i);
  settings.directory = bench.world.folder();
  settings.replaceExisting = true;
  SlowDisk slow;
  double fast99 = 0, slow99 = 0;
  for (auto _ : state) {
    for (FileOps* disk : {&SystemFileOps(), static_cast<FileOps*>(&slow)}) {
      ctx.platform.files = disk;
      IntervalHost host;
      datalog::LogRun run(ctx, settings, host);
      run.run();
      (disk == &slow ? slow99 : fast99) += host.percentile99();
    }
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["p99_fast_disk_ms"] = fast99 / n * 1e3;
  state.counters["p99_slow_disk_ms"] = slow99 / n * 1e3;
  state.counters["slow_vs_fast_p99"] = slow99 / fast99;  // goal <= 1.05
}

// Values that change from sample to sample, without a bus: the memory of a run is the run's
// and the writer's, whatever the transport.
void syntheticSample(AppContext&, const datalog::ChannelList& channels,
                     datalog::SampleValues& values) {
  static thread_local uint32_t state = 1;
  values.resize(channels.size());
  for (auto& v : values) {
    state = state * 1664525u + 1013904223u;
    v.raw = static_cast<int32_t>(state >> 18) - 8192;
    v.scaled = static_cast<float>(v.raw) * 0.05f;
    v.newData = (state & 1) ? 32768 : 0;
  }
}

// Peak memory (maximum resident set) of a 12-channel run of S samples in a child process of its
// own, against the same child that only starts up (the program's own size), with a goal of 64
// MiB for the whole child.
void BM_LogPeakMemory(benchmark::State& state) {
  const int64_t samples = state.range(0);
  const auto child = [&](bool log) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      testing::SimWorld world;
      if (log) {
        datalog::LogSettings settings;
        settings.samplesPerFile = static_cast<double>(samples);
        for (int16_t i = 1; i <= datalog::kChannelCount; ++i) settings.channels.push_back(i);
        settings.directory = world.folder();
        linux_platform::LinuxClock clock;
        world.ctx.platform.clock = &clock;
        TimingHost host;
        datalog::LogRun run(world.ctx, settings, host);
        run.setSampleReader(syntheticSample);
        run.setSampleWait([](AppContext&, float) {});
        run.run();
      }
      ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // MiB
  };
  double peak = 0, startUp = 0;
  for (auto _ : state) {
    startUp = child(false);
    peak = child(true);
  }
  state.counters["startup_MiB"] = startUp;
  state.counters["peak_MiB"] = peak;
  state.counters["peak_vs_goal"] = peak / 64.0;  // goal <= 1
}

// Bytes written through the file operations per byte of the published files, for 12-channel
// runs of S samples on the real clock: the partial is published where it was written, with its
// header completed in place, except where the end's seconds, date or time are longer or shorter
// than the start's and the file is copied once (goal: 1.0; a copy of every file gave 2.0).
class CountingDisk : public FileOps {
 public:
  ssize_t write(int fd, const void* data, size_t length) override {
    const ssize_t n = FileOps::write(fd, data, length);
    if (n > 0) bytes += static_cast<size_t>(n);
    return n;
  }
  ssize_t writeAt(int fd, const void* data, size_t length, off_t offset) override {
    const ssize_t n = FileOps::writeAt(fd, data, length, offset);
    if (n > 0) bytes += static_cast<size_t>(n);
    return n;
  }
  std::atomic<size_t> bytes{0};
};

void BM_LogWritesPerPublishedByte(benchmark::State& state) {
  testing::SimWorld world;
  linux_platform::LinuxClock clock;
  world.ctx.platform.clock = &clock;
  CountingDisk disk;
  world.ctx.platform.files = &disk;
  datalog::LogSettings settings;
  settings.samplesPerFile = static_cast<double>(state.range(0));
  for (int16_t i = 1; i <= datalog::kChannelCount; ++i) settings.channels.push_back(i);
  settings.directory = world.folder();
  settings.replaceExisting = true;
  double written = 0, published = 0, copied = 0;
  for (auto _ : state) {
    const size_t before = disk.bytes;
    TimingHost host;
    datalog::LogRun run(world.ctx, settings, host);
    run.setSampleReader(syntheticSample);
    run.setSampleWait([](AppContext&, float) {});
    const datalog::LogResult result = run.run();
    for (const std::string& path : result.filesWritten) {
      const double size = static_cast<double>(std::filesystem::file_size(path));
      const double bytes = static_cast<double>(disk.bytes - before);
      written += bytes;
      published += size;
      if (bytes > 1.5 * size) ++copied;
    }
  }
  state.counters["writes_per_published_byte"] = written / published;  // goal 1.0
  state.counters["files_copied_share"] = copied / static_cast<double>(state.iterations());
}

BENCHMARK(BM_LogParallel)->Arg(400)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LogUsb)->Arg(200)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LogUsbSoftwareOnly)
    ->Arg(1000)
    ->Arg(20000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK(BM_LogSlowDisk)->Arg(1500)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LogWritesPerPublishedByte)
    ->Arg(100000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);
BENCHMARK(BM_LogPeakMemory)
    ->Arg(10000000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
