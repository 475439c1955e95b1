// The calibration window against the simulated sensor: opening, row updates on the bus, the
// commands, and the precision auto null's count-down on virtual time.

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

#include "registers/register_access.h"
#include "registers/sensor_commands.h"
#include "ui/config/config_window_fixture.h"
#include "ui/config/fm_calibration.h"

namespace vexa::ui::testing {
namespace {

class CalibrationWindow : public ConfigWindowTest {};

TEST_F(CalibrationWindow, OpensOnlyWithAnInterfaceAndShowsTheSensorsRows) {
  settings().Interface = kInterfaceNone;
  open("MnuCal", nullptr);
  EXPECT_TRUE(presenter.presented.empty());
  EXPECT_EQ(messages(), std::vector<std::string>{"Please select an interface first"});

  settings().Interface = kInterfaceParallel;
  form->move(150, 90);
  bool atMainWindow = false, progressHidden = false, assistantShown = false;
  open("MnuCal", [&](QDialog& d) {
    atMainWindow = d.pos() == QPoint(150, 90);
    progressHidden = !in<QLabel>(d, "LbLInProgress")->isVisible();
    assistantShown = in<QPushButton>(d, "cmdMagAssistant")->isVisible();
    EXPECT_EQ(text(d, "txtGX"), "0");
    EXPECT_EQ(text(d, "lblSX"), "0x0800");  // soft iron at unity
    EXPECT_EQ(text(d, "txtSZ"), "2048");
    // A 1366x768 screen less a panel and the title bar.
    EXPECT_LE(d.minimumSizeHint().height(), 768 - 40 - 40);
  });
  EXPECT_EQ(presenter.presented, std::vector<std::string>{"fmCalibration"});
  EXPECT_TRUE(atMainWindow);
  EXPECT_TRUE(progressHidden);
  EXPECT_TRUE(assistantShown) << "the magnetometer calibration is attached";
  EXPECT_TRUE(registerWrites().empty());
  EXPECT_EQ(readFrames(), 2 * 12);  // a read and its reply frame per row
}

TEST_F(CalibrationWindow, RowUpdateWritesOneCodeAndShowsWhatTheSensorReports) {
  struct Case {
    const char* axis;
    const char* typed;
    int16_t index;
    int written;  // 16-bit word on the bus
    const char* shown;
    const char* contents;
  } cases[] = {
      {"GX", "-100", XGYRO_OFF, 0xF447, "-37.51", "0xF447"},
      {"AX", "0.1", XACCL_OFF, 30, "0.1", "0x001E"},
      {"AZ", "12abc", ZACCL_OFF, 0, "0", "0x0000"},
      // 4096 mG is accepted, but the 14-bit register holds 8191 at most.
      {"HX", "4096", XMAGN_HIF, 0x1FFF, "4095.5", "0x1FFF"},
      {"HY", "-5000", YMAGN_HIF, 0xE000, "-4096", "0xE000"},
      {"SZ", "3.5", ZMAGN_SIF, 4, "4", "0x0004"},
  };
  open("MnuCal", [&](QDialog& d) {
    for (const Case& c : cases) {
      monitor.clear();
      in<QLineEdit>(d, QString("txt") + c.axis)->setText(c.typed);
      in<QPushButton>(d, QString("cmdCal_") + c.axis)->click();
      EXPECT_EQ(registerWrites(), (std::vector<std::pair<int, int>>{{address(c.index), c.written}}))
          << c.axis << " " << c.typed;
      EXPECT_EQ(text(d, QString("txt") + c.axis), c.shown) << c.axis << " " << c.typed;
      EXPECT_EQ(text(d, QString("lbl") + c.axis), c.contents) << c.axis << " " << c.typed;
      EXPECT_EQ(readFrames(), 2 * 12) << "all rows reread";
    }
  });
}

TEST_F(CalibrationWindow, CommandsWriteTheirValueAndRereadExceptTheFlashUpdate) {
  const int command = address(COMMAND);
  open("MnuCal", [&](QDialog& d) {
    const double start = world.clock.monotonicSeconds();
    in<QPushButton>(d, "cmdAutoNull")->click();
    EXPECT_EQ(registerWrites(), (std::vector<std::pair<int, int>>{{command, kCommandAutoNull}}));
    EXPECT_GE(world.clock.monotonicSeconds() - start, 0.25);
    // The module's gyro bias (0.35, -0.22, 0.12 deg/sec) is cancelled.
    EXPECT_EQ(text(d, "txtGX"), "-0.35");
    EXPECT_EQ(text(d, "txtGY"), "0.225");
    EXPECT_EQ(sim.peekRegister(XGYRO_OFF) & 0x1FFF, 0x1FE4);

    monitor.clear();
    in<QPushButton>(d, "cmdFactoryCal")->click();
    EXPECT_EQ(registerWrites(),
              (std::vector<std::pair<int, int>>{{command, kCommandFactoryRestore}}));
    EXPECT_EQ(text(d, "txtGX"), "0");

    monitor.clear();
    in<QLineEdit>(d, "txtGZ")->setText("typed, not yet written");
    in<QPushButton>(d, "cmdFlash")->click();
    EXPECT_EQ(registerWrites(), (std::vector<std::pair<int, int>>{{command, kCommandFlashUpdate}}));
    EXPECT_EQ(readFrames(), 0);
    EXPECT_EQ(text(d, "txtGZ"), "typed, not yet written");

    in<QPushButton>(d, "cmdClose")->click();
    EXPECT_FALSE(d.isVisible());
  });
}

TEST_F(CalibrationWindow, PrecisionAutoNullCountsDownThenEnablesEverythingAndRereads) {
  std::vector<QString> captions;
  bool allDisabled = true, closedWhileBusy = false;
  double start = 0;
  open("MnuCal", [&](QDialog& d) {
    auto* label = in<QLabel>(d, "LbLInProgress");
    const QList<QWidget*> controls = d.findChildren<QWidget*>(QRegularExpression("^(cmd|txt)"));
    ASSERT_EQ(controls.size(), 12 * 2 + 6);
    world.ui.onProcessEvents = [&] {
      captions.push_back(label->isVisible() ? label->text() : QString("hidden"));
      if (captions.size() == 2 + 33 + 1) return;  // after the window is enabled again
      for (QWidget* w : controls) allDisabled &= !w->isEnabled();
      allDisabled &= !d.isEnabled();
      if (captions.size() == 10) {
        d.close();
        closedWhileBusy = d.isVisible();
      }
    };
    start = world.clock.monotonicSeconds();
    in<QPushButton>(d, "cmdPreciAutoNull")->click();
    world.ui.onProcessEvents = nullptr;
    EXPECT_GE(world.clock.monotonicSeconds() - start, 33.0);
    EXPECT_FALSE(label->isVisible());
    EXPECT_TRUE(d.isEnabled());
    for (QWidget* w : controls) EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    // The module set its offsets 30 s after the command; the reread shows them.
    EXPECT_EQ(text(d, "txtGX"), "-0.35");
  });
  EXPECT_EQ(registerWrites().front(),
            (std::pair<int, int>{address(COMMAND), kCommandPrecisionAutoNull}));
  std::vector<QString> expected = {"hidden", "  In Progress"};
  for (int n = 32; n >= 0; --n) expected.push_back(QString("  In Progress  %1").arg(n));
  expected.push_back("hidden");
  EXPECT_EQ(captions, expected);
  EXPECT_TRUE(allDisabled);
  EXPECT_TRUE(closedWhileBusy);
}

TEST_F(CalibrationWindow, MagnetometerAssistantButtonShowsOnlyWhenAttached) {
  fmCalibration window(ctx(), form.get());
  int opened = 0;
  window.openMagnetometerAssistant = [&] {
    ++opened;
    WriteRegister(ctx(), XMAGN_HIF, 20);  // as an assistant would
  };
  window.Form_Load();
  window.show();
  auto* button = window.findChild<QPushButton*>("cmdMagAssistant");
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isVisible());
  button->click();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(window.findChild<QLineEdit*>("txtHX")->text(), "10");
  window.close();
}

}  // namespace
}  // namespace vexa::ui::testing
