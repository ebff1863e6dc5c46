// TFieldDefinition: one field of a table as its 768-byte definition in the data
// file describes it (name, type, size, slot offset in the record, rules), plus
// the data type codes and how a field's physical size follows from its type.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zarnik {

// Data type codes (definition offset 164).
constexpr uint8_t kFieldUnknown = 0;
constexpr uint8_t kFieldString = 1;
constexpr uint8_t kFieldDate = 2;
constexpr uint8_t kFieldBlob = 3;
constexpr uint8_t kFieldBoolean = 4;
constexpr uint8_t kFieldSmallInt = 5;
constexpr uint8_t kFieldInteger = 6;
constexpr uint8_t kFieldFloat = 7;
constexpr uint8_t kFieldBcd = 8;
constexpr uint8_t kFieldBytes = 9;
constexpr uint8_t kFieldTime = 10;
constexpr uint8_t kFieldTimestamp = 11;
constexpr uint8_t kFieldWord = 12;
constexpr uint8_t kFieldVarBytes = 15;
constexpr uint8_t kFieldLargeInt = 18;

// Subtype codes (definition offset 165).
constexpr uint8_t kSubtypeNone = 0;
constexpr uint8_t kSubtypeCurrency = 21;       // float
constexpr uint8_t kSubtypeMemo = 22;           // BLOB
constexpr uint8_t kSubtypeGraphic = 26;        // BLOB
constexpr uint8_t kSubtypeAutoInc = 29;        // integer
constexpr uint8_t kSubtypeFixedString = 31;    // string: trailing blanks kept
constexpr uint8_t kSubtypeWideString = 32;     // string of 16-bit characters
constexpr uint8_t kSubtypeGuid = 50;           // string of 38 characters
constexpr uint8_t kSubtypeRecordHash = 100;    // bytes: the RecordHash system field

// Bytes of a BCD value: precision, sign and places, 32 bytes of packed digits.
constexpr uint16_t kBcdSize = 34;
// Largest declared size of a string, bytes or variable bytes field, and of a wide string.
constexpr uint16_t kMaxFieldSize = 512;
constexpr uint16_t kMaxWideFieldSize = 256;
// Longest field name and description.
constexpr size_t kMaxFieldNameLength = 60;
constexpr size_t kMaxDescriptionLength = 100;
constexpr size_t kMaxValueTextLength = 100;

// Field numbers of the two system fields every table has.
constexpr int32_t kRecordIDFieldNumber = -1;
constexpr int32_t kRecordHashFieldNumber = -2;
inline constexpr const char* kRecordIDFieldName = "RecordID";
inline constexpr const char* kRecordHashFieldName = "RecordHash";

// Bytes a value of this type takes in a record; 0 for codes without a value.
uint16_t PhysicalSizeOf(uint8_t dataType, uint8_t subtype, uint16_t size);
// Whether the type has a declared size (string, bytes, variable bytes).
bool HasDeclaredSize(uint8_t dataType);
// Whether size is allowed for the type: 1..512 (1..256 for a wide string) for
// the sized types, 0 for every other type.
bool IsValidFieldSize(uint8_t dataType, uint8_t subtype, uint16_t size);

class TFieldDefinition {
 public:
  static constexpr size_t kEncodedLength = 768;

  // 1-based position among the table's definitions; -1 and -2 for the system
  // fields, which are never stored.
  int32_t number = 0;
  std::string name;
  std::string description;
  uint8_t dataType = kFieldUnknown;
  uint8_t subtype = kSubtypeNone;
  uint16_t size = 0;
  uint8_t scale = 0;
  uint16_t physicalSize = 0;
  uint8_t physicalScale = 0;
  uint16_t offset = 0;
  bool required = false;
  uint8_t characterCase = 0;  // 0 as given, 1 lower, 2 upper
  std::string minimumValue;
  std::string maximumValue;
  std::string defaultValue;
  uint8_t compression = 0;
  bool computed = false;
  // Bytes 481-767 as the writer had them in memory; kept and written back.
  std::array<uint8_t, 287> runTimeArea{};

  void EncodeTo(std::span<uint8_t> destination) const;
  // Reads the 768 bytes at the start of source, which must hold them.
  void DecodeFrom(std::span<const uint8_t> source);

  bool IsSystemField() const { return number < 0; }
  bool IsBlob() const { return dataType == kFieldBlob; }
  bool IsString() const { return dataType == kFieldString; }
  bool IsAutoIncrement() const { return dataType == kFieldInteger && subtype == kSubtypeAutoInc; }
  // A column of an in-memory query result that the query engine hides.
  bool IsHidden() const { return runTimeArea[kHiddenFlagOffset - kRunTimeAreaOffset] != 0; }
  // Sets physical size and scale from type, subtype, size and scale.
  void DerivePhysicalSize();

  static const TFieldDefinition& RecordIDField();
  static const TFieldDefinition& RecordHashField();

  // Layout of the 768 bytes:
  //   0 uint16 field number        2 short string(60) name     63 short string(100) description
  // 164 uint8 data type          165 uint8 subtype           166 uint16 size
  // 168 uint8 scale              169 uint16 physical size    171 uint8 physical scale
  // 172 uint16 slot offset       174 uint8 required          175 uint8 character case
  // 176 short string(100) minimum   277 short string(100) maximum   378 short string(100) default
  // 479 uint8 compression level  480 uint8 computed         481..767 run-time area (485: hidden)
  static constexpr size_t kNumberOffset = 0;
  static constexpr size_t kNameOffset = 2;
  static constexpr size_t kDescriptionOffset = 63;
  static constexpr size_t kDataTypeOffset = 164;
  static constexpr size_t kSubtypeOffset = 165;
  static constexpr size_t kSizeOffset = 166;
  static constexpr size_t kScaleOffset = 168;
  static constexpr size_t kPhysicalSizeOffset = 169;
  static constexpr size_t kPhysicalScaleOffset = 171;
  static constexpr size_t kSlotOffsetOffset = 172;
  static constexpr size_t kRequiredOffset = 174;
  static constexpr size_t kCharacterCaseOffset = 175;
  static constexpr size_t kMinimumOffset = 176;
  static constexpr size_t kMaximumOffset = 277;
  static constexpr size_t kDefaultOffset = 378;
  static constexpr size_t kCompressionOffset = 479;
  static constexpr size_t kComputedOffset = 480;
  static constexpr size_t kRunTimeAreaOffset = 481;
  static constexpr size_t kHiddenFlagOffset = 485;
};

}  // namespace zarnik
