#include "ui/services/modal_presenter.h"

#include <QDialog>

namespace vexa::ui {

void QtModalPresenter::present(QDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  if (running_.count(&dialog) != 0) {
    // A second exec() would be refused: show it; the first returns when its handler has ended.
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    return;
  }
  running_.insert(&dialog);
  dialog.exec();
  running_.erase(&dialog);
}

void RecordingModalPresenter::present(QDialog& dialog) {
  presented.push_back(dialog.objectName().toStdString());
  dialog.show();
  if (drive) drive(dialog);
  if (dialog.isVisible()) dialog.close();
}

}  // namespace vexa::ui
