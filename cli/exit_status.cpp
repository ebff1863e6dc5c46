#include "cli/exit_status.h"

#include <exception>

#include "cli/cli_error.h"

namespace zarnik::cli {

int RunReportingErrors(const std::function<void()>& command, std::ostream& err) {
  try {
    command();
    return kExitSuccess;
  } catch (const std::exception& e) {
    err << e.what() << '\n';
  } catch (...) {
    err << "an unknown error\n";
  }
  err.flush();
  return kExitError;
}

}  // namespace zarnik::cli
