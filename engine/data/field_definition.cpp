#include "engine/data/field_definition.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

uint16_t PhysicalSizeOf(uint8_t dataType, uint8_t subtype, uint16_t size) {
  switch (dataType) {
    case kFieldString:
      // Saturates for sizes no valid definition has, so nothing wraps to a small slot.
      return static_cast<uint16_t>(std::min<uint32_t>(subtype == kSubtypeWideString ? 2u * size + 1 : size + 1u, 0xFFFF));
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
      return 4;
    case kFieldBlob:
    case kFieldFloat:
    case kFieldTimestamp:
    case kFieldLargeInt:
      return 8;
    case kFieldBoolean:
    case kFieldSmallInt:
    case kFieldWord:
      return 2;
    case kFieldBcd:
      return kBcdSize;
    case kFieldBytes:
    case kFieldVarBytes:
      return size;
    default:
      return 0;
  }
}

bool HasDeclaredSize(uint8_t dataType) {
  return dataType == kFieldString || dataType == kFieldBytes || dataType == kFieldVarBytes;
}

bool IsValidFieldSize(uint8_t dataType, uint8_t subtype, uint16_t size) {
  if (!HasDeclaredSize(dataType)) return size == 0;
  uint16_t limit = dataType == kFieldString && subtype == kSubtypeWideString ? kMaxWideFieldSize : kMaxFieldSize;
  return size >= 1 && size <= limit;
}

void TFieldDefinition::DerivePhysicalSize() {
  physicalSize = PhysicalSizeOf(dataType, subtype, size);
  physicalScale = scale;
}

void TFieldDefinition::EncodeTo(std::span<uint8_t> d) const {
  std::memset(d.data(), 0, kEncodedLength);
  PutUInt16(d, kNumberOffset, static_cast<uint16_t>(number));
  PutShortString(d, kNameOffset, kMaxFieldNameLength, name);
  PutShortString(d, kDescriptionOffset, kMaxDescriptionLength, description);
  PutUInt8(d, kDataTypeOffset, dataType);
  PutUInt8(d, kSubtypeOffset, subtype);
  PutUInt16(d, kSizeOffset, size);
  PutUInt8(d, kScaleOffset, scale);
  PutUInt16(d, kPhysicalSizeOffset, physicalSize);
  PutUInt8(d, kPhysicalScaleOffset, physicalScale);
  PutUInt16(d, kSlotOffsetOffset, offset);
  PutUInt8(d, kRequiredOffset, required ? 1 : 0);
  PutUInt8(d, kCharacterCaseOffset, characterCase);
  PutShortString(d, kMinimumOffset, kMaxValueTextLength, minimumValue);
  PutShortString(d, kMaximumOffset, kMaxValueTextLength, maximumValue);
  PutShortString(d, kDefaultOffset, kMaxValueTextLength, defaultValue);
  PutUInt8(d, kCompressionOffset, compression);
  PutUInt8(d, kComputedOffset, computed ? 1 : 0);
  std::copy(runTimeArea.begin(), runTimeArea.end(), d.begin() + kRunTimeAreaOffset);
}

void TFieldDefinition::DecodeFrom(std::span<const uint8_t> s) {
  number = GetUInt16(s, kNumberOffset);
  name = GetShortString(s, kNameOffset, kMaxFieldNameLength);
  description = GetShortString(s, kDescriptionOffset, kMaxDescriptionLength);
  dataType = GetUInt8(s, kDataTypeOffset);
  subtype = GetUInt8(s, kSubtypeOffset);
  size = GetUInt16(s, kSizeOffset);
  scale = GetUInt8(s, kScaleOffset);
  physicalSize = GetUInt16(s, kPhysicalSizeOffset);
  physicalScale = GetUInt8(s, kPhysicalScaleOffset);
  offset = GetUInt16(s, kSlotOffsetOffset);
  required = GetUInt8(s, kRequiredOffset) != 0;
  characterCase = GetUInt8(s, kCharacterCaseOffset);
  minimumValue = GetShortString(s, kMinimumOffset, kMaxValueTextLength);
  maximumValue = GetShortString(s, kMaximumOffset, kMaxValueTextLength);
  defaultValue = GetShortString(s, kDefaultOffset, kMaxValueTextLength);
  compression = GetUInt8(s, kCompressionOffset);
  computed = GetUInt8(s, kComputedOffset) != 0;
  std::copy_n(s.begin() + kRunTimeAreaOffset, runTimeArea.size(), runTimeArea.begin());
}

static TFieldDefinition MakeSystemField(int32_t number, const char* name, uint8_t dataType, uint8_t subtype,
                                        uint16_t size, uint16_t physicalSize, uint16_t offset) {
  TFieldDefinition d;
  d.number = number;
  d.name = name;
  d.dataType = dataType;
  d.subtype = subtype;
  d.size = size;
  d.physicalSize = physicalSize;
  d.offset = offset;
  return d;
}

const TFieldDefinition& TFieldDefinition::RecordIDField() {
  static const TFieldDefinition field =
      MakeSystemField(kRecordIDFieldNumber, kRecordIDFieldName, kFieldInteger, kSubtypeNone, 0, 4, 5);
  return field;
}

const TFieldDefinition& TFieldDefinition::RecordHashField() {
  static const TFieldDefinition field =
      MakeSystemField(kRecordHashFieldNumber, kRecordHashFieldName, kFieldBytes, kSubtypeRecordHash, 16, 16, 9);
  return field;
}

}  // namespace zarnik
