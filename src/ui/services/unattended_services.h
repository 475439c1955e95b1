#pragma once

#include <iosfwd>

#include "platform/message_service.h"
#include "ui/services/modal_presenter.h"

namespace vexa::ui {

// For runs that nobody watches (--screenshot): messages go to standard error as one line each
// instead of waiting for an OK, and windows the program would open modally are shown and left
// open instead of holding up the program.
class ConsoleMessageService : public MessageService {
 public:
  explicit ConsoleMessageService(std::ostream& out) : out_(out) {}
  void show(const std::string& title, const std::string& text, MessageIcon icon) override;

 private:
  std::ostream& out_;
};

class ModelessPresenter : public ModalPresenter {
 public:
  void present(QDialog& dialog) override;
};

}  // namespace vexa::ui
