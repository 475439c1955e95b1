// The program's modal presenter, on real nested event loops (no waits: zero-time timers).

#include "ui/services/modal_presenter.h"

#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

namespace vexa::ui {
namespace {

// A window hidden while a handler of its own still runs (the USB debug window's transfer loop
// goes on after "OK") is asked for again from the window beneath: it must come back, so that
// its loop can be stopped from it, and not be refused as a second exec of the same window.
TEST(QtModalPresenter, AWindowHiddenWhileItsHandlerRunsCanBeShownAgain) {
  QtModalPresenter presenter;
  QDialog dialog;
  bool shownAgain = false;
  QTimer::singleShot(0, &dialog, [&] {
    dialog.hide();  // "OK" while the handler goes on
    presenter.present(dialog);
    shownAgain = dialog.isVisible();
    EXPECT_TRUE(dialog.isModal());
    dialog.hide();  // let the first opening end
  });
  presenter.present(dialog);
  EXPECT_TRUE(shownAgain);
  EXPECT_FALSE(dialog.isVisible());

  // Later openings are ordinary modal ones again.
  bool shownLater = false;
  QTimer::singleShot(0, &dialog, [&] {
    shownLater = dialog.isVisible();
    dialog.hide();
  });
  presenter.present(dialog);
  EXPECT_TRUE(shownLater);
}

}  // namespace
}  // namespace vexa::ui
