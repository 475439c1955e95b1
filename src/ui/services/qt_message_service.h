#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_service.h"

namespace vexa::ui {

// Modal message boxes with a single OK button, over the window that is active at the time.
// The caller passes the title; an empty title stays empty.
class QtMessageService : public MessageService {
 public:
  void show(const std::string& title, const std::string& text,
            MessageIcon icon = MessageIcon::None) override;
};

}  // namespace vexa::ui
