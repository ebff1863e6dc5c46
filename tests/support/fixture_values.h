// The values of the foreign tables' records.jsonl: a field value of a record
// in the form that file writes it (texts, numbers, dates and times as text,
// binary values as {"base64": ...}).
#pragma once

#include <algorithm>
#include <nlohmann/json.hpp>
#include <span>
#include <string>

#include "engine/data/field_definition.h"
#include "engine/data/record_layout.h"
#include "platform/byte_order.h"
#include "platform/date_time.h"

namespace zarnik::testing {

using namespace platform;

// The foreign tables of tests/data: folder, table name and password.
struct FixtureTable {
  const char* folder;
  const char* table;
  const char* password;  // empty when not encrypted
};

inline constexpr FixtureTable kFixtures[] = {
    {"thedata", "TheData", ""},
    {"alltypes", "AllTypes", ""},
    {"compressed", "TheData", ""},
    {"encrypted", "TheData", "Secret1"},
};

inline std::string TwoDigits(int v) {
  return (v < 10 ? "0" : "") + std::to_string(v);
}

inline std::string DateText(int32_t dayNumber) {
  int y, m, d;
  DayNumberToDate(dayNumber, y, m, d);
  std::string year = std::to_string(y);
  return std::string(4 - std::min<size_t>(4, year.size()), '0') + year + "-" + TwoDigits(m) + "-" +
         TwoDigits(d);
}

inline std::string TimeText(int64_t ms) {
  std::string milli = std::to_string(ms % 1000);
  return TwoDigits(int(ms / 3600000)) + ":" + TwoDigits(int(ms / 60000 % 60)) + ":" +
         TwoDigits(int(ms / 1000 % 60)) + "." + std::string(3 - milli.size(), '0') + milli;
}

inline std::string Base64(std::span<const uint8_t> b) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < b.size(); i += 3) {
    size_t left = b.size() - i;
    uint32_t v = b[i] << 16 | (left > 1 ? b[i + 1] << 8 : 0) | (left > 2 ? b[i + 2] : 0);
    out += alphabet[v >> 18 & 63];
    out += alphabet[v >> 12 & 63];
    out += left > 1 ? alphabet[v >> 6 & 63] : '=';
    out += left > 2 ? alphabet[v & 63] : '=';
  }
  return out;
}

// The field's value as records.jsonl writes it.
inline nlohmann::json ValueAsJson(const TFieldDefinition& f, const TFieldValue& v) {
  if (v.isNull) return nullptr;
  auto b = v.bytes;
  switch (f.dataType) {
    case kFieldString:
      return std::string(reinterpret_cast<const char*>(b.data()));
    case kFieldInteger:
      return GetInt32(b, 0);
    case kFieldSmallInt:
      return GetInt16(b, 0);
    case kFieldWord:
      return GetUInt16(b, 0);
    case kFieldLargeInt:
      return GetInt64(b, 0);
    case kFieldBoolean:
      return GetInt16(b, 0) != 0;
    case kFieldFloat:
      return GetFloat64(b, 0);
    case kFieldDate:
      return DateText(GetInt32(b, 0));
    case kFieldTime:
      return TimeText(GetInt32(b, 0));
    case kFieldTimestamp: {
      int64_t total = static_cast<int64_t>(GetFloat64(b, 0));
      return DateText(static_cast<int32_t>(total / 86400000)) + "T" + TimeText(total % 86400000);
    }
    case kFieldBytes:
    case kFieldVarBytes:
      return nlohmann::json{{"base64", Base64(b)}};
    default:
      return "?";
  }
}

}  // namespace zarnik::testing
