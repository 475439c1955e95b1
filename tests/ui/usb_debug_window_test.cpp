// The USB SPI debug window, opened by "Debug" of the card selection window, against the
// simulated card with the simulated sensor on its chip-select channel 1.

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/usb_driver.h"
#include "ui/config_windows_fixture.h"
#include "ui/transport/frm_usb_debug.h"
#include "ui/transport/frm_usb_select.h"

namespace vexa::ui::testing {
namespace {

constexpr const char* kNoCard = "Please Select a Buffer first";

class UsbDebugWindow : public ConfigWindowsTest {
 protected:
  void SetUp() override { load(); }

  // Opens the debug window from the card selection window and plays the user in it.
  void openDebug(std::function<void(QDialog&)> drive) {
    open("mnuUsb", [drive](QDialog& d) {
      if (d.objectName() == "frmUSBselect")
        in<QPushButton>(d, "cmdDebugUsb")->click();
      else
        drive(d);
    });
  }
  static void pressEnter(QDialog& d, const char* name) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(in<QLineEdit>(d, name), &key);
  }
  // Transfers the card carried out since its log was cleared.
  int transfers() const {
    int n = 0;
    for (const auto& w : card->pipe0Writes()) n += !w.empty() && (w[0] == 0x0D || w[0] == 0x0E);
    return n;
  }
  // Runs `f` at the n-th pass over pending events from now (1 is the next).
  void atEventPass(int n, std::function<void()> f) {
    const int target = world.ui.eventPasses + n;
    world.ui.onProcessEvents = [this, target, f] {
      if (world.ui.eventPasses == target) f();
    };
  }
};

TEST_F(UsbDebugWindow, OpensFromTheSelectionWindowShowingTheCardsAndTheirSetUp) {
  QDialog* first = nullptr;
  openDebug([&first](QDialog& d) {
    first = &d;
    EXPECT_EQ(d.windowTitle(), "USB SPI Card Setup");
    EXPECT_EQ(text(d, "txtUsbPort_0"), "FIFO4 - 0");
    EXPECT_EQ(text(d, "txtUsbPort_1"), "None");
    EXPECT_EQ(text(d, "txtDescript0_0"), "Vexa USB SPI Card");
    EXPECT_EQ(text(d, "txtDescript1_0"), "SPI Buffer");
    EXPECT_EQ(text(d, "txtDriverRev_0"), "3.7");
    EXPECT_EQ(text(d, "txtSpeed_0"), "2.0");
    EXPECT_TRUE(in<QRadioButton>(d, "optUsbPort_0")->isChecked());
    EXPECT_FALSE(in<QRadioButton>(d, "optUsbPort_1")->isEnabled());
    EXPECT_TRUE(in<QWidget>(d, "frameSPIsetup")->isEnabled());
    EXPECT_TRUE(in<QWidget>(d, "frameManual")->isEnabled());
    EXPECT_EQ(text(d, "txtLoopDelay"), "10");  // a high-speed card
    for (int n = 2; n <= 5; ++n)
      EXPECT_TRUE(in<QCheckBox>(d, QString("chkStaticBits_%1").arg(n))->isChecked());  // 0x78
    EXPECT_TRUE(in<QRadioButton>(d, "optSpiChan_1")->isChecked());
    EXPECT_EQ(in<QPushButton>(d, "cmdPolarity")->text(), "Pos");
    click(d, "cmdExit");
    EXPECT_FALSE(d.isVisible());
  });
  openDebug([first](QDialog& d) { EXPECT_EQ(&d, first) << "hidden, not unloaded"; });
  EXPECT_EQ(presenter.presented, (std::vector<std::string>{"frmUSBselect", "frmUSBdebug",
                                                           "frmUSBselect", "frmUSBdebug"}));
  EXPECT_TRUE(world.messages.shown.empty());
}

TEST_F(UsbDebugWindow, WritesTheTypedWordsAndShowsTheWordsReceived) {
  struct Case {
    const char* count;
    const char* countShown;
    int words;  // sent; 0: refused
  };
  const std::vector<Case> cases = {
      {"40", "16", 16}, {"0", "1", 1},     {"3", "3", 3},
      {"", "3", 3},     {"256", "256", 0}, {"-1", "-1", 0},
  };
  openDebug([&](QDialog& d) {
    for (const Case& c : cases) {
      for (int i = 1; i <= 16; ++i) type(d, QString("txtWriteSpi_%1").arg(i), "0");
      type(d, "txtWriteSpi_1", "0x5600");  // read PROD_ID
      type(d, "txtWriteSpi_3", "abc");
      type(d, "txtNumWords", c.count);
      world.messages.shown.clear();
      card->clearLog();
      click(d, "cmdWriteSpi");
      EXPECT_EQ(text(d, "txtNumWords"), c.countShown) << c.count;
      EXPECT_EQ(transfers(), c.words ? 1 : 0) << c.count;
      if (c.words == 0) {
        EXPECT_EQ(
            world.messages.texts(),
            std::vector<std::string>{"The number of words to write must lie between 0 and 255."});
        continue;
      }
      EXPECT_TRUE(world.messages.shown.empty()) << c.count;
      EXPECT_EQ(card->pipe0Writes().back().size(), 2u * c.words + 3) << c.count;
      EXPECT_EQ(text(d, "txtWriteSpi_1"), "5600");
      for (int i = 1; i <= 16; ++i) {
        EXPECT_EQ(text(d, QString("txtReadSpi_%1").arg(i)).isEmpty(), i > c.words) << i;
        EXPECT_EQ(text(d, QString("txtWriteSpi_%1").arg(i)).isEmpty(), i > c.words) << i;
      }
      if (c.words >= 3) {
        EXPECT_EQ(text(d, "txtWriteSpi_3"), "ABC");
        EXPECT_EQ(text(d, "txtReadSpi_2"), "6A0E") << "the sensor's answer to the read";
      }
    }
  });
}

TEST_F(UsbDebugWindow, SetUpControlsReachTheCard) {
  openDebug([this](QDialog& d) {
    type(d, "txtLoopDelay", "300");
    pressEnter(d, "txtLoopDelay");
    EXPECT_EQ(card->wordDelay(), 255);
    type(d, "txtLoopDelay", "0.4");
    pressEnter(d, "txtLoopDelay");
    EXPECT_EQ(card->wordDelay(), 1);
    EXPECT_EQ(text(d, "txtLoopDelay"), "1");

    card->setStaticBits(0x30);
    click(d, "cmdReadBits");
    const std::vector<bool> expected = {false, true, true, false};
    for (int n = 2; n <= 5; ++n)
      EXPECT_EQ(in<QCheckBox>(d, QString("chkStaticBits_%1").arg(n))->isChecked(), expected[n - 2])
          << n;
    in<QCheckBox>(d, "chkStaticBits_2")->setChecked(true);
    in<QCheckBox>(d, "chkStaticBits_3")->setChecked(false);
    in<QCheckBox>(d, "chkStaticBits_4")->setChecked(false);
    in<QCheckBox>(d, "chkStaticBits_5")->setChecked(true);
    click(d, "cmdSetSpiBits");
    EXPECT_EQ(card->staticBits(), 0x48);

    click(d, "optSpiChan_3");
    click(d, "cmdPolarity");
    EXPECT_EQ(in<QPushButton>(d, "cmdPolarity")->text(), "Neg");
    EXPECT_EQ(ctx().usb.InputPolarityPos, 0);
    card->clearLog();
    type(d, "txtNumWords", "1");
    click(d, "cmdWriteSpi");
    ASSERT_FALSE(card->pipe0Writes().empty());
    EXPECT_EQ(card->pipe0Writes().back()[0], 0x0E);
    EXPECT_EQ(card->pipe0Writes().back()[1], 3);
    click(d, "cmdPolarity");
    EXPECT_EQ(ctx().usb.InputPolarityPos, -1);
  });
  EXPECT_TRUE(world.messages.shown.empty());
}

TEST_F(UsbDebugWindow, LoopRunsUntilStoppedByStopByNoneOrByTheCardFailing) {
  struct Case {
    const char* name;
    std::function<void(QDialog&)> atThirdPass;
    int passes;     // event passes the loop made
    int transfers;  // including the first, from the boxes
    bool noneChosen;
    std::vector<std::string> messages;
  };
  const std::vector<Case> cases = {
      {"Stop", [](QDialog& d) { click(d, "cmdLoop"); }, 3, 4, false, {}},
      {"None", [](QDialog& d) { click(d, "optUsbPort_4"); }, 3, 4, true, {}},
      {"card fails",
       [this](QDialog&) { card->failRequest(usbreq::kBulkWrite, sim::FaultMode::Once); },
       3,
       4,
       true,
       {"Error Writing SPI"}},
      // "None" in the card selection window, which is open beneath, ends it as well.
      {"None beneath",
       [this](QDialog&) { form->usbWindow().findChild<QRadioButton*>("optUsbPort_4")->click(); },
       3,
       4,
       false,
       {}},
      // Hiding the window does not stop the loop; "Stop" does, two passes later.
      {"OK",
       [this](QDialog& d) {
         click(d, "cmdExit");
         atEventPass(2, [&d] { click(d, "cmdLoop"); });
       },
       5,
       6,
       false,
       {}},
  };
  for (const Case& c : cases) {
    openDebug([&](QDialog& d) {
      type(d, "txtNumWords", "2");
      type(d, "txtWriteSpi_1", "5600");
      card->clearLog();
      world.messages.shown.clear();
      const int passesBefore = world.ui.eventPasses;
      atEventPass(3, [&] { c.atThirdPass(d); });
      click(d, "cmdLoop");
      world.ui.onProcessEvents = nullptr;
      EXPECT_EQ(world.ui.eventPasses - passesBefore, c.passes) << c.name;
      EXPECT_EQ(transfers(), c.transfers) << c.name;
      EXPECT_EQ(in<QPushButton>(d, "cmdLoop")->text(), "Loop") << c.name;
      EXPECT_EQ(ctx().usb.DebugLoopStop, -1) << c.name;
      EXPECT_EQ(in<QRadioButton>(d, "optUsbPort_4")->isChecked(), c.noneChosen) << c.name;
      EXPECT_EQ(in<QWidget>(d, "frameManual")->isEnabled(), !c.noneChosen) << c.name;
      EXPECT_EQ(world.messages.texts(), c.messages) << c.name;
      EXPECT_EQ(text(d, "txtReadSpi_2"), "6A0E") << c.name;
      card->clearFaults();
    });
  }
}

// The window hidden with "OK" and the selection window closed, the loop still runs beneath the
// main window; closing the main window ends the program, and so the loop, at its next check.
TEST_F(UsbDebugWindow, ClosingTheMainWindowEndsARunningLoop) {
  int unloaded = 0;
  form->onUnloaded = [&unloaded] { ++unloaded; };
  openDebug([&](QDialog& d) {
    const int passesBefore = world.ui.eventPasses;
    atEventPass(2, [&] {
      click(d, "cmdExit");
      form->close();
    });
    click(d, "cmdLoop");
    world.ui.onProcessEvents = nullptr;
    EXPECT_EQ(world.ui.eventPasses - passesBefore, 2);
    EXPECT_EQ(in<QPushButton>(d, "cmdLoop")->text(), "Loop");
  });
  EXPECT_TRUE(form->unloaded());
  EXPECT_EQ(unloaded, 1);
  EXPECT_EQ(ctx().usb.DebugLoopStop, -1);
}

TEST_F(UsbDebugWindow, WithoutACardEveryActionAsksForABufferFirst) {
  struct Case {
    const char* control;
    bool enter;  // Enter in the field rather than a click
    bool noneChosen;
  };
  const std::vector<Case> cases = {
      {"cmdReadDelay", false, false}, {"txtLoopDelay", true, false}, {"cmdReadBits", false, false},
      {"cmdSetSpiBits", false, true}, {"cmdWriteSpi", false, true},  {"cmdLoop", false, true},
  };
  openDebug([&](QDialog& d) {
    for (const Case& c : cases) {
      click(d, "optUsbPort_0");
      // The card was lost elsewhere (a register transfer failed) while the window stayed set up.
      ctx().usb.SelectedCard.Present = 0;
      ctx().usb.DebugLoopStop = 0;
      world.messages.shown.clear();
      card->clearLog();
      if (c.enter)
        pressEnter(d, c.control);
      else
        click(d, c.control);
      EXPECT_EQ(world.messages.texts(), std::vector<std::string>{kNoCard}) << c.control;
      EXPECT_TRUE(card->pipe0Writes().empty()) << c.control;
      EXPECT_EQ(in<QRadioButton>(d, "optUsbPort_4")->isChecked(), c.noneChosen) << c.control;
      if (c.noneChosen) {
        EXPECT_EQ(ctx().usb.DebugLoopStop, -1) << c.control;
      }
      EXPECT_EQ(in<QPushButton>(d, "cmdLoop")->text(), "Loop") << c.control;
    }
  });
}

}  // namespace
}  // namespace vexa::ui::testing
