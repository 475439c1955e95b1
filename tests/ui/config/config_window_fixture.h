#pragma once

#include <utility>
#include <vector>

#include <QDialog>

#include "sim/bus_monitor.h"
#include "sim/sim_sensor.h"
#include "support/still_sensor.h"
#include "ui/dialog_probe.h"
#include "ui/main/attach_windows.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {

// The main window with its configuration windows attached, on virtual time, talking to the
// simulated sensor (still, without noise) through a bus monitor behind the parallel port.
class ConfigWindowTest : public MainWindowTest, protected DialogProbe {
 protected:
  ConfigWindowTest() : sim(world.clock, vexa::testing::StillSensor()), monitor(sim) {
    port.attach(&monitor);
  }

  void SetUp() override {
    load();
    AttachWindows(*form, ctx(), presenter);
    monitor.clear();
  }

  // Register writes seen on the bus since the last clear, as (register's low address, 16-bit
  // value) from each pair of write frames.
  std::vector<std::pair<int, int>> registerWrites() const {
    std::vector<uint16_t> w;
    for (const sim::BusFrame& f : monitor.frames())
      if (f.mosi & 0x8000) w.push_back(f.mosi);
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i + 1 < w.size(); i += 2) {
      const int a1 = (w[i] >> 8) & 0x7F, a2 = (w[i + 1] >> 8) & 0x7F;
      const int b1 = w[i] & 0xFF, b2 = w[i + 1] & 0xFF;
      out.emplace_back(std::min(a1, a2), a1 < a2 ? b2 * 256 + b1 : b1 * 256 + b2);
    }
    return out;
  }
  int readFrames() const {
    int n = 0;
    for (const sim::BusFrame& f : monitor.frames()) n += (f.mosi & 0x8000) == 0;
    return n;
  }
  int address(int16_t index) { return ctx().registers.BaseAddr[index]; }

  // Opens the window through `menuItem` and plays the user with `drive` while it is open.
  void open(const char* menuItem, std::function<void(QDialog&)> drive) {
    presenter.drive = std::move(drive);
    menu(menuItem)->trigger();
  }

  sim::SimSensor sim;
  sim::BusMonitor monitor;
};

}  // namespace vexa::ui::testing
