// The start-up sequence with its two windows.

#include <fstream>

#include "app/startup.h"
#include "ui/main/startup_screens.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

TEST_F(MainWindowTest, StartUpShowsTheMessageThenLoadsTheMainWindowFromTheSettings) {
  std::ofstream(world.folder() + "/CommPort.cfg")
      << "Interface =  1 \r\nPort Address =  888 \r\nFactory =  5 \r\nDevice =  27100 \r\n";
  StartUpWindows windows(ctx(), presenter);
  std::string shownWhileCalibrating;
  world.ui.onProcessEvents = [&] {
    if (shownWhileCalibrating.empty())
      shownWhileCalibrating = windows.messageWindow().lblMsg()->text().toStdString();
  };
  StartUp(ctx(), windows);

  EXPECT_EQ(shownWhileCalibrating, "\nLOADING...\n\nSetting up Delay function");
  EXPECT_EQ(windows.messageWindow().windowTitle(), "Vexa27150_Eval_4");
  EXPECT_FALSE(windows.messageWindow().isVisible());
  EXPECT_EQ(windows.messageWindow().lblMsg()->text(), " ");
  ASSERT_NE(windows.mainWindow(), nullptr);
  EXPECT_TRUE(windows.mainWindow()->isVisible());
  EXPECT_TRUE(windows.mainWindow()->findChild<QAction*>("mnuPort")->isChecked());
  EXPECT_TRUE(windows.mainWindow()->findChild<QAction*>("mnu27100")->isChecked());
  EXPECT_EQ(access.grants.size(), 1u);
  EXPECT_GT(sensor.frames, 0);
  windows.mainWindow()->close();
  EXPECT_TRUE(windows.mainWindow()->unloaded());
}

}  // namespace
}  // namespace vexa::ui::testing
