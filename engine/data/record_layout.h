// The bytes of one physical record of a data file and the field values in it:
// the record's status, free-chain link, RecordID and RecordHash, and reading and
// writing a field's slot as its definition describes it. Every access checks
// that the slot lies inside the record: a field that does not fit reads as NULL
// and is never written.
//
// Record layout (all integers little-endian; record size is a multiple of 8):
//   0  uint8   status: 1 deleted (on the free chain); any other value is a live record
//   1  int32   link: next deleted record of the free chain (0 at the end); for a live
//              record 0 or its own number, ignored by readers
//   5  int32   RecordID (system field -1)
//   9  16      RecordHash (system field -2): MD5 digest of the record
//  25  ...     field slots in field-number order without gaps: one NULL indicator byte
//              (1 = has a value, anything else NULL) followed by the value's physical
//              size; a NULL field has zero value bytes (for a BLOB field the first 4)
//  ... zero padding to the record size
//
// Value encodings: string: characters, a zero byte, zero fill (a wide string the same
// in 16-bit little-endian units); date: int32 day number, 0001-01-01 = 1; BLOB: int32
// first block number then int32 BLOB revision; boolean, small integer: int16; word:
// uint16; integer, auto-increment: int32; float, currency: float64; BCD: 34-byte
// decimal record; bytes, variable bytes: raw; time: int32 milliseconds since midnight;
// timestamp: float64 day number x 86,400,000 + milliseconds; large integer: int64.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/data/field_definition.h"

namespace zarnik {

constexpr size_t kRecordStatusOffset = 0;
constexpr size_t kRecordLinkOffset = 1;
constexpr size_t kRecordIDOffset = 5;
constexpr size_t kRecordHashOffset = 9;
constexpr size_t kRecordFieldsOffset = 25;
constexpr uint8_t kRecordActive = 0;
constexpr uint8_t kRecordDeleted = 1;
constexpr uint8_t kFieldHasValue = 1;
// Bytes of a BLOB field's value that its reference is: the first block number.
constexpr uint16_t kBlobReferenceSize = 4;

using TRecordHash = std::array<uint8_t, 16>;

// The system part of a record; a record too short to hold it reads as zero and
// is not written.
uint8_t GetRecordStatus(std::span<const uint8_t> record);
void SetRecordStatus(std::span<uint8_t> record, uint8_t status);
int32_t GetRecordLink(std::span<const uint8_t> record);
void SetRecordLink(std::span<uint8_t> record, int32_t link);
// The link when the record is deleted, else 0.
int32_t GetNextFree(std::span<const uint8_t> record);
int32_t GetRecordID(std::span<const uint8_t> record);
void SetRecordID(std::span<uint8_t> record, int32_t id);
TRecordHash GetRecordHash(std::span<const uint8_t> record);
void SetRecordHash(std::span<uint8_t> record, const TRecordHash& hash);

struct TFieldValue {
  bool isNull = true;
  // The value bytes in the record (a BLOB field: its 4-byte first block number);
  // empty when the field has no slot in this record.
  std::span<const uint8_t> bytes;
};

// Whether the field's slot (indicator and value; for a system field the value)
// lies inside a record of recordSize bytes. Computed columns have no slot.
bool FieldFits(size_t recordSize, const TFieldDefinition& field);

TFieldValue GetFieldValue(std::span<const uint8_t> record, const TFieldDefinition& field);

// Stores a value (nothing = NULL) in the field's slot with the rules of its type:
// strings are cut, trimmed unless fixed-length and cased; an empty string is NULL;
// a BLOB reference of 0 is NULL, a negative one is NULL when nullHint is set;
// booleans become 0 or 1. value holds the value in its record encoding (a string
// up to its first zero byte; a value shorter than the field is zero-filled).
// Returns false, changing nothing, for a system field, a computed column or a
// field that does not fit in the record.
bool SetFieldValue(std::span<uint8_t> record, const TFieldDefinition& field,
                   std::optional<std::span<const uint8_t>> value, bool nullHint = false);

}  // namespace zarnik
