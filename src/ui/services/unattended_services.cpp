#include "ui/services/unattended_services.h"

#include <ostream>

#include <QDialog>

namespace vexa::ui {

void ConsoleMessageService::show(const std::string& title, const std::string& text, MessageIcon) {
  out_ << "vexa-eval: " << (title.empty() ? "" : title + ": ") << text << '\n';
}

void ModelessPresenter::present(QDialog& dialog) {
  dialog.show();
}

}  // namespace vexa::ui
