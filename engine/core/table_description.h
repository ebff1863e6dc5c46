// TTableDescription: everything a new table is made from: field and index
// definitions, text index fields and parameters, and the header settings
// (page and block sizes, locale, versions, description, password). Check()
// completes and validates it before any file is created.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/error_codes.h"
#include "engine/data/field_definition.h"
#include "engine/index/index_definition.h"
#include "engine/index/text_index_params.h"

namespace zarnik {

class TDataEngine;

struct TTableDescription {
  static constexpr uint32_t kMinIndexPageSize = 1024;
  static constexpr uint32_t kMaxIndexPageSize = 16384;
  static constexpr uint32_t kMinBlobBlockSize = 64;
  static constexpr uint32_t kMaxBlobBlockSize = 65536;
  static constexpr size_t kMaxSecondaryIndexes = 30;

  std::vector<TFieldDefinition> fields;
  // The primary index; none gives the default one on RecordID.
  std::optional<TIndexDefinition> primaryIndex;
  std::vector<TIndexDefinition> secondaryIndexes;
  // Field numbers of the text-indexed fields (strings and memos).
  std::vector<uint16_t> textIndexFields;
  // Text indexing parameters: the engine defaults, replaced by a given stop
  // word list and by each character set that is not empty.
  std::optional<std::vector<std::string>> stopWords;
  std::string spaceChars;
  std::string includeChars;

  uint32_t indexPageSize = 4096;
  uint32_t blobBlockSize = 512;
  std::string description;
  uint32_t localeId = 0;
  uint16_t userMajorVersion = 0;
  uint16_t userMinorVersion = 0;
  int32_t lastAutoIncrement = 0;
  bool encrypted = false;
  std::string password;

  // Rounds the sizes up to multiples of 8, checks every value and
  // definition, and completes them (physical sizes, slot offsets, key
  // sizes, the text index definition). The first failed rule, with the
  // field or index it concerns.
  struct TError {
    TError(TErrorCode code = ZARNIK_NONE, std::string fieldName = {}, std::string indexName = {})
        : code(code), fieldName(std::move(fieldName)), indexName(std::move(indexName)) {}
    TErrorCode code;
    std::string fieldName;
    std::string indexName;
    explicit operator bool() const { return code != ZARNIK_NONE; }
  };
  TError Check(TDataEngine& engine);

  bool HasDefaultTextParams() const { return !stopWords && spaceChars.empty() && includeChars.empty(); }
  TTextIndexParams TextParams() const;
  bool HasBlobFields() const;

 private:
  TError CheckIndex(TIndexDefinition& index, bool primary);
  TError CheckTextIndexFields() const;
};

}  // namespace zarnik
