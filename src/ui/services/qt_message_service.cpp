#include "ui/services/qt_message_service.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
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
  // A short text makes a narrow box, whose title bar would cut the title ("Vexa271..._Eval_4"):
  // keep the box wide enough for the title beside the frame's icon and buttons.
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    QFont bold = box->font();
    bold.setBold(true);
    const int width = QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 160;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  return box;
}

void QtMessageService::show(const std::string& title, const std::string& text, MessageIcon icon) {
  MakeMessageBox(title, text, icon, QApplication::activeWindow())->exec();
}

bool QtMessageService::ask(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, MessageBoxTitle(title), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace vexa::ui
