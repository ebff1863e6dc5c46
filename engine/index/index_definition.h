// TIndexDefinition: one 768-byte index slot of the definitions block that
// follows the index file header (slot 0 primary, 1..30 secondary, 31 text).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zarnik {

// Layout of a slot (little-endian, offsets within the slot):
//
//   0   61 bytes     Name              length byte + up to 60 characters
//  61   uint16       KeySize           bytes of one key, record ID suffix included
//  63   63 bytes     reserved          zero
// 126   uint8        Descending        declared descending (reporting only)
// 127   uint8        CaseInsensitive   string key fields upper-cased in the key
// 128   uint8        Unique            1 = unique (always 1 for the primary index)
// 129   uint8        Compression       leaf compression 0 none, 1 duplicate byte,
//                                      2 trailing byte, 3 full
// 130   uint8        FieldCount        key fields, 1 .. 128 (0 only in slot 31)
// 131   uint8[128]   DescendingFields  byte i - 1 = 1: key field i sorts descending
// 259   uint16[128]  FieldNumbers      field number of key field i; 65535 RecordID,
//                                      65534 RecordHash
// 515   uint8        Uncounted         internal entries carry no subtree count
// 516   uint8        reserved          zero
// 517   uint8        RemoveMark        working byte of header repair
// 518   250 bytes    reserved          zero
class TIndexDefinition {
 public:
  static constexpr size_t kEncodedLength = 768;
  static constexpr size_t kMaxNameLength = 60;
  static constexpr size_t kMaxFields = 128;
  static constexpr uint16_t kRecordIDField = 65535;
  static constexpr uint16_t kRecordHashField = 65534;

  std::string Name;
  uint16_t KeySize = 0;
  uint8_t Descending = 0;
  uint8_t CaseInsensitive = 0;
  uint8_t Unique = 0;
  uint8_t Compression = 0;
  uint8_t FieldCount = 0;
  std::array<uint8_t, kMaxFields> DescendingFields{};
  std::array<uint16_t, kMaxFields> FieldNumbers{};
  uint8_t Uncounted = 0;
  uint8_t RemoveMark = 0;

  // The primary index of a table without a user-defined key: RecordID, unique.
  static TIndexDefinition DefaultPrimary();
  // The text index "Sys Text" as a new table gets it.
  static TIndexDefinition DefaultText();

  // Writes all 768 bytes, reserved ones as zero.
  void EncodeTo(std::span<uint8_t, kEncodedLength> dst) const;
  void DecodeFrom(std::span<const uint8_t, kEncodedLength> src);

 private:
  static constexpr size_t kName = 0;
  static constexpr size_t kKeySize = 61;
  static constexpr size_t kDescending = 126;
  static constexpr size_t kCaseInsensitive = 127;
  static constexpr size_t kUnique = 128;
  static constexpr size_t kCompression = 129;
  static constexpr size_t kFieldCount = 130;
  static constexpr size_t kDescendingFields = 131;
  static constexpr size_t kFieldNumbers = 259;
  static constexpr size_t kUncounted = 515;
  static constexpr size_t kRemoveMark = 517;
};

}  // namespace zarnik
