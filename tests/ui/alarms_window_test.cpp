// The alarms window against the simulated sensor: what it shows of the alarm registers, what
// its updates write and in which order, and that it starts afresh at every opening.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/number_format.h"
#include "registers/alarm_setup.h"
#include "ui/config/frm_alarms.h"
#include "ui/config_windows_fixture.h"

namespace vexa::ui::testing {
namespace {

class AlarmsWindow : public ConfigWindowsTest {
 protected:
  void SetUp() override { load(); }

  static bool checked(QDialog& d, const char* name) {
    return in<QRadioButton>(d, name)->isChecked();
  }
  static void source(QDialog& d, const char* list, int code) {
    in<QComboBox>(d, list)->setCurrentIndex(code);
  }
};

TEST_F(AlarmsWindow, ShowsTheSensorsAlarmSetup) {
  poke(ALM_CTRL, 0x2105);
  poke(ALM_MAG1, 0x0000);
  poke(ALM_MAG2, 0x8064);
  poke(ALM_SMPL1, 7);
  poke(ALM_SMPL2, 200);
  ctx().access.AlmCtrlShadow = 0;
  open("MnuAlarms", [](QDialog& d) {
    EXPECT_EQ(d.windowTitle(), "ALARM CONFIGURATION AND CONTROL");
    auto* list = in<QComboBox>(d, "cmboAsource1");
    EXPECT_FALSE(list->isEditable());
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
    EXPECT_EQ(entries.join(","),
              "Disabled,Supply V,X_Gyro,Y-Gyro,Z_Gyro,X_Accel,Y_Accel,Z_Accel,X_Magn,Y_Magn,"
              "Z_Magn,Temperature,Aux_ADC");
    EXPECT_EQ(list->currentText(), "Supply V");
    EXPECT_EQ(in<QComboBox>(d, "cmboAsource2")->currentText(), "X_Gyro");
    EXPECT_TRUE(checked(d, "opTrigPol1_Less"));
    EXPECT_TRUE(checked(d, "opTrigPol2_greater"));
    EXPECT_EQ(text(d, "txtLevel1"), "0.000");
    EXPECT_EQ(text(d, "txtLevel2"), "5.000");  // 100 x 0.049996212
    EXPECT_EQ(text(d, "lblALM_MAG2"), "0x0064");
    EXPECT_EQ(text(d, "txtAvg1"), "7");
    EXPECT_EQ(text(d, "txtAVG2"), "200");
    EXPECT_EQ(text(d, "lblALM_SMPL2"), "0x00C8");
    EXPECT_TRUE(checked(d, "opRate1_Disabled"));
    EXPECT_TRUE(checked(d, "opRate2_Disabled"));
    EXPECT_TRUE(checked(d, "opDigLine_one"));
    EXPECT_TRUE(checked(d, "opDigPol_low"));
    EXPECT_TRUE(checked(d, "opDig_Enabled"));
  });
  EXPECT_EQ(ctx().access.AlmCtrlShadow, 0x2105);
  EXPECT_EQ(presenter.presented, std::vector<std::string>{"frmAlarms"});
}

// A trigger level is a number in the units of its source: the unit beside it follows the list.
TEST_F(AlarmsWindow, TriggerLevelsShowTheUnitOfTheChosenSource) {
  poke(ALM_CTRL, 0x2100);  // alarm 1 from the supply, alarm 2 from the X gyro
  open("MnuAlarms", [](QDialog& d) {
    EXPECT_EQ(text(d, "lblLevelUnits1"), "V");
    EXPECT_EQ(text(d, "lblLevelUnits2"), "deg/sec");
    struct Case {
      int code;
      const char* unit;
    };
    for (const Case c : {Case{0, ""}, Case{4, "deg/sec"}, Case{6, "g"}, Case{9, "mG"},
                         Case{11, "C"}, Case{12, "V"}}) {
      source(d, "cmboAsource2", c.code);
      EXPECT_EQ(text(d, "lblLevelUnits2"), c.unit) << c.code;
    }
    EXPECT_EQ(text(d, "lblLevelUnits1"), "V") << "each alarm its own";
  });
}

// Either alarm's "Update" writes ALM_CTRL with both sources, waits, then both magnitudes, alarm
// 1 first, and shows what the sensor then holds.
TEST_F(AlarmsWindow, EitherUpdateWritesBothAlarmsInOrder) {
  for (const char* update : {"cmdWiteA1", "cmdWriteA2"}) {
    poke(ALM_CTRL, 0x2105);
    double before = 0, after = 0;
    open("MnuAlarms", [&](QDialog& d) {
      source(d, "cmboAsource1", XACCL_OUT);
      type(d, "txtLevel1", "25");
      click(d, "opTrigPol1_Greater");
      source(d, "cmboAsource2", XGYRO_OUT);
      type(d, "txtLevel2", "-1");
      click(d, "opTrigPol2_Less");
      monitor.clear();
      before = world.clock.monotonicSeconds();
      click(d, update);
      after = world.clock.monotonicSeconds();
      EXPECT_EQ(text(d, "txtLevel1"), "20.659") << update;
      EXPECT_EQ(text(d, "lblALM_MAG1"), "0x183C") << update;  // 6204
      EXPECT_EQ(text(d, "txtLevel2"), "-1.000") << update;
      EXPECT_EQ(text(d, "lblALM_MAG2"), "0xFFEC") << update;  // -20
      EXPECT_TRUE(checked(d, "opTrigPol1_Greater"));
    });
    EXPECT_EQ(writeFrames(), (std::vector<uint16_t>{0xC925, 0xC805,    // ALM_CTRL 0x2505
                                                    0xC198, 0xC03C,    // ALM_MAG1 0x983C
                                                    0xC33F, 0xC2EC}))  // ALM_MAG2 0x3FEC
        << update;
    EXPECT_GE(after - before, 0.150) << update;
    EXPECT_EQ(ctx().access.AlmCtrlShadow, 0x2505) << update;
  }
}

TEST_F(AlarmsWindow, LevelsAreHeldToWhatTheSourceCanHold) {
  struct Case {
    int source;
    const char* typed;
    int32_t magnitudeBits;
    const char* shown;
  };
  const std::vector<Case> cases = {
      {TEMP_OUT, "25", 0x0000, "25.000"},   // the offset is subtracted
      {0, "12", 0x0000, "0.000"},           // "Disabled" writes 0
      {XGYRO_OUT, "600", 0x1FFF, nullptr},  // about 12000 would read back negative
      {XGYRO_OUT, "-600", 0x2000, nullptr},
      {TEMP_OUT, "-297.574", 0x3800, "-252.914"},  // 12-bit source
      {SUPPLY_OUT, "8", 3100, "7.495"},
      {XMAGN_OUT, "4095", 8190, "4095.000"},
  };
  for (const Case& c : cases) {
    // The gyro scale follows the range the main window found in SENS_AVG.
    const int32_t held = c.magnitudeBits == 0x2000 ? -8192 : c.magnitudeBits;
    const QString shown = c.shown ? QString(c.shown)
                                  : QString::fromStdString(FormatPattern(
                                        held * ctx().registers.RegScale[c.source], "#0.000"));
    open("MnuAlarms", [&c, &shown](QDialog& d) {
      source(d, "cmboAsource1", c.source);
      type(d, "txtLevel1", c.typed);
      click(d, "cmdWiteA1");
      EXPECT_EQ(text(d, "txtLevel1"), shown) << c.source << " " << c.typed;
    });
    EXPECT_EQ(peek(ALM_MAG1) & kAlarmMagnitudeBits, c.magnitudeBits) << c.source << " " << c.typed;
  }
}

TEST_F(AlarmsWindow, SourceCodesWithoutAnEntryShowTheRawMagnitudeAndAreWrittenDisabled) {
  poke(ALM_CTRL, 0xED05);  // alarm 1 code 13, alarm 2 code 14
  poke(ALM_MAG1, 0x0123);
  open("MnuAlarms", [](QDialog& d) {
    EXPECT_EQ(in<QComboBox>(d, "cmboAsource1")->currentIndex(), -1);
    EXPECT_EQ(in<QComboBox>(d, "cmboAsource2")->currentIndex(), -1);
    EXPECT_EQ(text(d, "txtLevel1"), "291");
    EXPECT_EQ(text(d, "lblALM_MAG1"), "0x0123");
    click(d, "cmdWriteA2");
    EXPECT_EQ(in<QComboBox>(d, "cmboAsource1")->currentText(), "Disabled");
  });
  EXPECT_EQ(peek(ALM_CTRL), 0x0005);
  EXPECT_EQ(peek(ALM_MAG1), 0);
}

TEST_F(AlarmsWindow, AverageNumberUpdatesWriteTheCountAndTheRateOfChangeBit) {
  struct Case {
    int alarm;
    const char* typed;
    bool rate;
    int32_t written;
    int32_t ctrlAfter;
  };
  const std::vector<Case> cases = {
      {1, "300", true, 255, 0x2145}, {1, "2.5", false, 2, 0x2105}, {2, "3.5", true, 4, 0x2185},
      {2, "-4", false, 0, 0x2105},   {1, "abc", true, 0, 0x2145},
  };
  for (const Case& c : cases) {
    poke(ALM_CTRL, 0x2105);
    const bool one = c.alarm == 1;
    open("MnuAlarms", [&c, one](QDialog& d) {
      type(d, one ? "txtAvg1" : "txtAVG2", c.typed);
      const std::string rate = std::string(one ? "opRate1_" : "opRate2_");
      click(d, (rate + (c.rate ? "Enabled" : "Disabled")).c_str());
      click(d, one ? "cmdWriteAlmSmpl1" : "cmdWriteAlmSmpl2");
      EXPECT_EQ(text(d, one ? "txtAvg1" : "txtAVG2"), QString::number(c.written)) << c.typed;
      EXPECT_EQ(checked(d, (rate + "Enabled").c_str()), c.rate) << c.typed;
    });
    EXPECT_EQ(peek(one ? ALM_SMPL1 : ALM_SMPL2), c.written) << c.typed;
    EXPECT_EQ(peek(ALM_CTRL), c.ctrlAfter) << c.typed;
  }
}

TEST_F(AlarmsWindow, IndicatorUpdateAndFlashCommandReadNothingBack) {
  poke(ALM_CTRL, 0x21FD);
  const uint16_t endurance = peek(ENDURANCE);
  open("MnuAlarms", [this](QDialog& d) {
    click(d, "opDigLine_zero");
    click(d, "opDigPol_high");
    click(d, "opDig_Disabled");
    monitor.clear();
    click(d, "cmdAdio");
    EXPECT_EQ(writeFrames(), (std::vector<uint16_t>{0xC921, 0xC8FA}));
    EXPECT_EQ(monitor.frames().back().mosi & 0x8000, 0x8000) << "no read after the write";
    monitor.clear();
    const double before = world.clock.monotonicSeconds();
    click(d, "cmdFlash");
    EXPECT_GE(world.clock.monotonicSeconds() - before, 0.200);
    EXPECT_EQ(writeFrames(), (std::vector<uint16_t>{0xBF00, 0xBE08}));
    EXPECT_EQ(monitor.frames().size(), 2u);
  });
  EXPECT_EQ(ctx().access.AlmCtrlShadow, 0x21FA);
  EXPECT_EQ(peek(ENDURANCE), endurance + 1) << "the sensor stored its settings";
}

TEST_F(AlarmsWindow, ClosingUnloadsSoTheNextOpeningStartsFromTheSensor) {
  poke(ALM_CTRL, 0x2105);
  open("MnuAlarms", [](QDialog& d) {
    type(d, "txtLevel1", "1.5");
    type(d, "txtAvg1", "99");
    click(d, "cmdClose");
    EXPECT_FALSE(d.isVisible());
  });
  EXPECT_EQ(form->findChild<frmAlarms*>(), nullptr);
  open("MnuAlarms", [](QDialog& d) {
    EXPECT_EQ(text(d, "txtLevel1"), "0.000");
    EXPECT_EQ(text(d, "txtAvg1"), "0");
  });
  EXPECT_EQ(peek(ALM_SMPL1), 0) << "closing writes nothing";
}

}  // namespace
}  // namespace vexa::ui::testing
