// Small tables for the data file tests: fields by name and type, and a new
// table holding them after the definition checks.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/table_definition.h"

namespace zarnik::test_tables {

inline TFieldDefinition NewField(const std::string& name, uint8_t type, uint16_t size = 0, uint8_t subtype = 0) {
  TFieldDefinition f;
  f.name = name;
  f.dataType = type;
  f.subtype = subtype;
  f.size = size;
  return f;
}

// Numbers the fields 1..n.
inline std::vector<TFieldDefinition> Numbered(std::vector<TFieldDefinition> fields) {
  for (size_t i = 0; i < fields.size(); ++i) fields[i].number = static_cast<int32_t>(i + 1);
  return fields;
}

// Numbers and validates the fields and installs them in a new table.
inline TTableDefinition NewTable(std::vector<TFieldDefinition> fields) {
  fields = Numbered(std::move(fields));
  EXPECT_FALSE(ValidateTableDefinition(fields, 0, false, ""));
  TTableDefinition table;
  table.InitNew(MD5Digest(kDefaultSignature));
  EXPECT_FALSE(table.SetFieldDefinitions(fields));
  return table;
}

inline std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace zarnik::test_tables
