#include "ui/services/qt_message_service.h"

#include <QApplication>
#include <QMessageBox>

namespace vexa::ui {

namespace {
QMessageBox::Icon iconOf(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Critical:
      return QMessageBox::Critical;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

void QtMessageService::show(const std::string& title, const std::string& text, MessageIcon icon) {
  QWidget* parent = QApplication::activeWindow();
  QMessageBox box(iconOf(icon), QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
}

}  // namespace vexa::ui
