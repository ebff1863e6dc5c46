#include "cli/schema_description.h"

#include <algorithm>

namespace zarnik::cli {

namespace {

// Key field numbers of the index definitions stand for the system fields as 65535 and 65534.
uint16_t StoredFieldNumber(int32_t number) {
  if (number == kRecordIDFieldNumber) return TIndexDefinition::kRecordIDField;
  if (number == kRecordHashFieldNumber) return TIndexDefinition::kRecordHashField;
  return static_cast<uint16_t>(number);
}

int32_t SchemaFieldNumber(uint16_t number) {
  if (number == TIndexDefinition::kRecordIDField) return kRecordIDFieldNumber;
  if (number == TIndexDefinition::kRecordHashField) return kRecordHashFieldNumber;
  return number;
}

std::string CharactersOf(const TTextIndexParams::TCharSet& set) {
  std::string characters;
  for (int c = 0; c < 256; ++c)
    if (TTextIndexParams::InSet(set, static_cast<uint8_t>(c))) characters += static_cast<char>(c);
  return characters;
}

}  // namespace

TIndexDefinition IndexDefinitionOf(const TSchemaIndex& index) {
  TIndexDefinition definition;
  definition.Name = index.name;
  size_t count = std::min(index.fieldNumbers.size(), TIndexDefinition::kMaxFields);
  // More key fields than an index holds: the count says so, and the table creation refuses the index.
  definition.FieldCount = static_cast<uint8_t>(std::min(index.fieldNumbers.size(), TIndexDefinition::kMaxFields + 1));
  for (size_t i = 0; i < count; ++i) {
    definition.FieldNumbers[i] = StoredFieldNumber(index.fieldNumbers[i]);
    definition.DescendingFields[i] = index.descendingFields[i] ? 1 : 0;
  }
  definition.Unique = index.unique ? 1 : 0;
  definition.CaseInsensitive = index.caseInsensitive ? 1 : 0;
  definition.Descending = index.descending ? 1 : 0;
  definition.Compression = index.compression;
  return definition;
}

TTableDescription DescriptionOf(const TTableSchema& schema) {
  TTableDescription description;
  description.fields = schema.fields;
  for (const TSchemaIndex& index : schema.indexes) {
    if (index.primary) description.primaryIndex = IndexDefinitionOf(index);
    else description.secondaryIndexes.push_back(IndexDefinitionOf(index));
  }
  for (int32_t number : schema.textIndex.fieldNumbers) description.textIndexFields.push_back(StoredFieldNumber(number));
  description.stopWords = schema.textIndex.stopWords;
  description.spaceChars = schema.textIndex.spaceChars;
  description.includeChars = schema.textIndex.includeChars;
  description.indexPageSize = schema.indexPageSize;
  description.blobBlockSize = schema.blobBlockSize;
  description.description = schema.description;
  description.localeId = schema.locale;
  description.userMajorVersion = schema.userMajorVersion;
  description.userMinorVersion = schema.userMinorVersion;
  description.encrypted = schema.password.has_value();
  description.password = schema.password.value_or("");
  return description;
}

TSchemaIndex SchemaIndexOf(const TIndexDefinition& definition, bool primary) {
  TSchemaIndex index;
  index.name = definition.Name;
  for (size_t i = 0; i < definition.FieldCount && i < TIndexDefinition::kMaxFields; ++i) {
    index.fieldNumbers.push_back(SchemaFieldNumber(definition.FieldNumbers[i]));
    index.descendingFields.push_back(definition.DescendingFields[i] != 0);
  }
  index.primary = primary;
  index.unique = primary || definition.Unique != 0;
  index.caseInsensitive = definition.CaseInsensitive != 0;
  index.descending = definition.Descending != 0;
  index.compression = definition.Compression;
  return index;
}

TSchemaTextIndex SchemaTextIndexOf(const TIndexDefinition& definition, const TTextIndexParams& params) {
  TSchemaTextIndex text;
  for (size_t i = 0; i < definition.FieldCount && i < TIndexDefinition::kMaxFields; ++i)
    text.fieldNumbers.push_back(SchemaFieldNumber(definition.FieldNumbers[i]));
  text.stopWords = params.StopWords;
  text.spaceChars = CharactersOf(params.SpaceChars);
  text.includeChars = CharactersOf(params.IncludeChars);
  return text;
}

}  // namespace zarnik::cli
