#include "engine/index/index_header.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

void TIndexHeader::EncodeTo(std::span<uint8_t, kEncodedLength> dst) const {
  uint8_t* p = dst.data();
  std::fill(dst.begin(), dst.end(), uint8_t(0));
  PutUInt32(dst, kChangeCount, ChangeCount);
  p[kVersion] = Version;
  std::copy(Signature.begin(), Signature.end(), p + kSignature);
  PutUInt32(dst, kFreePageHead, FreePageHead);
  PutUInt32(dst, kNextPageNumber, NextPageNumber);
  p[kIndexCount] = IndexCount;
  for (size_t s = 0; s < kSlotCount; ++s) {
    PutUInt32(dst, kRootPages + 4 * s, RootPages[s]);
    PutUInt32(dst, kDataRootPages + 4 * s, DataRootPages[s]);
  }
  p[kHeaderModified] = HeaderModified;
}

void TIndexHeader::DecodeFrom(std::span<const uint8_t, kEncodedLength> src) {
  const uint8_t* p = src.data();
  ChangeCount = GetUInt32(src, kChangeCount);
  Version = p[kVersion];
  std::copy(p + kSignature, p + kSignature + Signature.size(), Signature.begin());
  FreePageHead = GetUInt32(src, kFreePageHead);
  NextPageNumber = GetUInt32(src, kNextPageNumber);
  IndexCount = p[kIndexCount];
  for (size_t s = 0; s < kSlotCount; ++s) {
    RootPages[s] = GetUInt32(src, kRootPages + 4 * s);
    DataRootPages[s] = GetUInt32(src, kDataRootPages + 4 * s);
  }
  HeaderModified = p[kHeaderModified];
}

}  // namespace zarnik
