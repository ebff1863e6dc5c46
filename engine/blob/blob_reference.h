// TBlobReference: what a record's BLOB field slot holds: the NULL indicator,
// the first block of the value's chain in the BLOB file and the revision
// number every block of that chain carries.
#pragma once

#include <cstdint>
#include <span>

namespace zarnik {

class TBlobReference {
 public:
  static constexpr size_t kEncodedLength = 9;

  bool hasValue = false;   // the value has at least one byte
  int32_t firstBlock = 0;  // 0: no chain; negative only in a cursor's copy (an open BLOB)
  uint32_t revision = 0;

  // The slot starts at the field's offset in the record; it must hold 9 bytes.
  void EncodeTo(std::span<uint8_t> slot) const;
  void DecodeFrom(std::span<const uint8_t> slot);

  // Layout of the slot (integers little-endian):
  //   0 uint8 NULL indicator (1: has a value)   1 int32 first block   5 uint32 revision
  static constexpr size_t kIndicatorOffset = 0;
  static constexpr size_t kFirstBlockOffset = 1;
  static constexpr size_t kRevisionOffset = 5;
};

}  // namespace zarnik
