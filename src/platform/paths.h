#pragma once

#include <string>

namespace vexa {

class Paths {
 public:
  virtual ~Paths() = default;
  // Folder the settings file lives in.
  virtual std::string currentDirectory() = 0;
  // Folder of the program itself; log files go there.
  virtual std::string applicationDirectory() = 0;
};

}  // namespace vexa
