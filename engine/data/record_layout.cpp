#include "engine/data/record_layout.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/locale.h"

namespace zarnik {

using namespace platform;

static bool HasSystemPart(std::span<const uint8_t> record) { return record.size() >= kRecordFieldsOffset; }

uint8_t GetRecordStatus(std::span<const uint8_t> record) {
  return HasSystemPart(record) ? record[kRecordStatusOffset] : kRecordActive;
}

void SetRecordStatus(std::span<uint8_t> record, uint8_t status) {
  if (HasSystemPart(record)) record[kRecordStatusOffset] = status;
}

int32_t GetRecordLink(std::span<const uint8_t> record) {
  return HasSystemPart(record) ? GetInt32(record, kRecordLinkOffset) : 0;
}

void SetRecordLink(std::span<uint8_t> record, int32_t link) {
  if (HasSystemPart(record)) PutInt32(record, kRecordLinkOffset, link);
}

int32_t GetNextFree(std::span<const uint8_t> record) {
  return GetRecordStatus(record) == kRecordDeleted ? GetRecordLink(record) : 0;
}

int32_t GetRecordID(std::span<const uint8_t> record) {
  return HasSystemPart(record) ? GetInt32(record, kRecordIDOffset) : 0;
}

void SetRecordID(std::span<uint8_t> record, int32_t id) {
  if (HasSystemPart(record)) PutInt32(record, kRecordIDOffset, id);
}

TRecordHash GetRecordHash(std::span<const uint8_t> record) {
  TRecordHash hash{};
  if (HasSystemPart(record)) std::copy_n(record.begin() + kRecordHashOffset, hash.size(), hash.begin());
  return hash;
}

void SetRecordHash(std::span<uint8_t> record, const TRecordHash& hash) {
  if (HasSystemPart(record)) std::copy(hash.begin(), hash.end(), record.begin() + kRecordHashOffset);
}

bool FieldFits(size_t recordSize, const TFieldDefinition& field) {
  if (field.computed) return false;
  size_t slot = field.IsSystemField() ? field.physicalSize : size_t{field.physicalSize} + 1;
  return size_t{field.offset} + slot <= recordSize;
}

TFieldValue GetFieldValue(std::span<const uint8_t> record, const TFieldDefinition& field) {
  if (!FieldFits(record.size(), field)) return {};
  if (field.IsSystemField()) return {false, record.subspan(field.offset, field.physicalSize)};
  size_t valueSize = field.IsBlob() ? std::min(field.physicalSize, kBlobReferenceSize) : field.physicalSize;
  return {record[field.offset] != kFieldHasValue, record.subspan(field.offset + 1, valueSize)};
}

// 16-bit characters change case only in the range where they agree with the
// single-byte mapping (ASCII and the Latin-1 letters).
static uint16_t WideCharCase(uint16_t c, uint8_t characterCase) {
  if (c >= 0x80 && c < 0xC0) return c;
  if (c > 0xFE) return c;
  return characterCase == 2 ? CharUpper(static_cast<uint8_t>(c)) : CharLower(static_cast<uint8_t>(c));
}

// Copies a zero-terminated text of narrow characters into the value bytes;
// returns the number of characters kept.
static size_t StoreNarrowString(std::span<uint8_t> out, std::span<const uint8_t> text, const TFieldDefinition& field) {
  size_t limit = out.empty() ? 0 : out.size() - 1;
  size_t length = 0;
  while (length < limit && length < text.size() && text[length] != 0) ++length;
  if (field.subtype != kSubtypeFixedString)
    while (length > 0 && text[length - 1] == ' ') --length;
  std::copy_n(text.begin(), length, out.begin());
  char* chars = reinterpret_cast<char*>(out.data());
  if (field.characterCase == 1) LowerCaseInPlace(chars, length);
  if (field.characterCase == 2) UpperCaseInPlace(chars, length);
  return length;
}

// The same for a text of 16-bit little-endian units.
static size_t StoreWideString(std::span<uint8_t> out, std::span<const uint8_t> text, const TFieldDefinition& field) {
  size_t limit = out.empty() ? 0 : (out.size() - 1) / 2;
  size_t available = text.size() / 2;
  size_t length = 0;
  while (length < limit && length < available && GetUInt16(text, 2 * length) != 0) ++length;
  while (length > 0 && GetUInt16(text, 2 * (length - 1)) == ' ') --length;
  for (size_t i = 0; i < length; ++i) {
    uint16_t c = GetUInt16(text, 2 * i);
    if (field.characterCase != 0) c = WideCharCase(c, field.characterCase);
    PutUInt16(out, 2 * i, c);
  }
  return length;
}

static void SetStringValue(std::span<uint8_t> slot, std::span<const uint8_t> text, const TFieldDefinition& field) {
  std::span<uint8_t> out = slot.subspan(1);
  std::memset(out.data(), 0, out.size());
  size_t kept = field.subtype == kSubtypeWideString ? StoreWideString(out, text, field)
                                                     : StoreNarrowString(out, text, field);
  slot[0] = kept > 0 ? kFieldHasValue : 0;
}

static void SetBlobValue(std::span<uint8_t> slot, std::span<const uint8_t> value, bool nullHint) {
  std::array<uint8_t, kBlobReferenceSize> reference{};
  std::copy_n(value.begin(), std::min(value.size(), reference.size()), reference.begin());
  std::copy_n(reference.begin(), std::min(reference.size(), slot.size() - 1), slot.begin() + 1);
  int32_t firstBlock = GetInt32(reference, 0);
  slot[0] = firstBlock > 0 || (firstBlock < 0 && !nullHint) ? kFieldHasValue : 0;
}

static void SetPlainValue(std::span<uint8_t> slot, std::span<const uint8_t> value) {
  std::span<uint8_t> out = slot.subspan(1);
  std::memset(out.data(), 0, out.size());
  std::copy_n(value.begin(), std::min(value.size(), out.size()), out.begin());
  slot[0] = kFieldHasValue;
}

bool SetFieldValue(std::span<uint8_t> record, const TFieldDefinition& field,
                   std::optional<std::span<const uint8_t>> value, bool nullHint) {
  if (field.IsSystemField() || !FieldFits(record.size(), field)) return false;
  std::span<uint8_t> slot = record.subspan(field.offset, size_t{field.physicalSize} + 1);
  if (!value) {
    size_t cleared = field.IsBlob() ? std::min(field.physicalSize, kBlobReferenceSize) : field.physicalSize;
    std::memset(slot.data() + 1, 0, cleared);
    slot[0] = 0;
    return true;
  }
  switch (field.dataType) {
    case kFieldString:
      SetStringValue(slot, *value, field);
      break;
    case kFieldBlob:
      SetBlobValue(slot, *value, nullHint);
      break;
    case kFieldBoolean:
      SetPlainValue(slot, *value);
      // Any non-zero value is true; true is stored as 1.
      if (slot.size() >= 3 && GetUInt16(slot, 1) != 0) PutUInt16(slot, 1, 1);
      break;
    default:
      SetPlainValue(slot, *value);
  }
  return true;
}

}  // namespace zarnik
