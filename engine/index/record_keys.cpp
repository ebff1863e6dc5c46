#include "engine/index/record_keys.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/data/bcd.h"
#include "engine/data/record_layout.h"

namespace zarnik {

const TFieldDefinition* TRecordKeys::FieldFor(uint16_t fieldNumber, const TTableDefinition& table) {
  if (fieldNumber == TIndexDefinition::kRecordIDField) return &TFieldDefinition::RecordIDField();
  if (fieldNumber == TIndexDefinition::kRecordHashField) return &TFieldDefinition::RecordHashField();
  return table.GetFieldDefinition(fieldNumber);
}

std::vector<TKeyLayout::TField> TRecordKeys::KeyFields(const TIndexDefinition& definition,
                                                       const TTableDefinition& table) {
  std::vector<TKeyLayout::TField> fields;
  const size_t count = std::min<size_t>(definition.FieldCount, TIndexDefinition::kMaxFields);
  for (size_t i = 0; i < count; ++i) {
    const uint16_t number = definition.FieldNumbers[i];
    const TFieldDefinition* field = FieldFor(number, table);
    TKeyLayout::TField key{number, 0, 0, definition.DescendingFields[i] != 0};
    if (field != nullptr) {
      key.DataType = field->dataType;
      key.PhysicalSize = PhysicalSizeOf(field->dataType, field->subtype, field->size);
    }
    fields.push_back(key);
  }
  return fields;
}

TRecordKeys::TRecordKeys(const TIndexDefinition& definition, const TTableDefinition& table, uint32_t slot)
    : layout_(definition, KeyFields(definition, table), slot) {
  const size_t count = std::min<size_t>(definition.FieldCount, TIndexDefinition::kMaxFields);
  for (size_t i = 0; i < count; ++i) fields_.push_back(FieldFor(definition.FieldNumbers[i], table));
}

void TRecordKeys::BuildKey(std::span<const uint8_t> record, uint8_t* key) const {
  // Most indexes have a few key fields: their values stay on the stack.
  constexpr size_t kInlineFields = 8;
  std::array<TKeyLayout::TValue, kInlineFields> inlineValues;
  std::array<std::array<uint8_t, 8>, kInlineFields> inlineCurrencies;
  std::vector<TKeyLayout::TValue> manyValues;
  std::vector<std::array<uint8_t, 8>> manyCurrencies;
  const size_t count = fields_.size();
  std::span<TKeyLayout::TValue> values(inlineValues.data(), count);
  std::span<std::array<uint8_t, 8>> currencies(inlineCurrencies.data(), count);
  if (count > kInlineFields) {
    manyValues.resize(count);
    manyCurrencies.resize(count);
    values = manyValues;
    currencies = manyCurrencies;
  }
  for (size_t i = 0; i < count; ++i) {
    if (fields_[i] == nullptr) continue;
    const TFieldValue value = GetFieldValue(record, *fields_[i]);
    values[i] = {value.isNull, value.bytes};
    if (fields_[i]->dataType == kFieldBcd && !value.isNull) {
      // A BCD enters the key as its value x 10,000; one that cannot be read counts as 0.
      const int64_t currency = BcdToCurrency(value.bytes).value_or(0);
      std::memcpy(currencies[i].data(), &currency, 8);
      values[i].Bytes = currencies[i];
    }
  }
  layout_.BuildKey(values, GetRecordID(record), key);
}

std::string TRecordKeys::FieldText(std::span<const uint8_t> record, const TFieldDefinition& field) {
  const TFieldValue value = GetFieldValue(record, field);
  if (value.isNull) return {};
  const auto end = std::find(value.bytes.begin(), value.bytes.end(), 0);
  return std::string(value.bytes.begin(), end);
}

}  // namespace zarnik
