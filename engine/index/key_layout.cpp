#include "engine/index/key_layout.h"

#include <algorithm>
#include <cstring>

#include "platform/locale.h"

namespace zarnik {

namespace {

constexpr uint8_t kString = 1, kDate = 2, kBoolean = 4, kSmallInt = 5, kInteger = 6, kFloat = 7, kBcd = 8,
                  kTime = 10, kTimestamp = 11, kWord = 12, kLargeInt = 18;
constexpr size_t kMaxFieldSum = 4106;
// The highest character of the built-in locale's collation order.
constexpr uint8_t kHighestCharacter = 0xFF;

uint64_t ReadLittleEndian(std::span<const uint8_t> bytes, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && i < bytes.size(); ++i) v |= uint64_t(bytes[i]) << (8 * i);
  return v;
}

void WriteBigEndian(uint64_t v, size_t width, uint8_t* out) {
  for (size_t i = 0; i < width; ++i) out[i] = uint8_t(v >> (8 * (width - 1 - i)));
}

int Sign(int c) {
  return (c > 0) - (c < 0);
}

uint64_t DoubleKey(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value >= 0 ? bits | 0x8000000000000000ull : ~bits;
}

}  // namespace

TKeyLayout::TKeyLayout(const TIndexDefinition& definition, std::vector<TField> fields, uint32_t slot)
    : fields_(std::move(fields)),
      unique_(definition.Unique != 0),
      caseInsensitive_(definition.CaseInsensitive != 0),
      text_(slot == kTextSlot) {
  if (text_) {
    keySize_ = kTextKeySize;
    return;
  }
  for (const TField& field : fields_) {
    const size_t width = FieldKeySize(field.DataType, field.PhysicalSize);
    spans_.push_back({fieldSum_, width, field.DataType, field.Descending});
    fieldSum_ += width;
  }
  keySize_ = fieldSum_ + (unique_ ? 0 : kRecordIdLength);
  bytewise_ = std::none_of(spans_.begin(), spans_.end(), [](const TSpan& span) { return span.descending; });
}

size_t TKeyLayout::FieldKeySize(uint8_t dataType, uint16_t physicalSize) {
  return 1 + (dataType == kBcd ? 8 : physicalSize);
}

uint16_t TKeyLayout::ComputeKeySize(const std::vector<TField>& fields, bool unique, uint32_t pageSize) {
  size_t sum = 0;
  for (const TField& field : fields) sum += FieldKeySize(field.DataType, field.PhysicalSize);
  if (sum == 0 || sum > kMaxFieldSum || pageSize < 13 || sum > (pageSize - 13) / 3) return 0;
  return uint16_t(sum + (unique ? 0 : kRecordIdLength));
}

void TKeyLayout::EncodeInt32(int32_t value, uint8_t* out) {
  WriteBigEndian(uint32_t(value) ^ 0x80000000u, 4, out);
}

// --- building ------------------------------------------------------------------

void TKeyLayout::BuildKey(std::span<const TValue> values, int32_t recordId, uint8_t* key) const {
  std::memset(key, 0, keySize_);
  for (size_t i = 0; i < spans_.size(); ++i) {
    const TSpan& span = spans_[i];
    const bool isNull = i >= values.size() || values[i].IsNull;
    key[span.offset] = isNull ? 0 : 1;
    std::span<const uint8_t> bytes = isNull ? std::span<const uint8_t>() : values[i].Bytes;
    EncodeValue(fields_[i], bytes, key + span.offset + 1, span.width - 1);
  }
  if (!unique_) EncodeInt32(recordId, key + fieldSum_);
}

// Encodes a value given in record encoding (empty: the zero value).
void TKeyLayout::EncodeValue(const TField& field, std::span<const uint8_t> bytes, uint8_t* out,
                             size_t width) const {
  auto integer = [&](size_t size) {
    const uint64_t top = uint64_t(1) << (8 * size - 1);
    WriteBigEndian(ReadLittleEndian(bytes, size) ^ top, size, out);
  };
  switch (field.DataType) {
    case kString: {
      const size_t length = std::min<size_t>(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin(), width);
      if (length == 0) return;
      std::memcpy(out, bytes.data(), length);
      if (caseInsensitive_) platform::UpperCaseInPlace(reinterpret_cast<char*>(out), length);
      return;
    }
    case kDate:
    case kInteger:
    case kTime:
      if (width == 4) return integer(4);
      break;
    case kSmallInt:
      if (width == 2) return integer(2);
      break;
    case kBoolean:
    case kWord:
      if (width == 2) return WriteBigEndian(ReadLittleEndian(bytes, 2), 2, out);
      break;
    case kFloat:
    case kTimestamp:
      if (width == 8) return WriteBigEndian(DoubleKey(ReadLittleEndian(bytes, 8)), 8, out);
      break;
    case kLargeInt:
    case kBcd:
      if (width == 8) return integer(8);
      break;
    default:
      break;
  }
  if (field.FieldNumber == TIndexDefinition::kRecordIDField && width == 4) return integer(4);
  if (!bytes.empty()) std::memcpy(out, bytes.data(), std::min(bytes.size(), width));
}

void TKeyLayout::BuildTextKey(uint16_t fieldNumber, std::string_view word, int32_t recordId, uint8_t* key) {
  std::memset(key, 0, kTextKeySize);
  key[0] = 1;
  key[1] = uint8_t(fieldNumber >> 8);
  key[2] = uint8_t(fieldNumber);
  const size_t length = std::min(word.size(), kTextWordLength);
  std::memcpy(key + kTextWordOffset, word.data(), length);
  platform::UpperCaseInPlace(reinterpret_cast<char*>(key + kTextWordOffset), length);
  EncodeInt32(recordId, key + kTextWordOffset + kTextWordLength);
}

// --- comparing -----------------------------------------------------------------

int TKeyLayout::Compare(const uint8_t* a, const uint8_t* b, size_t length) const {
  if (text_) return Sign(std::memcmp(a, b, kTextKeySize));
  if (bytewise_) return CompareKeyBytes(a, b, length);
  size_t done = 0;
  for (const TSpan& span : spans_) {
    if (done >= length) return 0;
    const size_t n = std::min(span.width, length - done);
    const int c = Sign(std::memcmp(a + done, b + done, n));
    if (c != 0) return span.descending ? -c : c;
    done += n;
  }
  return done < length ? Sign(std::memcmp(a + done, b + done, length - done)) : 0;
}

size_t TKeyLayout::MatchedLength(uint32_t fieldCount, uint32_t partialLength) const {
  if (fieldCount == 0 && partialLength == 0) return fieldSum_;
  size_t m = 0;
  for (uint32_t i = 0; i < fieldCount && i < spans_.size(); ++i) m += spans_[i].width;
  if (partialLength != 0 && fieldCount < spans_.size())
    m += 1 + std::min<size_t>(partialLength, spans_[fieldCount].width - 1);
  return m;
}

void TKeyLayout::FillBound(uint8_t* key, size_t m, bool highest) const {
  for (const TSpan& span : spans_) {
    const size_t end = span.offset + span.width;
    if (end <= m) continue;
    // Ascending fields widen downwards with 00 and upwards with the highest
    // character (FF for strings under the built-in locale, FF otherwise).
    const uint8_t high = span.dataType == kString ? kHighestCharacter : 0xFF;
    const uint8_t fill = (highest != span.descending) ? high : 0x00;
    const size_t from = std::max(m, span.offset);
    std::memset(key + from, fill, end - from);
  }
  const size_t suffix = std::max(m, fieldSum_);
  if (keySize_ > suffix) std::memset(key + suffix, highest ? 0xFF : 0x00, keySize_ - suffix);
}

}  // namespace zarnik
