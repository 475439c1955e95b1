// The main window and its small windows as a new user meets them: placement and focus, what the
// pointer read-out and message boxes show, the window's size on a small screen, menu items of
// windows not attached yet, the command line, termination signals, and text that is not a
// finite number.

#include <csignal>
#include <fstream>
#include <sstream>

#include <QDialog>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>

#include "app/number_format.h"
#include "app/settings_file.h"
#include "ui/main/eval_arguments.h"
#include "ui/main/strip_chart.h"
#include "ui/main_window_fixture.h"
#include "ui/services/qt_message_service.h"
#include "ui/services/termination_signals.h"
#include "ui/transport/frm_port.h"
#include "ui/transport/frm_usb_select.h"

namespace vexa::ui::testing {
namespace {

class WindowHardening : public MainWindowTest {
 protected:
  void SetUp() override {
    load();
    world.messages.shown.clear();
  }
};

TEST_F(WindowHardening, SelectionWindowsOpenAtTheMainWindowsCurrentTopLeft) {
  std::vector<QPoint> seen;
  presenter.drive = [&seen](QDialog& d) { seen.push_back(d.pos()); };
  for (QPoint where : {QPoint(120, 90), QPoint(300, 240)}) {
    form->move(where);
    menu("mnuPort")->trigger();
    menu("mnuUsb")->trigger();
  }
  // Within the few pixels a first showing may shift a window by.
  const QPoint expected[] = {{120, 90}, {120, 90}, {300, 240}, {300, 240}};
  ASSERT_EQ(seen.size(), 4u);
  for (size_t n = 0; n < 4; ++n)
    EXPECT_LE((seen[n] - expected[n]).manhattanLength(), 4)
        << n << ": " << seen[n].x() << "," << seen[n].y();
}

TEST_F(WindowHardening, PortWindowSelectsItsAddressAtEveryOpening) {
  for (int opening = 0; opening < 2; ++opening) {
    SCOPED_TRACE(opening);
    presenter.drive = [](QDialog& d) {
      auto* address = d.findChild<QLineEdit*>("txtUser");
      EXPECT_EQ(d.focusWidget(), address);
      EXPECT_EQ(address->selectedText(), address->text());
      d.findChild<QPushButton*>("cmdCancel")->setFocus();  // the user tabs away and cancels
    };
    menu("mnuPort")->trigger();
  }
}

TEST_F(WindowHardening, ARefusedPortIsAskedForAgainWhenTheAddressIsConfirmed) {
  access.allow = false;
  access.grants.clear();
  load();  // the settings name a port that cannot be had
  ASSERT_EQ(access.grants.size(), 1u);
  ASSERT_EQ(messages(),
            std::vector<std::string>{"The required I/O drivers could not be installed."});
  world.messages.shown.clear();
  presenter.drive = [](QDialog& d) {
    d.findChild<QLineEdit*>("txtUser")->setText("278");
    d.findChild<QPushButton*>("cmdOK")->click();
  };
  menu("mnuPort")->trigger();  // refused again: reported again, with its cause
  ASSERT_EQ(access.grants.size(), 2u);
  EXPECT_EQ(access.grants[1].base, 0x278);
  EXPECT_EQ(messages(),
            std::vector<std::string>{"The required I/O drivers could not be installed."});
  EXPECT_EQ(world.diagnostics.lastCause(), "no access to /dev/parport0");
  access.allow = true;
  menu("mnuPort")->trigger();  // the cause mended: granted
  EXPECT_EQ(access.grants.size(), 3u);
  menu("mnuPort")->trigger();  // held: not asked for again
  EXPECT_EQ(access.grants.size(), 3u);
}

TEST_F(WindowHardening, PointerReadOutOnlyInsideThePlotArea) {
  form->resize(1280, 820);
  form->show();
  auto* pic1 = child<StripChart>("pic1");
  const QRectF plot = pic1->plotRect();
  const auto moveTo = [pic1](QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, pic1->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(pic1, &move);
  };
  moveTo(plot.center());
  ASSERT_EQ(label("lblCurSam1")->text(), "175");
  for (QPointF outside :
       {QPointF(plot.right() + 3, plot.center().y()), QPointF(plot.center().x(), plot.bottom() + 8),
        QPointF(plot.center().x(), plot.top() - 3)}) {
    moveTo(outside);
    EXPECT_EQ(label("lblCurSam1")->text(), "175") << outside.x() << "," << outside.y();
    EXPECT_EQ(label("lblCurVal1")->text(), "0");
  }
  moveTo(plot.bottomRight());
  EXPECT_EQ(label("lblCurSam1")->text(), "350");
  form->hide();
}

TEST_F(WindowHardening, MessageBoxWithAnEmptyTitleShowsABlankOne) {
  const auto box = MakeMessageBox("", "Temperature > 600'C", MessageIcon::None);
  EXPECT_FALSE(box->windowTitle().isEmpty()) << "the window system would put the program's name";
  EXPECT_TRUE(box->windowTitle().trimmed().isEmpty());
  EXPECT_EQ(MakeMessageBox("Error", "x", MessageIcon::Critical)->windowTitle(), "Error");
}

TEST_F(WindowHardening, ShortMessageBoxIsWideEnoughForItsTitle) {
  const auto box =
      MakeMessageBox(kApplicationTitle, "Please select an interface first", MessageIcon::None);
  QFont bold = box->font();
  bold.setBold(true);
  EXPECT_GE(box->sizeHint().width(), QFontMetrics(bold).horizontalAdvance(kApplicationTitle) + 120);
}

TEST_F(WindowHardening, MainWindowFitsASmallScreen) {
  // A 1366x768 screen less a panel and the title bar: the window at its minimum fits.
  const QSize smallest = form->minimumSizeHint();
  EXPECT_LE(smallest.width(), 1366 - 16);
  EXPECT_LE(smallest.height(), 768 - 40 - 40) << "panel and title bar";
  // It opens no larger than the screen's available area.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(form->width(), std::max(area.width(), smallest.width()));
  EXPECT_LE(form->height(), std::max(area.height(), smallest.height()));
  EXPECT_TRUE(area.contains(form->geometry().topLeft()));
}

TEST_F(WindowHardening, MenuItemsOfWindowsNotAttachedAreDisabled) {
  const char* items[] = {"MnuCal",    "mnuSampleRate", "mnuRange",   "mnuFiltering", "mnuAxuIO",
                         "mnuAxuDAC", "MnuAlarms",     "mnuDatalog", "mnuRegisters"};
  form->show();
  for (const char* name : items) EXPECT_FALSE(menu(name)->isEnabled()) << name;
  EXPECT_TRUE(menu("mnuPort")->isEnabled());
  EXPECT_TRUE(menu("MnuExit")->isEnabled());
  // Attached after construction: enabled as the hook is set, disabled again when it is cleared.
  int opened = 0;
  form->later.operation = [&opened] { ++opened; };
  form->later.datalog = [] {};
  EXPECT_TRUE(menu("mnuRange")->isEnabled());
  EXPECT_TRUE(menu("mnuDatalog")->isEnabled());
  EXPECT_FALSE(menu("MnuAlarms")->isEnabled());
  menu("mnuRange")->trigger();
  EXPECT_EQ(opened, 1);
  form->later.datalog = nullptr;
  EXPECT_FALSE(menu("mnuDatalog")->isEnabled());
  form->hide();
}

TEST(EvalArguments, QtsOwnOptionsCountAsACommandLine) {
  const char* none[] = {"vexa-eval"};
  const char* platform[] = {"vexa-eval", "-platform", "offscreen"};
  const char* ours[] = {"vexa-eval", "--simulate", "--screenshot",
                        "shot.png",  "--vendor",   "0x1234"};
  const char* badVendor[] = {"vexa-eval", "--vendor", "xyz"};
  EXPECT_FALSE(ParseEvalArguments(1, none).commandLineGiven);
  EXPECT_TRUE(ParseEvalArguments(3, platform).commandLineGiven);
  const EvalArguments a = ParseEvalArguments(6, ours);
  EXPECT_TRUE(a.simulate);
  EXPECT_EQ(a.screenshot, "shot.png");
  EXPECT_EQ(a.vendorId, 0x1234);
  EXPECT_FALSE(ParseEvalArguments(3, badVendor).error.empty());
  const char* fault[] = {"vexa-eval", "--simulate-still", "--simulate-fault", "unplug-after=7"};
  EXPECT_EQ(ParseEvalArguments(4, fault).unplugAfterFrames, 7u);
  EXPECT_FALSE(ParseEvalArguments(3, fault + 1).error.empty()) << "no fault without --simulate";
}

TEST_F(WindowHardening, TerminationSignalsCloseTheMainWindowAsItsCloseBoxWould) {
  for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signalNumber);
    load();
    TerminationSignals termination;
    ASSERT_TRUE(termination.installed());
    QObject::connect(&termination, &TerminationSignals::requested, form.get(),
                     [this](int) { form->close(); });
    settings().Factory = static_cast<int16_t>(signalNumber);
    std::raise(signalNumber);
    for (int n = 0; n < 100 && !form->unloaded(); ++n) QCoreApplication::processEvents();
    EXPECT_TRUE(form->unloaded());
    std::ifstream in(world.folder() + "/" + kSettingsFileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), SettingsFileText(settings()));
  }
}

TEST_F(WindowHardening, NonFiniteTextIsNoNumberInTheFields) {
  for (const char* typed : {"nan", "inf", "-inf", "1e999"}) {
    SCOPED_TRACE(typed);
    edit("txtLoopDelay")->setText(typed);
    EXPECT_EQ(edit("txtLoopDelay")->text(), "0");
    edit("txtPowerDown")->setText(typed);
    EXPECT_EQ(edit("txtPowerDown")->text(), "0.0");
  }
}

TEST_F(WindowHardening, LoopChartsEverySampleAndShowsTheLastValuesWhenItEnds) {
  auto* pic1 = child<StripChart>("pic1");
  const int cursorBefore = pic1->cursor();
  int passes = 0;
  world.ui.onProcessEvents = [&] {
    // The sensor's X gyro changes every pass; the loop delay is 0.
    sensor.set(XGYRO_OUT, 100 * passes);
    if (++passes == 41) button("cmdReadData")->click();
  };
  edit("txtLoopDelay")->setText("0");
  int readOutChanges = 0;
  QObject::connect(readOut(XGYRO_OUT), &QLineEdit::textChanged,
                   [&readOutChanges] { ++readOutChanges; });
  button("cmdReadData")->click();
  EXPECT_EQ(pic1->cursor() - cursorBefore, 40) << "every pass reaches the chart";
  EXPECT_LT(readOutChanges, 40) << "the read-outs are not rewritten on every pass";
  // The read-out shows the last pass, as the chart's newest sample does.
  EXPECT_EQ(readOut(XGYRO_OUT)->text().toStdString(),
            FormatPattern(pic1->previousValue(0), "0.00"));
  EXPECT_NE(pic1->previousValue(0), 0.0f);
}

}  // namespace
}  // namespace vexa::ui::testing
