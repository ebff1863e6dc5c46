// The text forms of field values that definitions carry as minimum, maximum and
// default values: which texts a type accepts, the value a text stands for in
// the record's encoding, and how two values of a field compare.
//
// Accepted texts (an empty text is always valid): strings, bytes and variable
// bytes any text; BLOBs none; date "yyyy-mm-dd" or CURRENT_DATE; time
// "hh:mm[:ss[.zzz]]" with an optional AM or PM, or CURRENT_TIME; timestamp a
// date, a date and a time separated by a blank (or "T"), a time, or
// CURRENT_TIMESTAMP, CURRENT_DATE, CURRENT_TIME; boolean TRUE or FALSE in any
// case; small integer, word, integer and large integer a decimal integer in
// their range; float and BCD a decimal number (a BCD one also within the
// currency range and the field's digits). A string default of CURRENT_GUID
// stands for a new GUID.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data/field_definition.h"
#include "platform/date_time.h"

namespace zarnik {

inline constexpr const char* kCurrentDateText = "CURRENT_DATE";
inline constexpr const char* kCurrentTimeText = "CURRENT_TIME";
inline constexpr const char* kCurrentTimestampText = "CURRENT_TIMESTAMP";
inline constexpr const char* kCurrentGuidText = "CURRENT_GUID";

bool IsValidValueText(const TFieldDefinition& field, std::string_view text);

// The value a non-empty text stands for, in the field's record encoding (the
// value bytes of its slot; a string as its characters and a zero byte). now
// gives CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP. Nothing when the
// text is not valid for the field.
std::optional<std::vector<uint8_t>> EncodeValueText(const TFieldDefinition& field, std::string_view text,
                                                    TDateTime now);

// Compares two values of the field in its record encoding: strings by byte
// order up to their end, dates, times and numbers numerically, booleans false
// before true, bytes bytewise. Returns <0, 0 or >0.
int CompareFieldValues(const TFieldDefinition& field, std::span<const uint8_t> a, std::span<const uint8_t> b);

// A new GUID in its 38-character braced text form.
std::string NewGuidText();

// Day number (0001-01-01 = 1) and milliseconds since midnight of a date and time.
int32_t DayNumberOf(TDateTime value);
int32_t MillisecondsOf(TDateTime value);

}  // namespace zarnik
