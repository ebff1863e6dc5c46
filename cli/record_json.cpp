#include "cli/record_json.h"

#include "cli/cli_error.h"
#include "cli/field_json.h"
#include "cli/text_encoding.h"
#include "engine/data/record_layout.h"
#include "platform/locale.h"

namespace zarnik::cli {

using nlohmann::json;
using nlohmann::ordered_json;

std::string JsonLine(const ordered_json& value) {
  if (!value.is_structured()) return value.dump();
  std::string line(1, value.is_object() ? '{' : '[');
  bool first = true;
  for (auto it = value.begin(); it != value.end(); ++it) {
    if (!first) line += ", ";
    first = false;
    if (value.is_object()) line += ordered_json(it.key()).dump() + ": ";
    line += JsonLine(*it);
  }
  return line + (value.is_object() ? '}' : ']');
}

TRecordJson::TRecordJson(const std::vector<TFieldDefinition>& fields) : fields_(fields) {
  for (const TFieldDefinition& f : fields_) keys_.push_back(Windows1252ToUtf8(f.name));
}

int TRecordJson::FindField(const std::string& key) const {
  for (size_t i = 0; i < keys_.size(); ++i)
    if (platform::SameName(keys_[i], key)) return static_cast<int>(i);
  return -1;
}

namespace {

[[noreturn]] void RefuseField(const std::string& key, const std::string& why) {
  throw ECliError("field \"" + key + "\": " + why);
}

int32_t RecordIdOf(const json& value) {
  if (!value.is_number_integer() || value.get<int64_t>() < 1 || value.get<int64_t>() > INT32_MAX)
    RefuseField(kRecordIDFieldName, "expected a whole number from 1 to 2147483647");
  return static_cast<int32_t>(value.get<int64_t>());
}

}  // namespace

TRecordJson::TRow TRecordJson::ReadRow(const json& row, std::span<uint8_t> record) const {
  if (!row.is_object()) throw ECliError("a row must be a JSON object");
  TRow result;
  std::vector<const json*> values(fields_.size(), nullptr);
  for (const auto& [key, value] : row.items()) {
    if (platform::SameName(key, kRecordIDFieldName)) {
      if (!value.is_null()) result.recordId = RecordIdOf(value);
      continue;
    }
    int position = FindField(key);
    if (position < 0) throw ECliError("unknown field \"" + key + "\"");
    if (values[position] != nullptr) RefuseField(key, "given twice");
    values[position] = &value;
  }
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDefinition& field = fields_[i];
    SetFieldValue(record, field, std::nullopt);
    if (values[i] == nullptr || values[i]->is_null()) continue;
    std::vector<uint8_t> bytes;
    try {
      bytes = JsonToFieldBytes(field, *values[i]);
    } catch (const ECliError& e) {
      RefuseField(keys_[i], e.Message());
    }
    if (field.IsBlob()) {
      if (!bytes.empty()) result.blobs.push_back({&field, std::move(bytes)});
    } else {
      SetFieldValue(record, field, std::span<const uint8_t>(bytes));
    }
  }
  return result;
}

ordered_json TRecordJson::RecordJson(std::span<const uint8_t> record, const TBlobReader& readBlob) const {
  ordered_json line = ordered_json::object();
  line[kRecordIDFieldName] = GetRecordID(record);
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TFieldDefinition& field = fields_[i];
    TFieldValue value = GetFieldValue(record, field);
    if (value.isNull) {
      line[keys_[i]] = nullptr;
    } else if (field.IsBlob()) {
      line[keys_[i]] = FieldBytesToJson(field, readBlob(field));
    } else {
      line[keys_[i]] = FieldBytesToJson(field, value.bytes);
    }
  }
  return line;
}

}  // namespace zarnik::cli
