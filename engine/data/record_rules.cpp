#include "engine/data/record_rules.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/data/value_text.h"
#include "platform/byte_order.h"

namespace zarnik {

namespace {

void SetDefaultValue(const TFieldDefinition& field, std::span<uint8_t> record, TDateTime now) {
  if (field.dataType == kFieldBytes || field.dataType == kFieldVarBytes) {
    SetFieldValue(record, field, std::span<const uint8_t>());  // zero bytes, but not NULL
    return;
  }
  auto value = EncodeValueText(field, field.defaultValue, now);
  if (value) SetFieldValue(record, field, std::span<const uint8_t>(*value));
}

// Whether value lies on the wrong side of a limit text (direction -1 for the
// minimum, +1 for the maximum).
bool Exceeds(const TFieldDefinition& field, std::span<const uint8_t> value, const std::string& limit, int direction,
             TDateTime now) {
  if (limit.empty()) return false;
  auto bound = EncodeValueText(field, limit, now);
  return bound && CompareFieldValues(field, value, *bound) * direction > 0;
}

TRecordHash Md5(std::span<const uint8_t> bytes) {
  return MD5Digest(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::span<const uint8_t> HashedPart(std::span<const uint8_t> record) {
  return record.size() > kRecordFieldsOffset ? record.subspan(kRecordFieldsOffset) : std::span<const uint8_t>();
}

int32_t AutoIncrementValue(const TFieldDefinition& field, std::span<const uint8_t> record) {
  TFieldValue value = GetFieldValue(record, field);
  return value.isNull || value.bytes.size() < 4 ? 0 : platform::GetInt32(value.bytes, 0);
}

// Raises a header counter to a value, or follows it around after 2147483647.
bool NoteCounter(int32_t& counter, int32_t value) {
  int32_t noted = value == NextCounterValue(counter) ? value : std::max(counter, value);
  if (noted == counter) return false;
  counter = noted;
  return true;
}

}  // namespace

void InitRecord(const TTableDefinition& table, std::span<uint8_t> record, TDateTime now) {
  std::memset(record.data(), 0, record.size());
  if (!table.HasDefaultValues()) return;
  for (const TFieldDefinition& field : table.Fields())
    if (!field.defaultValue.empty() && !field.IsBlob()) SetDefaultValue(field, record, now);
}

TDefinitionError CheckConstraints(const TTableDefinition& table, std::span<const uint8_t> record, TDateTime now) {
  for (const TFieldDefinition& field : table.Fields()) {
    if (!field.required && field.minimumValue.empty() && field.maximumValue.empty()) continue;
    TFieldValue value = GetFieldValue(record, field);
    if (field.required && value.isNull) return {ZARNIK_REQDERR, field.name};
    if (value.isNull && !field.IsString()) continue;
    if (Exceeds(field, value.bytes, field.minimumValue, -1, now)) return {ZARNIK_MINVALERR, field.name};
    if (Exceeds(field, value.bytes, field.maximumValue, +1, now)) return {ZARNIK_MAXVALERR, field.name};
  }
  return {};
}

TRecordHash ComputeRecordHash(const TTableDefinition& table, std::span<const uint8_t> record, bool fullMethod) {
  if (!table.HasBlobFields() && !fullMethod) return Md5(HashedPart(record));
  // The record without its BLOB and hidden fields; most records fit on the stack.
  std::array<uint8_t, 1024> small;
  std::vector<uint8_t> large;
  std::span<uint8_t> image(small.data(), std::min(record.size(), small.size()));
  if (record.size() > small.size()) {
    large.resize(record.size());
    image = large;
  }
  std::fill(image.begin(), image.end(), uint8_t{0});
  for (const TFieldDefinition& field : table.Fields()) {
    if (field.IsBlob() || field.IsHidden() || !FieldFits(record.size(), field)) continue;
    size_t slot = size_t{field.physicalSize} + 1;
    std::copy_n(record.begin() + field.offset, slot, image.begin() + field.offset);
  }
  return Md5(HashedPart(image));
}

void AssignRecordID(const TTableDefinition& table, std::span<uint8_t> record) {
  SetRecordID(record, NextCounterValue(table.header.lastRecordID));
}

void NoteRecordID(TTableDefinition& table, std::span<const uint8_t> record) {
  if (NoteCounter(table.header.lastRecordID, GetRecordID(record))) table.SetHeaderChanged();
}

void AssignAutoIncrements(const TTableDefinition& table, std::span<uint8_t> record) {
  uint8_t next[4];
  platform::PutInt32(next, 0, NextCounterValue(table.header.lastAutoIncrement));
  for (const TFieldDefinition& field : table.Fields())
    if (field.IsAutoIncrement() && GetFieldValue(record, field).isNull)
      SetFieldValue(record, field, std::span<const uint8_t>(next));
}

void NoteAutoIncrements(TTableDefinition& table, std::span<const uint8_t> record) {
  for (const TFieldDefinition& field : table.Fields())
    if (field.IsAutoIncrement() && !GetFieldValue(record, field).isNull &&
        NoteCounter(table.header.lastAutoIncrement, AutoIncrementValue(field, record)))
      table.SetHeaderChanged();
}

}  // namespace zarnik
