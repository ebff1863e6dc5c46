// TRecordKeys: the key of one index built from a record of its table: the
// index's key fields looked up in the table's field definitions, their values
// read from the record.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/data/table_definition.h"
#include "engine/index/index_definition.h"
#include "engine/index/key_layout.h"

namespace zarnik {

class TRecordKeys {
 public:
  TRecordKeys(const TIndexDefinition& definition, const TTableDefinition& table, uint32_t slot);

  const TKeyLayout& Layout() const { return layout_; }
  // Builds the key (Layout().KeySize() bytes) of a record.
  void BuildKey(std::span<const uint8_t> record, uint8_t* key) const;

  // The key fields of an index as the table defines them; a field number
  // without a field gives a field of no type and no size.
  static std::vector<TKeyLayout::TField> KeyFields(const TIndexDefinition& definition,
                                                   const TTableDefinition& table);
  // The field definition behind an index field number (65535 RecordID,
  // 65534 RecordHash); null when there is none.
  static const TFieldDefinition* FieldFor(uint16_t fieldNumber, const TTableDefinition& table);
  // The text a string field gives the text index: up to its first zero byte.
  static std::string FieldText(std::span<const uint8_t> record, const TFieldDefinition& field);

 private:
  std::vector<const TFieldDefinition*> fields_;
  TKeyLayout layout_;
};

}  // namespace zarnik
