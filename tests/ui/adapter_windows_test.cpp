// The FTDI and spidev selection windows from the Interface menu, bringing an adapter up when
// the window loads, and the read loop when the adapter goes away under it.

#include <QComboBox>
#include <QDialog>
#include <QListWidget>

#include "sim/sim_ftdi_io.h"
#include "sim/sim_spidev.h"
#include "transport/adapter/adapter_spi.h"
#include "ui/dialog_probe.h"
#include "ui/main_window_fixture.h"
#include "ui/transport/frm_adapter_select.h"

namespace vexa::ui::testing {
namespace {

class AdapterWindows : public MainWindowTest, protected DialogProbe {
 protected:
  AdapterWindows() {
    board = &ftdi.plug(sim::SimFtdiIo::ft232h());
    board->engine.attach(&sensor);
    spidev.attach(&sensor);
    ctx().platform.ftdi = &ftdi;
    ctx().platform.spidev = &spidev;
    sensor.set(PROD_ID, 27150);
  }
  // The window and the open link go before the simulated adapters they use.
  ~AdapterWindows() override {
    form.reset();
    CloseAdapter(ctx());
  }

  sim::SimFtdiIo ftdi;
  sim::SimFtdiIo::Board* board = nullptr;
  sim::SimSpidev spidev;
};

TEST_F(AdapterWindows, EachWindowListsTestsAndSelectsItsAdapter) {
  const struct {
    const char* menuName;
    const char* windowName;
    int16_t interface;
    const char* listed;  // text of the first row
    const char* setting;
    const char* settingValue;
  } cases[] = {
      {"mnuFtdi", "frmFtdiSelect", kInterfaceFtdi,
       "Single RS232-HS   serial FT5VEXA1   bus-port 1-2   0403:6014", "ftdi.serial", "FT5VEXA1"},
      {"mnuSpidev", "frmSpidevSelect", kInterfaceSpidev, "/dev/spidev0.0", "spidev.device",
       "/dev/spidev0.0"},
  };
  for (const auto& c : cases) {
    settings().Interface = kInterfaceParallel;
    load();
    world.messages.shown.clear();
    QString result;
    presenter.drive = [&](QDialog& d) {
      EXPECT_EQ(d.objectName(), c.windowName);
      auto* list = in<QListWidget>(d, "lstAdapters");
      EXPECT_EQ(list->item(0)->text().toStdString(), c.listed);
      EXPECT_EQ(list->currentRow(), 0);
      EXPECT_EQ(in<QLineEdit>(d, "txtClock")->text(), "1000000");
      EXPECT_EQ(in<QComboBox>(d, "cmboMode")->currentIndex(), 3);
      in<QPushButton>(d, "cmdTest")->click();
      result = in<QLabel>(d, "lblTestResult")->text();
      in<QPushButton>(d, "cmdOK")->click();
    };
    menu(c.menuName)->trigger();
    EXPECT_EQ(result, "PROD_ID = 27150 (0x6A0E)") << c.menuName;
    EXPECT_TRUE(messages().empty()) << c.menuName;
    EXPECT_EQ(settings().Interface, c.interface);
    EXPECT_TRUE(menu(c.menuName)->isChecked());
    EXPECT_FALSE(menu("mnuPort")->isChecked());
    EXPECT_EQ(ctx().preferences.text(c.setting), c.settingValue);
    // Register traffic now goes through the adapter (one pass, not the loop).
    check("ckLoop")->setChecked(false);
    sensor.frames = 0;
    button("cmdReadData")->click();
    EXPECT_GT(sensor.frames, 0) << c.menuName;
  }
}

TEST_F(AdapterWindows, CancelKeepsTheInterfaceAndAFailedTestSaysWhy) {
  load();
  // A test that works, then Cancel: the parallel port stays in use, the test's link goes.
  presenter.drive = [&](QDialog& d) {
    in<QPushButton>(d, "cmdTest")->click();
    in<QPushButton>(d, "cmdCancel")->click();
  };
  menu("mnuSpidev")->trigger();
  EXPECT_EQ(settings().Interface, kInterfaceParallel);
  EXPECT_EQ(ctx().adapters.Present, 0);
  EXPECT_TRUE(menu("mnuPort")->isChecked());

  board->kernelDriverBound = true;
  QString result;
  presenter.drive = [&](QDialog& d) {
    in<QPushButton>(d, "cmdTest")->click();
    result = in<QLabel>(d, "lblTestResult")->text();
    in<QPushButton>(d, "cmdCancel")->click();
  };
  world.messages.shown.clear();
  menu("mnuFtdi")->trigger();
  EXPECT_EQ(result, "Test failed");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("FTDI adapter: the ftdi_sio kernel driver holds interface A", 0),
            0u);
  EXPECT_EQ(settings().Interface, kInterfaceParallel);
  EXPECT_TRUE(menu("mnuPort")->isChecked());
  EXPECT_FALSE(menu("mnuFtdi")->isChecked());
}

TEST_F(AdapterWindows, CancelAfterATestKeepsTheSettingsInUse) {
  settings().Interface = kInterfaceParallel;
  load();
  presenter.drive = [](QDialog& d) { in<QPushButton>(d, "cmdOK")->click(); };
  menu("mnuSpidev")->trigger();
  ASSERT_EQ(settings().Interface, kInterfaceSpidev);
  // Another node (no sensor on it) and another clock, tested, then Cancel, Escape or the close
  // box: the node and clock in use stay, in the settings and on the link.
  const std::vector<std::function<void(QDialog&)>> leave = {
      [](QDialog& d) { in<QPushButton>(d, "cmdCancel")->click(); },
      [](QDialog& d) { d.reject(); },
      [](QDialog& d) { d.close(); },
  };
  for (size_t i = 0; i < leave.size(); ++i) {
    presenter.drive = [&](QDialog& d) {
      in<QListWidget>(d, "lstAdapters")->setCurrentRow(1);
      in<QLineEdit>(d, "txtClock")->setText("500000");
      in<QPushButton>(d, "cmdTest")->click();
      leave[i](d);
    };
    menu("mnuSpidev")->trigger();
    EXPECT_EQ(settings().Interface, kInterfaceSpidev) << i;
    EXPECT_EQ(ctx().preferences.text("spidev.device"), "/dev/spidev0.0") << i;
    EXPECT_EQ(ctx().preferences.number("spidev.speed_hz", 0), 1000000) << i;
    check("ckLoop")->setChecked(false);
    sensor.frames = 0;
    button("cmdReadData")->click();
    EXPECT_GT(sensor.frames, 0) << i;
  }
}

// The clock takes the command line's forms; a node with no sensor on it is taken, after a
// warning that says what PROD_ID read.
TEST_F(AdapterWindows, ClockFormsAndAWarningWhenNoSensorAnswers) {
  settings().Interface = kInterfaceParallel;
  load();
  world.messages.shown.clear();
  presenter.drive = [](QDialog& d) {
    in<QListWidget>(d, "lstAdapters")->setCurrentRow(1);
    in<QLineEdit>(d, "txtClock")->setText("2.5M");
    in<QPushButton>(d, "cmdOK")->click();
  };
  menu("mnuSpidev")->trigger();
  EXPECT_EQ(settings().Interface, kInterfaceSpidev);
  EXPECT_EQ(ctx().preferences.number("spidev.speed_hz", 0), 2500000);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find("nothing answers on the bus"), std::string::npos) << messages()[0];
}

TEST_F(AdapterWindows, LoadBringsTheAdapterUpOrOffersItsWindow) {
  settings().Interface = kInterfaceFtdi;
  load();
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(menu("mnuFtdi")->isChecked());
  EXPECT_TRUE(presenter.presented.empty());
  EXPECT_GT(sensor.frames, 0) << "the status and the output registers were read";

  form.reset();
  board->plugged = false;
  sensor.frames = 0;
  world.messages.shown.clear();
  load();
  EXPECT_EQ(presenter.presented.back(), "frmFtdiSelect");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("FTDI adapter: no FTDI board with the IDs", 0), 0u);
  EXPECT_EQ(sensor.frames, 0);
  int16_t ok = -1;
  form->Check_Interface(ok);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(settings().Interface, kInterfaceNone);
}

TEST_F(AdapterWindows, TheReadLoopEndsCleanlyWhenTheBoardIsPulledOut) {
  settings().Interface = kInterfaceFtdi;
  load();
  world.messages.shown.clear();
  atEventPass(3, [this] { board->plugged = false; });
  button("cmdReadData")->click();
  EXPECT_EQ(readCaption(), "Read");
  EXPECT_FALSE(form->busy());
  EXPECT_EQ(messages(), std::vector<std::string>{"FTDI adapter: the FTDI board at 1-2 was "
                                                 "unplugged: plug it in and choose it again in "
                                                 "Interface > FTDI"});
}

}  // namespace
}  // namespace vexa::ui::testing
