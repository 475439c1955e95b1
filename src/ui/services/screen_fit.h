#pragma once

#include <QSize>

class QWidget;

namespace vexa::ui {

// Sizes a window to `preferred` where the screen has room for it, and otherwise to the room
// there is (never below what its layout needs), then keeps it on the screen. The room leaves
// space for the title bar and borders, and for a panel: not every desktop takes its panel out
// of the area it reports as available.
void FitToScreen(QWidget& window, QSize preferred);

// The largest window that fits the screen that way.
QSize ScreenRoom();

}  // namespace vexa::ui
