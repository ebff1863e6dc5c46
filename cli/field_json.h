// One field's value in the tool's JSON form and in its stored form.
//
// JSON forms: texts (string, fixed, wide, GUID and memo fields) as JSON texts;
// small integer, integer, auto-increment, word and large integer as whole
// numbers; float, currency and BCD as numbers; booleans true/false; dates
// "YYYY-MM-DD"; times "HH:MM:SS.zzz"; timestamps "YYYY-MM-DDTHH:MM:SS.zzz";
// bytes, variable bytes, BLOB and graphic fields as {"base64": "..."}.
//
// Stored form: for a field kept in the record, the value bytes of its slot
// (a text as its characters and a zero byte, as SetFieldValue takes them); for
// a BLOB field, the BLOB's contents.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "engine/data/field_definition.h"

namespace zarnik::cli {

// The stored form of a JSON value that is not null. Raises ECliError saying
// why the value does not fit the field (wrong type, too long, out of range, a
// character without a Windows-1252 form).
std::vector<uint8_t> JsonToFieldBytes(const TFieldDefinition& field, const nlohmann::json& value);

// The JSON form of a stored value; null for a value JSON cannot hold (a float
// that is not finite, a damaged BCD value) and for empty BLOB contents.
nlohmann::ordered_json FieldBytesToJson(const TFieldDefinition& field, std::span<const uint8_t> bytes);

// The text forms of dates (day number, 0001-01-01 = 1), times (milliseconds
// since midnight) and timestamps (day number x 86,400,000 + milliseconds).
std::string DateText(int32_t dayNumber);
std::string TimeText(int64_t milliseconds);
std::string TimestampText(double value);

}  // namespace zarnik::cli
