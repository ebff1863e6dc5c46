#include "engine/files/read_window.h"

#include <cstring>

namespace zarnik {

bool TReadWindow::Covers(int64_t offset, int32_t length) const {
  return length_ > 0 && length >= 0 && offset >= start_ && offset - start_ <= length_ - length;
}

void TReadWindow::CopyOut(int64_t offset, int32_t length, uint8_t* dest) const {
  std::memcpy(dest, bytes_.get() + (offset - start_), static_cast<size_t>(length));
}

uint8_t* TReadWindow::Prepare() {
  if (!bytes_) bytes_ = std::make_unique_for_overwrite<uint8_t[]>(kSize);
  length_ = 0;
  return bytes_.get();
}

void TReadWindow::Filled(int64_t offset, int32_t length) {
  start_ = offset;
  length_ = length > 0 ? length : 0;
}

bool TReadWindow::Continues(int64_t offset) const {
  return lastEnd_ >= 0 && offset >= lastEnd_ && offset - lastEnd_ <= kSize;
}

void TReadWindow::Clear(bool release) {
  length_ = 0;
  lastEnd_ = -1;
  if (release) bytes_.reset();
}

}  // namespace zarnik
