// TTableSchema: a table's description in the JSON form of `zarnik create`
// (field definitions, indexes, text index and table settings, every key named
// as the design-time definitions name it), parsed into definitions, and the
// JSON forms of single definitions that `zarnik info` writes back.
//
//   {"fields": [{"name": "SeqNo", "type": "ftAutoInc"},
//               {"name": "Field1", "type": "ftString", "size": 10, "required": false,
//                "minimum": "", "maximum": "", "default": "", "charCase": "fcNoChange",
//                "description": "", "compression": 0, "scale": 0}, ...],
//    "indexes": [{"name": "", "fields": ["SeqNo"], "options": ["ixPrimary", "ixUnique"],
//                 "descFields": [], "compression": "icNone"}, ...],
//    "textIndex": {"fields": ["Field1"], "stopWords": ["A"], "spaceChars": " -", "includeChars": "AB"},
//    "indexPageSize": 4096, "blobBlockSize": 512, "description": "", "locale": 0,
//    "userMajorVersion": 0, "userMinorVersion": 0, "password": null}
//
// Only "fields" is required. Texts are UTF-8 in JSON and Windows-1252 in the
// definitions. The limits of the definitions are checked by table creation.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "engine/data/field_definition.h"

namespace zarnik::cli {

using nlohmann::json;
using nlohmann::ordered_json;

constexpr uint32_t kDefaultIndexPageSize = 4096;
constexpr uint32_t kDefaultBlobBlockSize = 512;

// One index of the schema. Key fields are field numbers: 1-based, or -1 for
// RecordID and -2 for RecordHash.
struct TSchemaIndex {
  std::string name;
  std::vector<int32_t> fieldNumbers;
  std::vector<bool> descendingFields;  // one flag per key field
  bool primary = false;
  bool unique = false;
  bool caseInsensitive = false;
  bool descending = false;
  uint8_t compression = 0;  // 0 icNone, 1 icDuplicateByte, 2 icTrailingByte, 3 icFull
};

// The text index: its fields, and the indexing parameters that replace the
// defaults (no stop word list, or an empty character set, keeps the default).
struct TSchemaTextIndex {
  std::vector<int32_t> fieldNumbers;
  std::optional<std::vector<std::string>> stopWords;
  std::string spaceChars;
  std::string includeChars;
};

struct TTableSchema {
  std::vector<TFieldDefinition> fields;  // numbered 1..n
  std::vector<TSchemaIndex> indexes;     // as listed; at most one primary
  TSchemaTextIndex textIndex;
  uint32_t indexPageSize = kDefaultIndexPageSize;
  uint32_t blobBlockSize = kDefaultBlobBlockSize;
  std::string description;
  uint32_t locale = 0;
  uint16_t userMajorVersion = 0;
  uint16_t userMinorVersion = 0;
  std::optional<std::string> password;

  // The primary index of the list; nothing means the default one on RecordID.
  const TSchemaIndex* PrimaryIndex() const;
};

// Raises ECliError naming the key or definition that does not fit.
TTableSchema ParseTableSchema(const json& schema);

// The JSON type name of a definition ("ftString", ...; "ftUnknown" for a code
// the tool does not know) and the codes of a type name.
std::string FieldTypeName(const TFieldDefinition& field);
bool FieldTypeCodes(std::string_view typeName, uint8_t& dataType, uint8_t& subtype);

// The schema keys of a field definition, every one of them.
ordered_json FieldDefinitionJson(const TFieldDefinition& field);
// The schema form of an index or the text index; fields are the table's.
ordered_json IndexJson(const TSchemaIndex& index, const std::vector<TFieldDefinition>& fields);
ordered_json TextIndexJson(const TSchemaTextIndex& textIndex, const std::vector<TFieldDefinition>& fields);

}  // namespace zarnik::cli
