// TKeyLayout: the keys of one index: how a key is built from a record's
// field values, how two keys compare, matched lengths of partial searches and
// the lowest and highest keys that share a leading part.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/index/index_definition.h"
#include "engine/index/index_page_store.h"

namespace zarnik {

// Key of index slots 0..30 (offsets within the key):
//
//   per key field, in FieldNumbers order: NULL flag (1 = has a value, 0 =
//   NULL), then the encoded value (a NULL field encodes its zero value):
//     string                      the text (upper-cased for a case-insensitive
//                                 index) up to its first zero byte, zero filled
//     date, integer, time         int32, most significant byte first, top bit
//                                 inverted
//     small integer               int16 the same way
//     boolean, word               16 bits, most significant byte first
//     large integer               int64 the same way as int32
//     float, timestamp            the double's bits most significant byte
//                                 first; top bit set when >= 0, all bits
//                                 inverted when negative
//     BCD                         the value x 10,000 as a large integer
//     RecordID / RecordHash       as an integer / the 16 bytes
//     any other type              the value bytes unchanged
//   4 bytes (non-unique indexes)  the record's RecordID as an integer
//
// Key of the text index (slot 31, 68 bytes): 1; the text field's number,
// most significant byte first (2 bytes); the upper-cased word zero-padded to
// 61 bytes; the record's RecordID as an integer (4 bytes).
class TKeyLayout : public TKeyComparer {
 public:
  static constexpr size_t kMaxKeyBuffer = 4106;
  static constexpr uint32_t kTextSlot = 31;
  static constexpr size_t kTextWordOffset = 3;
  static constexpr size_t kTextWordLength = 61;
  static constexpr size_t kTextKeySize = 68;
  static constexpr size_t kRecordIdLength = 4;

  // One key field as its field definition describes it.
  struct TField {
    uint16_t FieldNumber = 0;  // 65535 RecordID, 65534 RecordHash
    uint8_t DataType = 0;
    uint16_t PhysicalSize = 0;
    bool Descending = false;
  };
  // A key field's value in a record: NULL, or its bytes in record encoding
  // (little-endian); a BCD value comes as its value x 10,000 in an int64.
  struct TValue {
    bool IsNull = true;
    std::span<const uint8_t> Bytes;
  };

  TKeyLayout(const TIndexDefinition& definition, std::vector<TField> fields, uint32_t slot);

  size_t KeySize() const { return keySize_; }
  // Bytes a key field takes in the key (flag included): the field key size.
  static size_t FieldKeySize(uint8_t dataType, uint16_t physicalSize);
  // The key size for these fields, or 0 when the field sum is 0, above 4106
  // or above (pageSize - 13) div 3 (ZARNIK_INVALIDKEY for the caller).
  static uint16_t ComputeKeySize(const std::vector<TField>& fields, bool unique, uint32_t pageSize);

  // Builds the key from the key fields' values and the record's RecordID.
  void BuildKey(std::span<const TValue> values, int32_t recordId, uint8_t* key) const;
  void BuildKey(const std::vector<TValue>& values, int32_t recordId, uint8_t* key) const {
    BuildKey(std::span<const TValue>(values), recordId, key);
  }
  static void EncodeInt32(int32_t value, uint8_t* out);

  int Compare(const uint8_t* a, const uint8_t* b, size_t length) const override;
  // Keys of an index without descending fields compare as plain bytes.
  bool Bytewise() const override { return bytewise_; }

  // Bytes compared by a search on the first n key fields (0 with L = 0: all
  // of them) and the first L bytes of key field n + 1.
  size_t MatchedLength(uint32_t fieldCount, uint32_t partialLength) const;
  // Widens key from offset m to the lowest / highest key in index order that
  // shares its first m bytes.
  void LowestBound(uint8_t* key, size_t m) const { FillBound(key, m, false); }
  void HighestBound(uint8_t* key, size_t m) const { FillBound(key, m, true); }

  // The text index key of a word of text field fieldNumber.
  static void BuildTextKey(uint16_t fieldNumber, std::string_view word, int32_t recordId, uint8_t* key);

 private:
  struct TSpan {
    size_t offset;  // of the NULL flag
    size_t width;   // flag and value
    uint8_t dataType;
    bool descending;
  };
  void EncodeValue(const TField& field, std::span<const uint8_t> bytes, uint8_t* out, size_t width) const;
  void FillBound(uint8_t* key, size_t m, bool highest) const;

  std::vector<TField> fields_;
  std::vector<TSpan> spans_;
  size_t fieldSum_ = 0;
  size_t keySize_ = 0;
  bool unique_ = false;
  bool caseInsensitive_ = false;
  bool text_ = false;
  bool bytewise_ = false;
};

}  // namespace zarnik
