#include "engine/index/index_header.h"

#include <algorithm>

#include "engine/index/index_bytes.h"

namespace zarnik {

using namespace index_bytes;

void TIndexHeader::EncodeTo(std::span<uint8_t, kEncodedLength> dst) const {
  uint8_t* p = dst.data();
  std::fill(dst.begin(), dst.end(), uint8_t(0));
  Put32(p + kChangeCount, ChangeCount);
  p[kVersion] = Version;
  std::copy(Signature.begin(), Signature.end(), p + kSignature);
  Put32(p + kFreePageHead, FreePageHead);
  Put32(p + kNextPageNumber, NextPageNumber);
  p[kIndexCount] = IndexCount;
  for (size_t s = 0; s < kSlotCount; ++s) {
    Put32(p + kRootPages + 4 * s, RootPages[s]);
    Put32(p + kDataRootPages + 4 * s, DataRootPages[s]);
  }
  p[kHeaderModified] = HeaderModified;
}

void TIndexHeader::DecodeFrom(std::span<const uint8_t, kEncodedLength> src) {
  const uint8_t* p = src.data();
  ChangeCount = Get32(p + kChangeCount);
  Version = p[kVersion];
  std::copy(p + kSignature, p + kSignature + Signature.size(), Signature.begin());
  FreePageHead = Get32(p + kFreePageHead);
  NextPageNumber = Get32(p + kNextPageNumber);
  IndexCount = p[kIndexCount];
  for (size_t s = 0; s < kSlotCount; ++s) {
    RootPages[s] = Get32(p + kRootPages + 4 * s);
    DataRootPages[s] = Get32(p + kDataRootPages + 4 * s);
  }
  HeaderModified = p[kHeaderModified];
}

}  // namespace zarnik
