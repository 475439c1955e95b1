#include "app/startup.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/sim_world.h"

namespace vexa {
namespace {

class RecordingScreens : public StartUpScreens {
 public:
  explicit RecordingScreens(AppContext& ctx) : ctx_(ctx) {}
  void showMessageWindow() override { steps.push_back("show message"); }
  void setMessage(const std::string& text) override { steps.push_back("message:" + text); }
  void focusMessageWindow() override {
    steps.push_back("focus");
    calibratedWhenFocused = ctx_.delay.DelayCalibrated != 0;
  }
  void hideMessageWindow() override { steps.push_back("hide message"); }
  void showMainWindow() override {
    steps.push_back("show main");
    tableBuiltForMain = ctx_.registers.Label[PROD_ID] == "PROD_ID";
  }
  std::vector<std::string> steps;
  bool calibratedWhenFocused = true;
  bool tableBuiltForMain = false;

 private:
  AppContext& ctx_;
};

TEST(StartUp, PaintsTheMessageCalibratesReadsSettingsThenShowsTheMainWindow) {
  testing::SimWorld w(1e-8, /*calibrated=*/true);
  w.clock = sim::SimClock(0.0, 0.0);
  w.ctx.registers = RegisterTable{};
  w.ctx.usb.WordDelay = 99;
  std::ofstream(w.folder() + "/CommPort.cfg") << "Interface = 1\r\nPort Address = 888\r\n";

  RecordingScreens screens(w.ctx);
  StartUp(w.ctx, screens);

  EXPECT_EQ(screens.steps,
            (std::vector<std::string>{"show message",
                                      "message:\r\nLOADING...\r\n\r\nSetting up Delay function",
                                      "focus", "message: ", "hide message", "show main"}));
  EXPECT_FALSE(screens.calibratedWhenFocused == false && w.ui.eventPasses == 0);
  EXPECT_GE(w.ui.eventPasses, 1);
  EXPECT_EQ(w.ctx.delay.DelayCount, 1000);  // measured afresh, not kept from before
  EXPECT_TRUE(screens.tableBuiltForMain);
  EXPECT_EQ(w.ctx.settings.Interface, 1);
  EXPECT_EQ(w.ctx.settings.PortAddress, 888);
  EXPECT_EQ(w.ctx.usb.WordDelay, 25);
  EXPECT_EQ(w.ctx.usb.StaticBits, 120);
  EXPECT_EQ(w.ctx.usb.CselChannel, 1);
  EXPECT_NE(w.ctx.usb.InputPolarityPos, 0);
  EXPECT_NE(w.ctx.usb.DebugLoopStop, 0);
  EXPECT_EQ(w.ctx.os.PortDriverStarted, 0);
}

}  // namespace
}  // namespace vexa
