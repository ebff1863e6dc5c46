// TBlobBuffer: one open BLOB of a cursor: a BLOB field value of one record,
// read whole into memory (decompressed) when it was opened, changed there, and
// written back to its chain when the record is posted.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/core/safe_object.h"
#include "engine/data/field_definition.h"

namespace zarnik {

class TDataCursor;

// Open modes: read only, read and write, and read and write but skipped when
// the changed values are written back.
constexpr uint8_t kBlobModeRead = 1;
constexpr uint8_t kBlobModeReadWrite = 2;
constexpr uint8_t kBlobModeNotPosted = 3;

class TBlobBuffer : public TSafeObject {
 public:
  // Copies up to count bytes from offset into dest, cut to the length;
  // returns the bytes copied.
  int32_t Read(int64_t offset, int32_t count, uint8_t* dest) const;
  // Writes count bytes at offset; the length grows to offset + count when that
  // is more. Only in mode 2; false, changing nothing, in other modes.
  bool Write(int64_t offset, int32_t count, const uint8_t* source);
  // Cuts the value to newLength bytes (a larger length changes nothing). Only
  // in mode 2; false, changing nothing, in other modes.
  bool Truncate(int64_t newLength);
  int32_t Length() const { return static_cast<int32_t>(data.size()); }

  TDataCursor* cursor = nullptr;  // the owner
  bool modified = false;
  uint32_t revision = 0;
  const TFieldDefinition* field = nullptr;  // the BLOB field, owned by the table
  int32_t firstBlock = 0;                   // first block of the value's chain, 0 for none
  uint32_t ownerRecord = 0;                 // physical record number of the value's record
  std::vector<uint8_t> data;
  std::optional<std::vector<uint8_t>> savedCopy;  // the value as read, kept for text-indexed fields
  uint8_t mode = kBlobModeRead;
  uint16_t openCount = 0;
  bool closeFlag = false;
  int32_t serverHandle = 0;  // remote sessions only
};

}  // namespace zarnik
