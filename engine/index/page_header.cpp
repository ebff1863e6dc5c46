#include "engine/index/page_header.h"

#include "engine/index/index_bytes.h"

namespace zarnik {

using namespace index_bytes;

void TPageHeader::EncodeTo(std::span<uint8_t, kEncodedLength> dst) const {
  uint8_t* p = dst.data();
  p[kPageType] = PageType;
  Put16(p + kEntryCount, EntryCount);
  Put32(p + kPreviousPage, PreviousPage);
  Put32(p + kNextPage, NextPage);
  Put16(p + kPackedSize, PackedSize);
}

void TPageHeader::DecodeFrom(std::span<const uint8_t, kEncodedLength> src) {
  const uint8_t* p = src.data();
  PageType = p[kPageType];
  EntryCount = Get16(p + kEntryCount);
  PreviousPage = Get32(p + kPreviousPage);
  NextPage = Get32(p + kNextPage);
  PackedSize = Get16(p + kPackedSize);
}

}  // namespace zarnik
