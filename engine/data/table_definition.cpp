#include "engine/data/table_definition.h"

#include <algorithm>
#include <limits>

#include "engine/core/data_engine.h"
#include "engine/data/record_layout.h"
#include "engine/data/value_text.h"
#include "platform/locale.h"

namespace zarnik {

using platform::SameName;

namespace {

constexpr uint32_t kRecordAlignment = 8;
constexpr uint8_t kMaxCompressionLevel = 9;

uint32_t RoundUpToRecordAlignment(uint32_t size) {
  return (size + kRecordAlignment - 1) / kRecordAlignment * kRecordAlignment;
}

bool IsValidNameStart(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

bool IsValidFieldName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxFieldNameLength && IsValidNameStart(static_cast<uint8_t>(name[0]));
}

bool IsReservedFieldName(std::string_view name) {
  return SameName(name, kRecordIDFieldName) || SameName(name, kRecordHashFieldName);
}

bool HasValidValueTexts(const TFieldDefinition& f) {
  return IsValidValueText(f, f.minimumValue) && IsValidValueText(f, f.maximumValue) &&
         IsValidValueText(f, f.defaultValue);
}

// Whether an earlier field (before index i) has the same number or name.
bool NumberTaken(std::span<const TFieldDefinition> fields, size_t i) {
  return std::any_of(fields.begin(), fields.begin() + i,
                     [&](const TFieldDefinition& f) { return f.number == fields[i].number; });
}

bool NameTaken(std::span<const TFieldDefinition> fields, size_t i) {
  return std::any_of(fields.begin(), fields.begin() + i,
                     [&](const TFieldDefinition& f) { return SameName(f.name, fields[i].name); });
}

TDefinitionError FieldError(TErrorCode code, const TFieldDefinition& field) { return {code, field.name}; }

// The type rules of a new field; ZARNIK_NONE when they hold.
TErrorCode NewFieldTypeError(std::span<const TFieldDefinition> fields, size_t i, bool allowComputed) {
  const TFieldDefinition& f = fields[i];
  bool badSize = HasDeclaredSize(f.dataType) && !IsValidFieldSize(f.dataType, f.subtype, f.size);
  bool badCompression = f.compression > kMaxCompressionLevel || (f.compression != 0 && !f.IsBlob());
  if (NumberTaken(fields, i) || f.dataType == kFieldUnknown || badSize || badCompression ||
      (f.computed && !allowComputed))
    return ZARNIK_INVALIDFLDTYPE;
  return ZARNIK_NONE;
}

TDefinitionError ValidateNewField(std::span<TFieldDefinition> fields, size_t i, bool allowComputed,
                                  uint32_t& runningOffset) {
  TFieldDefinition& f = fields[i];
  f.name = std::string(platform::TrimSpaces(f.name).substr(0, kMaxFieldNameLength));
  if (!IsValidFieldName(f.name) || IsReservedFieldName(f.name) || NameTaken(fields, i))
    return FieldError(ZARNIK_INVALIDFIELDNAME, f);
  if (TErrorCode code = NewFieldTypeError(fields, i, allowComputed)) return FieldError(code, f);
  if (!HasDeclaredSize(f.dataType)) f.size = 0;
  if (f.dataType != kFieldBcd) f.scale = 0;
  f.DerivePhysicalSize();
  if (!HasValidValueTexts(f)) return FieldError(ZARNIK_INVALIDVCHKSTRUCT, f);
  if (!f.computed) {
    f.offset = static_cast<uint16_t>(std::min<uint32_t>(runningOffset, 0xFFFF));
    runningOffset += f.physicalSize + 1u;
  }
  return {};
}

// The rules a stored field must meet when the table opens.
bool IsConsistentField(std::span<const TFieldDefinition> fields, size_t i, uint32_t runningOffset) {
  const TFieldDefinition& f = fields[i];
  return IsValidFieldName(f.name) && !NumberTaken(fields, i) && !NameTaken(fields, i) &&
         f.dataType != kFieldUnknown && IsValidFieldSize(f.dataType, f.subtype, f.size) && HasValidValueTexts(f) &&
         (f.scale == 0 || f.dataType == kFieldBcd) && (f.computed || f.offset == runningOffset) &&
         f.number == static_cast<int32_t>(i + 1);
}

int32_t SaturatedAdd(int32_t value, int32_t delta) {
  int64_t sum = int64_t{value} + delta;
  return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool IsLocaleUsable(uint32_t localeId) { return localeId == 0 || platform::IsLocaleInstalled(localeId); }

void RaiseDefinitionError(TDataEngine& engine, const TDefinitionError& error, const std::string& tableName,
                          const std::string& databaseName) {
  if (!error) return;
  TErrorItems items;
  items.tableName = tableName;
  items.databaseName = databaseName;
  items.fieldName = error.fieldName;
  engine.RaiseError(error.code, items);
}

uint32_t ComputeRecordSize(std::span<const TFieldDefinition> fields) {
  uint32_t size = kRecordFieldsOffset;
  for (const TFieldDefinition& f : fields)
    if (!f.computed) size += f.physicalSize + 1u;
  return RoundUpToRecordAlignment(size);
}

int32_t NextCounterValue(int32_t value) { return value <= 0 || value >= kMaxCounterValue ? 1 : value + 1; }

TDefinitionError ValidateTableDefinition(std::vector<TFieldDefinition>& fields, uint32_t localeId, bool encrypted,
                                         std::string_view password, bool allowComputed) {
  size_t passwordLength = platform::TrimSpaces(password).size();
  if (encrypted && (passwordLength < 1 || passwordLength > kMaxPasswordLength)) return {ZARNIK_INVALIDPASSWORD, {}};
  if (!IsLocaleUsable(localeId)) return {ZARNIK_CANNOTLOADLDDRV, {}};
  if (fields.empty() || fields.size() > kMaxFieldCount) return {ZARNIK_FLDLIMIT, {}};
  uint32_t runningOffset = kRecordFieldsOffset;
  for (size_t i = 0; i < fields.size(); ++i)
    if (TDefinitionError error = ValidateNewField(fields, i, allowComputed, runningOffset)) return error;
  return {};
}

TTableDefinition::TTableDefinition() { Clear(); }

void TTableDefinition::Clear() {
  header = TDataHeader();
  fields_.clear();
  blobFields_ = 0;
  headerChanged_ = false;
  definitionsChanged_ = false;
}

void TTableDefinition::InitNew(std::span<const uint8_t, 16> signatureDigest) {
  Clear();
  header.version = kCurrentTableVersion;
  std::copy(signatureDigest.begin(), signatureDigest.end(), header.signatureDigest.begin());
  header.nextRecordNumber = 1;
  headerChanged_ = true;
}

void TTableDefinition::DecodeHeader(std::span<const uint8_t> bytes) {
  header.DecodeFrom(bytes);
  headerChanged_ = false;
}

void TTableDefinition::EncodeHeader(std::span<uint8_t> bytes) const {
  TDataHeader image = header;
  image.headerChangedFlag = headerChanged_ ? 1 : 0;
  image.EncodeTo(bytes);
}

void TTableDefinition::DecodeDefinitions(std::span<const uint8_t> area) {
  size_t count = std::min<size_t>(header.fieldCount, area.size() / kFieldDefinitionSize);
  fields_.assign(count, TFieldDefinition());
  for (size_t i = 0; i < count; ++i) fields_[i].DecodeFrom(area.subspan(i * kFieldDefinitionSize));
  CountBlobFields();
  definitionsChanged_ = false;
}

void TTableDefinition::EncodeDefinitions(std::span<uint8_t> area) const {
  size_t count = std::min(fields_.size(), area.size() / kFieldDefinitionSize);
  for (size_t i = 0; i < count; ++i) fields_[i].EncodeTo(area.subspan(i * kFieldDefinitionSize));
}

void TTableDefinition::CountBlobFields() {
  blobFields_ = static_cast<uint16_t>(
      std::count_if(fields_.begin(), fields_.end(), [](const TFieldDefinition& f) { return f.IsBlob(); }));
}

TDefinitionError TTableDefinition::SetFieldDefinitions(std::vector<TFieldDefinition> fields) {
  if (fields.size() > kMaxFieldCount) return {ZARNIK_FLDLIMIT, {}};
  size_t blobs = std::count_if(fields.begin(), fields.end(), [](const TFieldDefinition& f) { return f.IsBlob(); });
  if (blobs > kMaxBlobFieldCount) return {ZARNIK_BLOBLIMIT, {}};
  uint32_t recordSize = ComputeRecordSize(fields);
  if (recordSize > kMaxRecordSize) return {ZARNIK_RECTOOBIG, {}};
  fields_ = std::move(fields);
  CountBlobFields();
  header.fieldCount = static_cast<uint16_t>(fields_.size());
  header.blobFieldCount = blobFields_;
  header.recordSize = static_cast<uint16_t>(recordSize);
  headerChanged_ = true;
  definitionsChanged_ = true;
  return {};
}

void TTableDefinition::SetTableInfo(uint32_t localeId, uint16_t userMajor, uint16_t userMinor,
                                    int32_t lastAutoIncrement, uint32_t blobBlockSize, uint32_t indexPageSize,
                                    std::string_view description, bool encrypted,
                                    std::span<const uint8_t, 16> passwordCheck) {
  header.localeId = localeId;
  header.userMajorVersion = userMajor;
  header.userMinorVersion = userMinor;
  header.lastAutoIncrement = lastAutoIncrement;
  header.blobBlockSize = blobBlockSize;
  header.indexPageSize = indexPageSize;
  header.description = std::string(description.substr(0, kMaxDescriptionLength));
  header.encrypted = encrypted;
  std::copy(passwordCheck.begin(), passwordCheck.end(), header.passwordCheck.begin());
  headerChanged_ = true;
}

bool TTableDefinition::UpdateFieldDefinition(int32_t number, const TFieldDefinition& d) {
  if (number < 1 || static_cast<size_t>(number) > fields_.size()) return false;
  TFieldDefinition& f = fields_[number - 1];
  f.number = d.number;
  f.name = d.name.substr(0, kMaxFieldNameLength);
  f.subtype = d.subtype;
  f.description = d.description.substr(0, kMaxDescriptionLength);
  f.required = d.required;
  f.minimumValue = d.minimumValue.substr(0, kMaxValueTextLength);
  f.maximumValue = d.maximumValue.substr(0, kMaxValueTextLength);
  f.defaultValue = d.defaultValue.substr(0, kMaxValueTextLength);
  definitionsChanged_ = true;
  return true;
}

const TFieldDefinition* TTableDefinition::GetFieldDefinition(int32_t number) const {
  if (number == kRecordIDFieldNumber) return &TFieldDefinition::RecordIDField();
  if (number == kRecordHashFieldNumber) return &TFieldDefinition::RecordHashField();
  if (number < 1 || static_cast<size_t>(number) > fields_.size()) return nullptr;
  return &fields_[number - 1];
}

const TFieldDefinition* TTableDefinition::FindField(std::string_view name) const {
  if (SameName(name, kRecordIDFieldName)) return &TFieldDefinition::RecordIDField();
  if (SameName(name, kRecordHashFieldName)) return &TFieldDefinition::RecordHashField();
  auto it = std::find_if(fields_.begin(), fields_.end(), [&](const TFieldDefinition& f) { return SameName(f.name, name); });
  return it == fields_.end() ? nullptr : &*it;
}

int32_t TTableDefinition::FindFieldNumber(std::string_view name) const {
  if (SameName(name, kRecordIDFieldName)) return kRecordIDFieldNumber;
  if (SameName(name, kRecordHashFieldName)) return kRecordHashFieldNumber;
  for (size_t i = 0; i < fields_.size(); ++i)
    if (SameName(fields_[i].name, name)) return static_cast<int32_t>(i + 1);
  return 0;
}

bool TTableDefinition::HasDefaultValues() const {
  return std::any_of(fields_.begin(), fields_.end(), [](const TFieldDefinition& f) { return !f.defaultValue.empty(); });
}

uint32_t TTableDefinition::PhysicalRecordCount() const {
  return header.nextRecordNumber > 1 ? static_cast<uint32_t>(header.nextRecordNumber - 1) : 0;
}

uint64_t TTableDefinition::RecordOffset(uint32_t number) const {
  return DataStart() + (number > 0 ? uint64_t{number} - 1 : 0) * header.recordSize;
}

TDefinitionError TTableDefinition::CheckFieldDefinitions() const {
  if (fields_.size() != header.fieldCount) return {ZARNIK_HEADERCORRUPT, {}};
  uint32_t runningOffset = kRecordFieldsOffset;
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (!IsConsistentField(fields_, i, runningOffset)) return FieldError(ZARNIK_HEADERCORRUPT, fields_[i]);
    if (!fields_[i].computed) runningOffset += fields_[i].physicalSize + 1u;
  }
  if (header.recordSize != RoundUpToRecordAlignment(runningOffset)) return {ZARNIK_HEADERCORRUPT, {}};
  return {};
}

TDefinitionError TTableDefinition::CheckHeader(uint64_t fileSize) {
  if (!IsLocaleUsable(header.localeId)) return {ZARNIK_CANNOTLOADLDDRV, {}};
  for (TFieldDefinition& f : fields_) f.DerivePhysicalSize();
  if (TDefinitionError error = CheckFieldDefinitions()) return error;
  uint64_t records = 0;
  if (fileSize > DataStart()) {
    uint64_t excess = fileSize - DataStart();
    if (header.recordSize == 0 || excess % header.recordSize != 0) return {ZARNIK_HEADERCORRUPT, {}};
    records = excess / header.recordSize;
  }
  if (uint64_t{PhysicalRecordCount()} != records || header.nextRecordNumber < 1) return {ZARNIK_HEADERCORRUPT, {}};
  if (header.freeRecordHead < 0 || uint64_t(header.freeRecordHead) > records) return {ZARNIK_HEADERCORRUPT, {}};
  return {};
}

void TTableDefinition::MarkHeaderChanged() {
  ++header.changeCounter;
  headerChanged_ = true;
}

void TTableDefinition::PrepareHeaderWrite(TDateTime now) {
  ++header.changeCounter;
  header.lastUpdate = now - platform::kDateDelta;
}

int32_t TTableDefinition::NextBlobRevision() {
  header.blobRevision = NextCounterValue(header.blobRevision);
  headerChanged_ = true;
  return header.blobRevision;
}

uint32_t TTableDefinition::NextFreeRecord() const {
  uint32_t count = PhysicalRecordCount();
  if (header.freeRecordHead > 0 && static_cast<uint32_t>(header.freeRecordHead) <= count)
    return static_cast<uint32_t>(header.freeRecordHead);
  return count + 1;
}

void TTableDefinition::TakeFreeRecord(std::span<const uint8_t> record) { SetFreeRecordHead(GetNextFree(record)); }

void TTableDefinition::FreeRecord(std::span<uint8_t> record, uint32_t number) {
  SetRecordStatus(record, kRecordDeleted);
  uint32_t head = NextFreeRecord();
  SetRecordLink(record, head == PhysicalRecordCount() + 1 ? 0 : static_cast<int32_t>(head));
  SetFreeRecordHead(static_cast<int32_t>(number));
}

void TTableDefinition::BufferAppended() {
  header.nextRecordNumber = SaturatedAdd(static_cast<int32_t>(PhysicalRecordCount()), 2);
  headerChanged_ = true;
}

bool TTableDefinition::CanAppend(uint64_t maxFileSize, uint64_t maxRecordCount) const {
  uint64_t count = PhysicalRecordCount();
  return count < maxRecordCount && DataStart() + count * header.recordSize <= maxFileSize;
}

void TTableDefinition::IncrementRecordCount() {
  header.recordCount = SaturatedAdd(header.recordCount, 1);
  headerChanged_ = true;
}

void TTableDefinition::DecrementRecordCount() {
  header.recordCount = SaturatedAdd(header.recordCount, -1);
  headerChanged_ = true;
}

void TTableDefinition::SetRecordCount(int32_t value) {
  if (header.recordCount == value) return;
  header.recordCount = value;
  headerChanged_ = true;
}

void TTableDefinition::SetFreeRecordHead(int32_t value) {
  if (header.freeRecordHead == value) return;
  header.freeRecordHead = value;
  headerChanged_ = true;
}

void TTableDefinition::EmptyTable() {
  header.changeCounter = 0;
  header.freeRecordHead = 0;
  header.nextRecordNumber = 1;
  header.lastRecordID = 0;
  header.lastAutoIncrement = 0;
  header.recordCount = 0;
  headerChanged_ = true;
}

}  // namespace zarnik
