#include "engine/index/index_file.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "engine/core/data_engine.h"
#include "engine/index/index_tree.h"
#include "engine/index/key_layout.h"
#include "engine/index/page.h"
#include "engine/index/record_keys.h"
#include "platform/locale.h"

namespace zarnik {

namespace {

// What one cached page costs beside its bytes, for the cache limit.
constexpr int32_t kPageObjectSize = 56;

class TBytewise : public TKeyComparer {
 public:
  int Compare(const uint8_t* a, const uint8_t* b, size_t length) const override {
    const int c = std::memcmp(a, b, length);
    return (c > 0) - (c < 0);
  }
  bool Bytewise() const override { return true; }
};

bool ValidFirstCharacter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

}  // namespace

TIndexFile::TIndexFile(TDataEngine& engine, TBufferedFileTable& table, uint32_t pageSize)
    : TBufferedFile(engine, table), pageSize_(pageSize) {}

// --- opening, creating, closing ------------------------------------------------

void TIndexFile::OpenFile() {
  TBufferedFile::OpenFile();
  try {
    header_ = TIndexHeader();
    ClearDefinitions();
    ReadHeader();
    CheckOpened();
    ReadDefinitions();
    ResetBuffers();
  } catch (...) {
    TBufferedFile::CloseFile();
    throw;
  }
}

void TIndexFile::CheckOpened() {
  if (header_.Version != kVersion)
    Raise(header_.Version < kVersion ? ZARNIK_OLDVERSION : ZARNIK_BADSIGNATURE);
  if (!Engine().IsKnownSignatureDigest(header_.Signature)) Raise(ZARNIK_BADSIGNATURE);
  if (header_.IndexCount > kMaxSecondaryIndexes || pageSize_ < kMinPageSize || pageSize_ > kMaxPageSize)
    Raise(ZARNIK_HEADERCORRUPT);
}

void TIndexFile::CloseFile() {
  ClearDefinitions();
  TBufferedFile::CloseFile();
}

void TIndexFile::CreateFile() {
  TBufferedFile::CreateFile();
  header_ = TIndexHeader();
  ClearDefinitions();
  header_.Version = kVersion;
  header_.Signature = Engine().SignatureDigest();
  header_.NextPageNumber = 1;
  headerChanged_ = true;
  ResetBuffers();
}

void TIndexFile::StoreDefaultDefinitions(const std::vector<uint16_t>& textFields) {
  header_.IndexCount = 0;
  definitions_[0] = TIndexDefinition::DefaultPrimary();
  TIndexDefinition text = TIndexDefinition::DefaultText();
  text.FieldCount = uint8_t(std::min(textFields.size(), TIndexDefinition::kMaxFields));
  std::copy_n(textFields.begin(), text.FieldCount, text.FieldNumbers.begin());
  definitions_[kTextSlot] = text;
  definitionsChanged_ = true;
  headerChanged_ = true;
}

void TIndexFile::EmptyFile() {
  TBufferedFile::EmptyFile();
  header_.Version = kVersion;
  header_.ChangeCount = 0;
  header_.FreePageHead = 0;
  header_.NextPageNumber = 1;
  header_.RootPages.fill(0);
  header_.DataRootPages.fill(0);
  headerChanged_ = true;
}

// --- header and definitions on disk --------------------------------------------

void TIndexFile::ReadArea(int64_t offset, uint8_t* area, size_t length) {
  {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, offset) != offset) Raise(ZARNIK_READERR);
    ReadBuffer(area, int32_t(length), false);
  }
  if (Table().Encrypted()) Table().DecryptTableBuffer(area, length);
}

void TIndexFile::WriteArea(int64_t offset, const uint8_t* area, size_t length) {
  std::vector<uint8_t> copy(area, area + length);
  if (Table().Encrypted()) Table().EncryptTableBuffer(copy.data(), length);
  TFileLockGuard lock(*this);
  if (Seek(kSeekFromStart, offset) != offset) Raise(ZARNIK_WRITEERR);
  WriteBuffer(copy.data(), int32_t(length));
  Table().MarkWrittenSinceOpen();
}

void TIndexFile::ReadHeader() {
  std::array<uint8_t, TIndexHeader::kEncodedLength> image;
  ReadArea(0, image.data(), image.size());
  header_.DecodeFrom(image);
  headerChanged_ = false;
}

bool TIndexFile::WriteHeader(bool force) {
  if (!force && !headerChanged_) return false;
  ++header_.ChangeCount;
  header_.HeaderModified = headerChanged_ ? 1 : 0;
  std::array<uint8_t, TIndexHeader::kEncodedLength> image;
  header_.EncodeTo(image);
  WriteArea(0, image.data(), image.size());
  headerChanged_ = false;
  return true;
}

void TIndexFile::MarkHeaderChanged() {
  ++header_.ChangeCount;
  headerChanged_ = true;
  Table().MarkWrittenSinceOpen();
}

bool TIndexFile::HeaderChanged() {
  const uint32_t before = header_.ChangeCount;
  ReadHeader();
  return header_.ChangeCount != before;
}

void TIndexFile::ReadDefinitions() {
  std::vector<uint8_t> area(kDefinitionsLength);
  ReadArea(kDefinitionsOffset, area.data(), area.size());
  ClearDefinitions();
  const uint32_t last = std::min<uint32_t>(header_.IndexCount, kMaxSecondaryIndexes);
  for (uint32_t slot = 0; slot < 32; ++slot) {
    if (slot > last && slot != kTextSlot) continue;
    definitions_[slot].DecodeFrom(std::span<const uint8_t, TIndexDefinition::kEncodedLength>(
        area.data() + slot * TIndexDefinition::kEncodedLength, TIndexDefinition::kEncodedLength));
  }
  definitionsChanged_ = false;
}

bool TIndexFile::WriteDefinitions(bool force) {
  if (!force && !definitionsChanged_) return false;
  std::vector<uint8_t> area(kDefinitionsLength, 0);
  const uint32_t last = std::min<uint32_t>(header_.IndexCount, kMaxSecondaryIndexes);
  for (uint32_t slot = 0; slot < 32; ++slot) {
    if (slot > last && slot != kTextSlot) continue;
    definitions_[slot].EncodeTo(std::span<uint8_t, TIndexDefinition::kEncodedLength>(
        area.data() + slot * TIndexDefinition::kEncodedLength, TIndexDefinition::kEncodedLength));
  }
  WriteArea(kDefinitionsOffset, area.data(), area.size());
  if (Table().ForceBufferFlush()) FlushFile();
  definitionsChanged_ = false;
  return true;
}

void TIndexFile::ClearDefinitions() {
  definitions_.fill(TIndexDefinition());
}

// --- the buffer cache ----------------------------------------------------------

std::unique_ptr<TBuffer> TIndexFile::NewBuffer() {
  return std::make_unique<TPage>(*this);
}

void TIndexFile::RaiseBuffersCorrupt() {
  Raise(ZARNIK_INDEXCORRUPT);
}

// Refuses the page that would take the file beyond the maximum table size.
void TIndexFile::CheckCanAppend() {
  if (uint64_t(GetDataEnd()) + pageSize_ > Engine().Limits().MaxTableFileSize) Raise(ZARNIK_TABLEFULL);
}

void TIndexFile::BufferAppended() {
  ++header_.NextPageNumber;
  headerChanged_ = true;
}

int32_t TIndexFile::GetMaxBufferCount() {
  const TEngineSettings& settings = Engine().Settings;
  return CacheLimitFor(GetBufferSize(), kPageObjectSize, settings.MaxTableIndexBufferSize,
                       settings.MaxTableIndexBufferCount);
}

// --- header accessors ----------------------------------------------------------

void TIndexFile::SetRootPage(uint32_t slot, uint32_t page) {
  if (header_.RootPages.at(slot) == page) return;
  header_.RootPages[slot] = page;
  headerChanged_ = true;
}

void TIndexFile::SetDataRootPage(uint32_t slot, uint32_t page) {
  if (header_.DataRootPages.at(slot) == page) return;
  header_.DataRootPages[slot] = page;
  headerChanged_ = true;
}

uint32_t TIndexFile::GetAllocatablePage() const {
  return header_.FreePageHead != 0 ? header_.FreePageHead : header_.NextPageNumber;
}

void TIndexFile::SetFreePageHead(uint32_t page) {
  if (header_.FreePageHead == page) return;
  header_.FreePageHead = page;
  headerChanged_ = true;
}

void TIndexFile::SetIndexCount(uint8_t count) {
  if (header_.IndexCount == count) return;
  header_.IndexCount = count;
  headerChanged_ = true;
}

bool TIndexFile::IsValidPage(int64_t page) const {
  if (page == 0) return true;
  return header_.NextPageNumber > 1 && page >= 1 && page <= int64_t(header_.NextPageNumber) - 1;
}

// --- definitions -----------------------------------------------------------------

bool TIndexFile::HasDefaultPrimaryIndex() const {
  return definitions_[0].FieldNumbers[0] == TIndexDefinition::kRecordIDField;
}

bool TIndexFile::IndexNameExists(const std::string& name) const {
  const uint32_t last = std::min<uint32_t>(header_.IndexCount, kMaxSecondaryIndexes);
  for (uint32_t slot = 0; slot <= last; ++slot)
    if (platform::CompareText(definitions_[slot].Name, name, true) == 0) return true;
  return false;
}

TIndexProps TIndexFile::PropsOf(int64_t slot) const {
  if (slot < 0 || slot >= 32) return {};
  const TIndexDefinition& def = definitions_[size_t(slot)];
  return {def.KeySize, def.Unique, def.Uncounted, def.Compression, uint8_t(slot)};
}

void TIndexFile::CopyDefinition(uint32_t slot, const TIndexDefinition& definition) {
  TIndexDefinition& target = definitions_.at(slot);
  const uint8_t removeMark = target.RemoveMark;
  target = definition;
  if (target.Name.size() > TIndexDefinition::kMaxNameLength)
    target.Name.resize(TIndexDefinition::kMaxNameLength);
  target.RemoveMark = removeMark;
  definitionsChanged_ = true;
}

void TIndexFile::SetIndexDefinition(uint32_t slot, const TIndexDefinition& definition) {
  CopyDefinition(slot, definition);
  SetRootPage(slot, 0);
}

void TIndexFile::SetIndexFields(uint32_t slot, const TIndexDefinition& definition) {
  TIndexDefinition& target = definitions_.at(slot);
  target.Name = definition.Name.substr(0, TIndexDefinition::kMaxNameLength);
  target.FieldNumbers = definition.FieldNumbers;
  target.DescendingFields = definition.DescendingFields;
  definitionsChanged_ = true;
}

void TIndexFile::RaiseNamed(TErrorCode code, const std::string& fieldName, const std::string& indexName) {
  TErrorItems items;
  items.tableName = GetName();
  items.fieldName = fieldName;
  items.indexName = indexName;
  Engine().RaiseError(code, items);
}

void TIndexFile::CheckKeyFields(const TIndexDefinition& definition, const TTableDefinition& table) {
  const size_t count = std::min<size_t>(definition.FieldCount, TIndexDefinition::kMaxFields);
  for (size_t i = 0; i < count; ++i) {
    const TFieldDefinition* field = TRecordKeys::FieldFor(definition.FieldNumbers[i], table);
    if (field != nullptr && field->IsBlob()) RaiseNamed(ZARNIK_SEARCHCOLREQD, field->name, definition.Name);
  }
}

void TIndexFile::SetPrimaryIndex(const TIndexDefinition& definition, const TTableDefinition& table) {
  if (definitions_[0].KeySize != 0 && !HasDefaultPrimaryIndex())
    RaiseNamed(ZARNIK_PRIMARYKEYREDEFINE, "", definition.Name);
  if (definition.FieldCount > TIndexDefinition::kMaxFields)
    RaiseNamed(ZARNIK_INDEXLIMIT, "", definition.Name);
  CheckKeyFields(definition, table);
  TIndexDefinition primary = definition;
  primary.Name.clear();
  primary.Unique = 1;
  CopyDefinition(0, primary);
  SetRootPage(0, 0);
  SetDataRootPage(0, 0);
}

void TIndexFile::AddIndex(const TIndexDefinition& definition, const TTableDefinition& table) {
  if (header_.IndexCount >= kMaxSecondaryIndexes || definition.FieldCount > TIndexDefinition::kMaxFields)
    RaiseNamed(ZARNIK_INDEXLIMIT, "", definition.Name);
  if (definition.Name.empty()) RaiseNamed(ZARNIK_INDEXNAMEREQUIRED, "", definition.Name);
  if (!ValidFirstCharacter(uint8_t(definition.Name[0])))
    RaiseNamed(ZARNIK_INVALIDINDEXNAME, "", definition.Name);
  for (uint32_t slot = 1; slot <= header_.IndexCount; ++slot)
    if (platform::SameName(definitions_[slot].Name, definition.Name))
      RaiseNamed(ZARNIK_INDEXEXISTS, "", definition.Name);
  CheckKeyFields(definition, table);
  const uint32_t slot = header_.IndexCount + 1u;
  SetIndexCount(uint8_t(slot));
  CopyDefinition(slot, definition);
  SetRootPage(slot, 0);
  SetDataRootPage(slot, 0);
}

void TIndexFile::DeleteIndex(uint32_t slot, bool remove) {
  if (remove && slot >= 1 && slot <= kMaxSecondaryIndexes) {
    for (uint32_t s = slot; s < kMaxSecondaryIndexes; ++s) {
      definitions_[s] = definitions_[s + 1];
      header_.RootPages[s] = header_.RootPages[s + 1];
      header_.DataRootPages[s] = header_.DataRootPages[s + 1];
    }
    definitions_[kMaxSecondaryIndexes] = TIndexDefinition();
    header_.RootPages[kMaxSecondaryIndexes] = 0;
    header_.DataRootPages[kMaxSecondaryIndexes] = 0;
    if (header_.IndexCount > 0) --header_.IndexCount;
  } else if (slot != 0 || !HasDefaultPrimaryIndex()) {
    header_.RootPages.at(slot) = 0;
    if (slot == 0) {
      const uint8_t removeMark = definitions_[0].RemoveMark;
      definitions_[0] = TIndexDefinition::DefaultPrimary();
      definitions_[0].RemoveMark = removeMark;
    }
  }
  headerChanged_ = true;
  definitionsChanged_ = true;
}

uint16_t TIndexFile::KeySizeFor(const TIndexDefinition& definition, const TTableDefinition& table) {
  const uint16_t size = TKeyLayout::ComputeKeySize(TRecordKeys::KeyFields(definition, table),
                                                   definition.Unique != 0, pageSize_);
  if (size == 0) RaiseNamed(ZARNIK_INVALIDKEY, "", definition.Name);
  return size;
}

// --- text indexing parameters ----------------------------------------------------

TTextIndexParams TIndexFile::LoadTextIndexParams(TDataCursor* cursor) {
  const uint32_t first = header_.DataRootPages[kTextSlot];
  if (first == 0) return TTextIndexParams::Defaults();
  TIndexFilePages pages(*this, cursor);
  TTextIndexParams params;
  params.DecodeFrom(pages, PropsOf(kTextSlot), first);
  return params;
}

void TIndexFile::SaveTextIndexParams(const TTextIndexParams& params, TDataCursor* cursor) {
  TIndexFilePages pages(*this, cursor);
  TBytewise bytewise;
  TIndexTree tree(pages, kTextSlot, PropsOf(kTextSlot), bytewise);
  SetDataRootPage(kTextSlot, params.EncodeTo(tree, pages, header_.DataRootPages[kTextSlot]));
}

// --- TIndexFilePages ---------------------------------------------------------------

TPageContents* TIndexFilePages::PinPage(uint32_t n, const TIndexProps& props) {
  bool continueFlag = true;
  TBuffer* buffer = file_.GetBuffer(cursor_, props.Slot, n, kDirectionNone, false, continueFlag);
  if (!continueFlag || buffer == nullptr) return nullptr;
  return static_cast<TPage*>(buffer);
}

void TIndexFilePages::UnpinPage(TPageContents* page) {
  file_.ReleaseBuffer(static_cast<TPage*>(page));
}

void TIndexFilePages::MarkDirty(TPageContents* page) {
  static_cast<TPage*>(page)->dirty = true;
}

void TIndexFilePages::RaiseError(TErrorCode code) {
  file_.Raise(code);
}

}  // namespace zarnik
