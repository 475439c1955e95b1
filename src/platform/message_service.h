#pragma once

#include <string>

namespace vexa {

enum class MessageIcon { None, Information, Warning, Critical };

// Modal message boxes with a single OK button. Tests record them instead of blocking.
class MessageService {
 public:
  virtual ~MessageService() = default;
  virtual void show(const std::string& title, const std::string& text,
                    MessageIcon icon = MessageIcon::None) = 0;
};

}  // namespace vexa
