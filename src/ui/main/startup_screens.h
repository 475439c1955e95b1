#pragma once

#include <memory>

#include "app/startup.h"
#include "ui/main/frm_form1.h"
#include "ui/main/frm_msg.h"

namespace vexa::ui {

class ModalPresenter;

// The start-up sequence's windows: frmMsg while the delay calibrates, then frmForm1, which is
// created, loaded and shown by showMainWindow().
class StartUpWindows : public StartUpScreens {
 public:
  StartUpWindows(AppContext& ctx, ModalPresenter& presenter);
  ~StartUpWindows() override;

  void showMessageWindow() override;
  void setMessage(const std::string& text) override;
  void focusMessageWindow() override;
  void hideMessageWindow() override;
  void showMainWindow() override;

  frmMsg& messageWindow() { return message_; }
  // Null until showMainWindow().
  frmForm1* mainWindow() { return main_.get(); }
  // Handed to the main window before it loads.
  std::function<void()> onUnloaded;

 private:
  AppContext& ctx_;
  ModalPresenter& presenter_;
  frmMsg message_;
  std::unique_ptr<frmForm1> main_;
};

}  // namespace vexa::ui
