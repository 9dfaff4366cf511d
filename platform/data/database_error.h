// EDatabaseError: the data-access framework's exception, raised by the database components for
// their own checks and the base of the engine's error.
//
// It carries a message and a help context, like every exception of the framework. The message
// may be set after construction because derived errors compose it from state they first copy.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace platform {

class EDatabaseError : public std::exception {
 public:
  explicit EDatabaseError(std::string message, int help_context = 0)
      : message_(std::move(message)), help_context_(help_context) {}

  const char* what() const noexcept override { return message_.c_str(); }

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }

  int HelpContext() const { return help_context_; }
  void SetHelpContext(int help_context) { help_context_ = help_context; }

 private:
  std::string message_;
  int help_context_;
};

}  // namespace platform
