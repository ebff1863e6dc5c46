// How a command ends: exit status 0 when it succeeds, 2 when it raises, with
// the error's message (an engine error's full message) on standard error.
#pragma once

#include <functional>
#include <ostream>

namespace zarnik::cli {

int RunReportingErrors(const std::function<void()>& command, std::ostream& err);

}  // namespace zarnik::cli
