#include "engine/blob/blob_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zarnik {

namespace {

constexpr int64_t kMaxLength = std::numeric_limits<int32_t>::max();

}  // namespace

int32_t TBlobBuffer::Read(int64_t offset, int32_t count, uint8_t* dest) const {
  if (offset < 0 || count <= 0 || offset >= Length()) return 0;
  int32_t copied = static_cast<int32_t>(std::min<int64_t>(count, Length() - offset));
  std::memcpy(dest, data.data() + offset, static_cast<size_t>(copied));
  return copied;
}

bool TBlobBuffer::Write(int64_t offset, int32_t count, const uint8_t* source) {
  if (mode != kBlobModeReadWrite || offset < 0 || count < 0 || offset + count > kMaxLength) return false;
  size_t end = static_cast<size_t>(offset + count);
  if (end > data.size()) data.resize(end);
  if (count > 0) std::memcpy(data.data() + offset, source, static_cast<size_t>(count));
  modified = true;
  return true;
}

bool TBlobBuffer::Truncate(int64_t newLength) {
  if (mode != kBlobModeReadWrite || newLength < 0) return false;
  if (newLength < Length()) data.resize(static_cast<size_t>(newLength));
  modified = true;
  return true;
}

}  // namespace zarnik
