#include "ui/services/modal_presenter.h"

#include <QDialog>

namespace vexa::ui {

void QtModalPresenter::present(QDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.exec();
}

void RecordingModalPresenter::present(QDialog& dialog) {
  presented.push_back(dialog.objectName().toStdString());
  dialog.show();
  if (drive) drive(dialog);
  if (dialog.isVisible()) dialog.close();
}

}  // namespace vexa::ui
