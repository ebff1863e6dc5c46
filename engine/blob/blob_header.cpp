#include "engine/blob/blob_header.h"

#include <algorithm>

#include "engine/core/data_engine.h"
#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

void TBlobHeader::EncodeTo(std::span<uint8_t> d) const {
  PutUInt32(d, kChangeCountOffset, changeCount);
  std::copy(reserved1.begin(), reserved1.end(), d.begin() + kReserved1Offset);
  PutUInt8(d, kVersionOffset, version);
  std::copy(signatureDigest.begin(), signatureDigest.end(), d.begin() + kSignatureOffset);
  PutUInt32(d, kFreeBlockHeadOffset, freeBlockHead);
  PutUInt32(d, kNextBlockNumberOffset, nextBlockNumber);
  PutUInt8(d, kHeaderModifiedOffset, headerModified);
  std::copy(reserved2.begin(), reserved2.end(), d.begin() + kReserved2Offset);
}

void TBlobHeader::DecodeFrom(std::span<const uint8_t> s) {
  changeCount = GetUInt32(s, kChangeCountOffset);
  std::copy_n(s.begin() + kReserved1Offset, reserved1.size(), reserved1.begin());
  version = GetUInt8(s, kVersionOffset);
  std::copy_n(s.begin() + kSignatureOffset, signatureDigest.size(), signatureDigest.begin());
  freeBlockHead = GetUInt32(s, kFreeBlockHeadOffset);
  nextBlockNumber = GetUInt32(s, kNextBlockNumberOffset);
  headerModified = GetUInt8(s, kHeaderModifiedOffset);
  std::copy_n(s.begin() + kReserved2Offset, reserved2.size(), reserved2.begin());
}

TErrorCode TBlobHeader::OpenError(const TDataEngine& engine) const {
  if (version < kCurrentTableVersion) return ZARNIK_OLDVERSION;
  if (version > kCurrentTableVersion) return ZARNIK_BADSIGNATURE;
  if (!engine.IsKnownSignatureDigest(signatureDigest)) return ZARNIK_BADSIGNATURE;
  return ZARNIK_NONE;
}

}  // namespace zarnik
