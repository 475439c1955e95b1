#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

#include "sim/bus_monitor.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "registers/register_access.h"
#include "support/sim_world.h"
#include "support/still_sensor.h"
#include "ui/dialog_probe.h"
#include "ui/main/attach_windows.h"
#include "ui/main/frm_form1.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui::testing {

// A still simulated sensor (no motion, noise or drift) behind a bus monitor, reached by the
// pin-level parallel port and by a simulated USB card in slot 0; the main window with every
// window attached, on virtual time. Message boxes and modal windows are recorded.
class ConfigWindowsTest : public ::testing::Test, protected DialogProbe {
 protected:
  ConfigWindowsTest()
      : sensor(world.clock, vexa::testing::StillSensor()), monitor(sensor), usb(&world.clock) {
    port.attach(&monitor);
    card = &usb.plug(0);
    card->attach(&monitor);
    world.ctx.platform.port = &port;
    world.ctx.platform.usb = &usb;
    world.ctx.settings.Interface = kInterfaceParallel;
    world.ctx.settings.PortAddress = 0x378;
    world.ctx.settings.Device = 27150;
    world.system.version = OsVersion{2, 6.1f, 0};
  }
  ~ConfigWindowsTest() override { form.reset(); }

  AppContext& ctx() { return world.ctx; }

  // Creates the main window with its windows attached, loads it and forgets its traffic.
  frmForm1& load() {
    form = std::make_unique<frmForm1>(world.ctx, presenter);
    AttachWindows(*form, world.ctx, presenter);
    form->Form_Load();
    monitor.clear();
    world.messages.shown.clear();
    return *form;
  }

  // Opens a window from a main-window menu item and lets `drive` play the user in it.
  void open(const char* menuItem, std::function<void(QDialog&)> drive) {
    presenter.drive = std::move(drive);
    QAction* action = form->findChild<QAction*>(menuItem);
    ASSERT_NE(action, nullptr) << menuItem;
    action->trigger();
  }

  // Typing into a field; clicking a button or an option.
  static void type(QDialog& d, const QString& name, const QString& typed) {
    in<QLineEdit>(d, name)->setText(typed);
  }
  static void click(QDialog& d, const QString& name) { in<QAbstractButton>(d, name)->click(); }

  // Register words written since the last clear, in order, as (address, byte) frames.
  std::vector<uint16_t> writeFrames() const {
    std::vector<uint16_t> out;
    for (const auto& f : monitor.frames())
      if (f.mosi & 0x8000) out.push_back(f.mosi);
    return out;
  }
  uint16_t peek(int16_t index) const { return sensor.peekRegister(index); }
  void poke(int16_t index, int32_t value) { WriteRegister(world.ctx, index, value); }

  vexa::testing::SimWorld world;
  sim::SimSensor sensor;
  sim::BusMonitor monitor;
  sim::SimParallelPort port;
  sim::SimUsbDriver usb;
  sim::SimUsbCard* card = nullptr;
  RecordingModalPresenter presenter;
  std::unique_ptr<frmForm1> form;
};

}  // namespace vexa::ui::testing
