#pragma once

#include <string>

namespace vexa {

enum class MessageIcon { None, Information, Warning, Critical };

// Modal message boxes with a single OK button, and questions answered yes or no. Tests record
// them instead of blocking.
class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual void show(const std::string& title, const std::string& text,
                    MessageIcon icon = MessageIcon::None) = 0;
  // A question with Yes and No, No the default. Where nobody can answer (a console, a
  // screenshot run) the text is shown and the answer is No: nothing is done unasked.
  virtual bool ask(const std::string& title, const std::string& text) {
    show(title, text, MessageIcon::Warning);
    return false;
  }
};

}  // namespace vexa
