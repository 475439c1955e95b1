#include "ui/main/startup_screens.h"

#include <QLabel>

#include "ui/main/attach_windows.h"

namespace vexa::ui {

StartUpWindows::StartUpWindows(AppContext& ctx, ModalPresenter& presenter)
    : ctx_(ctx), presenter_(presenter) {}

StartUpWindows::~StartUpWindows() = default;

void StartUpWindows::showMessageWindow() {
  message_.show();
}

void StartUpWindows::setMessage(const std::string& text) {
  // The start-up text ends its lines with carriage return and line feed.
  QString t = QString::fromStdString(text);
  t.replace("\r\n", "\n");
  message_.lblMsg()->setText(t);
}

void StartUpWindows::focusMessageWindow() {
  message_.raise();
  message_.activateWindow();
  message_.setFocus();
}

void StartUpWindows::hideMessageWindow() {
  message_.hide();
}

void StartUpWindows::showMainWindow() {
  main_ = std::make_unique<frmForm1>(ctx_, presenter_);
  main_->onUnloaded = onUnloaded;
  AttachWindows(*main_, ctx_, presenter_);
  main_->Form_Load();
  main_->show();
}

}  // namespace vexa::ui
