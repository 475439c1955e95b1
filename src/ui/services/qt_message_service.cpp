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

QString MessageBoxTitle(const std::string& title) {
  return title.empty() ? QStringLiteral(" ") : QString::fromStdString(title);
}

std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& title, const std::string& text,
                                            MessageIcon icon, QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(iconOf(icon), MessageBoxTitle(title),
                                           QString::fromStdString(text), QMessageBox::Ok, parent);
  box->setDefaultButton(QMessageBox::Ok);
  return box;
}

void QtMessageService::show(const std::string& title, const std::string& text, MessageIcon icon) {
  MakeMessageBox(title, text, icon, QApplication::activeWindow())->exec();
}

}  // namespace vexa::ui
