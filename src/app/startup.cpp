#include "app/startup.h"

#include "app/delay.h"
#include "app/preferences.h"
#include "app/settings_file.h"

namespace vexa {

void StartUp(AppContext& ctx, StartUpScreens& screens) {
  screens.showMessageWindow();
  screens.setMessage("\r\nLOADING...\r\n\r\nSetting up Delay function");
  screens.focusMessageWindow();
  ctx.ui().processEvents();

  ctx.delay.DelayCalibrated = 0;
  CalibrateDelay(ctx);

  ctx.os.PortDriverStarted = 0;
  ctx.usb.DebugLoopStop = -1;
  ctx.usb.InputPolarityPos = -1;
  ctx.usb.CselChannel = 1;
  ctx.usb.StaticBits = 120;
  ctx.usb.WordDelay = 25;
  ctx.settings.Factory = 0;
  ctx.settings.Interface = 0;

  ReadSettings(ctx);
  ReadPreferences(ctx);
  BuildRegisterTable(ctx.registers);

  screens.setMessage(" ");
  screens.hideMessageWindow();
  screens.showMainWindow();
}

}  // namespace vexa
