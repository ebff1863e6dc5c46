// The exception classes every layer raises: the platform's base exception with
// its message text, the database error of the component layer, and the silent
// abort that unwinds without being reported.
#pragma once

#include <exception>
#include <string>

namespace zarnik {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message, int helpContext = 0)
      : message_(std::move(message)), helpContext_(helpContext) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  int HelpContext() const { return helpContext_; }

 private:
  std::string message_;
  int helpContext_;
};

class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// Unwinds an operation without an error report.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  explicit EAbort(std::string message) : Exception(std::move(message)) {}
};

}  // namespace zarnik
