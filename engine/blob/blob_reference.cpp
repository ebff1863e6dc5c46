#include "engine/blob/blob_reference.h"

#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

void TBlobReference::EncodeTo(std::span<uint8_t> slot) const {
  PutUInt8(slot, kIndicatorOffset, hasValue ? 1 : 0);
  PutInt32(slot, kFirstBlockOffset, firstBlock);
  PutUInt32(slot, kRevisionOffset, revision);
}

void TBlobReference::DecodeFrom(std::span<const uint8_t> slot) {
  hasValue = GetUInt8(slot, kIndicatorOffset) == 1;
  firstBlock = GetInt32(slot, kFirstBlockOffset);
  revision = GetUInt32(slot, kRevisionOffset);
}

}  // namespace zarnik
