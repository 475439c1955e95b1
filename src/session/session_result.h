#pragma once

// What every session operation hands back: its value, or the error that stopped it. The core
// throws nothing across its boundary; each front end turns an error into its own form (an exit
// status and a line, a Python exception, a window's message).

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace vexa {

enum class SessionErrorKind {
  Usage,   // the request itself is wrong: no interface chosen, a register that cannot be read
  Device,  // the device could not be reached, or a transfer failed
};

struct SessionError {
  SessionErrorKind kind = SessionErrorKind::Device;
  std::string text;    // one line naming the cause
  bool shown = false;  // the message service has already shown `text` to the user
};

// The value of an operation that has none.
struct Done {};

template <class T>
class Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(SessionError error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  // Only when ok().
  const T& value() const { return std::get<0>(v_); }
  T& value() { return std::get<0>(v_); }
  const T& operator*() const { return value(); }
  const T* operator->() const { return &value(); }
  // Only when !ok().
  const SessionError& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, SessionError> v_;
};

using Status = Result<Done>;

}  // namespace vexa
