// TTableRecordLocks: the locks a table object holds in its data file: single
// records (one byte each), the whole table (the range of all records) and
// numbered semaphores. It remembers what it holds, inside and outside a
// transaction, and waits with the session's lock retry count and wait time.
// The table object owns one and supplies its own table locks through hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/core/engine_error.h"
#include "engine/locks/lock_ranges.h"

namespace zarnik {

class TDataSession;
class TEngineFile;

class TTableRecordLocks {
 public:
  // What the locks need of their table object.
  struct THooks {
    // The table's read lock; true when taking it refreshed the table's view.
    std::function<bool()> readLockTable;
    std::function<void()> readUnlockTable;
    // Drops the cached view when another user changed the table; true when it did.
    std::function<bool()> refreshIfChanged;
    // The table takes part in a transaction of its directory.
    std::function<bool()> inTransaction;
    // The table's lock entry holds its read, write or transaction lock.
    std::function<bool()> entryLocked;
  };

  TTableRecordLocks(TDataSession& session, TEngineFile& dataFile, THooks hooks);
  // Gives back what is still held (the data file must still be open).
  ~TTableRecordLocks();
  TTableRecordLocks(const TTableRecordLocks&) = delete;
  TTableRecordLocks& operator=(const TTableRecordLocks&) = delete;
  // The names that the errors carry.
  void SetNames(const std::string& tableName, const std::string& databaseName);

  // Locks record n; false (nothing done) while the table lock is held. With
  // the pessimistic protocol the table's read lock is taken first and left
  // held. Returns whether the table's view was refreshed meanwhile.
  // ZARNIK_RECLOCKFAILED for record 0, a record held already, or when the
  // lock cannot be had.
  bool LockRecord(uint32_t record);
  // Inside a transaction the lock is kept to its end. ZARNIK_UNLOCKFAILED
  // when the record is not locked.
  void UnlockRecord(uint32_t record);
  // Releases the records held for the transaction (at its end) or the
  // others, then a table unlock deferred to the transaction's end.
  void UnlockAllRecords(bool transactionEnd);
  bool RecordLocked(uint32_t record) const;

  // ZARNIK_LOCKED when this object holds the table or a record already, or
  // the table cannot be locked.
  void LockTable();
  // ZARNIK_UNLOCKFAILED when not locked; inside a transaction the unlock
  // waits for its end.
  void UnlockTable();
  bool TableLocked() const { return tableLocked_; }

  // False for a semaphore outside 1 to SlotLockCount, one held already, or
  // one that stays locked.
  bool LockSemaphore(uint32_t semaphore);
  bool UnlockSemaphore(uint32_t semaphore);

  // Releases every record, semaphore and table lock held (the table closes).
  void ReleaseAll();

 private:
  [[noreturn]] void Raise(TErrorCode code);
  TLockWait SessionWait() const;
  bool Lock(const TLockRange& range);
  bool Unlock(const TLockRange& range);
  bool Pessimistic() const;

  TDataSession& session_;
  TEngineFile& dataFile_;
  THooks hooks_;
  TLockRanges ranges_;
  uint32_t maxRecord_;
  uint32_t semaphoreCount_;
  std::string tableName_;
  std::string databaseName_;
  std::set<uint32_t> records_;             // held outside a transaction
  std::set<uint32_t> transactionRecords_;  // kept for the transaction's end
  std::vector<bool> semaphores_;
  bool tableLocked_ = false;
  bool tableUnlockDeferred_ = false;
};

}  // namespace zarnik
