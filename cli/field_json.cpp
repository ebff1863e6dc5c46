#include "cli/field_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "cli/base64.h"
#include "cli/cli_error.h"
#include "cli/text_encoding.h"
#include "engine/data/bcd.h"
#include "platform/byte_order.h"
#include "platform/date_time.h"

namespace zarnik::cli {

using nlohmann::json;
using nlohmann::ordered_json;
using namespace platform;

namespace {

constexpr int64_t kMsPerDay = 86400000;
constexpr const char* kBase64Key = "base64";

[[noreturn]] void Refuse(const std::string& why) { throw ECliError(why); }

std::string TypeOf(const json& value) { return value.type_name(); }

[[noreturn]] void RefuseType(const json& value, const char* expected) {
  Refuse("expected " + std::string(expected) + ", got " + TypeOf(value));
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

template <typename T>
std::vector<uint8_t> Encoded(T value) {
  std::vector<uint8_t> bytes(sizeof(T));
  PutLittleEndian(std::span<uint8_t>(bytes), 0, value);
  return bytes;
}

std::vector<uint8_t> EncodedDouble(double value) {
  std::vector<uint8_t> bytes(8);
  PutFloat64(bytes, 0, value);
  return bytes;
}

// A whole number, also when written with a zero fraction, within the range.
int64_t WholeNumber(const json& value, int64_t minimum, int64_t maximum) {
  int64_t number = 0;
  if (value.is_number_unsigned()) {
    uint64_t u = value.get<uint64_t>();
    if (u > static_cast<uint64_t>(maximum)) Refuse(value.dump() + " is out of range");
    number = static_cast<int64_t>(u);
  } else if (value.is_number_integer()) {
    number = value.get<int64_t>();
  } else if (value.is_number_float()) {
    double d = value.get<double>();
    if (d != std::trunc(d)) Refuse("expected a whole number, got " + value.dump());
    if (!(d >= -9.2e18 && d <= 9.2e18)) Refuse(value.dump() + " is out of range");
    number = static_cast<int64_t>(d);
  } else {
    RefuseType(value, "a whole number");
  }
  if (number < minimum || number > maximum) Refuse(value.dump() + " is out of range");
  return number;
}

const std::string& JsonText(const json& value) {
  if (!value.is_string()) RefuseType(value, "a text");
  return value.get_ref<const std::string&>();
}

void CheckLength(size_t length, size_t limit, const char* unit) {
  if (length > limit)
    Refuse("too long: " + std::to_string(length) + " " + unit + " for a field of " + std::to_string(limit));
}

std::vector<uint8_t> StringBytes(const TFieldDefinition& field, const json& value) {
  if (field.subtype == kSubtypeWideString) {
    std::u16string units = Utf8ToUtf16(JsonText(value));
    CheckLength(units.size(), field.size, "characters");
    std::vector<uint8_t> bytes(2 * units.size() + 2);
    for (size_t i = 0; i < units.size(); ++i) PutUInt16(bytes, 2 * i, units[i]);
    return bytes;
  }
  std::string text = Utf8ToWindows1252(JsonText(value));
  if (text.find('\0') != std::string::npos) Refuse("a text field cannot hold the character U+0000");
  CheckLength(text.size(), field.size, "characters");
  std::vector<uint8_t> bytes = Bytes(text);
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> Base64Bytes(const json& value) {
  auto it = value.is_object() && value.size() == 1 ? value.find(kBase64Key) : value.end();
  if (it == value.end() || !it->is_string()) RefuseType(value, "{\"base64\": \"...\"}");
  auto bytes = DecodeBase64(it->get_ref<const std::string&>());
  if (!bytes) Refuse("the \"base64\" text is not base64");
  return *bytes;
}

std::vector<uint8_t> BinaryBytes(const TFieldDefinition& field, const json& value) {
  std::vector<uint8_t> bytes = Base64Bytes(value);
  CheckLength(bytes.size(), field.size, "bytes");
  return bytes;
}

std::vector<uint8_t> BlobBytes(const TFieldDefinition& field, const json& value) {
  if (field.subtype == kSubtypeMemo) return Bytes(Utf8ToWindows1252(JsonText(value)));
  return Base64Bytes(value);
}

// Reads exactly `digits` digits at pos.
bool Digits(std::string_view text, size_t& pos, size_t digits, int& value) {
  if (pos + digits > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i, ++pos) {
    if (text[pos] < '0' || text[pos] > '9') return false;
    value = value * 10 + (text[pos] - '0');
  }
  return true;
}

bool Separator(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// "YYYY-MM-DD" at pos: the day number.
bool ScanDate(std::string_view text, size_t& pos, int32_t& dayNumber) {
  int y, m, d;
  if (!Digits(text, pos, 4, y) || !Separator(text, pos, '-') || !Digits(text, pos, 2, m) ||
      !Separator(text, pos, '-') || !Digits(text, pos, 2, d) || !IsValidDate(y, m, d))
    return false;
  dayNumber = DateToDayNumber(y, m, d);
  return true;
}

// "HH:MM:SS" with an optional fraction of one to three digits, to the end.
bool ScanTime(std::string_view text, size_t& pos, int32_t& milliseconds) {
  int h, m, s, ms = 0;
  if (!Digits(text, pos, 2, h) || !Separator(text, pos, ':') || !Digits(text, pos, 2, m) ||
      !Separator(text, pos, ':') || !Digits(text, pos, 2, s))
    return false;
  if (Separator(text, pos, '.')) {
    size_t digits = text.size() - pos;
    if (digits < 1 || digits > 3 || !Digits(text, pos, digits, ms)) return false;
    for (size_t i = digits; i < 3; ++i) ms *= 10;
  }
  if (pos != text.size() || !IsValidTime(h, m, s, ms)) return false;
  milliseconds = ((h * 60 + m) * 60 + s) * 1000 + ms;
  return true;
}

std::vector<uint8_t> DateBytes(const json& value) {
  std::string_view text = JsonText(value);
  size_t pos = 0;
  int32_t day = 0;
  if (!ScanDate(text, pos, day) || pos != text.size()) Refuse("expected a date \"YYYY-MM-DD\", got " + value.dump());
  return Encoded(day);
}

std::vector<uint8_t> TimeBytes(const json& value) {
  std::string_view text = JsonText(value);
  size_t pos = 0;
  int32_t ms = 0;
  if (!ScanTime(text, pos, ms)) Refuse("expected a time \"HH:MM:SS.zzz\", got " + value.dump());
  return Encoded(ms);
}

std::vector<uint8_t> TimestampBytes(const json& value) {
  std::string_view text = JsonText(value);
  size_t pos = 0;
  int32_t day = 0, ms = 0;
  if (!ScanDate(text, pos, day) || !Separator(text, pos, 'T') || !ScanTime(text, pos, ms))
    Refuse("expected a timestamp \"YYYY-MM-DDTHH:MM:SS.zzz\", got " + value.dump());
  return EncodedDouble(static_cast<double>(day) * kMsPerDay + ms);
}

double Number(const json& value) {
  if (!value.is_number()) RefuseType(value, "a number");
  return value.get<double>();
}

// A number as a currency (x 10,000), read from its decimal text so that a
// value such as 0.1 is taken as written.
TCurrency CurrencyOf(const json& value) {
  std::optional<TCurrency> currency;
  if (value.is_number_integer() || value.is_number_unsigned()) {
    currency = ParseCurrency(value.dump());
  } else {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, Number(value));
    currency = ParseCurrency(std::string_view(text, result.ptr - text));
  }
  if (!currency) Refuse(value.dump() + " is out of range");
  return *currency;
}

std::vector<uint8_t> BcdBytes(const TFieldDefinition& field, const json& value) {
  std::optional<TBcd> bcd = CurrencyToBcd(CurrencyOf(value), kBcdPrecision, field.scale);
  if (!bcd) Refuse(value.dump() + " does not fit the field");
  return {bcd->begin(), bcd->end()};
}

std::vector<uint8_t> IntegerBytes(const TFieldDefinition& field, const json& value) {
  switch (field.dataType) {
    case kFieldSmallInt: return Encoded(static_cast<int16_t>(WholeNumber(value, INT16_MIN, INT16_MAX)));
    case kFieldWord: return Encoded(static_cast<uint16_t>(WholeNumber(value, 0, UINT16_MAX)));
    case kFieldInteger: return Encoded(static_cast<int32_t>(WholeNumber(value, INT32_MIN, INT32_MAX)));
    default: return Encoded(WholeNumber(value, INT64_MIN, INT64_MAX));
  }
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// The JSON of a number that JSON can hold; null for infinities and NaN.
ordered_json FiniteNumber(double value) {
  if (!std::isfinite(value)) return nullptr;
  return value;
}

ordered_json BcdJson(std::span<const uint8_t> bytes) {
  std::optional<TCurrency> currency = BcdToCurrency(bytes);
  if (!currency) return nullptr;
  if (*currency % kCurrencyScale == 0) return *currency / kCurrencyScale;
  return static_cast<double>(*currency) / kCurrencyScale;
}

ordered_json StringJson(const TFieldDefinition& field, std::span<const uint8_t> bytes) {
  if (field.subtype == kSubtypeWideString) {
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size() && GetUInt16(bytes, i) != 0; i += 2) units += GetUInt16(bytes, i);
    return Utf16ToUtf8(units);
  }
  size_t length = 0;
  while (length < bytes.size() && bytes[length] != 0) ++length;
  return Windows1252ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), length));
}

ordered_json Base64Json(std::span<const uint8_t> bytes) { return ordered_json{{kBase64Key, EncodeBase64(bytes)}}; }

ordered_json BlobJson(const TFieldDefinition& field, std::span<const uint8_t> bytes) {
  if (bytes.empty()) return nullptr;
  if (field.subtype == kSubtypeMemo)
    return Windows1252ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return Base64Json(bytes);
}

}  // namespace

std::string DateText(int32_t dayNumber) {
  int y, m, d;
  DayNumberToDate(dayNumber, y, m, d);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  return text;
}

std::string TimeText(int64_t milliseconds) {
  std::string sign = milliseconds < 0 ? "-" : "";
  uint64_t ms = milliseconds < 0 ? 0 - static_cast<uint64_t>(milliseconds) : static_cast<uint64_t>(milliseconds);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
  std::string hours = std::to_string(ms / 3600000);
  if (hours.size() < 2) hours.insert(0, "0");
  return sign + hours + ":" + TwoDigits(static_cast<int>(ms / 60000 % 60)) + ":" +
         TwoDigits(static_cast<int>(ms / 1000 % 60)) + fraction;
}

std::string TimestampText(double value) {
  // Whole milliseconds; a value beyond any date (only a damaged record holds one) is clamped.
  double clamped = std::isfinite(value) ? std::clamp(value, 0.0, 9.0e17) : 0.0;
  int64_t total = std::llround(clamped);
  return DateText(static_cast<int32_t>(std::min<int64_t>(total / kMsPerDay, INT32_MAX))) + "T" +
         TimeText(total % kMsPerDay);
}

std::vector<uint8_t> JsonToFieldBytes(const TFieldDefinition& field, const json& value) {
  switch (field.dataType) {
    case kFieldString: return StringBytes(field, value);
    case kFieldDate: return DateBytes(value);
    case kFieldBlob: return BlobBytes(field, value);
    case kFieldBoolean:
      if (!value.is_boolean()) RefuseType(value, "true or false");
      return Encoded(static_cast<int16_t>(value.get<bool>() ? 1 : 0));
    case kFieldSmallInt:
    case kFieldInteger:
    case kFieldWord:
    case kFieldLargeInt: return IntegerBytes(field, value);
    case kFieldFloat: return EncodedDouble(Number(value));
    case kFieldBcd: return BcdBytes(field, value);
    case kFieldBytes:
    case kFieldVarBytes: return BinaryBytes(field, value);
    case kFieldTime: return TimeBytes(value);
    case kFieldTimestamp: return TimestampBytes(value);
    default: Refuse("the field's type cannot be loaded");
  }
}

ordered_json FieldBytesToJson(const TFieldDefinition& field, std::span<const uint8_t> bytes) {
  size_t needed = field.dataType == kFieldBlob || field.dataType == kFieldString ? 0 : field.physicalSize;
  if (bytes.size() < needed) return nullptr;
  switch (field.dataType) {
    case kFieldString: return StringJson(field, bytes);
    case kFieldDate: return DateText(GetInt32(bytes, 0));
    case kFieldBlob: return BlobJson(field, bytes);
    case kFieldBoolean: return GetInt16(bytes, 0) != 0;
    case kFieldSmallInt: return GetInt16(bytes, 0);
    case kFieldInteger: return GetInt32(bytes, 0);
    case kFieldWord: return GetUInt16(bytes, 0);
    case kFieldLargeInt: return GetInt64(bytes, 0);
    case kFieldFloat: return FiniteNumber(GetFloat64(bytes, 0));
    case kFieldBcd: return BcdJson(bytes);
    case kFieldTime: return TimeText(GetInt32(bytes, 0));
    case kFieldTimestamp: return TimestampText(GetFloat64(bytes, 0));
    default: return Base64Json(bytes);
  }
}

}  // namespace zarnik::cli
