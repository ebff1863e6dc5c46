// TLockRanges: where every byte-range lock of a database directory lies. The
// lock file carries the table list's span, one transaction byte per table slot
// and one 65535-byte span per slot; a table's data file carries one byte per
// record, the range of all records and the numbered semaphores. The ranges sit
// just below LockFileTop / TableFileTop, far beyond the end of the files, so
// no lock ever covers a byte that is read or written. TLockWait runs a lock
// attempt with its pause and retry count.
//
// Lock file (slot s from 1 to 4096; values without large file support):
//   lock file span      [LockFileTop - 65535, +65535)        0xFFFF0000
//   transaction byte s  TransLockBase - s                    0xFFFF0000 - s
//   transaction span    [TransLockBase - 4096, +4096)        0xFFFEF000
//   table span s        [TableReadLockBase - s * 65535, +65535)
//   database write span [TableWriteLockBase - 4096 * 65535, +268431360) 0xEFFF0000
// Data file (record n, semaphore k from 1 to SlotLockCount):
//   record n            TableFileTop - n
//   all records         [TableFileTop - MaxTableRecordCount, +MaxTableRecordCount)
//   semaphore k         SlotLockBase - k
#pragma once

#include <cstdint>
#include <functional>

#include "engine/core/data_engine.h"

namespace zarnik {

// A byte range [offset, offset + length).
struct TLockRange {
  int64_t offset = 0;
  int64_t length = 0;
  bool operator==(const TLockRange&) const = default;
};

class TLockRanges {
 public:
  // Read locks take one byte at span start + r - 1, r from 1 to kMaxReadByte.
  static constexpr uint16_t kMaxReadByte = 65534;
  static constexpr uint32_t kMaxSlots = 4096;

  explicit TLockRanges(const TEngineLimits& limits) : limits_(limits) {}

  TLockRange LockFileSpan() const;
  TLockRange TransactionByte(uint32_t slot) const;
  TLockRange TransactionSpan() const;
  TLockRange TableSpan(uint32_t slot) const;
  TLockRange DatabaseWriteSpan() const;

  TLockRange RecordByte(uint32_t record) const;
  TLockRange AllRecords() const;
  TLockRange SemaphoreByte(uint32_t semaphore) const;

  // The read byte r of a span.
  static TLockRange ReadByte(const TLockRange& span, uint16_t r);
  // A read byte drawn at random from 1 to kMaxReadByte.
  static uint16_t RandomReadByte();

 private:
  TEngineLimits limits_;
};

// How long a lock is waited for: retryCount pauses of waitTime milliseconds,
// so retryCount + 1 attempts in all.
struct TLockWait {
  uint32_t waitTime = 0;
  uint32_t retryCount = 0;

  // The engine's waits for table read, table write and transaction locks.
  static TLockWait TableRead(const TEngineSettings& settings);
  static TLockWait TableWrite(const TEngineSettings& settings);
  static TLockWait Transaction(const TEngineSettings& settings);

  // Runs attempt until it succeeds or the attempts are used up.
  bool Run(const std::function<bool()>& attempt) const;
};

}  // namespace zarnik
