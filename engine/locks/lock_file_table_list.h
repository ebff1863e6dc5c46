// TLockFileTableList: the contents of a database directory's lock file, the
// list of table names whose positions are the tables' lock slots (slot = the
// 1-based position). Entries are only ever appended.
//
// Layout (little-endian):
//   offset 0  uint32  change counter, one up at every write (2147483647 -> 1)
//   offset 4  uint32  list length L = 4 + sum over the entries of (name length + 1)
//   offset 8  L - 4   the entries in slot order: a length byte, then the name
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zarnik {

class TLockFileTableList {
 public:
  static constexpr size_t kCounterOffset = 0;
  static constexpr size_t kLengthOffset = 4;
  static constexpr size_t kEntriesOffset = 8;
  static constexpr size_t kHeaderSize = 8;
  static constexpr size_t kMaxEntries = 4096;
  static constexpr size_t kMaxNameLength = 255;
  // The list length counts itself but not the counter.
  static constexpr size_t kLengthFieldSize = kEntriesOffset - kLengthOffset;
  static constexpr size_t kMaxEntriesSize = kMaxEntries * (kMaxNameLength + 1);

  uint32_t changeCounter = 0;
  std::vector<std::string> names;

  // The counter value that follows counter.
  static uint32_t NextCounter(uint32_t counter);

  // Appends the whole file image (names cut to 255 characters).
  void EncodeTo(std::vector<uint8_t>& dst) const;

  // The counter and the list length from the first kHeaderSize bytes; false
  // when fewer are given.
  static bool DecodeHeader(std::span<const uint8_t> src, uint32_t& counter, uint32_t& listLength);
  // The bytes of entries that follow the header for a list length, bounded by
  // what kMaxEntries entries can take (a damaged length asks for no more).
  static size_t EntriesSize(uint32_t listLength);
  // Reads the header and the entries from a file image. A damaged image
  // yields the entries that lie whole within it, at most kMaxEntries; false
  // only when the header is incomplete.
  bool DecodeFrom(std::span<const uint8_t> src);
};

}  // namespace zarnik
