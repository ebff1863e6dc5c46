// The error context: what the raising site knew about a failure, copied into
// the engine error that reports it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/error_codes.h"

namespace zarnik {

// Short strings hold at most this many characters.
constexpr size_t kShortStringMax = 255;
// Filled messages are cut to this many characters.
constexpr size_t kMaxErrorMessage = 254;

// A context item that fills a message placeholder.
enum class ErrorItem : uint8_t {
  None,
  Server,
  User,
  Database,
  Table,
  Field,
  Index,
  Text,
  Procedure,
  Event,
  Line,
  Column,
  OSCode
};

// The items a raising site passes, in the order the raise takes them.
struct TErrorItems {
  std::string serverName{};
  std::string userName{};
  std::string databaseName{};
  std::string tableName{};
  std::string fieldName{};
  std::string indexName{};
  std::string text{};
  std::string procedureName{};
  std::string eventName{};
  int32_t line = 0;
  int32_t column = 0;
};

struct TErrorContext {
  TErrorCode errorCode = ZARNIK_NONE;
  int32_t osErrorCode = 0;
  int32_t socketErrorCode = 0;
  TErrorItems items;

  void Clear() { *this = TErrorContext(); }
};

// Cuts a string to the short-string limit.
std::string ShortString(std::string_view text);

}  // namespace zarnik
