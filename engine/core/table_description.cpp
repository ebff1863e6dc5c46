#include "engine/core/table_description.h"

#include <algorithm>

#include "engine/core/data_engine.h"
#include "engine/data/table_definition.h"
#include "engine/index/key_layout.h"
#include "platform/locale.h"

namespace zarnik {

namespace {

uint32_t RoundUpTo8(uint32_t value) {
  return value > UINT32_MAX - 7 ? value : (value + 7) / 8 * 8;
}

bool IsIndexNameStart(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

std::string Trimmed(const std::string& text) {
  return std::string(platform::TrimSpaces(text));
}

}  // namespace

bool TTableDescription::HasBlobFields() const {
  return std::any_of(fields.begin(), fields.end(), [](const TFieldDefinition& f) { return f.IsBlob(); });
}

TTableDescription::TError TTableDescription::Check(TDataEngine& engine) {
  blobBlockSize = RoundUpTo8(blobBlockSize);
  indexPageSize = RoundUpTo8(indexPageSize);
  size_t passwordLength = platform::TrimSpaces(password).size();
  if (encrypted && (passwordLength < 1 || passwordLength > kMaxPasswordLength))
    return {ZARNIK_INVALIDPASSWORD};
  if (!engine.IsLocaleSupported(localeId)) return {ZARNIK_CANNOTLOADLDDRV};
  if (fields.empty() || fields.size() > kMaxFieldCount) return {ZARNIK_FLDLIMIT};
  if (indexPageSize < kMinIndexPageSize || indexPageSize > kMaxIndexPageSize) return {ZARNIK_INDEXLIMIT};
  if (secondaryIndexes.size() > kMaxSecondaryIndexes) return {ZARNIK_INDEXLIMIT};
  if (blobBlockSize < kMinBlobBlockSize || blobBlockSize > kMaxBlobBlockSize) return {ZARNIK_BLOBLIMIT};
  if (TDefinitionError error = ValidateTableDefinition(fields, localeId, encrypted, password))
    return {error.code, error.fieldName};
  TTableDefinition definition;
  if (TDefinitionError error = definition.SetFieldDefinitions(fields)) return {error.code, error.fieldName};
  if (primaryIndex) {
    if (TError error = CheckIndex(*primaryIndex, true)) return error;
  }
  for (size_t i = 0; i < secondaryIndexes.size(); ++i) {
    if (TError error = CheckIndex(secondaryIndexes[i], false)) return error;
    std::string name = Trimmed(secondaryIndexes[i].Name);
    for (size_t j = 0; j < i; ++j)
      if (platform::CompareText(Trimmed(secondaryIndexes[j].Name), name, true) == 0)
        return {ZARNIK_INDEXEXISTS, {}, secondaryIndexes[i].Name};
  }
  return CheckTextIndexFields();
}

TTableDescription::TError TTableDescription::CheckIndex(TIndexDefinition& index, bool primary) {
  if (index.FieldCount < 1 || index.FieldCount > TIndexDefinition::kMaxFields)
    return {ZARNIK_INDEXLIMIT, {}, index.Name};
  if (primary) {
    index.Name.clear();
    index.Unique = 1;
  } else {
    index.Name = Trimmed(index.Name).substr(0, TIndexDefinition::kMaxNameLength);
    if (index.Name.empty()) return {ZARNIK_INDEXNAMEREQUIRED};
    if (!IsIndexNameStart(static_cast<uint8_t>(index.Name[0])))
      return {ZARNIK_INVALIDINDEXNAME, {}, index.Name};
  }
  if (index.Compression > 3) return {ZARNIK_INVALIDIDXDESC, {}, index.Name};
  std::vector<TKeyLayout::TField> keyFields;
  for (size_t i = 0; i < index.FieldCount; ++i) {
    uint16_t number = index.FieldNumbers[i];
    TKeyLayout::TField keyField{number, kFieldInteger, 4, index.DescendingFields[i] != 0};
    if (number == TIndexDefinition::kRecordHashField) {
      keyField.DataType = kFieldBytes;
      keyField.PhysicalSize = 16;
    } else if (number != TIndexDefinition::kRecordIDField) {
      if (number < 1 || number > fields.size()) return {ZARNIK_INVALIDIDXDESC, {}, index.Name};
      const TFieldDefinition& field = fields[number - 1];
      if (field.IsBlob()) return {ZARNIK_SEARCHCOLREQD, field.name, index.Name};
      keyField.DataType = field.dataType;
      keyField.PhysicalSize = field.physicalSize;
    }
    keyFields.push_back(keyField);
  }
  for (size_t i = index.FieldCount; i < TIndexDefinition::kMaxFields; ++i) {
    index.FieldNumbers[i] = 0;
    index.DescendingFields[i] = 0;
  }
  index.KeySize = TKeyLayout::ComputeKeySize(keyFields, index.Unique != 0, indexPageSize);
  if (index.KeySize == 0) return {ZARNIK_INVALIDKEY, {}, index.Name};
  index.Uncounted = 0;
  index.RemoveMark = 0;
  return {};
}

TTableDescription::TError TTableDescription::CheckTextIndexFields() const {
  if (textIndexFields.size() > TIndexDefinition::kMaxFields) return {ZARNIK_INDEXLIMIT, {}, "Sys Text"};
  for (uint16_t number : textIndexFields) {
    if (number < 1 || number > fields.size()) return {ZARNIK_INVALIDIDXDESC, {}, "Sys Text"};
    const TFieldDefinition& field = fields[number - 1];
    bool text = field.IsString() || (field.IsBlob() && field.subtype == kSubtypeMemo);
    if (!text) return {ZARNIK_INVALIDIDXDESC, field.name, "Sys Text"};
  }
  return {};
}

}  // namespace zarnik

namespace zarnik {

TTextIndexParams TTableDescription::TextParams() const {
  TTextIndexParams params = TTextIndexParams::Defaults();
  if (stopWords) params.StopWords = *stopWords;
  const std::pair<const std::string*, TTextIndexParams::TCharSet*> sets[] = {
      {&spaceChars, &params.SpaceChars}, {&includeChars, &params.IncludeChars}};
  for (const auto& [chars, set] : sets) {
    if (chars->empty()) continue;
    set->fill(0);
    for (char c : *chars) TTextIndexParams::AddToSet(*set, static_cast<uint8_t>(c));
  }
  return params;
}

}  // namespace zarnik
