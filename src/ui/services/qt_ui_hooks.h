#pragma once

#include "platform/ui_hooks.h"

namespace vexa::ui {

// The window system as core code sees it: one pass over pending events, and the hourglass.
class QtUiHooks : public UiHooks {
 public:
  ~QtUiHooks() override;
  void processEvents() override;
  // Calls nest; the pointer returns to normal when every `true` has had its `false`.
  void setWaitCursor(bool busy) override;

 private:
  int waitDepth_ = 0;
};

}  // namespace vexa::ui
