// The outcome of an operation of the Linux layer and of file and device
// internals, in LevelDB's manner: what failed, its errno (or another code)
// and a message for people. Subsystems above turn it into their exceptions
// or request results at their boundary.
#pragma once

#include <string>
#include <utility>

namespace hub::platform {

class Status {
 public:
  Status() = default;  // success
  static Status Ok() { return {}; }
  // `what` names the step that failed ("create", "rename", "check"); `code` is its errno or our code.
  static Status Error(std::string what, int code, std::string message = {}) {
    Status s;
    s.what_ = std::move(what);
    s.code_ = code == 0 ? -1 : code;
    s.message_ = std::move(message);
    return s;
  }

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  const std::string& what() const { return what_; }
  const std::string& message() const { return message_; }

 private:
  std::string what_;
  int code_ = 0;
  std::string message_;
};

}  // namespace hub::platform
