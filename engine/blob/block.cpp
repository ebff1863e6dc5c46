#include "engine/blob/block.h"

#include <algorithm>
#include <cstring>

#include "engine/core/data_engine.h"

namespace zarnik {

TBlock::TBlock(TBufferedFile& owner) : TBuffer(owner) {}

void TBlock::Assign(const TBuffer& other) {
  TBuffer::Assign(other);
  if (const auto* block = dynamic_cast<const TBlock*>(&other)) header = block->header;
}

void TBlock::Clear(int32_t initParam) {
  TBuffer::Clear(initParam);
  header = TBlockHeader();
}

size_t TBlock::ImageDataBytes() const {
  int64_t imageData = int64_t{file.GetDiskBufferSize()} - static_cast<int64_t>(TBlockHeader::kEncodedLength);
  return static_cast<size_t>(std::clamp<int64_t>(imageData, 0, size));
}

void TBlock::LoadFromDisk(uint8_t* raw) {
  DecipherImage(raw);
  header.DecodeFrom({raw, TBlockHeader::kEncodedLength});
  std::memcpy(data.data(), raw + TBlockHeader::kEncodedLength, ImageDataBytes());
  dirty = false;
}

void TBlock::SaveToDisk(uint8_t* raw) {
  header.EncodeTo({raw, TBlockHeader::kEncodedLength});
  std::memcpy(raw + TBlockHeader::kEncodedLength, data.data(), ImageDataBytes());
  EncipherImage(raw);
  dirty = false;
}

void TBlock::CheckFits(int32_t offset, int32_t count) const {
  if (offset < 0 || count < 0 || int64_t{offset} + count > size)
    file.Engine().RaiseError(ZARNIK_INVALIDBLOBLEN, file.GetName());
}

int32_t TBlock::ReadData(int32_t offset, int32_t count, uint8_t* dest) const {
  CheckFits(offset, count);
  // A damaged header may claim more bytes in use than the data area has.
  int32_t inUse = std::min<int32_t>(header.usedBytes, size);
  int32_t copied = std::clamp(inUse - offset, 0, count);
  if (copied > 0) std::memcpy(dest, data.data() + offset, static_cast<size_t>(copied));
  return copied;
}

void TBlock::WriteData(int32_t offset, int32_t count, const uint8_t* source) {
  CheckFits(offset, count);
  if (count > 0) std::memcpy(data.data() + offset, source, static_cast<size_t>(count));
  header.usedBytes = static_cast<uint16_t>(offset + count);
  dirty = true;
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
