#include "engine/core/data_table.h"

#include <array>

#include "engine/blob/blob_file.h"
#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "engine/core/data_password.h"
#include "engine/core/data_session.h"
#include "engine/core/table_description.h"
#include "engine/data/data_file.h"
#include "engine/index/index_file.h"
#include "engine/locks/data_directory_locks.h"
#include "engine/locks/data_table_locks.h"
#include "engine/locks/table_record_locks.h"
#include "platform/byte_order.h"
#include "platform/path.h"

namespace zarnik {

TDataTable::TDataTable(TDataDirectory& directory, const std::string& name)
    : TDirectoryTable(name), directory_(directory) {
  MakeFileObjects();
}

TDataTable::~TDataTable() {
  try {
    if (filesOpen) {
      inTransaction = false;
      openCount = 0;
      CloseFiles(false, true);
    }
  } catch (...) {
    // A destructor cannot report; the files are closed by their objects.
  }
}

TDataSession& TDataTable::Session() {
  return directory_.Session();
}

TDataEngine& TDataTable::Engine() {
  return directory_.Engine();
}

std::string TDataTable::ErrorName() const {
  return displayName.empty() ? Name() : displayName;
}

std::string TDataTable::DatabaseName() const {
  return directory_.GetDisplayName();
}

void TDataTable::Raise(uint16_t code) {
  Engine().RaiseError(code, ErrorName(), DatabaseName());
}

bool TDataTable::HasBlobFields() const {
  return dataFile_->Definition().HasBlobFields();
}

TTableFiles TDataTable::Files() {
  return {dataFile_.get(), indexFile_.get(), blobFile_.get()};
}

void TDataTable::MakeFileObjects() {
  dataFile_ = std::make_unique<TDataFile>(Engine(), *this, DatabaseName());
  dataFile_->attachPassword = [this](const TDigest& checkValue) {
    AttachPassword(checkValue);
    return true;
  };
}

// --- file names

std::string TDataTable::FileName(const std::string& extension) const {
  return directory_.Folder() + directory_.BuildFileName(Name(), extension);
}

void TDataTable::SetFileNames(bool applyTemporary) {
  const TEngineSettings& settings = Engine().Settings;
  const std::pair<TEngineFile*, std::string> files[] = {
      {dataFile_.get(), temporary ? settings.TableDataTempExtension : settings.TableDataExtension},
      {indexFile_.get(), temporary ? settings.TableIndexTempExtension : settings.TableIndexExtension},
      {blobFile_.get(), temporary ? settings.TableBlobTempExtension : settings.TableBlobExtension}};
  for (const auto& [file, extension] : files) {
    if (file == nullptr) continue;
    file->SetFileName(FileName(extension));
    file->exclusive = exclusive;
    file->readOnly = readOnly;
    file->inMemory = directory_.IsMemory();
    file->temporary = applyTemporary && temporary;
  }
}

// --- opening and closing

void TDataTable::OpenFiles(bool internal, bool checkHeaders) {
  if (!internal) ++openCount;
  if (filesOpen) return;
  indexRecreated = false;
  filesOpen = true;
  writtenSinceOpen_ = false;
  try {
    SetFileNames(true);
    OpenDataFile();
    OpenIndexFile();
    if (HasBlobFields()) OpenBlobFile();
    readOnly = readOnly || dataFile_->readOnly || indexFile_->readOnly || (blobFile_ && blobFile_->readOnly);
    forcedReadOnly =
        dataFile_->forcedReadOnly || indexFile_->forcedReadOnly || (blobFile_ && blobFile_->forcedReadOnly);
    readOnly = readOnly || forcedReadOnly;
    TakeLockSlot();
    bool readLocked = lockSlot_ != nullptr && lockSlot_->ReadLock();
    try {
      ReadHeaders();
      NoteDiskChangeCounter();
      if (checkHeaders) CheckHeaders();
    } catch (...) {
      if (readLocked) lockSlot_->ReadUnlock();
      throw;
    }
    if (readLocked) lockSlot_->ReadUnlock();
  } catch (...) {
    CloseFiles(true, internal);
    throw;
  }
}

void TDataTable::OpenDataFile() {
  dataFile_->OpenFile();
}

void TDataTable::OpenIndexFile() {
  indexFile_ = std::make_unique<TIndexFile>(Engine(), *this, dataFile_->Definition().header.indexPageSize);
  SetFileNames(true);
  try {
    indexFile_->OpenFile();
  } catch (const EZARNIKEngineError& e) {
    if (e.ErrorCode != ZARNIK_OSENOENT && e.ErrorCode != ZARNIK_READERR) throw;
    if (indexFile_->IsOpen()) indexFile_->CloseFile();
    if (readOnly) throw;
    CreateIndexFile();
    indexRecreated = true;
  }
}

void TDataTable::CreateIndexFile() {
  indexFile_->CreateFile();
  indexFile_->StoreDefaultDefinitions({});
  indexFile_->WriteHeader(true);
  indexFile_->WriteDefinitions(true);
}

void TDataTable::OpenBlobFile() {
  blobFile_ = std::make_unique<TBlobFile>(Engine(), *this, dataFile_->Definition().header.blobBlockSize);
  SetFileNames(true);
  blobFile_->OpenFile();
}

void TDataTable::TakeLockSlot() {
  lockSlot_ = nullptr;
  recordLocks_.reset();
  if (!exclusive && !forcedReadOnly) lockSlot_ = &directory_.Locks().FindOrAddTable(Name());
  TTableRecordLocks::THooks hooks;
  hooks.readLockTable = [this] { return ReadLockTable(); };
  hooks.readUnlockTable = [this] { ReadUnlockTable(); };
  hooks.refreshIfChanged = [this] { return RefreshIfChanged(nullptr); };
  hooks.inTransaction = [this] { return inTransaction; };
  hooks.entryLocked = [this] { return lockSlot_ != nullptr && lockSlot_->HoldsAny(); };
  recordLocks_ = std::make_unique<TTableRecordLocks>(Session(), *dataFile_, std::move(hooks));
  recordLocks_->SetNames(ErrorName(), DatabaseName());
}

void TDataTable::ReadHeaders() {
  dataFile_->ReadHeader();
  indexFile_->ReadHeader();
  if (blobFile_ && HasBlobFields()) blobFile_->ReadHeader();
}

void TDataTable::CheckHeaders() {
  dataFile_->CheckHeader();
  if (!indexRecreated) indexFile_->CheckHeader();
  if (blobFile_ && HasBlobFields()) blobFile_->CheckHeader();
}

void TDataTable::CloseFiles(bool writeBack, bool internal) {
  if (!filesOpen) return;
  if (!internal && openCount > 0) --openCount;
  bool keptOpen = directory_.keepTablesOpen && !internal && !exclusive;
  if (inTransaction || openCount > 0 || keptOpen) return;
  try {
    if (exclusive && !readOnly) {
      if (temporary && writeBack)
        DiscardTableBuffers(Files(), false, false);
      else
        WriteBack();
    }
  } catch (...) {
    ReleaseLocks();
    CloseFileObjects();
    throw;
  }
  ReleaseLocks();
  CloseFileObjects();
}

void TDataTable::WriteBack() {
  TTableFlushOptions options;
  options.flushSystem = Session().ForceBufferFlush();
  Flush(options);
}

void TDataTable::ReleaseLocks() {
  if (recordLocks_) recordLocks_->ReleaseAll();
  if (lockSlot_ != nullptr) {
    if (lockSlot_->Holds(TDataTableLocks::kWriteLocked)) lockSlot_->WriteUnlock(!inTransaction);
    lockSlot_->ReadUnlock();
  }
}

// A table newly used while the directory has a transaction over all its
// tables takes part in it.
void TDataTable::JoinTransaction() {
  const TDataDirectory::TTransactionState& transaction = directory_.transaction;
  if (transaction.active && !transaction.restricted) inTransaction = true;
}

void TDataTable::ReleaseTransactionLocks() {
  if (recordLocks_) recordLocks_->UnlockAllRecords(true);
  if (lockSlot_ != nullptr) lockSlot_->TransactionUnlock();
}

void TDataTable::CloseFileObjects() {
  // Each file closes even when another fails; the first error goes on.
  std::exception_ptr failure;
  for (TEngineFile* file :
       {static_cast<TEngineFile*>(indexFile_.get()), static_cast<TEngineFile*>(blobFile_.get()),
        static_cast<TEngineFile*>(dataFile_.get())}) {
    if (file == nullptr || !file->IsOpen()) continue;
    try {
      file->CloseFile();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  blobFile_.reset();
  indexFile_.reset();
  recordLocks_.reset();
  lockSlot_ = nullptr;
  indexRecreated = false;
  inTransaction = false;
  filesOpen = false;
  if (failure) std::rethrow_exception(failure);
}

bool TDataTable::InUse() const {
  return openCount > 0 || inTransaction;
}

void TDataTable::CloseKeptOpen() {
  if (filesOpen && !InUse()) {
    bool keep = directory_.keepTablesOpen;
    directory_.keepTablesOpen = false;
    try {
      CloseFiles(true, true);
    } catch (...) {
      directory_.keepTablesOpen = keep;
      throw;
    }
    directory_.keepTablesOpen = keep;
  }
}

// --- creating, deleting and renaming the files

void TDataTable::CreateFiles() {
  const TTableDescription& description = *description_;
  ++openCount;
  filesOpen = true;
  exclusive = true;
  SetFileNames(false);
  try {
    TDigest check{};
    if (description.encrypted) {
      Session().AddPassword(description.password);
      check = PreparePassword(description.password);
    }
    dataFile_->CreateFile();
    dataFile_->SetFieldDefinitions(description.fields);
    TTableDefinition& definition = dataFile_->Definition();
    definition.SetTableInfo(description.localeId, description.userMajorVersion, description.userMinorVersion,
                            description.lastAutoIncrement, description.blobBlockSize,
                            description.indexPageSize, description.description, description.encrypted, check);
    dataFile_->WriteHeader(true);
    dataFile_->WriteDefinitions(true);
    indexFile_ = std::make_unique<TIndexFile>(Engine(), *this, description.indexPageSize);
    SetFileNames(false);
    indexFile_->CreateFile();
    StoreIndexDefinitions(description);
    indexFile_->WriteHeader(true);
    indexFile_->WriteDefinitions(true);
    if (description.HasBlobFields()) {
      blobFile_ = std::make_unique<TBlobFile>(Engine(), *this, description.blobBlockSize);
      SetFileNames(false);
      blobFile_->CreateFile();
      blobFile_->WriteHeader(true);
    }
  } catch (...) {
    for (TEngineFile* file :
         {static_cast<TEngineFile*>(dataFile_.get()), static_cast<TEngineFile*>(indexFile_.get()),
          static_cast<TEngineFile*>(blobFile_.get())}) {
      if (file == nullptr || !file->IsOpen()) continue;
      try {
        file->CloseFile();
        file->DeleteFile();
      } catch (...) {
        // The creation's own error is the one to report.
      }
    }
    blobFile_.reset();
    indexFile_.reset();
    filesOpen = false;
    openCount = 0;
    throw;
  }
}

void TDataTable::StoreIndexDefinitions(const TTableDescription& description) {
  const TTableDefinition& table = dataFile_->Definition();
  indexFile_->StoreDefaultDefinitions(description.textIndexFields);
  if (description.primaryIndex) indexFile_->SetPrimaryIndex(*description.primaryIndex, table);
  for (const TIndexDefinition& index : description.secondaryIndexes) indexFile_->AddIndex(index, table);
  if (!description.HasDefaultTextParams()) {
    indexFile_->SaveTextIndexParams(description.TextParams(), nullptr);
    indexFile_->FlushBuffers(false);
  }
}

void TDataTable::DeleteFiles() {
  const TEngineSettings& settings = Engine().Settings;
  const std::pair<std::string, bool> files[] = {
      {temporary ? settings.TableDataTempExtension : settings.TableDataExtension, true},
      {temporary ? settings.TableIndexTempExtension : settings.TableIndexExtension, true},
      {temporary ? settings.TableBlobTempExtension : settings.TableBlobExtension, false}};
  for (const auto& [extension, required] : files) {
    TEngineFile file(Engine());
    file.inMemory = directory_.IsMemory();
    file.SetFileName(FileName(extension));
    if (required || file.Exists()) file.DeleteFile();
  }
}

void TDataTable::RenameFiles(TDataDirectory& target, const std::string& newName, bool toBackup) {
  const TEngineSettings& settings = Engine().Settings;
  std::string base = target.Folder() + target.StripDataExtension(platform::ExtractFileName(newName));
  const std::pair<std::string, std::string> files[] = {
      {settings.TableDataExtension,
       toBackup ? settings.TableDataBackupExtension : settings.TableDataExtension},
      {settings.TableIndexExtension,
       toBackup ? settings.TableIndexBackupExtension : settings.TableIndexExtension},
      {settings.TableBlobExtension,
       toBackup ? settings.TableBlobBackupExtension : settings.TableBlobExtension}};
  for (const auto& [extension, newExtension] : files) {
    TEngineFile file(Engine());
    file.inMemory = directory_.IsMemory();
    file.SetFileName(FileName(extension));
    if (!file.Exists()) continue;
    if (toBackup) {
      TEngineFile old(Engine());
      old.inMemory = directory_.IsMemory();
      old.SetFileName(base + newExtension);
      if (old.Exists()) old.DeleteFile();
    }
    file.RenameFile(base + newExtension);
  }
}

// --- passwords

void TDataTable::RequestPasswordOrRaise() {
  if (!Session().RequestPassword()) Raise(ZARNIK_NOTSUFFTABLERIGHTS);
}

void TDataTable::AttachPassword(const TDigest& checkValue) {
  for (;;) {
    if (TDataPassword* found = Session().FindPasswordForTable(checkValue)) {
      password_ = found;
      return;
    }
    RequestPasswordOrRaise();
  }
}

TDigest TDataTable::PreparePassword(const std::string& text) {
  for (;;) {
    if (TDataPassword* found = Session().FindPassword(text)) {
      password_ = found;
      return found->CheckValue();
    }
    RequestPasswordOrRaise();
  }
}

// --- the buffered files' view of the table

void TDataTable::MarkWrittenSinceOpen() {
  writtenSinceOpen_ = true;
  ++writeCount_;
}

bool TDataTable::StrictChangeDetection(TDataCursor* cursor) {
  return Session().StrictChangeDetection();
}

bool TDataTable::ForceBufferFlush() {
  return Session().ForceBufferFlush();
}

// Another user's change shows as a data header change counter other than
// the one this table last read or wrote. The counter in memory is no guide:
// marking a change moves it before anything is written, so it can meet the
// value another user wrote meanwhile. While this table holds the write lock
// no one else can have changed the files, and a re-read would throw away
// header changes not yet written.
bool TDataTable::RefreshIfChanged(TDataCursor* cursor) {
  if (!filesOpen || exclusive || forcedReadOnly) return false;
  if (lockSlot_ != nullptr && lockSlot_->Holds(TDataTableLocks::kWriteLocked)) return false;
  return RefreshFromDisk();
}

bool TDataTable::RefreshFromDisk() {
  uint32_t counter = 0;
  if (!ReadDiskChangeCounter(counter) || counter == diskChangeCounter_) return false;
  DiscardTableBuffers(Files(), false, true);
  NoteDiskChangeCounter();
  return true;
}

bool TDataTable::ReadDiskChangeCounter(uint32_t& counter) {
  std::array<uint8_t, 4> bytes{};
  TFileLockGuard lock(*dataFile_);
  if (dataFile_->ReadBufferAt(bytes.data(), static_cast<int32_t>(bytes.size()), TDataHeader::kChangeCounterOffset,
                              true) != 4)
    return false;
  counter = platform::GetUInt32(bytes, 0);
  return true;
}

void TDataTable::NoteDiskChangeCounter() {
  diskChangeCounter_ = dataFile_->Definition().header.changeCounter;
}

bool TDataTable::Encrypted() {
  return password_ != nullptr && dataFile_->Definition().header.encrypted;
}

void TDataTable::EncryptTableBuffer(uint8_t* buffer, size_t length) {
  if (Encrypted()) Engine().EncryptBuffer(password_->Schedule(), buffer, length);
}

void TDataTable::DecryptTableBuffer(uint8_t* buffer, size_t length) {
  if (Encrypted()) Engine().DecryptBuffer(password_->Schedule(), buffer, length);
}

// --- locks

bool TDataTable::ReadLockTable() {
  if (Unlocked() || (recordLocks_ && recordLocks_->TableLocked())) return false;
  if (!lockSlot_->ReadLock()) return false;
  return RefreshIfChanged(nullptr);
}

void TDataTable::ReadUnlockTable() {
  if (Unlocked() || (recordLocks_ && recordLocks_->TableLocked())) return;
  lockSlot_->ReadUnlock();
}

bool TDataTable::WriteLockTable() {
  if (Unlocked() || (recordLocks_ && recordLocks_->TableLocked())) return false;
  bool wasLocked = lockSlot_->Holds(TDataTableLocks::kWriteLocked);
  lockSlot_->WriteLock(!inTransaction);
  return !wasLocked && RefreshFromDisk();
}

void TDataTable::WriteUnlockTable() {
  if (Unlocked() || (recordLocks_ && recordLocks_->TableLocked())) return;
  lockSlot_->WriteUnlock(!inTransaction);
}

bool TDataTable::LockRecord(uint32_t record) {
  if (Unlocked()) return false;
  return recordLocks_->LockRecord(record);
}

void TDataTable::UnlockRecord(uint32_t record) {
  if (Unlocked()) return;
  recordLocks_->UnlockRecord(record);
}

// --- flushing

void TDataTable::Flush(const TTableFlushOptions& options) {
  FlushTable(*this, Files(), options);
  if (!dataFile_->Definition().IsHeaderChanged()) NoteDiskChangeCounter();
}

TDataTable::TChangeCounters TDataTable::ChangeCounters() {
  return {dataFile_->GetChangeCount(), indexFile_ ? indexFile_->GetChangeCount() : 0, writeCount_};
}

}  // namespace zarnik

namespace zarnik {

TDataTable& TDataTable::OpenTable(TDataDirectory& directory, const TOpenOptions& options) {
  size_t index;
  if (directory.FindTable(options.name, index)) {
    auto& table = static_cast<TDataTable&>(*directory.Table(index));
    if (options.internal) return table;
    if (table.InUse()) {
      // A table held only by a transaction takes any new user.
      if ((table.exclusive || options.exclusive) && table.openCount > 0)
        directory.Engine().RaiseError(ZARNIK_OSEACCES, options.name, directory.GetDisplayName());
    } else {
      table.exclusive = options.exclusive;
      table.temporary = options.temporary;
    }
    table.OpenFiles(false, options.checkHeaders);
    if (!options.sqlResult) ++table.ordinaryUserCount;
    table.JoinTransaction();
    return table;
  }
  auto table = std::make_unique<TDataTable>(directory, options.name);
  table->displayName = options.displayName;
  table->exclusive = options.exclusive;
  table->temporary = options.temporary;
  table->readOnly = directory.ReadOnly();
  table->OpenFiles(options.internal, options.checkHeaders);
  if (!options.sqlResult && !options.internal) ++table->ordinaryUserCount;
  if (!options.internal) table->JoinTransaction();
  return static_cast<TDataTable&>(directory.AddTable(std::move(table)));
}

void TDataTable::CloseTable(TDataDirectory& directory, TDataTable& table, bool writeBack, bool internal,
                            bool sqlResult) {
  size_t index;
  if (!directory.FindTable(table.Name(), index) || directory.Table(index) != &table)
    directory.Engine().RaiseError(ZARNIK_OSENOENT, table.Name(), directory.GetDisplayName());
  auto stillUsed = [&] {
    return table.InUse() || (directory.keepTablesOpen && !table.exclusive && table.filesOpen);
  };
  if (internal) {
    table.CloseFiles(writeBack, true);
    if (stillUsed()) return;
  } else {
    if (table.openCount > 0) table.CloseFiles(writeBack, false);
    if (stillUsed()) {
      if (!sqlResult && table.ordinaryUserCount > 0) --table.ordinaryUserCount;
      return;
    }
  }
  directory.RemoveTable(index);
}

}  // namespace zarnik
