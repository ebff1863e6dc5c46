#include "engine/locks/lock_file_table_list.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace zarnik {

uint32_t TLockFileTableList::NextCounter(uint32_t counter) {
  return counter >= 2147483647U ? 1 : counter + 1;
}

void TLockFileTableList::EncodeTo(std::vector<uint8_t>& dst) const {
  size_t start = dst.size();
  dst.resize(start + kHeaderSize);
  uint32_t listLength = kLengthFieldSize;
  for (const std::string& name : names) {
    size_t length = std::min(name.size(), kMaxNameLength);
    dst.push_back(static_cast<uint8_t>(length));
    dst.insert(dst.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
    listLength += static_cast<uint32_t>(length + 1);
  }
  std::span<uint8_t> header(dst.data() + start, kHeaderSize);
  platform::PutUInt32(header, kCounterOffset, changeCounter);
  platform::PutUInt32(header, kLengthOffset, listLength);
}

bool TLockFileTableList::DecodeHeader(std::span<const uint8_t> src, uint32_t& counter, uint32_t& listLength) {
  if (src.size() < kHeaderSize) return false;
  counter = platform::GetUInt32(src, kCounterOffset);
  listLength = platform::GetUInt32(src, kLengthOffset);
  return true;
}

size_t TLockFileTableList::EntriesSize(uint32_t listLength) {
  if (listLength < kLengthFieldSize) return 0;
  return std::min<size_t>(listLength - kLengthFieldSize, kMaxEntriesSize);
}

bool TLockFileTableList::DecodeFrom(std::span<const uint8_t> src) {
  uint32_t listLength = 0;
  if (!DecodeHeader(src, changeCounter, listLength)) return false;
  size_t end = kEntriesOffset + std::min(EntriesSize(listLength), src.size() - kEntriesOffset);
  names.clear();
  size_t at = kEntriesOffset;
  while (at < end && names.size() < kMaxEntries) {
    size_t length = src[at];
    if (at + 1 + length > end) break;
    names.emplace_back(reinterpret_cast<const char*>(src.data() + at + 1), length);
    at += 1 + length;
  }
  return true;
}

}  // namespace zarnik
