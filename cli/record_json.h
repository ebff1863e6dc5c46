// TRecordJson: the rows of `zarnik load` and `zarnik dump`. A row is one JSON
// object keyed by field name; a missing key or null is NULL. A dumped line has
// "RecordID" first, then every field in field order, written as
//   {"RecordID": 1, "SeqNo": 1, "Field1": "abc", "Field7": null}
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/data/field_definition.h"

namespace zarnik::cli {

// The contents of a BLOB field of the current record.
using TBlobReader = std::function<std::vector<uint8_t>(const TFieldDefinition& field)>;

// One JSON value in the style of the dumped lines: ", " between items and
// ": " after keys, texts in UTF-8.
std::string JsonLine(const nlohmann::ordered_json& value);

class TRecordJson {
 public:
  // The table's fields; they must outlive this object.
  explicit TRecordJson(const std::vector<TFieldDefinition>& fields);

  struct TBlobValue {
    const TFieldDefinition* field;
    std::vector<uint8_t> contents;
  };
  // What a row gives beyond the record's field slots.
  struct TRow {
    std::optional<int32_t> recordId;  // the row's "RecordID", when it has one
    std::vector<TBlobValue> blobs;    // contents of the BLOB fields that are not NULL
  };

  // Stores the row's values in the record's field slots (BLOB slots stay NULL:
  // their contents come back in the result). Raises ECliError naming the field
  // and the reason when the row does not fit the table.
  TRow ReadRow(const nlohmann::json& row, std::span<uint8_t> record) const;

  // The record as a dumped line (without a line break).
  nlohmann::ordered_json RecordJson(std::span<const uint8_t> record, const TBlobReader& readBlob) const;
  std::string WriteLine(std::span<const uint8_t> record, const TBlobReader& readBlob) const {
    return JsonLine(RecordJson(record, readBlob));
  }

 private:
  const std::vector<TFieldDefinition>& fields_;
  std::vector<std::string> keys_;  // field names in UTF-8

  // Position of the field a row key names; -1 for none.
  int FindField(const std::string& key) const;
};

}  // namespace zarnik::cli
