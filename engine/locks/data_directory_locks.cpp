#include "engine/locks/data_directory_locks.h"

#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "engine/files/engine_file.h"
#include "engine/locks/data_table_locks.h"
#include "engine/locks/lock_file_table_list.h"
#include "platform/locale.h"
#include "platform/system.h"

namespace zarnik {

TDataDirectoryLocks::TDataDirectoryLocks(TDataDirectory& directory)
    : directory_(directory), ranges_(directory.Engine().Limits()) {}

TDataDirectoryLocks::~TDataDirectoryLocks() {
  // Other users of the lock file in this process keep it open, and with it
  // every range locked through it: what this directory still holds would
  // lock them out for good.
  if (databaseWrite_) UnlockRange(ranges_.DatabaseWriteSpan());
  if (transactionAll_) UnlockRange(ranges_.TransactionSpan());
  if (databaseWrite_) SetAllFlags(TDataTableLocks::kWriteLocked, false);
  if (transactionAll_) SetAllFlags(TDataTableLocks::kTransactionLocked, false);
  for (const std::unique_ptr<TDataTableLocks>& table : tables_) table->Release();
}

TDataEngine& TDataDirectoryLocks::Engine() {
  return directory_.Engine();
}

void TDataDirectoryLocks::Raise(TErrorCode code, const std::string& tableName) {
  Engine().RaiseError(code, tableName, directory_.GetDisplayName());
}

std::string TDataDirectoryLocks::LockFileName() {
  return directory_.Folder() + Engine().Settings.LockFileName;
}

// --- opening

void TDataDirectoryLocks::OpenLockFile() {
  lockFile_ = std::make_unique<TEngineFile>(Engine());
  lockFile_->SetFileName(LockFileName());
  lockFile_->inMemory = directory_.IsMemory();
  lockFile_->hidden = true;
  if (!lockFile_->Exists()) noLocking_ = !CreateLockFile();
  if (!lockFile_->Exists() || !OpenExistingLockFile()) noLocking_ = true;
}

bool TDataDirectoryLocks::CreateLockFile() {
  try {
    lockFile_->CreateFile();
    // The tables already in the folder take the first slots, in listing
    // order, as many as the list holds.
    for (const std::string& name : directory_.ListTables(true)) {
      if (tables_.size() == TLockFileTableList::kMaxEntries) break;
      tables_.push_back(
          std::make_unique<TDataTableLocks>(*this, static_cast<uint32_t>(tables_.size() + 1), name));
    }
    WriteTableList();
    lockFile_->CloseFile();
    return true;
  } catch (const EZARNIKEngineError&) {
    tables_.clear();
    knownCounter_ = 0;
    try {
      lockFile_->CloseFile();
    } catch (const EZARNIKEngineError&) {
      // Already reported as a lock file that cannot be made.
    }
    return false;
  }
}

bool TDataDirectoryLocks::OpenExistingLockFile() {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (attempt > 0) platform::SleepMilliseconds(kOpenPause);
    try {
      lockFile_->readOnly = false;
      lockFile_->OpenFile();
    } catch (const EZARNIKEngineError&) {
      continue;
    }
    // A lock file open for reading only (by its attribute or its
    // permissions) can neither take new entries nor hold a write lock
    // against other processes: it locks nothing.
    noLocking_ = lockFile_->readOnly;
    if (tables_.empty()) {
      LockFileReadLock();
      try {
        ReadTableList();
      } catch (...) {
        // The first failure is the one to report.
        UnlockRange(TLockRanges::ReadByte(ranges_.LockFileSpan(), readByte_));
        throw;
      }
      LockFileReadUnlock();
    }
    return true;
  }
  return false;
}

// --- the table list

void TDataDirectoryLocks::ReadTableList() {
  if (noLocking_) return;
  TFileLockGuard guard(*lockFile_);
  std::vector<uint8_t> header(TLockFileTableList::kHeaderSize);
  lockFile_->Seek(kSeekFromStart, TLockFileTableList::kCounterOffset);
  int32_t got = lockFile_->ReadBuffer(header.data(), static_cast<int32_t>(header.size()), true);
  uint32_t counter = 0;
  uint32_t listLength = 0;
  // A lock file its maker has not written yet holds no tables.
  if (!TLockFileTableList::DecodeHeader(std::span(header).first(static_cast<size_t>(got)), counter,
                                        listLength) ||
      counter == knownCounter_)
    return;
  listBuffer_ = header;
  listBuffer_.resize(TLockFileTableList::kHeaderSize + TLockFileTableList::EntriesSize(listLength));
  got =
      lockFile_->ReadBuffer(listBuffer_.data() + TLockFileTableList::kHeaderSize,
                            static_cast<int32_t>(listBuffer_.size() - TLockFileTableList::kHeaderSize), true);
  listBuffer_.resize(TLockFileTableList::kHeaderSize + static_cast<size_t>(got));
  TLockFileTableList list;
  list.DecodeFrom(listBuffer_);
  knownCounter_ = counter;
  // Known entries keep their names; only new positions are added.
  for (size_t i = tables_.size(); i < list.names.size(); ++i)
    tables_.push_back(std::make_unique<TDataTableLocks>(*this, static_cast<uint32_t>(i + 1), list.names[i]));
}

void TDataDirectoryLocks::WriteTableList() {
  if (noLocking_) return;
  TFileLockGuard guard(*lockFile_);
  TLockFileTableList list;
  list.changeCounter = TLockFileTableList::NextCounter(knownCounter_);
  for (const std::unique_ptr<TDataTableLocks>& table : tables_) list.names.push_back(table->TableName());
  listBuffer_.clear();
  list.EncodeTo(listBuffer_);
  lockFile_->Seek(kSeekFromStart, TLockFileTableList::kCounterOffset);
  lockFile_->WriteBuffer(listBuffer_.data(), static_cast<int32_t>(listBuffer_.size()));
  lockFile_->FlushFile();
  knownCounter_ = list.changeCounter;
}

TDataTableLocks& TDataDirectoryLocks::FindOrAddTable(const std::string& name) {
  LockFileWriteLock();
  TDataTableLocks* entry = nullptr;
  try {
    entry = &FindOrAppend(name);
  } catch (...) {
    // The first failure is the one to report.
    UnlockRange(ranges_.LockFileSpan());
    throw;
  }
  LockFileWriteUnlock();
  return *entry;
}

TDataTableLocks& TDataDirectoryLocks::FindOrAppend(const std::string& name) {
  ReadTableList();
  for (const std::unique_ptr<TDataTableLocks>& table : tables_)
    if (platform::CompareText(table->TableName(), name, true) == 0) return *table;
  if (tables_.size() >= TLockFileTableList::kMaxEntries) Raise(ZARNIK_DATABASEFULL);
  tables_.push_back(
      std::make_unique<TDataTableLocks>(*this, static_cast<uint32_t>(tables_.size() + 1), name));
  try {
    WriteTableList();
  } catch (...) {
    // An entry that did not reach the file has no slot.
    tables_.pop_back();
    throw;
  }
  return *tables_.back();
}

// --- byte ranges of the lock file

bool TDataDirectoryLocks::LockRange(const TLockRange& range, const TLockWait& wait) {
  if (noLocking_) return true;
  return wait.Run([&] { return lockFile_->LockRegion(true, range.length, range.offset); });
}

bool TDataDirectoryLocks::UnlockRange(const TLockRange& range) {
  return noLocking_ || lockFile_->LockRegion(false, range.length, range.offset);
}

bool TDataDirectoryLocks::LockReadByte(const TLockRange& span, const TLockWait& wait, uint16_t& readByte) {
  if (noLocking_) {
    readByte = 1;
    return true;
  }
  return wait.Run([&] {
    readByte = TLockRanges::RandomReadByte();
    TLockRange byte = TLockRanges::ReadByte(span, readByte);
    return lockFile_->LockRegion(true, byte.length, byte.offset);
  });
}

void TDataDirectoryLocks::LockFileReadLock() {
  if (!LockReadByte(ranges_.LockFileSpan(), kLockFileWait, readByte_)) Raise(ZARNIK_LOCKREADLOCK);
}

void TDataDirectoryLocks::LockFileReadUnlock() {
  if (!UnlockRange(TLockRanges::ReadByte(ranges_.LockFileSpan(), readByte_))) Raise(ZARNIK_LOCKREADUNLOCK);
}

void TDataDirectoryLocks::LockFileWriteLock() {
  if (!LockRange(ranges_.LockFileSpan(), kLockFileWait)) Raise(ZARNIK_LOCKWRITELOCK);
}

void TDataDirectoryLocks::LockFileWriteUnlock() {
  if (!UnlockRange(ranges_.LockFileSpan())) Raise(ZARNIK_LOCKWRITEUNLOCK);
}

// --- directory-wide transactions

void TDataDirectoryLocks::SetAllFlags(uint8_t flag, bool set) {
  for (const std::unique_ptr<TDataTableLocks>& table : tables_) table->SetFlag(flag, set);
}

void TDataDirectoryLocks::TransactionLockAll() {
  if (!LockRange(ranges_.TransactionSpan(), TLockWait::Transaction(Engine().Settings)))
    Raise(ZARNIK_TRANSLOCK);
  SetAllFlags(TDataTableLocks::kTransactionLocked, true);
  transactionAll_ = true;
}

void TDataDirectoryLocks::TransactionUnlockAll() {
  if (!UnlockRange(ranges_.TransactionSpan())) Raise(ZARNIK_TRANSUNLOCK);
  SetAllFlags(TDataTableLocks::kTransactionLocked, false);
  transactionAll_ = false;
}

void TDataDirectoryLocks::DatabaseWriteLock() {
  if (!LockRange(ranges_.DatabaseWriteSpan(), TLockWait::TableWrite(Engine().Settings)))
    Raise(ZARNIK_TRANSLOCK);
  SetAllFlags(TDataTableLocks::kWriteLocked, true);
  databaseWrite_ = true;
}

void TDataDirectoryLocks::DatabaseWriteUnlock() {
  if (!UnlockRange(ranges_.DatabaseWriteSpan())) Raise(ZARNIK_TRANSUNLOCK);
  SetAllFlags(TDataTableLocks::kWriteLocked, false);
  databaseWrite_ = false;
}

}  // namespace zarnik
