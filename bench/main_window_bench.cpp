// The main window's read loop at loop delay 0 with all nine traces on, over each simulated
// transport, in wall-clock time, against the rate the transport allows: the same thirteen
// register reads a pass makes (twelve outputs and the status), with nothing else, timed in the
// same run and in alternation with the loop. Goal: the loop reaches at least 95% of that rate.
// The parallel port waits its 0.1 ms after every frame on this processor; the USB card is a
// full-speed one whose bus time (kFullSpeedRoundTripSeconds per read) passes on the wall clock.
//
// Beside them: the whole software cost of a pass (reads, read-outs, charts, status, event pass)
// with every wait on virtual time, the charts alone, and the memory of a minute of looping
// (VEXA_BENCH_MEMORY_SECONDS sets another length), which must stay flat.

#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "qt_benchmark_main.h"
#include "registers/register_access.h"
#include "sim_bench_world.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "ui/main/frm_form1.h"
#include "ui/main/strip_chart.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {
namespace {

using Clock = std::chrono::steady_clock;

// Processor time of this thread: on a machine shared with other work, a figure that the other
// work does not stretch.
double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}
using Seconds = std::chrono::duration<double>;
constexpr double kGoal = 0.95;

// The window system's event pass, counting passes and pressing STOP after a number of them.
class CountingHooks : public UiHooks {
 public:
  void processEvents() override {
    QCoreApplication::processEvents();
    if (++passes == stopAt && stop) stop->click();
  }
  void setWaitCursor(bool) override {}
  int passes = 0;
  int stopAt = -1;
  QPushButton* stop = nullptr;
};

struct Bench : SimBenchWorld<> {
  Bench(int16_t interface, bool realWaits) : SimBenchWorld(interface, realWaits) {
    AppContext& ctx = world.ctx;
    ctx.platform.ui = &hooks;
    ctx.settings.Device = 27150;
    form = std::make_unique<frmForm1>(ctx, presenter);
    form->Form_Load();
    for (int i = 2; i <= 10; ++i)
      form->findChild<QCheckBox*>(QString("ckG_%1").arg(i))->setChecked(true);
    form->findChild<QLineEdit*>("txtLoopDelay")->setText("0");
    form->resize(1280, 820);
    form->show();
    QCoreApplication::processEvents();
    hooks.stop = form->findChild<QPushButton*>("cmdReadData");
  }
  ~Bench() { form->hide(); }

  // One press of Read that runs the loop for `passes` passes; its wall time.
  double loop(int passes) {
    const auto start = Clock::now();
    hooks.stopAt = hooks.passes + 1 + passes;  // the button's own event pass comes first
    hooks.stop->click();
    return Seconds(Clock::now() - start).count();
  }
  // The transport's share of `passes` passes alone: the same register reads, nothing else.
  double transportOnly(int passes) {
    const auto start = Clock::now();
    for (int p = 0; p < passes; ++p) {
      for (int16_t i = 1; i <= frmForm1::kReadOuts; ++i) ReadRegister(world.ctx, i);
      ReadRegister(world.ctx, STATUS);
    }
    return Seconds(Clock::now() - start).count();
  }

  CountingHooks hooks;
  RecordingModalPresenter presenter;
  std::unique_ptr<frmForm1> form;
};

// Loop and transport alone in alternation, so that a change in the machine's load falls on both.
void loopAgainstTransport(benchmark::State& state, int16_t interface) {
  const int passes = static_cast<int>(state.range(0));
  Bench bench(interface, true);
  double loopSeconds = 0, transportSeconds = 0, loopCpu = 0, transportCpu = 0;
  for (auto _ : state) {
    double cpu = threadCpuSeconds();
    transportSeconds += bench.transportOnly(passes);
    transportCpu += threadCpuSeconds() - cpu;
    cpu = threadCpuSeconds();
    const double s = bench.loop(passes);
    loopCpu += threadCpuSeconds() - cpu;
    loopSeconds += s;
    state.SetIterationTime(s);
  }
  const double n = static_cast<double>(state.iterations()) * passes;
  const double loopRate = n / loopSeconds;
  const double transportRate = n / transportSeconds;
  state.counters["loop_passes_per_s"] = loopRate;
  state.counters["transport_passes_per_s"] = transportRate;
  state.counters["ratio"] = loopRate / transportRate;
  state.counters["goal"] = kGoal;
  state.counters["meets_goal"] = loopRate / transportRate >= kGoal ? 1 : 0;
  // What the window adds to a pass in processor time, beside the reads' own.
  state.counters["cpu_us_per_pass_window"] = (loopCpu - transportCpu) / n * 1e6;
  state.counters["cpu_us_per_pass_reads"] = transportCpu / n * 1e6;
  if (interface == kInterfaceUsb)
    state.counters["bus_bound_passes_per_s"] = 1.0 / (13 * sim::kFullSpeedRoundTripSeconds);
}

void BM_LoopParallel(benchmark::State& state) {
  loopAgainstTransport(state, kInterfaceParallel);
}
void BM_LoopUsb(benchmark::State& state) {
  loopAgainstTransport(state, kInterfaceUsb);
}

// Every wait on virtual time: the whole software cost of one pass, read-outs and charts included.
// Beside it, the same reads alone, so the difference is what the window adds to a pass.
void softwareCost(benchmark::State& state, int16_t interface) {
  Bench bench(interface, false);
  constexpr int kPasses = 100;
  double seconds = 0, transportSeconds = 0;
  for (auto _ : state) {
    transportSeconds += bench.transportOnly(kPasses);
    const double s = bench.loop(kPasses);
    seconds += s;
    state.SetIterationTime(s);
  }
  const double n = static_cast<double>(state.iterations()) * kPasses;
  state.counters["passes_per_s"] = n / seconds;
  state.counters["us_per_pass"] = seconds / n * 1e6;
  state.counters["us_per_pass_reads_alone"] = transportSeconds / n * 1e6;
  state.counters["us_per_pass_window"] = (seconds - transportSeconds) / n * 1e6;
}
void BM_PassSoftwareCostParallel(benchmark::State& state) {
  softwareCost(state, kInterfaceParallel);
}
void BM_PassSoftwareCostUsb(benchmark::State& state) {
  softwareCost(state, kInterfaceUsb);
}

// Three charts of three traces, one sample each, and the event pass that follows.
void BM_ChartsOnly(benchmark::State& state) {
  QWidget window;
  std::array<StripChart*, 3> charts{};
  auto* layout = new QVBoxLayout(&window);
  for (auto*& c : charts) layout->addWidget(c = new StripChart(&window));
  window.resize(1100, 900);
  window.show();
  QCoreApplication::processEvents();
  double high = 400, low = -400;
  int n = 0;
  for (auto _ : state) {
    const float v = static_cast<float>((n++ % 97) * 8 - 388);
    for (auto* c : charts) c->addSample({v, -v, v / 2}, {true, true, true}, high, low);
    QCoreApplication::processEvents();
  }
  state.counters["passes_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// One frame of the loop as the screen sees it: a strip of each of the three charts repainted
// and flushed, and the twelve read-outs rewritten.
void BM_RepaintFrame(benchmark::State& state) {
  Bench bench(kInterfaceParallel, false);
  std::array<StripChart*, 3> charts{};
  for (int c = 0; c < 3; ++c)
    charts[c] = bench.form->findChild<StripChart*>(QString("pic%1").arg(c + 1));
  std::array<QLineEdit*, 12> readOuts{};
  for (int i = 0; i < 12; ++i)
    readOuts[i] = bench.form->findChild<QLineEdit*>(QString("txtReadReg_%1").arg(i + 1));
  int n = 0;
  const bool withReadOuts = state.range(0) != 0;
  for (auto _ : state) {
    for (auto* c : charts) {
      const QRectF plot = c->plotRect();
      c->repaint(QRectF(plot.left() + (n % 300), plot.top(), 12, plot.height()).toAlignedRect());
    }
    if (withReadOuts) {
      for (auto* r : readOuts) r->setText(QString::number(n % 1000) + ".25");
      QCoreApplication::processEvents();
    }
    ++n;
  }
}

double residentMegabytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// Resident memory after a warm-up and after a minute of looping on the wall clock.
void memoryOverAMinute(benchmark::State& state, int16_t interface) {
  const char* env = std::getenv("VEXA_BENCH_MEMORY_SECONDS");
  const double seconds = env != nullptr ? std::atof(env) : 60.0;
  Bench bench(interface, true);
  for (auto _ : state) {
    const auto warmUpEnd = Clock::now() + Seconds(std::min(5.0, seconds / 6));
    while (Clock::now() < warmUpEnd) bench.loop(50);
    const double start = residentMegabytes();
    const auto end = Clock::now() + Seconds(seconds);
    int64_t passes = 0;
    while (Clock::now() < end) {
      bench.loop(50);
      passes += 50;
    }
    const double finish = residentMegabytes();
    state.counters["rss_start_mb"] = start;
    state.counters["rss_end_mb"] = finish;
    state.counters["growth_mb_per_min"] = (finish - start) * 60.0 / seconds;
    state.counters["passes"] = static_cast<double>(passes);
  }
}
void BM_MemoryOverAMinuteParallel(benchmark::State& state) {
  memoryOverAMinute(state, kInterfaceParallel);
}
void BM_MemoryOverAMinuteUsb(benchmark::State& state) {
  memoryOverAMinute(state, kInterfaceUsb);
}

BENCHMARK(BM_LoopParallel)->Arg(200)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseManualTime();
BENCHMARK(BM_LoopUsb)->Arg(20)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseManualTime();
BENCHMARK(BM_PassSoftwareCostParallel)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseManualTime();
BENCHMARK(BM_PassSoftwareCostUsb)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseManualTime();
BENCHMARK(BM_RepaintFrame)
    ->ArgName("readouts")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_ChartsOnly)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_MemoryOverAMinuteParallel)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_MemoryOverAMinuteUsb)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace vexa::ui

VEXA_QT_BENCHMARK_MAIN();
