#include "engine/locks/data_table_locks.h"

#include "engine/core/data_engine.h"
#include "engine/locks/data_directory_locks.h"

namespace zarnik {

TDataTableLocks::TDataTableLocks(TDataDirectoryLocks& manager, uint32_t slot, std::string tableName)
    : manager_(manager), slot_(slot), tableName_(std::move(tableName)) {}

void TDataTableLocks::SetFlag(uint8_t flag, bool set) {
  flags_ = static_cast<uint8_t>(set ? flags_ | flag : flags_ & ~flag);
}

bool TDataTableLocks::ReadLock() {
  if (HoldsAny()) return false;
  const TLockRange span = manager_.Ranges().TableSpan(slot_);
  if (!manager_.LockReadByte(span, TLockWait::TableRead(manager_.Engine().Settings), readByte_))
    manager_.Raise(ZARNIK_READLOCK, tableName_);
  SetFlag(kReadLocked, true);
  return true;
}

void TDataTableLocks::ReadUnlock() {
  if (!Holds(kReadLocked)) return;
  if (!manager_.UnlockRange(TLockRanges::ReadByte(manager_.Ranges().TableSpan(slot_), readByte_)))
    manager_.Raise(ZARNIK_READUNLOCK, tableName_);
  SetFlag(kReadLocked, false);
}

bool TDataTableLocks::WriteLock(bool withTransactionByte) {
  if (Holds(kWriteLocked)) return false;
  const TLockWait wait = TLockWait::TableWrite(manager_.Engine().Settings);
  bool tookTransactionByte = false;
  if (withTransactionByte && !Holds(kTransactionLocked)) {
    if (!manager_.LockRange(manager_.Ranges().TransactionByte(slot_), wait))
      manager_.Raise(ZARNIK_WRITELOCK, tableName_);
    SetFlag(kTransactionLocked, true);
    tookTransactionByte = true;
  }
  if (!manager_.LockRange(manager_.Ranges().TableSpan(slot_), wait)) {
    if (tookTransactionByte) {
      manager_.UnlockRange(manager_.Ranges().TransactionByte(slot_));
      SetFlag(kTransactionLocked, false);
    }
    manager_.Raise(ZARNIK_WRITELOCK, tableName_);
  }
  SetFlag(kWriteLocked, true);
  return tookTransactionByte;
}

void TDataTableLocks::WriteUnlock(bool withTransactionByte) {
  if (!Holds(kWriteLocked)) return;
  if (!manager_.UnlockRange(manager_.Ranges().TableSpan(slot_)))
    manager_.Raise(ZARNIK_WRITEUNLOCK, tableName_);
  SetFlag(kWriteLocked, false);
  if (!withTransactionByte || !Holds(kTransactionLocked)) return;
  if (!manager_.UnlockRange(manager_.Ranges().TransactionByte(slot_)))
    manager_.Raise(ZARNIK_WRITEUNLOCK, tableName_);
  SetFlag(kTransactionLocked, false);
}

bool TDataTableLocks::TransactionLock() {
  if (Holds(kTransactionLocked)) return false;
  if (!manager_.LockRange(manager_.Ranges().TransactionByte(slot_),
                          TLockWait::Transaction(manager_.Engine().Settings)))
    manager_.Raise(ZARNIK_TRANSLOCK);
  SetFlag(kTransactionLocked, true);
  return true;
}

void TDataTableLocks::TransactionUnlock() {
  if (!Holds(kTransactionLocked)) return;
  if (!manager_.UnlockRange(manager_.Ranges().TransactionByte(slot_))) manager_.Raise(ZARNIK_TRANSUNLOCK);
  SetFlag(kTransactionLocked, false);
}

void TDataTableLocks::Release() {
  const TLockRanges& ranges = manager_.Ranges();
  if (Holds(kReadLocked)) manager_.UnlockRange(TLockRanges::ReadByte(ranges.TableSpan(slot_), readByte_));
  if (Holds(kWriteLocked)) manager_.UnlockRange(ranges.TableSpan(slot_));
  if (Holds(kTransactionLocked)) manager_.UnlockRange(ranges.TransactionByte(slot_));
  flags_ = 0;
}

}  // namespace zarnik
