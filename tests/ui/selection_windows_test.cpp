// The parallel-port address window and the USB card selection window, opened from the
// Interface menu, and their effect on Interface and the menu marks.

#include <QDialog>

#include "ui/dialog_probe.h"
#include "ui/main_window_fixture.h"
#include "ui/transport/frm_port.h"
#include "ui/transport/frm_usb_select.h"

namespace vexa::ui::testing {
namespace {

class SelectionWindows : public MainWindowTest, protected DialogProbe {
 protected:
  void SetUp() override {
    settings().Interface = kInterfaceNone;
    settings().PortAddress = 0;
    load();
    world.messages.shown.clear();
  }
  // The user types `text` into the address box and presses `buttonName`.
  void answerPort(const char* text, const char* buttonName) {
    presenter.drive = [text, buttonName](QDialog& d) {
      in<QLineEdit>(d, "txtUser")->setText(text);
      in<QPushButton>(d, buttonName)->click();
    };
  }
};

TEST_F(SelectionWindows, PortWindowSelectsTheParallelInterface) {
  struct Case {
    int16_t interfaceBefore, addressBefore;
    const char* typed;
    const char* button;
    int16_t interfaceAfter, addressAfter;
    bool portChecked, stillOpen;
  };
  const std::vector<Case> cases = {
      {0, 0, "378", "cmdOK", 1, 888, true, false},
      {0, 0, "278", "cmdCancel", 0, 0, false, false},
      {2, 0, "278", "cmdCancel", 2, 0, false, false},         // address 0: nothing changes
      {0, 0x378, "278", "cmdCancel", 1, 0x378, true, false},  // any address selects the port
      {0, 0x378, "", "cmdOK", 1, 0x378, true, true},          // empty: the window stays open
      {0, 0, "3G8", "cmdOK", 1, 0x308, true, false},          // a non-digit counts as 0
  };
  for (const Case& c : cases) {
    settings().Interface = c.interfaceBefore;
    settings().PortAddress = c.addressBefore;
    menu("mnuPort")->setChecked(false);
    menu("mnuUsb")->setChecked(c.interfaceBefore == 2);
    bool openAfterButton = false;
    presenter.drive = [&c, &openAfterButton](QDialog& d) {
      in<QLineEdit>(d, "txtUser")->setText(c.typed);
      in<QPushButton>(d, c.button)->click();
      openAfterButton = d.isVisible();
    };
    menu("mnuPort")->trigger();
    EXPECT_EQ(settings().Interface, c.interfaceAfter) << c.typed << c.button;
    EXPECT_EQ(settings().PortAddress, c.addressAfter) << c.typed << c.button;
    EXPECT_EQ(menu("mnuPort")->isChecked(), c.portChecked) << c.typed << c.button;
    if (c.portChecked) {
      EXPECT_FALSE(menu("mnuUsb")->isChecked());
    }
    EXPECT_EQ(openAfterButton, c.stillOpen) << c.typed << c.button;
  }
  EXPECT_TRUE(messages().empty());
}

TEST_F(SelectionWindows, PortWindowStartsThePortDriverOnceAndShowsTheAddressAgain) {
  answerPort("378", "cmdOK");
  menu("mnuPort")->trigger();
  ASSERT_EQ(access.grants.size(), 1u);
  EXPECT_EQ(access.grants[0].base, 0x378);
  EXPECT_EQ(ctx().os.PortDriverStarted, -1);

  QString shown;
  presenter.drive = [&shown](QDialog& d) {
    shown = in<QLineEdit>(d, "txtUser")->text();
    in<QLineEdit>(d, "txtUser")->setText("3bc");
    in<QPushButton>(d, "cmdOK")->click();
  };
  menu("mnuPort")->trigger();
  EXPECT_EQ(shown, "378");
  EXPECT_EQ(settings().PortAddress, 0x3BC);
  // The driver is set up once per run, but a new address needs the port at that address.
  ASSERT_EQ(access.grants.size(), 2u);
  EXPECT_EQ(access.grants[1].base, 0x3BC);
  EXPECT_EQ(form->portWindow().findChild<QLineEdit*>("txtUser")->text(), "3BC");
  EXPECT_EQ(presenter.presented, (std::vector<std::string>{"frmPort", "frmPort"}));
}

TEST_F(SelectionWindows, PortWindowOnTheWin95FamilyUsesThePortDirectly) {
  ctx().os.OsName = "Win98";
  answerPort("378", "cmdOK");
  menu("mnuPort")->trigger();
  EXPECT_TRUE(access.grants.empty());
  EXPECT_EQ(ctx().os.PortDriverStarted, 0);
  EXPECT_EQ(settings().Interface, 1);
}

TEST_F(SelectionWindows, WindowsOpenAtTheMainWindowsTopLeftAndAreKept) {
  form->move(120, 90);
  form->show();
  frmPort* port = &form->portWindow();
  frmUSBselect* usbWindow = &form->usbWindow();
  EXPECT_EQ(port->pos(), form->frameGeometry().topLeft());
  EXPECT_EQ(usbWindow->pos(), form->frameGeometry().topLeft());
  EXPECT_EQ(port->windowTitle(), "Parallel Port Setup");
  EXPECT_EQ(usbWindow->windowTitle(), "USB SPI Card Selection");
  menu("mnuPort")->trigger();
  menu("mnuUsb")->trigger();
  EXPECT_EQ(&form->portWindow(), port);
  EXPECT_EQ(&form->usbWindow(), usbWindow);
  EXPECT_FALSE(port->isVisible());
  EXPECT_FALSE(usbWindow->isVisible());
  form->hide();
}

TEST_F(SelectionWindows, UsbWindowSelectsTheCardOrNoInterface) {
  struct Case {
    bool card;
    const char* choose;  // option clicked by the user, or none
    int16_t interfaceAfter;
    bool usbChecked;
  };
  const std::vector<Case> cases = {
      {true, nullptr, 2, true},
      {true, "optUsbPort_4", 0, false},
      {false, nullptr, 0, false},
  };
  for (const Case& c : cases) {
    if (c.card)
      plugCard();
    else
      usb.unplug(0);
    settings().Interface = kInterfaceParallel;
    menu("mnuPort")->setChecked(true);
    ctx().usb.DebugLoopStop = 0;
    presenter.drive = [&c](QDialog& d) {
      if (c.choose) in<QRadioButton>(d, c.choose)->click();
      in<QPushButton>(d, "cmdExit")->click();
    };
    menu("mnuUsb")->trigger();
    EXPECT_EQ(settings().Interface, c.interfaceAfter);
    EXPECT_EQ(menu("mnuUsb")->isChecked(), c.usbChecked);
    EXPECT_FALSE(menu("mnuPort")->isChecked());
    if (c.choose) {
      EXPECT_EQ(ctx().usb.DebugLoopStop, -1);
    }
  }
}

TEST_F(SelectionWindows, UsbWindowSearchesAtEveryOpening) {
  sim::SimUsbCard& card = plugCard(0);
  plugCard(1);
  struct Seen {
    bool enabled0, enabled1, checked0, checked1, checkedNone;
    std::string descriptor, rev, speed;
  };
  std::vector<Seen> seen;
  auto look = [&seen](QDialog& d, const char* choose) {
    seen.push_back({in<QRadioButton>(d, "optUsbPort_0")->isEnabled(),
                    in<QRadioButton>(d, "optUsbPort_1")->isEnabled(),
                    in<QRadioButton>(d, "optUsbPort_0")->isChecked(),
                    in<QRadioButton>(d, "optUsbPort_1")->isChecked(),
                    in<QRadioButton>(d, "optUsbPort_4")->isChecked(),
                    in<QLineEdit>(d, "txtDescript0_0")->text().toStdString(),
                    in<QLineEdit>(d, "txtDriverRev_0")->text().toStdString(),
                    in<QLineEdit>(d, "txtSpeed_0")->text().toStdString()});
    if (choose) in<QRadioButton>(d, choose)->click();
  };
  presenter.drive = [&look](QDialog& d) { look(d, "optUsbPort_1"); };
  menu("mnuUsb")->trigger();
  EXPECT_EQ(ctx().usb.SelectedCard.Name, ctx().usb.UsbCards[1].Name);
  // The search selected slot 0 first and sent it the card settings as they stood.
  card.setStaticBits(0);
  ctx().usb.StaticBits = 0x5A;
  presenter.drive = nullptr;
  menu("mnuUsb")->trigger();
  EXPECT_EQ(card.staticBits(), 0x5A);
  EXPECT_EQ(card.wordDelay(), ctx().usb.WordDelay);
  presenter.drive = [&look](QDialog& d) { look(d, "optUsbPort_1"); };
  menu("mnuUsb")->trigger();
  seen.pop_back();

  // Reopened: the lowest slot is selected again, whatever was chosen before.
  presenter.drive = [&look](QDialog& d) { look(d, nullptr); };
  menu("mnuUsb")->trigger();
  // Unplugged in between: its option is disabled and its texts are gone.
  usb.unplug(0);
  usb.unplug(1);
  menu("mnuUsb")->trigger();

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(seen[0].enabled0 && seen[0].enabled1 && seen[0].checked0);
  EXPECT_FALSE(seen[0].descriptor.empty());
  EXPECT_EQ(seen[0].rev, "3.7");
  EXPECT_EQ(seen[0].speed, "2.0");
  EXPECT_TRUE(seen[1].checked0);
  EXPECT_FALSE(seen[1].checked1);
  EXPECT_FALSE(seen[2].enabled0 || seen[2].enabled1);
  EXPECT_TRUE(seen[2].checkedNone);
  EXPECT_EQ(seen[2].descriptor, "");
  EXPECT_EQ(seen[2].rev, "");
  EXPECT_EQ(settings().Interface, 0);
  EXPECT_EQ(presenter.presented.size(), 5u);
}

// The card's set-up commands, in the order they reached it: 0x0B word delay, 0x0C static bits.
std::vector<int> setUpCommands(const sim::SimUsbCard& card) {
  std::vector<int> out;
  for (const auto& w : card.pipe0Writes())
    if (!w.empty() && (w[0] == 0x0B || w[0] == 0x0C)) out.push_back(w[0]);
  return out;
}

TEST_F(MainWindowTest, CardSettingsGoOutStaticBitsFirstAtLoadWordDelayFirstOnChoosing) {
  settings().Interface = kInterfaceUsb;
  sim::SimUsbCard& card = plugCard();
  load();
  EXPECT_EQ(setUpCommands(card), (std::vector<int>{0x0C, 0x0B}));
  card.clearLog();
  menu("mnuUsb")->trigger();  // the search selects slot 0, which runs its option
  EXPECT_EQ(setUpCommands(card), (std::vector<int>{0x0B, 0x0C}));
}

TEST_F(SelectionWindows, UsbDebugButtonOpensTheDebugWindowWhenThereIsOne) {
  int opened = 0;
  presenter.drive = [](QDialog& d) { in<QPushButton>(d, "cmdDebugUsb")->click(); };
  menu("mnuUsb")->trigger();
  EXPECT_EQ(opened, 0);
  form->later.usbDebug = [&opened] { ++opened; };
  menu("mnuUsb")->trigger();
  EXPECT_EQ(opened, 1);
}

}  // namespace
}  // namespace vexa::ui::testing
