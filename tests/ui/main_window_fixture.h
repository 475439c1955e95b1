#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "sim/sim_parallel_port.h"
#include "sim/sim_usb_card.h"
#include "sim/spi_slave.h"
#include "support/sim_world.h"
#include "ui/main/frm_form1.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui::testing {

// A sensor reduced to its register words: a read frame asks for the word at its address, which
// the next frame shifts out; a write frame notes its address and byte.
class WordSensor : public sim::SpiSlave {
 public:
  // It answers PROD_ID (address 0x56) as a 27150 does, so the windows find a known sensor.
  explicit WordSensor(const RegisterTable& table) : table_(table) { words[0x56] = 27150; }

  uint16_t frameStart() override { return pending_; }
  void frameEnd(uint16_t mosi, int) override {
    ++frames;
    const uint8_t address = (mosi >> 8) & 0x7F;
    if (mosi & 0x8000) {
      writes.emplace_back(address, static_cast<uint8_t>(mosi & 0xFF));
      pending_ = 0;
    } else {
      pending_ = words[address];
    }
  }

  // The register's word as the sensor would send it for a raw value.
  void set(int16_t index, int32_t raw) {
    words[table_.BaseAddr[index] & 0x7F] = static_cast<uint16_t>(raw & 0xFFFF);
  }
  // The 16-bit value last written to a register, from its byte pair.
  int32_t written(int16_t index) const {
    const int base = table_.BaseAddr[index] & 0x7F;
    int32_t low = -1, high = 0;
    for (const auto& [a, b] : writes) {
      if (a == base) low = b;
      if (a == base + 1) high = b;
    }
    return low < 0 ? -1 : high * 256 + low;
  }
  int writesTo(int16_t index) const {
    int n = 0;
    for (const auto& w : writes) n += w.first == (table_.BaseAddr[index] & 0x7F);
    return n;
  }

  std::array<uint16_t, 128> words{};
  std::vector<std::pair<uint8_t, uint8_t>> writes;
  int frames = 0;

 private:
  const RegisterTable& table_;
  uint16_t pending_ = 0;
};

// Port access that notes how many frames the sensor had seen when access was asked for.
class OrderedPortAccess : public PortAccess {
 public:
  explicit OrderedPortAccess(const WordSensor& sensor) : sensor_(sensor) {}
  bool grant(uint16_t base, std::string& cause) override {
    grants.push_back({base, sensor_.frames});
    held = allow;
    heldBase = base;
    if (!allow) cause = "no access to /dev/parport0";
    return allow;
  }
  bool holds(uint16_t base) const override { return held && heldBase == base; }
  struct Grant {
    uint16_t base;
    int framesBefore;
  };
  std::vector<Grant> grants;
  bool allow = true;
  bool held = false;
  uint16_t heldBase = 0;

 private:
  const WordSensor& sensor_;
};

// The main window on virtual time, with the word sensor behind the simulated parallel port and,
// on demand, a simulated USB card in slot 0. Message boxes and modal windows are recorded.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : sensor(world.ctx.registers), access(sensor), usb(&world.clock) {
    world.ctx.platform.port = &port;
    world.ctx.platform.portAccess = &access;
    world.ctx.platform.usb = &usb;
    port.attach(&sensor);
    settings().Interface = kInterfaceParallel;
    settings().PortAddress = 0x378;
    settings().Device = 27150;
    world.system.version = OsVersion{2, 6.1f, 0};
    sensor.set(SUPPLY_OUT, 5000 / 2);  // ~5 V whatever the scale, plausible
    sensor.set(SENS_AVG, 0x0402);
  }
  ~MainWindowTest() override { form.reset(); }

  Settings& settings() { return world.ctx.settings; }
  AppContext& ctx() { return world.ctx; }

  sim::SimUsbCard& plugCard(int slot = 0) {
    sim::SimUsbCard& card = usb.plug(slot);
    card.attach(&sensor);
    return card;
  }

  // Creates the window and runs its load sequence.
  frmForm1& load() {
    form = std::make_unique<frmForm1>(world.ctx, presenter);
    form->Form_Load();
    return *form;
  }

  template <typename T>
  T* child(const QString& name) const {
    T* found = form->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QAction* menu(const char* name) const { return child<QAction>(name); }
  QPushButton* button(const char* name) const { return child<QPushButton>(name); }
  QLineEdit* edit(const QString& name) const { return child<QLineEdit>(name); }
  QLabel* label(const char* name) const { return child<QLabel>(name); }
  QCheckBox* check(const QString& name) const { return child<QCheckBox>(name); }
  QLineEdit* readOut(int i) const { return edit(QString("txtReadReg_%1").arg(i)); }
  QString readCaption() const { return button("cmdReadData")->text(); }

  // Runs `f` at the n-th pass over pending events from now (1 is the next).
  void atEventPass(int n, std::function<void()> f) {
    const int target = world.ui.eventPasses + n;
    world.ui.onProcessEvents = [this, target, f] {
      if (world.ui.eventPasses == target) f();
    };
  }

  std::vector<std::string> messages() const { return world.messages.texts(); }

  vexa::testing::SimWorld world;
  WordSensor sensor;
  sim::SimParallelPort port;
  OrderedPortAccess access;
  sim::SimUsbDriver usb;
  RecordingModalPresenter presenter;
  std::unique_ptr<frmForm1> form;
};

}  // namespace vexa::ui::testing
