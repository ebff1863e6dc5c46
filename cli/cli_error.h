// ECliError: a failure of the command-line tool itself (a bad argument, a schema
// or row that does not fit, a file that cannot be read), as opposed to an engine
// error. Both end the command with exit status 2 and their message.
#pragma once

#include <string>

#include "platform/exceptions.h"

namespace zarnik::cli {

constexpr int kExitSuccess = 0;
constexpr int kExitError = 2;

class ECliError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace zarnik::cli
