#include "engine/locks/lock_ranges.h"

#include "platform/system.h"

namespace zarnik {

namespace {

// Every offset lies below 0x7FFFFFFFFFFFFFFF, the largest top there is.
TLockRange Range(uint64_t offset, uint64_t length) {
  return {static_cast<int64_t>(offset), static_cast<int64_t>(length)};
}

}  // namespace

TLockRange TLockRanges::LockFileSpan() const {
  return Range(limits_.LockFileTop - limits_.LockFileSpan, limits_.LockFileSpan);
}

TLockRange TLockRanges::TransactionByte(uint32_t slot) const {
  return Range(limits_.TransLockBase - slot, 1);
}

TLockRange TLockRanges::TransactionSpan() const {
  return Range(limits_.TransLockBase - limits_.TransLockSpan, limits_.TransLockSpan);
}

TLockRange TLockRanges::TableSpan(uint32_t slot) const {
  return Range(limits_.TableReadLockBase - uint64_t{slot} * limits_.TableReadLockSpan,
               limits_.TableReadLockSpan);
}

TLockRange TLockRanges::DatabaseWriteSpan() const {
  return Range(limits_.TableWriteLockBase - limits_.DatabaseWriteLockSpan, limits_.DatabaseWriteLockSpan);
}

TLockRange TLockRanges::RecordByte(uint32_t record) const {
  return Range(limits_.TableFileTop - record, 1);
}

TLockRange TLockRanges::AllRecords() const {
  return Range(limits_.TableFileTop - limits_.MaxTableRecordCount64, limits_.MaxTableRecordCount64);
}

TLockRange TLockRanges::SemaphoreByte(uint32_t semaphore) const {
  return Range(limits_.SlotLockBase - semaphore, 1);
}

TLockRange TLockRanges::ReadByte(const TLockRange& span, uint16_t r) {
  return {span.offset + r - 1, 1};
}

uint16_t TLockRanges::RandomReadByte() {
  uint32_t r = platform::Random(kMaxReadByte + 1);
  return static_cast<uint16_t>(r == 0 ? 1 : r);
}

TLockWait TLockWait::TableRead(const TEngineSettings& s) {
  return {s.TableReadLockWaitTime, s.TableReadLockRetryCount};
}

TLockWait TLockWait::TableWrite(const TEngineSettings& s) {
  return {s.TableWriteLockWaitTime, s.TableWriteLockRetryCount};
}

TLockWait TLockWait::Transaction(const TEngineSettings& s) {
  return {s.TableTransLockWaitTime, s.TableTransLockRetryCount};
}

bool TLockWait::Run(const std::function<bool()>& attempt) const {
  for (uint32_t retry = 0;; ++retry) {
    if (attempt()) return true;
    if (retry >= retryCount) return false;
    platform::SleepMilliseconds(waitTime);
  }
}

}  // namespace zarnik
