// EZARNIKEngineError, the one exception every engine failure becomes, and the
// operations that fill, name and read back its codes.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "engine/core/error_context.h"
#include "platform/exceptions.h"

namespace zarnik {

class EZARNIKEngineError : public EDatabaseError {
 public:
  // Copies every context item; the message text is
  // "ZARNIK Engine Error # <code> <filled message>".
  explicit EZARNIKEngineError(const TErrorContext& context);

  TErrorCode ErrorCode;
  int32_t OSErrorCode;
  int32_t SocketErrorCode;
  std::string ErrorServerName;
  std::string ErrorUserName;
  std::string ErrorDatabaseName;
  std::string ErrorTableName;
  std::string ErrorFieldName;
  std::string ErrorIndexName;
  std::string ErrorText;
  std::string ErrorProcedureName;
  std::string ErrorEventName;
  int32_t ErrorLine;
  int32_t ErrorColumn;
};

// The code's message filled from the context, at most 254 characters.
std::string GetErrorMessage(TErrorCode code, const TErrorContext& context);
// The code's name; empty for codes without one.
std::string GetErrorName(TErrorCode code);
// The engine error code for an operating system error (errno).
TErrorCode TranslateErrno(int osError);
// The ErrorCode of an engine error; ZARNIK_OSUNKNOWN for anything else.
TErrorCode GetExceptionErrorCode(const std::exception& error);
TErrorCode GetExceptionErrorCode(std::exception_ptr error);

}  // namespace zarnik
