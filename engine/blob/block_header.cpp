#include "engine/blob/block_header.h"

#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

void TBlockHeader::EncodeTo(std::span<uint8_t> d) const {
  PutUInt32(d, kPreviousBlockOffset, previousBlock);
  PutUInt32(d, kNextBlockOffset, nextBlock);
  PutUInt16(d, kUsedBytesOffset, usedBytes);
  PutUInt32(d, kBlobRevisionOffset, blobRevision);
  PutUInt32(d, kBlobLengthOffset, blobLength);
}

void TBlockHeader::DecodeFrom(std::span<const uint8_t> s) {
  previousBlock = GetUInt32(s, kPreviousBlockOffset);
  nextBlock = GetUInt32(s, kNextBlockOffset);
  usedBytes = GetUInt16(s, kUsedBytesOffset);
  blobRevision = GetUInt32(s, kBlobRevisionOffset);
  blobLength = GetUInt32(s, kBlobLengthOffset);
}

}  // namespace zarnik
