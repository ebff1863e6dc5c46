// The engine error an operation raises, for tests that expect one.
#pragma once

#include <functional>
#include <string>

#include "engine/core/engine_error.h"

namespace zarnik::testing {

struct Raised {
  TErrorCode code = 0;  // 0: nothing was raised
  std::string tableName;
  int32_t osErrorCode = 0;
};

inline Raised RaisedBy(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const EZARNIKEngineError& e) {
    return {e.ErrorCode, e.ErrorTableName, e.OSErrorCode};
  }
  return {};
}

}  // namespace zarnik::testing
