// The datalog window's live noise panel over the still simulated sensor on virtual time: the
// curve, the figures so far and the stop choice, which ends the run once the figure is known.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "sim/bus_monitor.h"
#include "sim/sim_sensor.h"
#include "sim/sim_usb_card.h"
#include "sim/still_bench.h"
#include "support/sim_world.h"
#include "transport/usb/ez_usb.h"
#include "ui/datalog/frm_datalog.h"

namespace vexa::ui::testing {
namespace {

sim::SimSensorConfig still() {
  sim::SimSensorConfig c;
  sim::LieStill(c);
  return c;
}

TEST(LiveNoisePanel, ShowsTheFiguresSoFarAndEndsTheRunOnceTheStopFigureIsResolved) {
  vexa::testing::SimWorld world;
  sim::SimSensor sensor(world.clock, still());
  sim::BusMonitor monitor(sensor);
  monitor.setRecording(false);
  sim::SimUsbDriver usb(&world.clock);
  sim::SimUsbCardConfig card;
  card.pipe3PacketSize = 64;
  sim::SimUsbCard& plugged = usb.plug(0, card);
  plugged.attach(&monitor);
  plugged.setRecording(false);
  AppContext& ctx = world.ctx;
  ctx.platform.usb = &usb;
  ctx.settings.Interface = kInterfaceUsb;
  FindUsbCard(ctx);

  frmDatalog window(ctx);
  window.Form_Load();
  window.show();
  for (int i = 1; i <= 12; ++i)
    window.findChild<QCheckBox*>(QString("CheckReg_%1").arg(i))->setChecked(i == 2 || i == 5);
  window.findChild<QLineEdit*>("txtSamplesPerFile")->setText("2000000");
  window.findChild<QLineEdit*>("txtSampleDelay")->setText("0");
  window.findChild<QCheckBox*>("chkLiveNoise")->setChecked(true);
  window.findChild<QLineEdit*>("txtUntilResolved")->setText("X Gyro/B:5");
  window.findChild<QPushButton*>("cmdStartDatalog")->click();

  const QString figures = window.findChild<QLabel*>("lblLiveFigures")->text();
  const QString record = window.findChild<QLabel*>("lblLiveRecord")->text();
  EXPECT_TRUE(figures.contains("X Gyro: N ")) << figures.toStdString();
  EXPECT_TRUE(figures.contains("X Accel: N ")) << figures.toStdString();
  EXPECT_TRUE(record.contains("X Gyro/B:5: ")) << record.toStdString();
  EXPECT_TRUE(record.contains(", resolved")) << record.toStdString();
  // Ended by the figure, long before the sample limit.
  EXPECT_TRUE(std::filesystem::exists(world.folder() + "/DATALOG_1.csv"));
  EXPECT_LT(std::filesystem::file_size(world.folder() + "/DATALOG_1.csv"), 2000000u * 20u);

  if (const char* shot = std::getenv("VEXA_LIVE_NOISE_SCREENSHOT"))
    window.grab().save(QString::fromLocal8Bit(shot));
}

}  // namespace
}  // namespace vexa::ui::testing
