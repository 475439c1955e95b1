#pragma once

namespace vexa {

// Operating-system identification as the main window classifies it.
struct OsVersion {
  float platformId = 2;  // 1 is the 95 family, anything else the NT family
  float version = 5.1f;  // major.minor
  float build = 0;
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  virtual OsVersion query() = 0;
};

}  // namespace vexa
