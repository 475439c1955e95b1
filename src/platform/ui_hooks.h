#pragma once

namespace vexa {

// What core code asks of the window system while it works on the UI thread.
class UiHooks {
 public:
  virtual ~UiHooks() = default;
  // Lets the window system handle pending events (repaints, clicks) once.
  virtual void processEvents() {}
  // Hourglass pointer on (true) or back to the default (false).
  virtual void setWaitCursor(bool /*busy*/) {}
};

}  // namespace vexa
