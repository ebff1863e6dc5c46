#include "engine/files/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zarnik {

void TMemoryFile::ReadStorage(int64_t offset, void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    size_t block = static_cast<size_t>(offset / kBlockSize);
    int32_t at = static_cast<int32_t>(offset % kBlockSize);
    int32_t n = std::min(count, kBlockSize - at);
    std::memcpy(out, blocks_[block]->data() + at, static_cast<size_t>(n));
    out += n;
    offset += n;
    count -= n;
  }
}

bool TMemoryFile::WriteStorage(int64_t offset, const void* buffer, int32_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    size_t block = static_cast<size_t>(offset / kBlockSize);
    int32_t at = static_cast<int32_t>(offset % kBlockSize);
    int32_t n = std::min(count, kBlockSize - at);
    std::memcpy(blocks_[block]->data() + at, in, static_cast<size_t>(n));
    in += n;
    offset += n;
    count -= n;
  }
  return true;
}

bool TMemoryFile::ResizeStorage(int64_t size) {
  if (size < 0 || size > kMaxAllocated) {
    errno = ENOSPC;
    return false;
  }
  // Bytes cut off by a truncation read as zeros when the file grows again.
  for (int64_t at = size; at < std::min<int64_t>(logicalSize_, allocated_);) {
    size_t block = static_cast<size_t>(at / kBlockSize);
    int32_t offset = static_cast<int32_t>(at % kBlockSize);
    int64_t n = std::min<int64_t>(kBlockSize - offset, logicalSize_ - at);
    std::memset(blocks_[block]->data() + offset, 0, static_cast<size_t>(n));
    at += n;
  }
  while (allocated_ < size) {
    auto block = std::make_unique<TBlock>();
    blocks_.push_back(std::move(block));
    allocated_ += kBlockSize;
  }
  return true;
}

void TMemoryFile::FreeStorage() {
  blocks_.clear();
  allocated_ = 0;
}

}  // namespace zarnik
