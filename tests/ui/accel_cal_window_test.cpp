// The accelerometer calibration window against the simulated module laid still on its faces and
// edges, on virtual time: collect, fit, apply, check, revert.

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <cstdlib>

#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "ui/analysis/frm_accel_cal.h"
#include "ui/analysis/frm_accel_cal_coverage.h"
#include "ui/main/attach_windows.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

sim::SimSensorConfig posedWithErrors() {
  sim::SimSensorConfig c;
  c.turnedThroughPoses = true;
  c.accelBiasG = {0.021, -0.034, 0.012};
  c.accelScale = {0.004, -0.007, 0.0025};
  c.accelMisalignmentDeg = {0.2, -0.35, 0.15};
  return c;
}

TEST(AccelCalWindow, CalibratesAppliesChecksAndRevertsExactly) {
  vexa::testing::SimWorld world(1e-6);
  sim::SimSensor sensor(world.clock, posedWithErrors());
  sim::SimParallelPort port(0x378);
  port.attach(&sensor);
  world.ctx.platform.port = &port;
  world.ctx.settings.Interface = kInterfaceParallel;
  world.ctx.settings.PortAddress = 0x378;
  auto offset = [&](int a) {
    const int v = sensor.peekRegister(static_cast<int16_t>(XACCL_OFF + a));
    return (v & 0x800) ? v - 0x1000 : v;
  };

  frmAccelCal window(world.ctx);
  window.Form_Load();
  window.resize(1024, 768);
  window.show();
  for (const char* name : {"cmdCollect", "cmdApply", "cmdRevert", "cmdFlash", "cmdClose"})
    EXPECT_NE(window.findChild<QPushButton*>(name), nullptr) << name;
  for (const char* name : {"lblStill", "lblPoses", "lblResidual", "lblOffsets", "lblVerification"})
    EXPECT_NE(window.findChild<QLabel*>(name), nullptr) << name;
  ASSERT_NE(window.findChild<QTableWidget*>("tblFit"), nullptr);
  EXPECT_FALSE(window.findChild<QPushButton*>("cmdApply")->isEnabled());

  window.findChild<QPushButton*>("cmdCollect")->click();
  ASSERT_TRUE(window.fit().ok) << window.fit().problem;
  EXPECT_NEAR(window.fit().model.scale[1], -0.007, 100e-6);
  EXPECT_GE(window.findChild<AccelCoverageView*>("picFaces")->coverage().covered(), 12u);

  window.findChild<QPushButton*>("cmdApply")->click();
  for (int a = 0; a < 3; ++a) EXPECT_EQ(offset(a), window.inSensor()[a]);
  EXPECT_EQ(window.inSensor()[1], 10);  // 34 mg in 3.33 mg steps
  EXPECT_NE(window.findChild<QLabel*>("lblVerification")->text(), "");
  if (const char* path = std::getenv("VEXA_ACCELCAL_SCREENSHOT")) window.grab().save(path);

  ASSERT_TRUE(window.findChild<QPushButton*>("cmdRevert")->isEnabled());
  window.findChild<QPushButton*>("cmdRevert")->click();
  for (int a = 0; a < 3; ++a) EXPECT_EQ(offset(a), window.opened()[a]);
}

}  // namespace
}  // namespace vexa::ui::testing

namespace vexa::ui::testing {
namespace {

TEST_F(MainWindowTest, ConfigurationMenuOpensTheAccelerometerCalibration) {
  load();
  AttachWindows(*form, ctx(), presenter);
  menu("mnuAccelCal")->trigger();
  EXPECT_EQ(presenter.presented, std::vector<std::string>{"frmAccelCal"});
}

}  // namespace
}  // namespace vexa::ui::testing
