// Log runs over the simulated transports with all twelve channels: samples per second of a log
// run against the same reads without logging (goal: at least 90%), and the memory the line
// buffer takes against the bytes of text it holds (goal: at most 2 to 1). Both figures of one
// transport are measured back to back in the same benchmark, on the real clock; the parallel
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

#include <chrono>
#include <ctime>
#include <filesystem>

#include "app/app_context.h"
#include "app/delay.h"
#include "datalog/log_run.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "platform/sim/bus_monitor.h"
#include "platform/sim/sim_parallel_port.h"
#include "platform/sim/sim_sensor.h"
#include "platform/sim/sim_usb_card.h"
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
  state.counters["log_vs_reads"] = readSeconds / logSeconds;  // goal >= 0.90
  // The same without opening, writing, flushing to the disk and closing the file.
  state.counters["sampling_vs_reads"] = readSeconds / samplingSeconds;  // goal >= 0.90
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

BENCHMARK(BM_LogParallel)->Arg(400)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LogUsb)->Arg(200)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LogUsbSoftwareOnly)
    ->Arg(1000)
    ->Arg(20000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace vexa

BENCHMARK_MAIN();
