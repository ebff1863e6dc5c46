#include "engine/data/value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/data/bcd.h"
#include "platform/byte_order.h"
#include "platform/locale.h"
#include "platform/system.h"

namespace zarnik {

using namespace platform;

namespace {

constexpr int32_t kMsPerDay = 86400000;

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b, true) == 0; }

// Reads an unsigned run of at most maxDigits digits at pos; at least one.
std::optional<int> ScanNumber(std::string_view text, size_t& pos, size_t maxDigits) {
  size_t start = pos;
  int value = 0;
  while (pos < text.size() && pos - start < maxDigits && text[pos] >= '0' && text[pos] <= '9')
    value = value * 10 + (text[pos++] - '0');
  if (pos == start) return std::nullopt;
  return value;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// "yyyy-mm-dd" from pos on; the day number of a valid date.
std::optional<int32_t> ScanDate(std::string_view text, size_t& pos) {
  auto year = ScanNumber(text, pos, 4);
  if (!year || !Expect(text, pos, '-')) return std::nullopt;
  auto month = ScanNumber(text, pos, 2);
  if (!month || !Expect(text, pos, '-')) return std::nullopt;
  auto day = ScanNumber(text, pos, 2);
  if (!day || !IsValidDate(*year, *month, *day)) return std::nullopt;
  return DateToDayNumber(*year, *month, *day);
}

// Milliseconds of ".zzz": the digits are a fraction of a second.
int ScanMilliseconds(std::string_view text, size_t& pos) {
  int ms = 0, scale = 100;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && scale > 0) {
    ms += (text[pos++] - '0') * scale;
    scale /= 10;
  }
  return ms;
}

// An optional AM or PM after blanks: 0 none, 1 AM, 2 PM; -1 for anything else.
int ScanHalfDay(std::string_view text, size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::string_view rest = text.substr(pos);
  pos = text.size();
  if (rest.empty()) return 0;
  if (SameText(rest, "AM")) return 1;
  if (SameText(rest, "PM")) return 2;
  return -1;
}

// "hh:mm[:ss[.zzz]][ AM|PM]" to the end of the text; milliseconds since midnight.
std::optional<int32_t> ScanTime(std::string_view text, size_t& pos) {
  auto hour = ScanNumber(text, pos, 2);
  if (!hour || !Expect(text, pos, ':')) return std::nullopt;
  auto minute = ScanNumber(text, pos, 2);
  if (!minute) return std::nullopt;
  int second = 0, ms = 0;
  if (Expect(text, pos, ':')) {
    auto s = ScanNumber(text, pos, 2);
    if (!s) return std::nullopt;
    second = *s;
    if (Expect(text, pos, '.')) {
      size_t digits = pos;
      ms = ScanMilliseconds(text, pos);
      if (pos == digits) return std::nullopt;
    }
  }
  int half = ScanHalfDay(text, pos);
  int h = *hour;
  if (half < 0 || (half > 0 && (h < 1 || h > 12))) return std::nullopt;
  if (half == 1 && h == 12) h = 0;
  if (half == 2 && h < 12) h += 12;
  if (!IsValidTime(h, *minute, second, ms)) return std::nullopt;
  return ((h * 60 + *minute) * 60 + second) * 1000 + ms;
}

std::optional<int32_t> ParseDate(std::string_view text) {
  size_t pos = 0;
  auto day = ScanDate(text, pos);
  if (!day || pos != text.size()) return std::nullopt;
  return day;
}

std::optional<int32_t> ParseTime(std::string_view text) {
  size_t pos = 0;
  return ScanTime(text, pos);
}

double TimestampValue(int32_t dayNumber, int32_t ms) {
  return static_cast<double>(dayNumber) * kMsPerDay + ms;
}

std::optional<double> ParseTimestamp(std::string_view text, TDateTime now) {
  if (SameText(text, kCurrentTimestampText)) return TimestampValue(DayNumberOf(now), MillisecondsOf(now));
  if (SameText(text, kCurrentDateText)) return TimestampValue(DayNumberOf(now), 0);
  if (SameText(text, kCurrentTimeText)) return TimestampValue(kDateDelta, MillisecondsOf(now));
  if (text.find('-') == std::string_view::npos) {
    auto ms = ParseTime(text);
    if (!ms) return std::nullopt;
    return TimestampValue(kDateDelta, *ms);
  }
  size_t pos = 0;
  auto day = ScanDate(text, pos);
  if (!day) return std::nullopt;
  if (pos == text.size()) return TimestampValue(*day, 0);
  if (text[pos] != ' ' && text[pos] != 'T') return std::nullopt;
  ++pos;
  auto ms = ScanTime(text, pos);
  if (!ms) return std::nullopt;
  return TimestampValue(*day, *ms);
}

std::optional<int64_t> ParseInteger(std::string_view text, int64_t minimum, int64_t maximum) {
  if (text.starts_with('+')) text.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < minimum || value > maximum) return std::nullopt;
  return value;
}

// A decimal number: an optional sign, digits with an optional point, an optional exponent.
std::optional<double> ParseDecimal(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

template <typename T>
std::vector<uint8_t> Encoded(T value) {
  std::vector<uint8_t> bytes(sizeof(T));
  if constexpr (std::is_floating_point_v<T>)
    PutFloat64(bytes, 0, value);
  else
    PutLittleEndian<T>(bytes, 0, value);
  return bytes;
}

template <typename T>
std::optional<std::vector<uint8_t>> EncodedInteger(std::string_view text) {
  auto value = ParseInteger(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  if (!value) return std::nullopt;
  return Encoded(static_cast<T>(*value));
}

// Windows-1252 characters 0x80-0x9F as 16-bit characters; the others are the same code.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::vector<uint8_t> EncodeStringText(const TFieldDefinition& field, std::string_view text) {
  std::string value = SameText(text, kCurrentGuidText) ? NewGuidText() : std::string(text);
  if (field.subtype != kSubtypeWideString) {
    std::vector<uint8_t> bytes(value.begin(), value.end());
    bytes.push_back(0);
    return bytes;
  }
  std::vector<uint8_t> units(2 * value.size() + 2, 0);
  for (size_t i = 0; i < value.size(); ++i) {
    uint8_t c = static_cast<uint8_t>(value[i]);
    PutUInt16(units, 2 * i, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : c);
  }
  return units;
}

std::optional<std::vector<uint8_t>> EncodeBcdText(const TFieldDefinition& field, std::string_view text) {
  auto currency = ParseCurrency(text);
  if (!currency) return std::nullopt;
  auto bcd = CurrencyToBcd(*currency, kBcdPrecision, field.physicalScale);
  if (!bcd) return std::nullopt;
  return std::vector<uint8_t>(bcd->begin(), bcd->end());
}

std::optional<std::vector<uint8_t>> EncodeBooleanText(std::string_view text) {
  if (SameText(text, "TRUE")) return Encoded<int16_t>(1);
  if (SameText(text, "FALSE")) return Encoded<int16_t>(0);
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> EncodeDateText(std::string_view text, TDateTime now) {
  auto day = SameText(text, kCurrentDateText) ? std::optional(DayNumberOf(now)) : ParseDate(text);
  if (!day) return std::nullopt;
  return Encoded(*day);
}

std::optional<std::vector<uint8_t>> EncodeTimeText(std::string_view text, TDateTime now) {
  auto ms = SameText(text, kCurrentTimeText) ? std::optional(MillisecondsOf(now)) : ParseTime(text);
  if (!ms) return std::nullopt;
  return Encoded(*ms);
}

template <typename T>
std::optional<std::vector<uint8_t>> EncodeOptional(const std::optional<T>& value) {
  if (!value) return std::nullopt;
  return Encoded(*value);
}

// Bytes fields compare against the text's bytes, cut or zero-filled to the field.
std::vector<uint8_t> EncodeBytesText(const TFieldDefinition& field, std::string_view text) {
  std::vector<uint8_t> bytes(field.physicalSize, 0);
  std::copy_n(text.begin(), std::min(text.size(), bytes.size()), bytes.begin());
  return bytes;
}

// Reads a number of the given width; a value too short for it reads as 0.
template <typename T>
T ReadValue(std::span<const uint8_t> bytes) {
  if (bytes.size() < sizeof(T)) return T{};
  if constexpr (std::is_floating_point_v<T>)
    return GetFloat64(bytes, 0);
  else
    return GetLittleEndian<T>(bytes, 0);
}

template <typename T>
int Compare(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

std::span<const uint8_t> UpToTerminator(std::span<const uint8_t> bytes, size_t unit) {
  size_t length = 0;
  while (length + unit <= bytes.size() && !std::all_of(bytes.begin() + length, bytes.begin() + length + unit,
                                                       [](uint8_t b) { return b == 0; }))
    length += unit;
  return bytes.first(length);
}

int CompareBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  auto order = std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int CompareStrings(const TFieldDefinition& field, std::span<const uint8_t> a, std::span<const uint8_t> b) {
  size_t unit = field.subtype == kSubtypeWideString ? 2 : 1;
  a = UpToTerminator(a, unit);
  b = UpToTerminator(b, unit);
  if (unit == 1) return CompareBytes(a, b);
  for (size_t i = 0; i + 2 <= a.size() && i + 2 <= b.size(); i += 2)
    if (int c = Compare(GetUInt16(a, i), GetUInt16(b, i)); c != 0) return c;
  return Compare(a.size(), b.size());
}

}  // namespace

int32_t DayNumberOf(TDateTime value) {
  double day = std::floor(value) + kDateDelta;
  return static_cast<int32_t>(std::clamp(day, -2147483648.0, 2147483647.0));
}

int32_t MillisecondsOf(TDateTime value) {
  double ms = std::round((value - std::floor(value)) * kMsPerDay);
  return static_cast<int32_t>(std::clamp(ms, 0.0, kMsPerDay - 1.0));
}

std::string NewGuidText() {
  static const char* hex = "0123456789ABCDEF";
  uint8_t bytes[16];
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(Random(256));
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // standard variant
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += hex[bytes[i] >> 4];
    text += hex[bytes[i] & 0x0F];
  }
  return text + "}";
}

std::optional<std::vector<uint8_t>> EncodeValueText(const TFieldDefinition& field, std::string_view text,
                                                    TDateTime now) {
  switch (field.dataType) {
    case kFieldString: return EncodeStringText(field, text);
    case kFieldBytes:
    case kFieldVarBytes: return EncodeBytesText(field, text);
    case kFieldDate: return EncodeDateText(text, now);
    case kFieldTime: return EncodeTimeText(text, now);
    case kFieldTimestamp: return EncodeOptional(ParseTimestamp(text, now));
    case kFieldBoolean: return EncodeBooleanText(text);
    case kFieldSmallInt: return EncodedInteger<int16_t>(text);
    case kFieldWord: return EncodedInteger<uint16_t>(text);
    case kFieldInteger: return EncodedInteger<int32_t>(text);
    case kFieldLargeInt: return EncodedInteger<int64_t>(text);
    case kFieldFloat: return EncodeOptional(ParseDecimal(text));
    case kFieldBcd: return EncodeBcdText(field, text);
    default: return std::nullopt;  // BLOBs and unknown types take no value text
  }
}

bool IsValidValueText(const TFieldDefinition& field, std::string_view text) {
  return text.empty() || EncodeValueText(field, text, 0).has_value();
}

int CompareFieldValues(const TFieldDefinition& field, std::span<const uint8_t> a, std::span<const uint8_t> b) {
  switch (field.dataType) {
    case kFieldString: return CompareStrings(field, a, b);
    case kFieldDate:
    case kFieldTime:
    case kFieldInteger: return Compare(ReadValue<int32_t>(a), ReadValue<int32_t>(b));
    case kFieldSmallInt: return Compare(ReadValue<int16_t>(a), ReadValue<int16_t>(b));
    case kFieldBoolean: return Compare(ReadValue<int16_t>(a) != 0, ReadValue<int16_t>(b) != 0);
    case kFieldWord: return Compare(ReadValue<uint16_t>(a), ReadValue<uint16_t>(b));
    case kFieldLargeInt: return Compare(ReadValue<int64_t>(a), ReadValue<int64_t>(b));
    case kFieldFloat:
    case kFieldTimestamp: return Compare(ReadValue<double>(a), ReadValue<double>(b));
    case kFieldBcd: return Compare(BcdToCurrency(a).value_or(0), BcdToCurrency(b).value_or(0));
    case kFieldBytes:
    case kFieldVarBytes: return CompareBytes(a, b);
    default: return 0;
  }
}

}  // namespace zarnik
