#pragma once

#include <memory>

#include <QMessageBox>
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
  bool ask(const std::string& title, const std::string& text) override;
};

// The box show() runs, for tests to look at without running it.
std::unique_ptr<QMessageBox> MakeMessageBox(const std::string& title, const std::string& text,
                                            MessageIcon icon, QWidget* parent = nullptr);

// The window title for a message box title: the window system puts the application's name on a
// window whose title is empty, so an empty title becomes a single blank, which shows empty.
QString MessageBoxTitle(const std::string& title);

}  // namespace vexa::ui
