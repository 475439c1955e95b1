#pragma once

#include <string>

#include "app/app_context.h"

namespace vexa {

// The windows the start-up sequence drives: the loading message and the main window.
class StartUpScreens {
 public:
  virtual ~StartUpScreens() = default;
  virtual void showMessageWindow() = 0;
  virtual void setMessage(const std::string& text) = 0;
  // Focus the message window and let it paint before the busy calibration.
  virtual void focusMessageWindow() = 0;
  virtual void hideMessageWindow() = 0;
  virtual void showMainWindow() = 0;
};

// The entry procedure: loading message, delay calibration, initial state, settings file,
// register table, then the main window.
void StartUp(AppContext& ctx, StartUpScreens& screens);

}  // namespace vexa
