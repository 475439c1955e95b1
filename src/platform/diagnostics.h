#pragma once

#include <string>

namespace vexa {

// Where the technical cause of a failure goes (standard error, the command line's error line),
// beside the fixed message the user sees.
class Diagnostics {
 public:
  virtual ~Diagnostics() = default;
  virtual void cause(const std::string& line) = 0;
  virtual std::string lastCause() const = 0;
};

}  // namespace vexa
