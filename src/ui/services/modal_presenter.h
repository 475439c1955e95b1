#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

class QDialog;

namespace vexa::ui {

// Shows a window modally and returns when it has been hidden again. The program runs a nested
// event loop; tests record the opening and drive the window without blocking.
class ModalPresenter {
 public:
  virtual ~ModalPresenter() = default;
  virtual void present(QDialog& dialog) = 0;
};

// QDialog::exec(): the window is application-modal until it hides.
class QtModalPresenter : public ModalPresenter {
 public:
  void present(QDialog& dialog) override;

 private:
  // Windows whose exec() is still on the stack. One hidden while a handler of its own runs on
  // (the USB debug window's transfer loop) is only shown again when asked for.
  std::set<const QDialog*> running_;
};

// Shows the window without a nested loop, hands it to `drive` (which plays the user: types,
// clicks), then hides it if the driver left it open, as the close box would. Notes the
// objectName of every window presented.
class RecordingModalPresenter : public ModalPresenter {
 public:
  void present(QDialog& dialog) override;
  std::vector<std::string> presented;
  std::function<void(QDialog&)> drive;
};

}  // namespace vexa::ui
