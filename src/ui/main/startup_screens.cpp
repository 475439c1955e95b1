#include "ui/main/startup_screens.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QWindow>

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
  // A window manager puts the window on the screen a little while after show(); until then
  // nothing painted shows, and the busy delay calibration that follows would leave an empty
  // frame. Wait for that (half a second at most), then paint the text at once.
  QElapsedTimer waited;
  waited.start();
  QTimer wake;  // so that the wait below returns now and then even with nothing to do
  wake.start(20);
  while (message_.windowHandle() != nullptr && !message_.windowHandle()->isExposed() &&
         waited.elapsed() < 500)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  message_.repaint();
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
