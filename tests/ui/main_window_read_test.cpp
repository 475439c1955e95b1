// The read cycle, the status register, self-test, power-down, and closing the window while a
// loop runs.

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>

#include "app/settings_file.h"
#include "ui/main/strip_chart.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

class ReadCycle : public MainWindowTest {
 protected:
  void SetUp() override {
    load();
    // Passes are counted by the status reads: one per pass.
    sensor.frames = 0;
  }
  int passesSoFar() const { return form->findChild<StripChart*>("pic1")->cursor(); }
};

TEST_F(ReadCycle, ReadButtonStartsAndStopsTheLoop) {
  ASSERT_TRUE(check("ckLoop")->isChecked());
  const int before = passesSoFar();
  // The button's own pass over events, then one per loop pass; press Read at the fourth.
  atEventPass(4, [this] {
    EXPECT_EQ(readCaption(), "STOP");
    button("cmdReadData")->click();
    EXPECT_EQ(readCaption(), "Read") << "the second press shows Read at once";
  });
  button("cmdReadData")->click();
  EXPECT_EQ(readCaption(), "Read");
  // Three passes ran to completion (the third one finished after the press).
  EXPECT_EQ(passesSoFar() - before, 3);
  EXPECT_FALSE(form->busy());
}

TEST_F(ReadCycle, UncheckingLoopEndsTheLoop) {
  const int before = passesSoFar();
  atEventPass(3, [this] { check("ckLoop")->click(); });
  button("cmdReadData")->click();
  EXPECT_EQ(readCaption(), "Read");
  EXPECT_FALSE(check("ckLoop")->isChecked());
  EXPECT_EQ(passesSoFar() - before, 2);
}

TEST_F(ReadCycle, WithoutLoopEveryPressIsOnePass) {
  check("ckLoop")->setChecked(false);
  const int before = passesSoFar();
  for (int n = 0; n < 3; ++n) {
    button("cmdReadData")->click();
    EXPECT_EQ(readCaption(), "Read");
  }
  EXPECT_EQ(passesSoFar() - before, 3);
}

TEST_F(ReadCycle, WithoutInterfaceReadChangesNothing) {
  settings().Interface = kInterfaceNone;
  const int passes = world.ui.eventPasses;
  button("cmdReadData")->click();
  EXPECT_EQ(readCaption(), "Read");
  EXPECT_EQ(world.ui.eventPasses, passes);
  EXPECT_EQ(sensor.frames, 0);
}

TEST_F(ReadCycle, LoopWaitsTheLoopDelayAfterEachPass) {
  struct Case {
    const char* delay;
    double atLeast, below;  // virtual seconds for three passes
  };
  for (const Case& c : {Case{"100", 0.3, 0.35}, Case{"0", 0.0, 0.05}}) {
    edit("txtLoopDelay")->setText(c.delay);
    atEventPass(4, [this] { button("cmdReadData")->click(); });
    const double start = world.clock.monotonicSeconds();
    button("cmdReadData")->click();
    const double spent = world.clock.monotonicSeconds() - start;
    EXPECT_GE(spent, c.atLeast) << c.delay;
    EXPECT_LT(spent, c.below) << c.delay;
  }
}

TEST_F(ReadCycle, LoopDelayTextIsNormalised) {
  const std::vector<std::pair<QString, QString>> cases = {
      {"abc", "0"},     {"2500", "1000"}, {"-3", "0"}, {"0", "0"},
      {"1000", "1000"}, {"12.5", "12.5"}, {"", "0"},   {"1001", "1000"}};
  for (const auto& [typed, shown] : cases) {
    edit("txtLoopDelay")->setText(typed);
    EXPECT_EQ(edit("txtLoopDelay")->text(), shown) << typed.toStdString();
  }
}

TEST_F(ReadCycle, ReadOutsShowTwoDecimals) {
  check("ckLoop")->setChecked(false);
  ctx().registers.RegScale[TEMP_OUT] = 0.001f;
  ctx().registers.RegOffset[TEMP_OUT] = -11;
  sensor.set(TEMP_OUT, -1346);  // -12.346
  sensor.set(XMAGN_OUT, 3);     // 1.5 mG
  sensor.set(AUX_ADC, 0);
  button("cmdReadData")->click();
  EXPECT_EQ(readOut(TEMP_OUT)->text(), "-12.35");
  EXPECT_EQ(readOut(XMAGN_OUT)->text(), "1.50");
  EXPECT_EQ(readOut(AUX_ADC)->text(), "0.00");
}

TEST_F(ReadCycle, SupplyTurnsRedBelowAndWhiteAbove2Point60) {
  check("ckLoop")->setChecked(false);
  ctx().registers.RegScale[SUPPLY_OUT] = 0.001f;
  struct Step {
    int32_t millivolts;
    const char* shown;
    QColor colour;
  };
  const QColor red(255, 0, 0), white(255, 255, 255);
  // At exactly 2.60 shown the colour stays as it was, coming from either side.
  const std::vector<Step> steps = {
      {2590, "2.59", red},   {2600, "2.60", red},   {2595, "2.60", red}, {2610, "2.61", white},
      {2600, "2.60", white}, {2595, "2.60", white}, {2594, "2.59", red}, {4000, "4.00", white}};
  for (const Step& s : steps) {
    sensor.set(SUPPLY_OUT, s.millivolts);
    button("cmdReadData")->click();
    EXPECT_EQ(readOut(SUPPLY_OUT)->text(), s.shown) << s.millivolts;
    EXPECT_EQ(readOut(SUPPLY_OUT)->palette().color(QPalette::Base), s.colour) << s.millivolts;
  }
}

TEST_F(ReadCycle, StatusDecodesSixBits) {
  struct Case {
    int32_t status;
    const char* hex;
    std::array<bool, 6> alarm;  // low, high, write fail, spi, alarm 1, alarm 2
  };
  const std::vector<Case> cases = {
      {0x0301, "0x0301", {true, false, false, false, true, true}},
      {0x0000, "0x0000", {false, false, false, false, false, false}},
      {0xFCF0, "0xFCF0", {false, false, false, false, false, false}},
      {0x000E, "0x000E", {false, true, true, true, false, false}},
  };
  const std::array<const char*, 6> names = {"lblLowSupplyFlag", "lblHighSupplyFlag",
                                            "lblWriteFailFlag", "lblSpiWriteFlag",
                                            "lblAlarm1SetFlag", "lblAlarm2SetFlag"};
  for (const Case& c : cases) {
    sensor.set(STATUS, c.status);
    button("CmdUpdateStatus")->click();
    EXPECT_EQ(label("lblStatus")->text().toStdString(), c.hex);
    EXPECT_EQ(form->statusShadow(), c.status);
    for (size_t n = 0; n < names.size(); ++n) {
      QLabel* flag = label(names[n]);
      EXPECT_EQ(flag->text(), c.alarm[n] ? "Alarm" : "OK") << names[n] << " " << c.hex;
      EXPECT_EQ(flag->palette().color(QPalette::Window),
                c.alarm[n] ? QColor(255, 0, 0) : QColor(0, 255, 0))
          << names[n];
    }
  }
  // Without an interface the button does nothing.
  settings().Interface = kInterfaceNone;
  sensor.set(STATUS, 0x0001);
  button("CmdUpdateStatus")->click();
  EXPECT_EQ(label("lblStatus")->text(), "0x000E");
}

TEST_F(ReadCycle, SelfTestSetsAndClearsTheHighByteOfTheControlShadow) {
  ctx().access.MscCtrlShadow = 0x0E04;
  child<QRadioButton>("optSTON")->click();
  EXPECT_EQ(ctx().access.MscCtrlShadow, 0x0F04);
  EXPECT_EQ(sensor.written(MSC_CTRL), 0x0F04);
  sensor.writes.clear();
  child<QRadioButton>("optSTOFF")->click();
  EXPECT_EQ(ctx().access.MscCtrlShadow, 0x0004);
  EXPECT_EQ(sensor.written(MSC_CTRL), 0x0004);
}

TEST_F(ReadCycle, PowerDownWritesHalfSecondsAndCountsDown) {
  struct Case {
    const char* seconds;
    int32_t count;
    std::vector<std::string> lastShown;  // either, by the clock's single precision; "" none
  };
  const std::vector<Case> cases = {{"1.3", 2, {"1.2", "1.3"}},
                                   {"127.5", 255, {"127.4", "127.5"}},
                                   {"0", 0, {""}},
                                   {"0.4", 0, {"0.3", "0.4"}}};
  for (const Case& c : cases) {
    label("lblPDElapsed")->setText("");
    sensor.writes.clear();
    edit("txtPowerDown")->setText(c.seconds);
    const int passes = world.ui.eventPasses;
    world.ui.onProcessEvents = [this] { world.clock.advance(0.1); };
    button("cmdPowerDown")->click();
    world.ui.onProcessEvents = nullptr;
    EXPECT_EQ(sensor.written(SLP_CNT) & 0xFF, c.count) << c.seconds;
    EXPECT_THAT(c.lastShown, ::testing::Contains(label("lblPDElapsed")->text().toStdString()))
        << c.seconds;
    // The window stayed responsive: one pass over events per 0.1 s of the wait.
    const double t = std::stod(c.seconds);
    EXPECT_NEAR(world.ui.eventPasses - passes, t / 0.1, 2.5) << c.seconds;
  }
}

TEST_F(ReadCycle, PowerDownAcrossMidnightStillEnds) {
  world.clock = sim::SimClock(86400.0 - 0.45, 0.0);
  edit("txtPowerDown")->setText("1");
  int passes = 0;
  world.ui.onProcessEvents = [this, &passes] {
    world.clock.advance(0.1);
    if (++passes == 100) form->close();  // ends a count-down that would never end by itself
  };
  button("cmdPowerDown")->click();
  world.ui.onProcessEvents = nullptr;
  EXPECT_NEAR(passes, 10, 2);
  EXPECT_FALSE(form->unloaded());
}

TEST_F(ReadCycle, PowerDownTextIsNormalised) {
  const std::vector<std::pair<QString, QString>> cases = {{"200", "127.5"},   {"-", "0.0"},
                                                          {"abc", "0.0"},     {"-5", "0.0"},
                                                          {"127.5", "127.5"}, {"3", "3"}};
  for (const auto& [typed, shown] : cases) {
    edit("txtPowerDown")->setText(typed);
    EXPECT_EQ(edit("txtPowerDown")->text(), shown) << typed.toStdString();
  }
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(ReadCycle, ClosingDuringTheLoopEndsItAndTheProgram) {
  int unloaded = 0;
  form->onUnloaded = [&unloaded] { ++unloaded; };
  settings().Factory = 3;
  const int before = passesSoFar();
  atEventPass(3, [this] {
    form->close();
    EXPECT_FALSE(form->unloaded()) << "the close waits until the loop has unwound";
  });
  button("cmdReadData")->click();
  EXPECT_TRUE(form->unloaded());
  EXPECT_EQ(unloaded, 1);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(passesSoFar() - before, 2);
  EXPECT_EQ(fileText(world.folder() + "/CommPort.cfg"), SettingsFileText(settings()));
}

TEST_F(ReadCycle, ClosingDuringThePowerDownEndsIt) {
  int unloaded = 0;
  form->onUnloaded = [&unloaded] { ++unloaded; };
  edit("txtPowerDown")->setText("100");
  int passes = 0;
  world.ui.onProcessEvents = [this, &passes] {
    world.clock.advance(0.1);
    if (++passes == 5) form->close();
  };
  button("cmdPowerDown")->click();
  EXPECT_EQ(passes, 5);
  EXPECT_EQ(unloaded, 1);
  EXPECT_TRUE(std::filesystem::exists(world.folder() + "/CommPort.cfg"));
}

TEST_F(ReadCycle, ClosingWhenIdleWaitsAndWritesTheSettings) {
  const double start = world.clock.monotonicSeconds();
  menu("MnuExit")->trigger();
  EXPECT_TRUE(form->unloaded());
  EXPECT_GE(world.clock.monotonicSeconds() - start, 0.25);
  EXPECT_EQ(fileText(world.folder() + "/CommPort.cfg"), SettingsFileText(settings()));
}

}  // namespace
}  // namespace vexa::ui::testing
