// The operational control window against the simulated sensor: what each control writes, that
// refreshes never write, and the main window's gyro scales after a range change.

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "registers/sensor_commands.h"
#include "ui/config/config_window_fixture.h"
#include "ui/config/frm_operational_control.h"

namespace vexa::ui::testing {
namespace {

using Writes = std::vector<std::pair<int, int>>;

class OperationalControlWindow : public ConfigWindowTest {
 protected:
  void click(QDialog& d, const QString& name) {
    if (auto* o = d.findChild<QRadioButton*>(name)) return o->click();
    in<QPushButton>(d, name)->click();
  }
  bool checked(QDialog& d, const QString& name) { return in<QRadioButton>(d, name)->isChecked(); }
  bool enabled(QDialog& d, const QString& name) { return in<QRadioButton>(d, name)->isEnabled(); }
};

TEST_F(OperationalControlWindow, EveryOperationItemOpensItShowingTheSensorWithoutWriting) {
  for (const char* item : {"mnuSampleRate", "mnuRange", "mnuFiltering", "mnuAxuIO", "mnuAxuDAC"}) {
    form->move(150, 90);
    monitor.clear();
    open(item, [&](QDialog& d) {
      EXPECT_EQ(d.pos(), QPoint(150, 90));
      EXPECT_EQ(text(d, "txtSampleRate"), "819.202");
      EXPECT_EQ(text(d, "lblSmpl_Prd"), "0x0001");
      EXPECT_TRUE(checked(d, "opt_Rate_3"));
      EXPECT_EQ(text(d, "txtTaps"), "4");
      EXPECT_EQ(text(d, "lblSensAvg"), "0x0402");
      EXPECT_TRUE(checked(d, "op_io_two_input"));
      EXPECT_TRUE(checked(d, "op_dat_two_low"));
      EXPECT_FALSE(enabled(d, "op_dat_two_high"));
      EXPECT_TRUE(checked(d, "optDREnable_Off"));
      EXPECT_EQ(text(d, "txtVolts"), "0.0");
    });
    EXPECT_TRUE(registerWrites().empty()) << item;
  }
  EXPECT_EQ(presenter.presented.size(), 5u);
  EXPECT_EQ(presenter.presented.back(), "frmOperationalControl");
}

TEST_F(OperationalControlWindow, SampleRateAndRangeWritesShowWhatTheSensorReports) {
  struct Case {
    const char* rate;
    int written;
    const char* shown;
  } rates[] = {{"100", 0x0F, "102.4"}, {"50", 0x81, "26.426"}, {"fast", 0x01, "819.202"}};
  open("mnuSampleRate", [&](QDialog& d) {
    for (const Case& c : rates) {
      monitor.clear();
      in<QLineEdit>(d, "txtSampleRate")->setText(c.rate);
      click(d, "cmdWriteSmpl_prd");
      EXPECT_EQ(registerWrites(), (Writes{{address(SMPL_PRD), c.written}})) << c.rate;
      EXPECT_EQ(text(d, "txtSampleRate"), c.shown) << c.rate;
    }
    monitor.clear();
    click(d, "opt_Rate_2");
    in<QLineEdit>(d, "txtTaps")->setText("3");
    click(d, "cmdWriteSensAvg");
    // SETGYROSCALES rereads SENS_AVG after the window's own reread.
    EXPECT_EQ(registerWrites(), (Writes{{address(SENS_AVG), 0x202}}));
    EXPECT_EQ(text(d, "txtTaps"), "4");
    EXPECT_EQ(text(d, "lblSensAvg"), "0x0202");
    EXPECT_TRUE(checked(d, "opt_Rate_2"));
  });
  // The main window now scales its gyro read-outs for 150 deg/sec: the still module's X bias
  // of 0.35 deg/sec still reads 0.35 (with the old scale it would read twice that).
  EXPECT_FLOAT_EQ(ctx().registers.RegScale[XGYRO_OUT], static_cast<float>(409.575 / 16383));
  EXPECT_FLOAT_EQ(ctx().registers.RegScale[ZGYRO_OUT], static_cast<float>(409.575 / 16383));
  world.clock.advance(0.1);
  check("ckLoop")->setChecked(false);  // one pass
  button("cmdReadData")->click();
  EXPECT_EQ(readOut(XGYRO_OUT)->text(), "0.35");
}

TEST_F(OperationalControlWindow, DigitalLinesAndDataReadyWriteOnClicksOnly) {
  open("mnuAxuIO", [&](QDialog& d) {
    click(d, "op_io_two_output");
    EXPECT_TRUE(enabled(d, "op_dat_two_high"));
    monitor.clear();
    click(d, "op_dat_two_high");
    EXPECT_EQ(registerWrites(), (Writes{{address(GPIO_CTRL), 0x404}}));
    EXPECT_EQ(ctx().access.GpioCtrlShadow, 0x404);
    EXPECT_EQ(text(d, "lblGPIO"), "0x0404");
    EXPECT_TRUE(sim.lineLevel(2));

    monitor.clear();
    click(d, "op_io_two_input");  // "High" is still selected, but an input has no level
    EXPECT_EQ(registerWrites(), (Writes{{address(GPIO_CTRL), 0x000}}));
    EXPECT_TRUE(checked(d, "op_dat_two_low"));
    EXPECT_FALSE(enabled(d, "op_dat_two_high"));

    monitor.clear();
    for (const char* o : {"optDRselect_One", "optDRPolarity_High", "optDREnable_On"}) click(d, o);
    EXPECT_EQ(registerWrites().back(), (std::pair<int, int>{address(MSC_CTRL), 0x007}));
    EXPECT_EQ(ctx().access.MscCtrlShadow, 7);
    EXPECT_EQ(text(d, "lblMSC"), "0x0007");

    // Refreshes set the options from code: nothing is written.
    auto& w = static_cast<frmOperationalControl&>(d);
    monitor.clear();
    w.ReadGPIO();
    w.ReadMSC();
    in<QRadioButton>(d, "op_io_zero_output")->setChecked(true);
    in<QRadioButton>(d, "optDRselect_Zero")->setChecked(true);
    EXPECT_TRUE(registerWrites().empty());
  });
  // Not shown: the write operations do nothing.
  frmOperationalControl hidden(ctx(), form.get());
  hidden.Form_Load();
  monitor.clear();
  hidden.WriteGPIO();
  hidden.Write_MSC_Ctrl();
  EXPECT_TRUE(registerWrites().empty());
}

TEST_F(OperationalControlWindow, DacWritesTheCodeThenItsCommand) {
  struct Case {
    const char* volts;
    int code;
    const char* shown;
  } cases[] = {{"1.25", 2047, "1.2496947"}, {"3", 4095, "2.5"}};
  open("mnuAxuDAC", [&](QDialog& d) {
    for (const Case& c : cases) {
      monitor.clear();
      in<QLineEdit>(d, "txtVolts")->setText(c.volts);
      click(d, "cmdWriteAuxDac");
      EXPECT_EQ(registerWrites(),
                (Writes{{address(AUX_DAC), c.code}, {address(COMMAND), kCommandAuxDacUpdate}}))
          << c.volts;
      EXPECT_EQ(text(d, "txtVolts"), c.shown) << c.volts;
      EXPECT_NEAR(sim.dacVolts(), c.code * 2.5 / 4095, 1e-9) << c.volts;
    }
    monitor.clear();
    click(d, "cmdFlash");
    EXPECT_EQ(registerWrites(), (Writes{{address(COMMAND), kCommandFlashUpdate}}));
    click(d, "cmdClose");
    EXPECT_FALSE(d.isVisible());
  });
}

}  // namespace
}  // namespace vexa::ui::testing
