#include "engine/index/index_definition.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

TIndexDefinition TIndexDefinition::DefaultPrimary() {
  TIndexDefinition def;
  def.KeySize = 5;
  def.Unique = 1;
  def.FieldCount = 1;
  def.FieldNumbers[0] = kRecordIDField;
  return def;
}

TIndexDefinition TIndexDefinition::DefaultText() {
  TIndexDefinition def;
  def.Name = "Sys Text";
  def.KeySize = 68;
  def.Compression = 3;
  def.Uncounted = 1;
  return def;
}

void TIndexDefinition::EncodeTo(std::span<uint8_t, kEncodedLength> dst) const {
  uint8_t* p = dst.data();
  std::fill(dst.begin(), dst.end(), uint8_t(0));
  PutShortString(dst, kName, kMaxNameLength, Name);
  PutUInt16(dst, kKeySize, KeySize);
  p[kDescending] = Descending;
  p[kCaseInsensitive] = CaseInsensitive;
  p[kUnique] = Unique;
  p[kCompression] = Compression;
  p[kFieldCount] = FieldCount;
  std::copy(DescendingFields.begin(), DescendingFields.end(), p + kDescendingFields);
  for (size_t i = 0; i < kMaxFields; ++i) PutUInt16(dst, kFieldNumbers + 2 * i, FieldNumbers[i]);
  p[kUncounted] = Uncounted;
  p[kRemoveMark] = RemoveMark;
}

void TIndexDefinition::DecodeFrom(std::span<const uint8_t, kEncodedLength> src) {
  const uint8_t* p = src.data();
  Name = GetShortString(src, kName, kMaxNameLength);
  KeySize = GetUInt16(src, kKeySize);
  Descending = p[kDescending];
  CaseInsensitive = p[kCaseInsensitive];
  Unique = p[kUnique];
  Compression = p[kCompression];
  FieldCount = p[kFieldCount];
  std::copy(p + kDescendingFields, p + kDescendingFields + kMaxFields, DescendingFields.begin());
  for (size_t i = 0; i < kMaxFields; ++i) FieldNumbers[i] = GetUInt16(src, kFieldNumbers + 2 * i);
  Uncounted = p[kUncounted];
  RemoveMark = p[kRemoveMark];
}

}  // namespace zarnik
