// TDataDirectoryLocks: the lock file of one database directory. It keeps the
// table list that gives every shared table its lock slot, guards that list
// with the lock file span, and takes the directory-wide transaction and
// database write locks. Where the lock file cannot be made or opened for
// writing, nothing is locked and the directory is read-only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/engine_error.h"
#include "engine/locks/lock_ranges.h"

namespace zarnik {

class TDataDirectory;
class TDataEngine;
class TDataTableLocks;
class TEngineFile;

class TDataDirectoryLocks {
 public:
  // The lock file span uses fixed waits.
  static constexpr TLockWait kLockFileWait{3, 32768};
  // Opening an existing lock file is tried this often, 100 ms apart.
  static constexpr int kOpenAttempts = 11;
  static constexpr uint32_t kOpenPause = 100;

  explicit TDataDirectoryLocks(TDataDirectory& directory);
  // Gives back every lock still held, then closes the lock file.
  ~TDataDirectoryLocks();
  TDataDirectoryLocks(const TDataDirectoryLocks&) = delete;
  TDataDirectoryLocks& operator=(const TDataDirectoryLocks&) = delete;

  // Opens the folder's lock file, making it (listing the tables already in
  // the folder) when there is none.
  void OpenLockFile();
  bool NoLocking() const { return noLocking_; }

  // Loads the entries added since the list was last read (nothing when the
  // change counter did not move).
  void ReadTableList();
  // Writes the list with the next change counter and flushes it.
  void WriteTableList();
  // The table's entry, appended to the list when missing. ZARNIK_DATABASEFULL
  // when the list is full.
  TDataTableLocks& FindOrAddTable(const std::string& name);
  size_t TableCount() const { return tables_.size(); }
  TDataTableLocks& Table(size_t index) { return *tables_[index]; }
  uint32_t ChangeCounter() const { return knownCounter_; }

  void LockFileReadLock();
  void LockFileReadUnlock();
  void LockFileWriteLock();
  void LockFileWriteUnlock();

  // A transaction over every table of the directory, and its commit.
  void TransactionLockAll();
  void TransactionUnlockAll();
  void DatabaseWriteLock();
  void DatabaseWriteUnlock();

  // --- for the table entries
  TDataEngine& Engine();
  const TLockRanges& Ranges() const { return ranges_; }
  // Locks or unlocks a range of the lock file, waiting as given; true
  // without doing anything when nothing is locked.
  bool LockRange(const TLockRange& range, const TLockWait& wait);
  bool UnlockRange(const TLockRange& range);
  // Takes a random read byte of span (a new one for every attempt).
  bool LockReadByte(const TLockRange& span, const TLockWait& wait, uint16_t& readByte);
  // Raises code with the database name (and the table name when given).
  [[noreturn]] void Raise(TErrorCode code, const std::string& tableName = {});

 private:
  std::string LockFileName();
  bool CreateLockFile();
  bool OpenExistingLockFile();
  // FindOrAddTable under the write lock.
  TDataTableLocks& FindOrAppend(const std::string& name);
  void SetAllFlags(uint8_t flag, bool set);

  TDataDirectory& directory_;
  TLockRanges ranges_;
  std::unique_ptr<TEngineFile> lockFile_;
  std::vector<uint8_t> listBuffer_;
  uint32_t knownCounter_ = 0;
  uint16_t readByte_ = 0;
  std::vector<std::unique_ptr<TDataTableLocks>> tables_;  // in slot order
  bool noLocking_ = false;
  bool transactionAll_ = false;
  bool databaseWrite_ = false;
};

}  // namespace zarnik
