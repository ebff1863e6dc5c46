// TDataTableLocks: one table's entry in its directory's lock file: the slot,
// and the read, write and transaction locks that the table's users in this
// session share. Other sessions and processes are kept out by the byte
// ranges of the slot: a read lock is one random byte of the table span, a
// write lock the whole span, a transaction lock the slot's transaction byte.
#pragma once

#include <cstdint>
#include <string>

namespace zarnik {

class TDataDirectoryLocks;

class TDataTableLocks {
 public:
  static constexpr uint8_t kReadLocked = 1;
  static constexpr uint8_t kWriteLocked = 2;
  static constexpr uint8_t kTransactionLocked = 4;

  TDataTableLocks(TDataDirectoryLocks& manager, uint32_t slot, std::string tableName);

  uint32_t Slot() const { return slot_; }
  const std::string& TableName() const { return tableName_; }
  uint8_t Flags() const { return flags_; }
  bool Holds(uint8_t flag) const { return (flags_ & flag) != 0; }
  // Whether any of the three locks is held.
  bool HoldsAny() const { return flags_ != 0; }
  void SetFlag(uint8_t flag, bool set);

  // True when the read lock was taken now; false when any lock of the entry
  // is held already. ZARNIK_READLOCK when it cannot be taken.
  bool ReadLock();
  void ReadUnlock();
  // True when the transaction byte was taken by this call.
  // ZARNIK_WRITELOCK when a lock cannot be taken.
  bool WriteLock(bool withTransactionByte);
  void WriteUnlock(bool withTransactionByte);
  // False when the transaction byte is held already. ZARNIK_TRANSLOCK when it
  // cannot be taken.
  bool TransactionLock();
  void TransactionUnlock();
  // Gives back whatever the entry holds, without reporting a failure (its
  // directory closes).
  void Release();

 private:
  TDataDirectoryLocks& manager_;
  uint32_t slot_;
  std::string tableName_;
  uint16_t readByte_ = 0;
  uint8_t flags_ = 0;
};

}  // namespace zarnik
