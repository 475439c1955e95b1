#include "ui/services/qt_ui_hooks.h"

#include <QApplication>
#include <QCursor>

namespace vexa::ui {

QtUiHooks::~QtUiHooks() {
  if (QApplication::instance() == nullptr) return;
  while (waitDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --waitDepth_;
  }
}

void QtUiHooks::processEvents() {
  QCoreApplication::processEvents();
}

void QtUiHooks::setWaitCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++waitDepth_;
  } else if (waitDepth_ > 0) {
    QApplication::restoreOverrideCursor();
    --waitDepth_;
  }
}

}  // namespace vexa::ui
