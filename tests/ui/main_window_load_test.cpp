// The main window's load sequence, its menus and the device and interface selection.

#include <QGroupBox>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>

#include "registers/register_table.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

struct LoadCase {
  const char* name;
  int16_t interface;
  OsVersion os;
  bool card;       // a USB card in slot 0
  bool allowPort;  // port access granted
  const char* osName;
  int grants;    // port access requests
  bool traffic;  // the sensor was read
  bool loaded;   // the load went on past the menu marks
  int16_t interfaceAfter;
  bool portChecked, usbChecked, usbVisible;
  std::vector<std::string> messages;
  std::vector<std::string> presented;
};

// Reports a case by its name, not as a dump of its bytes.
void PrintTo(const LoadCase& c, std::ostream* os) {
  *os << c.name;
}

class LoadSequence : public MainWindowTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadSequence, BringsUpTheTransportTheSettingsName) {
  const LoadCase& c = GetParam();
  settings().Interface = c.interface;
  world.system.version = c.os;
  access.allow = c.allowPort;
  if (c.card) plugCard();

  load();

  EXPECT_EQ(ctx().os.OsName, c.osName);
  EXPECT_EQ(static_cast<int>(access.grants.size()), c.grants);
  if (c.grants > 0) {
    EXPECT_EQ(access.grants[0].framesBefore, 0) << "port access must come before any traffic";
    EXPECT_EQ(access.grants[0].base, 0x378);
    EXPECT_EQ(ctx().os.PortDriverStarted, -1);
  }
  EXPECT_EQ(sensor.frames > 0, c.traffic);
  EXPECT_EQ(settings().Interface, c.interfaceAfter);
  EXPECT_EQ(menu("mnuPort")->isChecked(), c.portChecked);
  EXPECT_EQ(menu("mnuUsb")->isChecked(), c.usbChecked);
  EXPECT_EQ(menu("mnuUsb")->isVisible(), c.usbVisible);
  EXPECT_EQ(messages(), c.messages);
  EXPECT_EQ(presenter.presented, c.presented);
  // The window always opens idle and in loop mode when it reached the sensor.
  EXPECT_EQ(readCaption(), "Read");
  EXPECT_EQ(check("ckLoop")->isChecked(), c.loaded);
  // The read-outs show a pass only when it reached the sensor: without a card nothing was read.
  EXPECT_EQ(readOut(SUPPLY_OUT)->text().isEmpty(), !(c.loaded && c.traffic));
}

const OsVersion kXp{2, 6.1f, 0};
const OsVersion kNt{2, 5.0f, 0};
const OsVersion k95{1, 4.0f, 1998};
const OsVersion k98{1, 4.1f, 2222};
const char* kNoInterface = "Please select an interface before taking data";

INSTANTIATE_TEST_SUITE_P(
    PerInterfaceAndSystem, LoadSequence,
    ::testing::Values(
        LoadCase{"ParallelXp",
                 1,
                 kXp,
                 false,
                 true,
                 "WinXP",
                 1,
                 true,
                 true,
                 1,
                 true,
                 false,
                 true,
                 {},
                 {}},
        LoadCase{"ParallelNt",
                 1,
                 kNt,
                 false,
                 true,
                 "WinNT",
                 1,
                 true,
                 true,
                 1,
                 true,
                 false,
                 true,
                 {},
                 {}},
        LoadCase{"ParallelWin95",
                 1,
                 k95,
                 false,
                 true,
                 "Win95",
                 0,
                 true,
                 true,
                 1,
                 true,
                 false,
                 true,
                 {},
                 {}},
        LoadCase{"ParallelRefused",
                 1,
                 kXp,
                 false,
                 false,
                 "WinXP",
                 1,
                 true,
                 true,
                 1,
                 true,
                 false,
                 true,
                 {"The required I/O drivers could not be installed."},
                 {}},
        LoadCase{"UsbCardFound",
                 2,
                 kXp,
                 true,
                 true,
                 "WinXP",
                 0,
                 true,
                 true,
                 2,
                 false,
                 true,
                 true,
                 {},
                 {}},
        LoadCase{
            "UsbWin98", 2, k98, true, true, "Win98", 0, true, true, 2, false, true, true, {}, {}},
        LoadCase{"UsbNoCard",
                 2,
                 kXp,
                 false,
                 true,
                 "WinXP",
                 0,
                 false,
                 true,
                 2,
                 false,
                 true,
                 true,
                 {"No USB Buffers Found, Please Verify Setup and Restart",
                  "No USB Buffers Found, Please Verify Setup and Restart"},
                 {"frmUSBselect"}},
        LoadCase{"UsbWin95",
                 2,
                 k95,
                 true,
                 true,
                 "Win95",
                 0,
                 false,
                 false,
                 0,
                 false,
                 false,
                 false,
                 {"USB not available for Windows95"},
                 {}},
        LoadCase{"NoInterface",
                 0,
                 kXp,
                 false,
                 true,
                 "WinXP",
                 0,
                 false,
                 false,
                 0,
                 false,
                 false,
                 true,
                 {kNoInterface},
                 {}},
        LoadCase{"UnknownInterface",
                 7,
                 kXp,
                 false,
                 true,
                 "WinXP",
                 0,
                 false,
                 false,
                 0,
                 false,
                 false,
                 true,
                 {kNoInterface},
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, RefusedPortAccessSendsItsCauseToTheDiagnostics) {
  access.allow = false;
  load();
  ASSERT_EQ(world.messages.shown.size(), 1u);
  EXPECT_EQ(world.messages.shown[0].title, "Error");
  EXPECT_EQ(world.diagnostics.lastCause(), "no access to /dev/parport0");
}

TEST_F(MainWindowTest, LoadSetsCaptionsPlotSelectionAndControlsAndReadsTheShadows) {
  sensor.set(MSC_CTRL, 0x0004);
  sensor.set(GPIO_CTRL, 0x0022);
  sensor.set(STATUS, 0x0000);
  load();
  EXPECT_EQ(form->windowTitle(), "Corvane - Vexa 27150 Evaluation Software - Rev 4");
  EXPECT_EQ(edit("txtLoopDelay")->text(), "5");
  EXPECT_EQ(edit("txtPowerDown")->text(), "0");
  EXPECT_EQ(label("lblPDElapsed")->text(), "0.0");
  EXPECT_EQ(label("lblStatus")->text(), "0x0000");
  {
    // The elapsed time counts in the regional form: it starts in it too.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    frmForm1 german(world.ctx, presenter);
    german.Form_Load();
    QLocale::setDefault(before);
    EXPECT_EQ(german.findChild<QLabel*>("lblPDElapsed")->text(), "0,0");
  }
  for (const char* name :
       {"lblCurSam1", "lblCurVal1", "lblCurSam2", "lblCurVal2", "LbLcurSam3", "lblCurVal3"})
    EXPECT_EQ(label(name)->text(), "0") << name;
  for (int i = 2; i <= 10; ++i) {
    const bool on = i != 3 && i != 5 && i != 9;
    EXPECT_EQ(check(QString("ckG_%1").arg(i))->isChecked(), on) << i;
    EXPECT_EQ(child<QWidget>(QString("Shape_%1").arg(i))->isVisibleTo(form.get()), on) << i;
  }
  EXPECT_EQ(ctx().access.MscCtrlShadow, 0x0004);
  EXPECT_EQ(ctx().access.GpioCtrlShadow, 0x0022);
  // One reading: twelve output reads, each a command frame and a reply frame, among the rest.
  EXPECT_EQ(readOut(AUX_ADC)->text(), "0.00");
}

TEST_F(MainWindowTest, TemperatureCheckAfterTheFirstReading) {
  struct Case {
    int32_t raw;
    float scale, offset;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {700, 1, 0, {"Temperature > 600'C,  Check Dut Connections / Power"}},
      {-100, 1, 0, {"Temperature < -99'C,  Check Dut Connections / Power"}},
      {600, 1, 0, {}},
      {-99, 1, 0, {}},
  };
  for (const Case& c : cases) {
    world.messages.shown.clear();
    BuildRegisterTable(ctx().registers);
    sensor.set(TEMP_OUT, c.raw);
    ctx().registers.RegScale[TEMP_OUT] = c.scale;
    ctx().registers.RegOffset[TEMP_OUT] = c.offset;
    // The table is rebuilt by start-up, not by the window; keep the test's scale.
    load();
    EXPECT_EQ(messages(), c.messages) << c.raw;
    for (const auto& m : world.messages.shown) EXPECT_EQ(m.title, "") << c.raw;
  }
}

TEST_F(MainWindowTest, SetDeviceChecksItsItemAndCaptionsThePlotFrame) {
  struct Case {
    double product;
    bool checked27100, checked27150;
    const char* caption;
  };
  const std::vector<Case> cases = {
      {27100, true, false, "Data Plot      Device = Vexa27100"},
      {27150, false, true, "Data Plot      Device = Vexa27150"},
      {0, false, true, "Data Plot      Device = Vexa0"},
      {12345, false, true, "Data Plot      Device = Vexa12345"},
  };
  load();
  for (const Case& c : cases) {
    ctx().registers.RegScale[XACCL_OUT] = 1;
    form->setDevice(c.product);
    EXPECT_EQ(menu("mnu27100")->isChecked(), c.checked27100) << c.product;
    EXPECT_EQ(menu("mnu27150")->isChecked(), c.checked27150) << c.product;
    EXPECT_EQ(child<QGroupBox>("FrameDataPLot")->title().toStdString(), c.caption);
    EXPECT_EQ(ctx().registers.RegScale[XACCL_OUT], 0.00333f);
    EXPECT_EQ(ctx().registers.Label[ZACCL_OUT], "ZACCL_OUT");
    EXPECT_EQ(label("lblnFS2")->text(), "-1.5");
    EXPECT_EQ(label("lblmidS2")->text(), "0");
    EXPECT_EQ(label("LblpFS3")->text(), "1000");
  }
  // The menu items reach the same operation; the choice is not stored.
  menu("mnu27100")->trigger();
  EXPECT_TRUE(menu("mnu27100")->isChecked());
  EXPECT_FALSE(menu("mnu27150")->isChecked());
  EXPECT_EQ(settings().Device, 27150);
}

TEST_F(MainWindowTest, GyroScalesFollowTheRangeField) {
  const std::vector<std::pair<int32_t, float>> cases = {
      {0x0400, static_cast<float>(819.15 / 16383)},
      {0x0402, static_cast<float>(819.15 / 16383)},
      {0x0200, static_cast<float>(409.575 / 16383)},
      {0x0100, static_cast<float>(204.7875 / 16383)},
      {0x0000, 0.0f},
      {0x0300, 0.0f},
      {0x0700, 0.0f}};
  load();
  for (const auto& [sensAvg, scale] : cases) {
    sensor.set(SENS_AVG, sensAvg);
    form->SETGYROSCALES();
    for (int16_t row : {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT})
      EXPECT_FLOAT_EQ(ctx().registers.RegScale[row], scale) << std::hex << sensAvg;
  }
  EXPECT_NEAR(static_cast<float>(819.15 / 16383), 0.05f, 1e-6);
}

TEST_F(MainWindowTest, CheckInterfaceDropsAnUnusableTransport) {
  struct Case {
    int16_t interface, portAddress;
    bool card;
    int16_t ok, after;
    bool portChecked, usbChecked;
  };
  const std::vector<Case> cases = {
      {1, 0x378, false, -1, 1, true, false}, {1, 0, false, 0, 0, false, false},
      {2, 0x378, true, -1, 2, false, true},  {2, 0x378, false, 0, 0, false, false},
      {0, 0x378, true, 0, 0, false, false},
  };
  settings().Interface = 0;
  load();
  for (const Case& c : cases) {
    world.messages.shown.clear();
    settings().Interface = c.interface;
    settings().PortAddress = c.portAddress;
    ctx().usb.SelectedCard.Present = c.card ? -1 : 0;
    int16_t ok = 7;
    form->Check_Interface(ok);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(settings().Interface, c.after);
    EXPECT_EQ(menu("mnuPort")->isChecked(), c.portChecked);
    EXPECT_EQ(menu("mnuUsb")->isChecked(), c.usbChecked);
    EXPECT_EQ(messages().size(), c.ok ? 0u : 1u);
  }
  // Calibration opens only after a successful check.
  int opened = 0;
  form->later.calibration = [&opened] { ++opened; };
  settings().Interface = 0;
  menu("MnuCal")->trigger();
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(messages().back(), "Please select an interface first");
  settings().Interface = 1;
  menu("MnuCal")->trigger();
  EXPECT_EQ(opened, 1);
}

TEST_F(MainWindowTest, MenuBarHasItsItemsInOrder) {
  load();
  std::vector<std::string> captions;
  for (QAction* a : form->menuBar()->actions()) captions.push_back(a->text().toStdString());
  EXPECT_EQ(captions, (std::vector<std::string>{"Interface", "Device", "Configuration", "Datalog",
                                                "Registers", "Tools", "Exit"}));
  auto itemsOf = [this](const char* menuName) {
    std::vector<std::string> out;
    for (QAction* a : child<QMenu>(menuName)->actions()) out.push_back(a->text().toStdString());
    return out;
  };
  EXPECT_EQ(itemsOf("mnuInterface"),
            (std::vector<std::string>{"Parallel", "Usb", "FTDI", "spidev", "Fast Reads"}));
  EXPECT_EQ(itemsOf("mnuDevice"), (std::vector<std::string>{"Vexa27100", "Vexa27150"}));
  EXPECT_EQ(itemsOf("mnuConfiguration"),
            (std::vector<std::string>{"Calibration", "Operation", "Alarms",
                                      "Magnetometer Calibration", "Accelerometer Calibration"}));
  EXPECT_EQ(itemsOf("mnuOperation"),
            (std::vector<std::string>{"Sample Rate", "Range", "Filtering", "Auxilliary I/O",
                                      "Auxilliary DAC"}));
  // All five operation items open the same window.
  int operation = 0;
  form->later.operation = [&operation] { ++operation; };
  for (const char* name : {"mnuSampleRate", "mnuRange", "mnuFiltering", "mnuAxuIO", "mnuAxuDAC"})
    menu(name)->trigger();
  EXPECT_EQ(operation, 5);
}

}  // namespace
}  // namespace vexa::ui::testing
