#pragma once

#include <QString>

namespace vexa::ui {

class frmForm1;

// For the documentation: opens one of the main window's windows ("calibration", "operation",
// "alarms", "registers", "usb-debug" or "magcal") with a few values filled in, saves an image of it
// to `file`, closes it and then the program. False for a name it does not know.
bool ScheduleWindowScreenshot(frmForm1& form, const QString& window, const QString& file);

}  // namespace vexa::ui
