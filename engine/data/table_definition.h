// TTableDefinition: what a data file says about its table, held in memory: the
// 512-byte header and the field definitions that follow it, with the rules that
// tie them together (record size, slot offsets, the header check), the header
// counters of record numbering and of the free record chain, and the flags that
// say what must be written. The data file owns one; it reads and writes the
// bytes, this class decides what they mean.
//
// File layout: header at 0 (512 bytes, never enciphered); field definitions at
// 512 (768 bytes each, field 1 first); records from the data start
// 512 + 768 x field count on, record n at data start + (n - 1) x record size.
// Every value here may come from a damaged file: nothing assumes the header and
// definitions agree.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/error_codes.h"
#include "engine/data/data_header.h"
#include "engine/data/field_definition.h"
#include "platform/date_time.h"

namespace zarnik {

class TDataEngine;

constexpr uint64_t kDataHeaderSize = TDataHeader::kEncodedLength;
constexpr uint64_t kFieldDefinitionSize = TFieldDefinition::kEncodedLength;
constexpr uint16_t kMaxFieldCount = 1024;
constexpr uint16_t kMaxBlobFieldCount = 128;
constexpr uint32_t kMaxRecordSize = 65534;
constexpr int32_t kMaxCounterValue = 2147483647;
constexpr size_t kMaxPasswordLength = 128;

// A failed rule: the error code and, for a field's rule, the field's name.
struct TDefinitionError {
  TErrorCode code = ZARNIK_NONE;
  std::string fieldName;
  explicit operator bool() const { return code != ZARNIK_NONE; }
};

// Raises a failed rule as an engine error with the table's and database's names.
void RaiseDefinitionError(TDataEngine& engine, const TDefinitionError& error, const std::string& tableName,
                          const std::string& databaseName);

// Whether the engine has the collation of a table's locale (0: its own order).
bool IsLocaleUsable(uint32_t localeId);
// 25 plus the slot of every stored field, rounded up to a multiple of 8.
uint32_t ComputeRecordSize(std::span<const TFieldDefinition> fields);
// The successor of a counter value: value + 1, and 1 after 2147483647 (or after
// a value that is not positive, which only a damaged header holds).
int32_t NextCounterValue(int32_t value);

// Checks and completes the definitions of a table about to be created or
// restructured: trims and cuts names, clears the scale of non-BCD fields,
// derives physical sizes and assigns slot offsets. Index and BLOB settings are
// checked by their own files.
TDefinitionError ValidateTableDefinition(std::vector<TFieldDefinition>& fields, uint32_t localeId, bool encrypted,
                                         std::string_view password, bool allowComputed = false);

class TTableDefinition {
 public:
  TTableDefinition();

  TDataHeader header;

  // --- creating and loading
  // Zeroes everything, then sets version 6, the signature digest and next record 1.
  void InitNew(std::span<const uint8_t, 16> signatureDigest);
  void Clear();
  void DecodeHeader(std::span<const uint8_t> bytes);
  void EncodeHeader(std::span<uint8_t> bytes) const;
  // Bytes of the definitions area for the header's field count.
  uint64_t DefinitionsSize() const { return kFieldDefinitionSize * header.fieldCount; }
  // Reads the definitions from an area of DefinitionsSize() bytes (fewer bytes
  // give fewer definitions) and clears the definitions-changed flag.
  void DecodeDefinitions(std::span<const uint8_t> area);
  void EncodeDefinitions(std::span<uint8_t> area) const;

  // --- the table's description
  // Installs new definitions: BLOB field count, record size; both flags set.
  TDefinitionError SetFieldDefinitions(std::vector<TFieldDefinition> fields);
  void SetTableInfo(uint32_t localeId, uint16_t userMajor, uint16_t userMinor, int32_t lastAutoIncrement,
                    uint32_t blobBlockSize, uint32_t indexPageSize, std::string_view description, bool encrypted,
                    std::span<const uint8_t, 16> passwordCheck);
  // Replaces number, name, subtype, description, required flag and value texts.
  bool UpdateFieldDefinition(int32_t number, const TFieldDefinition& definition);
  size_t FieldCount() const { return fields_.size(); }
  const std::vector<TFieldDefinition>& Fields() const { return fields_; }
  // -1 and -2 give the system fields; nothing for a number without a field.
  const TFieldDefinition* GetFieldDefinition(int32_t number) const;
  const TFieldDefinition* FindField(std::string_view name) const;
  int32_t FindFieldNumber(std::string_view name) const;
  bool HasBlobFields() const { return blobFields_ > 0; }
  bool HasDefaultValues() const;

  // --- geometry (64-bit: the header may hold anything)
  uint64_t DataStart() const { return kDataHeaderSize + DefinitionsSize(); }
  uint32_t RecordSize() const { return header.recordSize; }
  uint32_t PhysicalRecordCount() const;
  uint64_t RecordOffset(uint32_t number) const;
  uint64_t DataEnd() const { return RecordOffset(PhysicalRecordCount() + uint64_t{1}); }
  // The consistency check made when the table opens, given the file's size.
  // Derives every field's physical size and scale first (the stored ones are
  // not trusted).
  TDefinitionError CheckHeader(uint64_t fileSize);

  // --- flags and the change counter
  bool IsHeaderChanged() const { return headerChanged_; }
  bool AreDefinitionsChanged() const { return definitionsChanged_; }
  void SetHeaderChanged() { headerChanged_ = true; }
  void ClearHeaderChanged() { headerChanged_ = false; }
  void ClearDefinitionsChanged() { definitionsChanged_ = false; }
  void MarkHeaderChanged();
  // Counts the write and stamps the last update; the header is then encoded.
  void PrepareHeaderWrite(TDateTime now);
  // The next BLOB revision, stored in the header.
  int32_t NextBlobRevision();

  // --- records and the free chain
  uint32_t NextFreeRecord() const;
  // After record number was taken for a new record: the chain continues at its
  // link when it was deleted; a live record ends the chain.
  void TakeFreeRecord(std::span<const uint8_t> record);
  // Marks a record deleted and puts it at the head of the chain.
  void FreeRecord(std::span<uint8_t> record, uint32_t number);
  void BufferAppended();
  bool CanAppend(uint64_t maxFileSize, uint64_t maxRecordCount) const;
  void IncrementRecordCount();
  void DecrementRecordCount();
  void SetRecordCount(int32_t value);
  void SetFreeRecordHead(int32_t value);
  // Back to an empty table: counters, head and next record number.
  void EmptyTable();

 private:
  std::vector<TFieldDefinition> fields_;
  uint16_t blobFields_ = 0;
  bool headerChanged_ = false;
  bool definitionsChanged_ = false;

  void CountBlobFields();
  TDefinitionError CheckFieldDefinitions() const;
};

}  // namespace zarnik
