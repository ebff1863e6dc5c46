#include "engine/blob/block.h"

#include <algorithm>
#include <cstring>

namespace zarnik {

TBlock::TBlock(int32_t dataSize)
    : data(static_cast<size_t>(std::max(dataSize, 0))), size(std::max(dataSize, 0)) {}

void TBlock::Clear() {
  header = TBlockHeader();
  std::fill(data.begin(), data.end(), 0);
  dirty = false;
}

void TBlock::LoadFromDisk(const uint8_t* raw) {
  header.DecodeFrom({raw, TBlockHeader::kEncodedLength});
  std::memcpy(data.data(), raw + TBlockHeader::kEncodedLength, static_cast<size_t>(size));
  dirty = false;
}

void TBlock::SaveToDisk(uint8_t* raw) const {
  header.EncodeTo({raw, TBlockHeader::kEncodedLength});
  std::memcpy(raw + TBlockHeader::kEncodedLength, data.data(), static_cast<size_t>(size));
}

bool TBlock::FitsData(int32_t offset, int32_t count) const {
  return offset >= 0 && count >= 0 && static_cast<int64_t>(offset) + count <= size;
}

int32_t TBlock::ReadData(int32_t offset, int32_t count, uint8_t* dest) const {
  if (!FitsData(offset, count)) return kInvalidCount;
  // A damaged header may claim more bytes in use than the data area has.
  int32_t inUse = std::min<int32_t>(header.usedBytes, size);
  int32_t copied = std::clamp(inUse - offset, 0, count);
  if (copied > 0) std::memcpy(dest, data.data() + offset, static_cast<size_t>(copied));
  return copied;
}

bool TBlock::WriteData(int32_t offset, int32_t count, const uint8_t* source) {
  if (!FitsData(offset, count)) return false;
  if (count > 0) std::memcpy(data.data() + offset, source, static_cast<size_t>(count));
  header.usedBytes = static_cast<uint16_t>(offset + count);
  dirty = true;
  return true;
}

void TBlock::SetPreviousBlock(uint32_t block) {
  header.previousBlock = block;
  dirty = true;
}

void TBlock::SetNextBlock(uint32_t block) {
  header.nextBlock = block;
  dirty = true;
}

void TBlock::SetBlobRevision(uint32_t revision) {
  header.blobRevision = revision;
  dirty = true;
}

void TBlock::SetBlobLength(uint32_t length) {
  header.blobLength = length;
  dirty = true;
}

}  // namespace zarnik
