// Read passes per second of the main window's loop (twelve output reads, the status read, three
// strip charts with all nine traces, one pass over window events), over each simulated
// transport, on the offscreen platform. Beside it, the charts alone, to show that drawing is not
// what limits the loop.

#include <benchmark/benchmark.h>

#include <chrono>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/delay.h"
#include "platform/linux/linux_busy_loop.h"
#include "platform/linux/linux_clock.h"
#include "platform/sim/sim_parallel_port.h"
#include "platform/sim/sim_sensor.h"
#include "platform/sim/sim_usb_card.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "ui/main/frm_form1.h"
#include "ui/main/strip_chart.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {
namespace {

using Seconds = std::chrono::duration<double>;
constexpr int kPassesPerRun = 100;

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

struct Bench {
  Bench(int16_t interface, bool realWaits)
      : sensor(realWaits ? static_cast<Clock&>(realClock) : world.clock),
        usb(realWaits ? nullptr : &world.clock) {
    AppContext& ctx = world.ctx;
    port.attach(&sensor);
    usb.plug(0).attach(&sensor);
    ctx.platform.port = &port;
    ctx.platform.usb = &usb;
    ctx.platform.ui = &hooks;
    if (realWaits) {
      ctx.platform.clock = &realClock;
      ctx.platform.busy = &busy;
      CalibrateDelayQuickly(ctx, 0.05);
    }
    ctx.settings.Interface = interface;
    ctx.settings.PortAddress = 0x378;
    ctx.settings.Device = 27150;
    form = std::make_unique<frmForm1>(ctx, presenter);
    form->Form_Load();
    for (int i = 2; i <= 10; ++i)
      form->findChild<QCheckBox*>(QString("ckG_%1").arg(i))->setChecked(true);
    form->findChild<QLineEdit*>("txtLoopDelay")->setText("0");
    form->resize(1600, 1000);
    form->show();
    QCoreApplication::processEvents();
    hooks.stop = form->findChild<QPushButton*>("cmdReadData");
  }
  ~Bench() { form->hide(); }

  // One press of Read that runs the loop for `passes` passes.
  void run(int passes) {
    hooks.stopAt = hooks.passes + 1 + passes;  // the button's own event pass comes first
    hooks.stop->click();
  }

  testing::SimWorld world;
  linux_platform::LinuxClock realClock;
  linux_platform::LinuxBusyLoop busy;
  sim::SimSensor sensor;
  sim::SimParallelPort port{0x378};
  sim::SimUsbDriver usb;
  CountingHooks hooks;
  RecordingModalPresenter presenter;
  std::unique_ptr<frmForm1> form;
};

void readLoop(benchmark::State& state, int16_t interface, bool realWaits) {
  Bench bench(interface, realWaits);
  for (auto _ : state) bench.run(kPassesPerRun);
  state.counters["passes_per_s"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kPassesPerRun, benchmark::Counter::kIsRate);
}

// The parallel port with its 0.1 ms pause after every frame busy-waited on this processor, as
// on the bench.
void BM_LoopParallel(benchmark::State& state) {
  readLoop(state, kInterfaceParallel, true);
}
// The same with the pauses on virtual time: what the program itself costs per pass.
void BM_LoopParallelWaitsSkipped(benchmark::State& state) {
  readLoop(state, kInterfaceParallel, false);
}
// The USB card, bulk round trips on real time (nothing simulated waits).
void BM_LoopUsb(benchmark::State& state) {
  readLoop(state, kInterfaceUsb, true);
}
void BM_LoopUsbWaitsSkipped(benchmark::State& state) {
  readLoop(state, kInterfaceUsb, false);
}

// Three charts of three traces, one sample each, and the repaint that follows: the drawing
// share of one pass.
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

BENCHMARK(BM_LoopParallel)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoopParallelWaitsSkipped)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoopUsb)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LoopUsbWaitsSkipped)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ChartsOnly)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

}  // namespace
}  // namespace vexa::ui

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
