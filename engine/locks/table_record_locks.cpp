#include "engine/locks/table_record_locks.h"

#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"
#include "engine/files/engine_file.h"
#include "platform/system.h"

namespace zarnik {

TTableRecordLocks::TTableRecordLocks(TDataSession& session, TEngineFile& dataFile, THooks hooks)
    : session_(session),
      dataFile_(dataFile),
      hooks_(std::move(hooks)),
      ranges_(session.Engine().Limits()),
      maxRecord_(session.Engine().Limits().MaxTableRecordCount),
      semaphoreCount_(session.Engine().Limits().SlotLockCount),
      semaphores_(semaphoreCount_ + 1, false) {}

TTableRecordLocks::~TTableRecordLocks() {
  ReleaseAll();
}

void TTableRecordLocks::SetNames(const std::string& tableName, const std::string& databaseName) {
  tableName_ = tableName;
  databaseName_ = databaseName;
}

void TTableRecordLocks::Raise(TErrorCode code) {
  session_.Engine().RaiseError(code, tableName_, databaseName_);
}

TLockWait TTableRecordLocks::SessionWait() const {
  return {session_.LockWaitTime(), session_.LockRetryCount()};
}

bool TTableRecordLocks::Lock(const TLockRange& range) {
  return dataFile_.LockRegion(true, range.length, range.offset);
}

bool TTableRecordLocks::Unlock(const TLockRange& range) {
  return dataFile_.LockRegion(false, range.length, range.offset);
}

bool TTableRecordLocks::Pessimistic() const {
  return session_.LockProtocol() == TDataSession::kPessimisticLocking;
}

// --- records

bool TTableRecordLocks::LockRecord(uint32_t record) {
  if (tableLocked_) return false;
  // Records beyond the largest count would lock bytes of the semaphores.
  if (record == 0 || record > maxRecord_ || records_.contains(record)) Raise(ZARNIK_RECLOCKFAILED);
  if (transactionRecords_.erase(record) > 0) {
    records_.insert(record);
    return false;
  }
  bool refreshed = Pessimistic() && hooks_.readLockTable();
  const TLockRange byte = ranges_.RecordByte(record);
  for (uint32_t retry = 0; !Lock(byte); ++retry) {
    if (Pessimistic()) hooks_.readUnlockTable();
    if (retry >= session_.LockRetryCount()) Raise(ZARNIK_RECLOCKFAILED);
    platform::SleepMilliseconds(session_.LockWaitTime());
    if (Pessimistic() && hooks_.readLockTable()) refreshed = true;
  }
  records_.insert(record);
  return refreshed;
}

void TTableRecordLocks::UnlockRecord(uint32_t record) {
  if (tableLocked_) return;
  bool held = records_.contains(record);
  if (!held && !transactionRecords_.contains(record)) Raise(ZARNIK_UNLOCKFAILED);
  if (hooks_.inTransaction()) {
    if (held) {
      records_.erase(record);
      transactionRecords_.insert(record);
    }
    return;
  }
  records_.erase(record);
  transactionRecords_.erase(record);
  if (!Unlock(ranges_.RecordByte(record))) Raise(ZARNIK_UNLOCKFAILED);
}

void TTableRecordLocks::UnlockAllRecords(bool transactionEnd) {
  std::set<uint32_t>& held = transactionEnd ? transactionRecords_ : records_;
  bool failed = false;
  for (uint32_t record : held) failed |= !Unlock(ranges_.RecordByte(record));
  held.clear();
  if (tableUnlockDeferred_ && transactionEnd) {
    tableUnlockDeferred_ = false;
    tableLocked_ = false;
    failed |= !Unlock(ranges_.AllRecords());
  }
  if (failed) Raise(ZARNIK_UNLOCKFAILED);
}

bool TTableRecordLocks::RecordLocked(uint32_t record) const {
  return records_.contains(record) || transactionRecords_.contains(record);
}

// --- the whole table

void TTableRecordLocks::LockTable() {
  if (tableLocked_ || !records_.empty() || !transactionRecords_.empty()) Raise(ZARNIK_LOCKED);
  const TLockRange all = ranges_.AllRecords();
  if (!SessionWait().Run([&] { return Lock(all); })) Raise(ZARNIK_LOCKED);
  tableLocked_ = true;
  if (!hooks_.entryLocked()) hooks_.refreshIfChanged();
}

void TTableRecordLocks::UnlockTable() {
  if (!tableLocked_ || tableUnlockDeferred_) Raise(ZARNIK_UNLOCKFAILED);
  if (hooks_.inTransaction()) {
    tableUnlockDeferred_ = true;
    return;
  }
  tableLocked_ = false;
  if (!Unlock(ranges_.AllRecords())) Raise(ZARNIK_UNLOCKFAILED);
}

// --- semaphores

bool TTableRecordLocks::LockSemaphore(uint32_t semaphore) {
  if (semaphore == 0 || semaphore > semaphoreCount_ || semaphores_[semaphore]) return false;
  const TLockRange byte = ranges_.SemaphoreByte(semaphore);
  if (!SessionWait().Run([&] { return Lock(byte); })) return false;
  semaphores_[semaphore] = true;
  return true;
}

bool TTableRecordLocks::UnlockSemaphore(uint32_t semaphore) {
  if (semaphore == 0 || semaphore > semaphoreCount_ || !semaphores_[semaphore]) return false;
  semaphores_[semaphore] = false;
  return Unlock(ranges_.SemaphoreByte(semaphore));
}

void TTableRecordLocks::ReleaseAll() {
  for (const std::set<uint32_t>* held : {&records_, &transactionRecords_})
    for (uint32_t record : *held) Unlock(ranges_.RecordByte(record));
  records_.clear();
  transactionRecords_.clear();
  for (uint32_t semaphore = 1; semaphore <= semaphoreCount_; ++semaphore)
    if (semaphores_[semaphore]) UnlockSemaphore(semaphore);
  if (tableLocked_) Unlock(ranges_.AllRecords());
  tableLocked_ = false;
  tableUnlockDeferred_ = false;
}

}  // namespace zarnik
