#include "engine/core/data_cursor.h"

#include <algorithm>

#include "engine/blob/blob_file.h"
#include "engine/blob/open_blobs.h"
#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"
#include "engine/core/index_cursor.h"
#include "engine/core/table_description.h"
#include "engine/data/data_file.h"
#include "engine/data/record_rules.h"
#include "engine/index/index_file.h"
#include "platform/date_time.h"
#include "platform/exceptions.h"
#include "platform/path.h"

namespace zarnik {

namespace {

// The name part after the last delimiter, without the data extension, cut
// to 60 characters.
std::string NormalizedTableName(TDataDirectory& directory, const std::string& name) {
  std::string fileName = platform::ExtractFileName(platform::NormalizeDelimiters(name));
  return directory.StripDataExtension(fileName).substr(0, TDataDirectory::kMaxNameLength);
}

}  // namespace

TDataCursor::TDataCursor(TDataDirectory& directory, bool remoteOnly) : directory_(directory) {
  if (!directory_.tableFactory) {
    directory_.tableFactory = [](TDataDirectory& in,
                                 const std::string& name) -> std::unique_ptr<TDirectoryTable> {
      return std::make_unique<TDataTable>(in, name);
    };
  }
}

TDataCursor::~TDataCursor() {
  try {
    CloseCursor(true);
  } catch (...) {
    // A destructor cannot report; the table object closes what is left.
  }
}

TDataSession& TDataCursor::Session() {
  return directory_.Session();
}

TDataEngine& TDataCursor::Engine() {
  return directory_.Engine();
}

std::string TDataCursor::ErrorTableName() const {
  return displayTableName_.empty() ? tableName_ : displayTableName_;
}

void TDataCursor::Raise(uint16_t code) {
  Engine().RaiseError(code, ErrorTableName(), directory_.GetDisplayName());
}

// --- naming

void TDataCursor::SetTableName(const std::string& name) {
  if (open_) Raise(ZARNIK_TABLEOPEN);
  if (name != tableName_) tableName_ = NormalizedTableName(directory_, name);
}

void TDataCursor::SetDisplayTableName(const std::string& name) {
  displayTableName_ = NormalizedTableName(directory_, name);
}

// --- checks

// The tables of the transaction write their changes, leave it and give up
// its locks; a table no cursor uses any more is closed.
void TDataCursor::CommitPendingTransaction() {
  if (sqlResult || sqlLiveResult || !directory_.transaction.active) return;
  directory_.transaction.active = false;
  directory_.transaction.tables.clear();
  for (size_t i = directory_.TableCount(); i-- > 0;) {
    auto* table = static_cast<TDataTable*>(directory_.Table(i));
    if (!table->inTransaction) continue;
    table->inTransaction = false;
    table->WriteBack();
    table->ReleaseTransactionLocks();
    if (!table->InUse()) TDataTable::CloseTable(directory_, *table, true, true, false);
  }
}

void TDataCursor::CheckClosed() {
  if (open_) Raise(ZARNIK_TABLEOPEN);
}

void TDataCursor::CheckExclusive() {
  if (!exclusive) Raise(ZARNIK_NEEDEXCLACCESS);
}

void TDataCursor::CheckNotReadOnly() {
  if (readOnly) Raise(ZARNIK_OSEACCES);
}

void TDataCursor::CheckOpen() {
  if (!open_) Raise(ZARNIK_NOCURRREC);
}

// --- opening and closing

void TDataCursor::OpenCursor() {
  if (open_) return;
  TDataTable::TOpenOptions options;
  options.name = tableName_;
  options.displayName = displayTableName_;
  options.checkHeaders = !verifyRepairOpen && !upgradeOpen;
  options.internal = internal;
  options.sqlResult = sqlResult || sqlLiveResult;
  options.temporary = temporary;
  options.exclusive = exclusive;
  table_ = &TDataTable::OpenTable(directory_, options);
  open_ = true;
  try {
    if (table_->readOnly) readOnly = true;
    forcedReadOnly = table_->forcedReadOnly;
    TakeFieldDefinitions();
    if (table_->indexRecreated) FillRecreatedIndex();
    NoteCounters();
    if (verifyRepairOpen) return;
    currentIndex_ = options.sqlResult ? -1 : 0;
    ClearPosition();
  } catch (...) {
    CloseCursor(true);
    throw;
  }
}

void TDataCursor::TakeFieldDefinitions() {
  const TTableDefinition& definition = table_->DataFile().Definition();
  fields_ = definition.Fields();
  hasAutoIncrement_ = hasConstraints_ = hasDefaults_ = false;
  for (const TFieldDefinition& field : fields_) {
    hasAutoIncrement_ = hasAutoIncrement_ || field.IsAutoIncrement();
    hasConstraints_ =
        hasConstraints_ || field.required || !field.minimumValue.empty() || !field.maximumValue.empty();
    hasDefaults_ = hasDefaults_ || !field.defaultValue.empty();
  }
  size_t size = definition.RecordSize();
  workRecord_.assign(size, 0);
  newRecord_.assign(size, 0);
  currentRecord_.assign(size, 0);
}

// The index file was missing: it now has the default definitions, and its
// primary index gets the key of every live record.
void TDataCursor::FillRecreatedIndex() {
  TDataFile& data = table_->DataFile();
  TIndexCursor& index = IndexCursor();
  uint32_t count = data.Definition().PhysicalRecordCount();
  TReadAheadScope scope(readAhead_, TReadAhead::Physical);
  for (uint32_t number = 1; number <= count; ++number) {
    TBufferPin pin(data.GetRecord(this, number, kDirectionForward, true));
    if (!pin) table_->Raise(ZARNIK_FILECORRUPT);
    auto* record = static_cast<TRecord*>(pin.get());
    if (record->GetStatus() == kRecordDeleted) continue;
    std::vector<uint8_t> key = index.BuildKey(0, record->Bytes());
    index.Tree(0).InsertKey(key.data(), number);
  }
  TTableFlushOptions options;
  options.forceIndexHeader = true;
  table_->Flush(options);
  table_->indexRecreated = false;
}

void TDataCursor::ReleaseView() {
  openBlobs_.reset();
  blobBlocks_.reset();
  indexCursor_.reset();
  fields_.clear();
  workRecord_.clear();
  newRecord_.clear();
  currentRecord_.clear();
  currentNumber_ = 0;
  workNumber_ = 0;
}

void TDataCursor::CloseCursor(bool writeBack) {
  if (!open_) return;
  ReleaseView();
  TDataTable* table = table_;
  table_ = nullptr;
  open_ = false;
  logCallback = nullptr;
  steppedProgressCallback = nullptr;
  progressCallback = nullptr;
  TDataTable::CloseTable(directory_, *table, writeBack, internal, sqlResult || sqlLiveResult);
}

// --- table creation

void TDataCursor::CreateTable(TTableDescription description) {
  CheckClosed();
  CommitPendingTransaction();
  if (TTableDescription::TError error = description.Check(Engine())) {
    TErrorItems items;
    items.tableName = ErrorTableName();
    items.databaseName = directory_.GetDisplayName();
    items.fieldName = error.fieldName;
    items.indexName = error.indexName;
    Engine().RaiseError(error.code, items);
  }
  auto table = std::make_unique<TDataTable>(directory_, tableName_);
  table->displayName = displayTableName_;
  table->temporary = temporary;
  table->SetDescription(std::make_shared<const TTableDescription>(std::move(description)));
  auto& created = static_cast<TDataTable&>(directory_.CreateTableFiles(std::move(table)));
  TDataTable::CloseTable(directory_, created, true, false, true);
}

// --- record images

size_t TDataCursor::RecordSize() const {
  return currentRecord_.size();
}

std::vector<uint8_t> TDataCursor::NewRecord() {
  CheckOpen();
  std::vector<uint8_t> record(RecordSize(), 0);
  // Only default values need the clock (reading it costs a time zone lookup).
  const TTableDefinition& definition = table_->DataFile().Definition();
  InitRecord(definition, record, definition.HasDefaultValues() ? platform::Now() : TDateTime{});
  return record;
}

bool TDataCursor::SetField(std::span<uint8_t> record, int32_t fieldNumber,
                           std::optional<std::span<const uint8_t>> value) {
  CheckOpen();
  const TFieldDefinition* field = table_->DataFile().Definition().GetFieldDefinition(fieldNumber);
  if (field == nullptr) return false;
  return SetFieldValue(record, *field, value);
}

void TDataCursor::SetBlob(std::span<uint8_t> record, int32_t fieldNumber, std::span<const uint8_t> value) {
  CheckOpen();
  const TFieldDefinition* field = table_->DataFile().Definition().GetFieldDefinition(fieldNumber);
  if (field == nullptr || !field->IsBlob() || table_->BlobFile() == nullptr) Raise(ZARNIK_NOTABLOB);
  TOpenBlobs::TOpenRequest request{*field, false, kBlobModeReadWrite, true};
  int32_t marker = OpenBlobs().Open(request, record, 0, {});
  TBlobBuffer& blob = OpenBlobs().Get(marker);
  blob.Truncate(0);
  if (!value.empty()) OpenBlobs().Write(marker, 0, value);
  blob.modified = true;
}

// --- insertion

void TDataCursor::InsertRecord(std::span<uint8_t> image, bool reposition, bool computeHash,
                               bool skipUniqueCheck, bool keepAutoIncrements, bool keepLink) {
  CheckOpen();
  if (readOnly) Raise(ZARNIK_OSEACCES);
  for (;;) {
    try {
      InsertAttempt(image, reposition, computeHash, skipUniqueCheck, keepAutoIncrements, keepLink);
      return;
    } catch (const std::exception& e) {
      if (noTriggers) throw;
      TRecordErrorAction action = TRecordErrorAction::Fail;
      if (Engine().Events.recordChangeError) {
        TCallbackMarkGuard mark(Session().callbackMark);
        Engine().Events.recordChangeError(TRecordErrorKind::Insert, Session(), action, e, image.data(), -1,
                                          *this, directory_);
      }
      if (action == TRecordErrorAction::Fail) throw;
      if (action == TRecordErrorAction::Abort) throw EAbort();
    }
  }
}

void TDataCursor::CallTrigger(int kind, std::span<const uint8_t> record, std::span<const uint8_t> other,
                              int64_t number) {
  if (noTriggers || !Engine().Events.recordChangeTrigger) return;
  TCallbackMarkGuard mark(Session().callbackMark);
  Engine().Events.recordChangeTrigger(static_cast<TRecordChangeKind>(kind), Session(),
                                      const_cast<uint8_t*>(record.data()), const_cast<uint8_t*>(other.data()),
                                      number, *this, directory_);
}

// Outside a transaction the table's write lock is held from here to the
// end of the insert. Exclusive cursors and forced read-only tables take no
// lock and never refresh.
void TDataCursor::LockForWrite() {
  if (table_->Unlocked()) return;
  if (table_->inTransaction) {
    if (!(table_->ChangeCounters() == counters_)) RefreshView();
    return;
  }
  if (table_->WriteLockTable()) RefreshView();
}

void TDataCursor::InsertAttempt(std::span<uint8_t> image, bool reposition, bool computeHash,
                                bool skipUniqueCheck, bool keepAutoIncrements, bool keepLink) {
  std::fill(workRecord_.begin(), workRecord_.end(), 0);
  workNumber_ = 0;
  auto clearWork = [this] {
    std::fill(workRecord_.begin(), workRecord_.end(), 0);
    workNumber_ = 0;
  };
  auto writeUnlock = [this] {
    if (!table_->inTransaction) table_->WriteUnlockTable();
  };
  try {
    CallTrigger(static_cast<int>(TRecordChangeKind::BeforeInsert), workRecord_, image, -1);
    LockForWrite();
  } catch (...) {
    clearWork();
    throw;
  }
  uint32_t number = 0;
  try {
    number = table_->DataFile().NextFreeRecord();
    workNumber_ = number;
    if (table_->LockRecord(number)) RefreshView();
  } catch (...) {
    writeUnlock();
    clearWork();
    throw;
  }
  const int32_t savedIndex = currentIndex_;
  auto finish = [&](bool repositionNow) {
    currentIndex_ = savedIndex;
    if (repositionNow) Reposition(number);
    table_->UnlockRecord(number);
    writeUnlock();
  };
  TTableDefinition& definition = table_->DataFile().Definition();
  try {
    // Complete the image.
    std::fill(newRecord_.begin(), newRecord_.end(), 0);
    std::copy_n(image.begin(), std::min(image.size(), newRecord_.size()), newRecord_.begin());
    SetRecordStatus(newRecord_, kRecordActive);
    if (!keepLink) SetRecordLink(newRecord_, 0);
    if (hasAutoIncrement_ && !keepAutoIncrements) AssignAutoIncrements(definition, newRecord_);
    if (hasConstraints_) {
      if (TDefinitionError error = CheckConstraints(definition, newRecord_, platform::Now()))
        RaiseDefinitionError(Engine(), error, table_->ErrorName(), directory_.GetDisplayName());
    }
    if (!keepRecordIDs) AssignRecordID(definition, newRecord_);
    if (computeHash) SetRecordHash(newRecord_, ComputeRecordHash(definition, newRecord_));
    if (!skipUniqueCheck) CheckUniqueKeys();
    bool blobWritten = false;
    WriteNewRecord(number, blobWritten);
    SetRecordLink(image, static_cast<int32_t>(number));
    MakeDurable(blobWritten);
  } catch (...) {
    try {
      finish(false);
    } catch (...) {
      // The insert's own error is the one to report.
    }
    clearWork();
    throw;
  }
  try {
    finish(reposition);
  } catch (...) {
    clearWork();
    throw;
  }
  CallTrigger(static_cast<int>(TRecordChangeKind::AfterInsert), currentRecord_, {}, number);
  clearWork();
}

void TDataCursor::CheckUniqueKeys() {
  TIndexCursor& index = IndexCursor();
  for (uint32_t slot = 0; slot <= index.IndexCount(); ++slot) {
    const TIndexDefinition& definition = index.Definition(slot);
    if (definition.Unique == 0) continue;
    if (!index.Tree(slot).LookupKey(index.BuildScratchKey(slot, newRecord_))) continue;
    TErrorItems items;
    items.tableName = table_->ErrorName();
    items.databaseName = directory_.GetDisplayName();
    items.indexName = definition.Name.empty() ? "Primary" : definition.Name;
    Engine().RaiseError(ZARNIK_KEYVIOL, items);
  }
}

void TDataCursor::WriteNewRecord(uint32_t number, bool& blobWritten) {
  TDataFile& data = table_->DataFile();
  TTableDefinition& definition = data.Definition();
  TRecord* allocated = data.AllocateRecord(this);
  if (allocated == nullptr) table_->Raise(ZARNIK_FILECORRUPT);
  TBufferPin pin(allocated);
  allocated->SetData(newRecord_.data());
  definition.IncrementRecordCount();
  if (hasAutoIncrement_) NoteAutoIncrements(definition, allocated->Bytes());
  NoteRecordID(definition, allocated->Bytes());
  InsertKeys(allocated->Bytes(), number);
  if (definition.HasBlobFields() && openBlobs_) {
    blobWritten = openBlobs_->Post(
        allocated->Bytes(), [&definition] { return static_cast<uint32_t>(definition.NextBlobRevision()); });
    openBlobs_->DropClosing();
    allocated->dirty = true;
  }
  InsertTextKeys(allocated->Bytes(), number);
  std::copy(allocated->Bytes().begin(), allocated->Bytes().end(), currentRecord_.begin());
  currentNumber_ = number;
}

void TDataCursor::InsertKeys(std::span<const uint8_t> record, uint32_t number) {
  TIndexCursor& index = IndexCursor();
  for (uint32_t slot = 0; slot <= index.IndexCount(); ++slot)
    index.InsertKey(slot, record, number, static_cast<int32_t>(slot) == currentIndex_);
}

void TDataCursor::InsertTextKeys(std::span<const uint8_t> record, uint32_t number) {
  TIndexCursor& index = IndexCursor();
  const TIndexDefinition& text = index.Definition(TKeyLayout::kTextSlot);
  for (size_t i = 0; i < text.FieldCount && i < TIndexDefinition::kMaxFields; ++i) {
    const TFieldDefinition* field = table_->DataFile().Definition().GetFieldDefinition(text.FieldNumbers[i]);
    if (field == nullptr) continue;
    index.TextIndexer().InsertTextKeys(index.Tree(TKeyLayout::kTextSlot), text.FieldNumbers[i], field->name,
                                       TextOf(record, *field, number), GetRecordID(record), number);
  }
}

std::string TDataCursor::TextOf(std::span<const uint8_t> record, const TFieldDefinition& field,
                                uint32_t number) {
  TFieldValue value = GetFieldValue(record, field);
  if (value.isNull) return {};
  if (!field.IsBlob()) {
    auto end = std::find(value.bytes.begin(), value.bytes.end(), uint8_t{0});
    return std::string(value.bytes.begin(), end);
  }
  std::vector<uint8_t> bytes = ReadBlobOf(record, field);
  return std::string(bytes.begin(), bytes.end());
}

// A cursor that is not exclusive writes every insert through so that other
// users see it at once; an exclusive one keeps it in the cache until the
// table is closed or flushed.
void TDataCursor::MakeDurable(bool blobWritten) {
  if (!exclusive) {
    TTableFlushOptions options;
    options.forceDataHeader = true;
    options.forceIndexHeader = true;
    options.forceBlobHeader = blobWritten;
    table_->Flush(options);
  } else {
    table_->DataFile().MarkHeaderChanged();
    table_->IndexFile().MarkHeaderChanged();
    if (blobWritten && table_->BlobFile() != nullptr) table_->BlobFile()->MarkHeaderChanged();
  }
  NoteCounters();
}

void TDataCursor::NoteCounters() {
  counters_ = table_->ChangeCounters();
}

// Another user changed the table: the cursor's own view starts again from
// what the files now say.
void TDataCursor::RefreshView() {
  NoteCounters();
  if (indexCursor_) indexCursor_->Reset();
}

// --- blobs

TBlobFileBlocks& TDataCursor::BlobBlocks() {
  if (!blobBlocks_) {
    if (table_->BlobFile() == nullptr) Raise(ZARNIK_NOTABLOB);
    blobBlocks_ = std::make_unique<TBlobFileBlocks>(*table_->BlobFile(), this);
  }
  return *blobBlocks_;
}

TOpenBlobs& TDataCursor::OpenBlobs() {
  if (!openBlobs_) openBlobs_ = std::make_unique<TOpenBlobs>(BlobBlocks());
  return *openBlobs_;
}

std::vector<uint8_t> TDataCursor::ReadBlobOf(std::span<const uint8_t> record, const TFieldDefinition& field) {
  if (!FieldFits(record.size(), field) || record.size() - field.offset < TBlobReference::kEncodedLength)
    return {};
  TBlobReference reference;
  reference.DecodeFrom(record.subspan(field.offset, TBlobReference::kEncodedLength));
  if (!reference.hasValue) return {};
  // The marker of an open BLOB of this cursor.
  if (reference.firstBlock < 0) return OpenBlobs().Get(reference.firstBlock).data;
  TBlobChain chain(BlobBlocks());
  return chain.ReadValue(reference, field.compression, {});
}

std::vector<uint8_t> TDataCursor::ReadBlob(int32_t fieldNumber) {
  CheckOpen();
  if (currentNumber_ == 0) Raise(ZARNIK_NOCURRREC);
  const TFieldDefinition* field = table_->DataFile().Definition().GetFieldDefinition(fieldNumber);
  if (field == nullptr || !field->IsBlob()) Raise(ZARNIK_NOTABLOB);
  return ReadBlobOf(currentRecord_, *field);
}

// --- reading

TFieldValue TDataCursor::GetField(int32_t fieldNumber) const {
  if (table_ == nullptr || currentNumber_ == 0) return {};
  const TFieldDefinition* field = table_->DataFile().Definition().GetFieldDefinition(fieldNumber);
  if (field == nullptr) return {};
  return GetFieldValue(currentRecord_, *field);
}

std::vector<uint8_t> TDataCursor::BuildKey(uint32_t slot, std::span<const uint8_t> record) {
  CheckOpen();
  return IndexCursor().BuildKey(slot, record);
}

TIndexCursor& TDataCursor::IndexCursor() {
  if (!indexCursor_) indexCursor_ = std::make_unique<TIndexCursor>(*table_, this);
  return *indexCursor_;
}

// Reads record number into the current record; false when it is deleted or
// not in the file.
bool TDataCursor::ReadRecord(uint32_t number, int direction, TReadAhead readAhead) {
  TDataFile& data = table_->DataFile();
  if (number < 1 || number > data.Definition().PhysicalRecordCount()) return false;
  TReadAheadScope scope(readAhead_, readAhead);
  const bool ahead = readAhead != TReadAhead::None && direction != kDirectionNone;
  TBufferPin pin(data.GetRecord(this, number, direction, ahead));
  if (!pin) {
    RefreshView();
    pin.Reset(data.GetRecord(this, number, direction, ahead));
    if (!pin) table_->Raise(ZARNIK_FILECORRUPT);
  }
  auto* record = static_cast<TRecord*>(pin.get());
  if (record->GetStatus() == kRecordDeleted) return false;
  std::copy_n(record->Bytes().begin(), std::min(record->Bytes().size(), currentRecord_.size()),
              currentRecord_.begin());
  currentNumber_ = number;
  return true;
}

// Puts the cursor's position in its current order on the record just
// inserted, so that moving on continues from there.
void TDataCursor::Reposition(uint32_t number) {
  if (currentIndex_ >= 0 && static_cast<uint32_t>(currentIndex_) != TKeyLayout::kTextSlot &&
      !IndexCursor().StandOnInserted(currentIndex_))
    IndexCursor().SeekKey(currentIndex_, IndexCursor().BuildKey(currentIndex_, currentRecord_));
  // The insert left the stored record as the current one already.
  if (currentNumber_ != number) ReadRecord(number);
}

void TDataCursor::ClearPosition() {
  currentNumber_ = 0;
  std::fill(currentRecord_.begin(), currentRecord_.end(), 0);
  if (indexCursor_) indexCursor_->ClearPosition();
}

// --- order and navigation

void TDataCursor::SelectIndex(int32_t slot) {
  CheckOpen();
  if (slot >= 0) {
    bool known = static_cast<uint32_t>(slot) <= IndexCursor().IndexCount() ||
                 static_cast<uint32_t>(slot) == TKeyLayout::kTextSlot;
    if (!known) Raise(ZARNIK_INVALIDIDXDESC);
  }
  currentIndex_ = slot;
  ClearPosition();
  IndexCursor().CancelRange();
}

void TDataCursor::SelectIndexByName(const std::string& name) {
  CheckOpen();
  int32_t slot = IndexCursor().FindSlot(name);
  if (slot < 0) {
    TErrorItems items;
    items.tableName = ErrorTableName();
    items.databaseName = directory_.GetDisplayName();
    items.indexName = name;
    Engine().RaiseError(ZARNIK_INVALIDIDXDESC, items);
  }
  SelectIndex(slot);
}

int32_t TDataCursor::GetReadAheadCount(int direction) {
  if (table_ == nullptr || direction == kDirectionNone) return 1;
  const int32_t limit = std::max(table_->DataFile().ReadAheadLimit(), 1);
  switch (readAhead_) {
    case TReadAhead::Physical:
      // The cache keeps the count inside the file.
      return limit;
    case TReadAhead::Index:
      if (currentIndex_ < 0 || static_cast<uint32_t>(currentIndex_) == TKeyLayout::kTextSlot) return 1;
      return static_cast<int32_t>(IndexCursor().ConsecutiveRecords(static_cast<uint32_t>(currentIndex_),
                                                                   direction == kDirectionBackward,
                                                                   static_cast<uint32_t>(limit)));
    case TReadAhead::None:
      break;
  }
  return 1;
}

bool TDataCursor::PhysicalStep(uint32_t from, int direction) {
  uint32_t count = table_->DataFile().Definition().PhysicalRecordCount();
  int64_t number = from;
  for (;;) {
    number += direction;
    if (number < 1 || number > count) {
      ClearPosition();
      return false;
    }
    if (ReadRecord(static_cast<uint32_t>(number), direction > 0 ? kDirectionForward : kDirectionBackward,
                   TReadAhead::Physical))
      return true;
  }
}

bool TDataCursor::First() {
  CheckOpen();
  table_->RefreshIfChanged(this);
  if (currentIndex_ < 0) return PhysicalStep(0, 1);
  return IndexCursor().First(currentIndex_) &&
         ReadRecord(IndexCursor().Record(), kDirectionForward, TReadAhead::Index);
}

bool TDataCursor::Last() {
  CheckOpen();
  table_->RefreshIfChanged(this);
  if (currentIndex_ < 0) return PhysicalStep(table_->DataFile().Definition().PhysicalRecordCount() + 1, -1);
  return IndexCursor().Last(currentIndex_) &&
         ReadRecord(IndexCursor().Record(), kDirectionBackward, TReadAhead::Index);
}

bool TDataCursor::Next() {
  CheckOpen();
  if (currentIndex_ < 0) return PhysicalStep(currentNumber_, 1);
  if (!IndexCursor().Next(currentIndex_)) {
    ClearPosition();
    return false;
  }
  return ReadRecord(IndexCursor().Record(), kDirectionForward, TReadAhead::Index);
}

bool TDataCursor::Prior() {
  CheckOpen();
  if (currentIndex_ < 0)
    return PhysicalStep(
        currentNumber_ == 0 ? table_->DataFile().Definition().PhysicalRecordCount() + 1 : currentNumber_, -1);
  if (!IndexCursor().Prior(currentIndex_)) {
    ClearPosition();
    return false;
  }
  return ReadRecord(IndexCursor().Record(), kDirectionBackward, TReadAhead::Index);
}

bool TDataCursor::FindKey(std::span<const uint8_t> keyRecord, uint32_t fieldCount, uint32_t partialLength,
                          bool nearest) {
  CheckOpen();
  if (currentIndex_ < 0) Raise(ZARNIK_INVALIDIDXDESC);
  table_->RefreshIfChanged(this);
  std::vector<uint8_t> key = IndexCursor().BuildKey(currentIndex_, keyRecord);
  bool found = IndexCursor().FindKey(currentIndex_, key, fieldCount, partialLength, nearest);
  if (!IndexCursor().Positioned()) {
    ClearPosition();
    return false;
  }
  ReadRecord(IndexCursor().Record());
  if (!found && !nearest) ClearPosition();
  return found;
}

void TDataCursor::SetRange(std::span<const uint8_t> startRecord, uint32_t startFields,
                           std::span<const uint8_t> endRecord, uint32_t endFields) {
  CheckOpen();
  if (currentIndex_ < 0) Raise(ZARNIK_INVALIDIDXDESC);
  std::vector<uint8_t> start = IndexCursor().BuildKey(currentIndex_, startRecord);
  std::vector<uint8_t> end = IndexCursor().BuildKey(currentIndex_, endRecord);
  IndexCursor().SetRange(currentIndex_, start, startFields, end, endFields);
  ClearPosition();
}

void TDataCursor::CancelRange() {
  CheckOpen();
  IndexCursor().CancelRange();
  ClearPosition();
}

uint32_t TDataCursor::RecordCount() {
  CheckOpen();
  table_->RefreshIfChanged(this);
  if (currentIndex_ < 0)
    return static_cast<uint32_t>(std::max(0, table_->DataFile().Definition().header.recordCount));
  return IndexCursor().Count(currentIndex_);
}

}  // namespace zarnik
