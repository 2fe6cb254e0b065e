// The failure of one HTTP request: a status, extra head lines and an HTML
// fragment for the error page's body.
#pragma once

#include <stdexcept>
#include <string>

namespace hub {

class HttpException : public std::runtime_error {
 public:
  HttpException(int status, std::string headerText, std::string message)
      : std::runtime_error("HTTP " + std::to_string(status)),
        status_(status),
        headerText_(std::move(headerText)),
        message_(std::move(message)) {}
  HttpException(int status, std::string message) : HttpException(status, {}, std::move(message)) {}
  explicit HttpException(int status) : HttpException(status, {}, {}) {}

  int Status() const { return status_; }
  // Extra response-head lines, each ending "\r\n"; may be empty.
  const std::string& HeaderText() const { return headerText_; }
  const std::string& Message() const { return message_; }

 private:
  int status_;
  std::string headerText_;
  std::string message_;
};

// The peer went away or stopped reading while a response was sent: the
// request ends without an error page.
class ConnectionLost : public std::runtime_error {
 public:
  ConnectionLost() : std::runtime_error("connection lost") {}
};

}  // namespace hub
