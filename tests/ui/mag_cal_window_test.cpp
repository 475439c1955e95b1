// The magnetometer calibration window against the simulated sensor on virtual time, and how
// the main window opens it.

#include <QMenu>

#include "sim/sim_bench.h"
#include "sim/sim_sensor.h"
#include "ui/analysis/frm_mag_cal.h"
#include "ui/main/attach_windows.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

// The default simulated module behind the parallel port, on a bench that tumbles when asked.
class MagCalWindow : public ::testing::Test {
 protected:
  MagCalWindow() : world(1e-6), sensor(world.clock), port(0x378), bench(sensor) {
    port.attach(&sensor);
    world.ctx.platform.port = &port;
    world.ctx.platform.bench = &bench;
    world.ctx.settings.Interface = kInterfaceParallel;
    world.ctx.settings.PortAddress = 0x378;
    window = std::make_unique<frmMagCal>(world.ctx);
    window->Form_Load();
    window->show();
  }

  template <typename T>
  T* child(const char* name) const {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QPushButton* button(const char* name) const { return child<QPushButton>(name); }
  QString text(const char* name) const { return child<QLabel>(name)->text(); }
  double percent(const char* name) const {
    return QLocale().toDouble(text(name).section(' ', 0, 0));
  }

  // Presses Start, plays the user turning the module, and presses Stop after `seconds`.
  void collectFor(double seconds) {
    const double stopAt = world.clock.monotonicSeconds() + seconds;
    world.ui.onProcessEvents = [this, stopAt] {
      EXPECT_TRUE(sensor.tumbling());
      if (world.clock.monotonicSeconds() >= stopAt && window->collecting())
        button("cmdCollect")->click();
    };
    button("cmdCollect")->click();
    world.ui.onProcessEvents = nullptr;
  }

  int hardIron(int axis) const {
    const int v = sensor.peekRegister(static_cast<int16_t>(XMAGN_HIF + axis));
    return (v & 0x2000) ? v - 0x4000 : v;
  }

  vexa::testing::SimWorld world;
  sim::SimSensor sensor;
  sim::SimParallelPort port;
  sim::SimBench bench;
  std::unique_ptr<frmMagCal> window;
};

TEST_F(MagCalWindow, CollectsAppliesVerifiesStoresAndReverts) {
  EXPECT_EQ(window->windowTitle(), "Magnetometer Calibration");
  EXPECT_FALSE(button("cmdApply")->isEnabled()) << "nothing to apply yet";
  EXPECT_EQ(text("lblOpened_1"), "0x0000  " + QLocale().toString(0.0, 'f', 1) + " mG");

  collectFor(60);
  EXPECT_FALSE(sensor.tumbling());
  EXPECT_EQ(button("cmdCollect")->text(), "Start");
  EXPECT_GT(percent("lblCoverage"), 80.0);
  EXPECT_LT(percent("lblResidual"), 0.5);
  EXPECT_EQ(text("lblQuality"), "Good enough to apply.");
  ASSERT_TRUE(button("cmdApply")->isEnabled());
  const analysis::MagCorrections derived = window->result().derived;

  button("cmdApply")->click();  // writes, rereads, then a 10-second check while tumbling
  for (int a = 0; a < 3; ++a) {
    EXPECT_EQ(hardIron(a), derived.hardIron[a]) << a;
    EXPECT_EQ(sensor.peekRegister(static_cast<int16_t>(XMAGN_SIF + a)), derived.softIron[a]);
  }
  EXPECT_EQ(window->inSensor(), derived);
  EXPECT_TRUE(text("lblVerification").startsWith("The correction improved the field"))
      << text("lblVerification").toStdString();
  EXPECT_GT(percent("lblSpreadBefore"), 4.0);
  EXPECT_LT(percent("lblSpreadAfter"), 0.5);
  // The cloud is now the one read through the new corrections: nothing more to correct.
  for (int a = 0; a < 3; ++a)
    EXPECT_NEAR(window->result().derived.hardIron[a], derived.hardIron[a], 2);
  // One verdict: the short check pass's coverage is described, not judged.
  EXPECT_TRUE(text("lblQuality").startsWith("The figures above describe the 10-second check"))
      << text("lblQuality").toStdString();
  EXPECT_FALSE(text("lblQuality").contains("coverage", Qt::CaseInsensitive));

  button("cmdFlash")->click();
  EXPECT_EQ(sensor.peekRegister(ENDURANCE), 1);

  button("cmdRevert")->click();
  EXPECT_EQ(window->inSensor(), window->opened());
  EXPECT_EQ(hardIron(0), 0);
  EXPECT_EQ(sensor.peekRegister(XMAGN_SIF), 2048);
  // The collected cloud is back, so its fit can be applied again without collecting again.
  EXPECT_GT(window->samples().samples().size(), 1000u);
  EXPECT_EQ(text("lblVerification"), "");
  ASSERT_TRUE(button("cmdApply")->isEnabled());
  EXPECT_EQ(window->result().derived, derived);
  button("cmdApply")->click();
  EXPECT_EQ(window->inSensor(), derived);
  EXPECT_TRUE(text("lblVerification").startsWith("The correction improved the field"));
}

TEST_F(MagCalWindow, ClosingWhileCollectingEndsTheLoopFirst) {
  int passes = 0;
  world.ui.onProcessEvents = [this, &passes] {
    if (++passes == 5) window->close();
  };
  button("cmdCollect")->click();
  EXPECT_EQ(passes, 5) << "the loop ended at the close";
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->collecting());
  EXPECT_FALSE(sensor.tumbling());
}

TEST_F(MainWindowTest, ConfigurationMenuOpensTheMagnetometerCalibration) {
  load();
  AttachWindows(*form, ctx(), presenter);
  QMenu* configuration = form->findChild<QMenu*>("mnuConfiguration");
  ASSERT_NE(configuration, nullptr);
  EXPECT_EQ(configuration->actions().at(3)->objectName(), "mnuMagCal");
  EXPECT_EQ(configuration->actions().at(3)->text(), "Magnetometer Calibration");

  menu("mnuMagCal")->trigger();
  EXPECT_EQ(presenter.presented, std::vector<std::string>{"frmMagCal"});

  settings().Interface = kInterfaceNone;
  menu("mnuMagCal")->trigger();
  EXPECT_EQ(presenter.presented.size(), 1u) << "not without an interface";
  EXPECT_EQ(messages().back(), "Please select an interface first");
}

TEST_F(MainWindowTest, MagnetometerCalibrationWarnsWhenNoKnownSensorAnswers) {
  load();
  AttachWindows(*form, ctx(), presenter);
  for (const uint16_t productId : {uint16_t{0x0000}, uint16_t{0xFFFF}, uint16_t{27150}}) {
    sensor.words[0x56] = productId;
    world.messages.shown.clear();
    menu("mnuMagCal")->trigger();
    const bool warned = !messages().empty() && messages().back().rfind("PROD_ID reads", 0) == 0;
    EXPECT_EQ(warned, productId != 27150) << productId;
  }
}

TEST_F(MainWindowTest, CalibrationWindowOpensTheAssistantFromItsMagnetometersBlock) {
  load();
  AttachWindows(*form, ctx(), presenter);
  presenter.drive = [](QDialog& d) {
    if (d.objectName() == "fmCalibration") {
      auto* assistant = d.findChild<QPushButton*>("cmdMagAssistant");
      ASSERT_NE(assistant, nullptr);
      EXPECT_TRUE(assistant->isVisible());
      assistant->click();
    }
  };
  menu("MnuCal")->trigger();
  EXPECT_EQ(presenter.presented, (std::vector<std::string>{"fmCalibration", "frmMagCal"}));
}

}  // namespace
}  // namespace vexa::ui::testing
