#include "engine/index/page_header.h"

#include "platform/byte_order.h"

namespace zarnik {

using namespace platform;

void TPageHeader::EncodeTo(std::span<uint8_t, kEncodedLength> dst) const {
  uint8_t* p = dst.data();
  p[kPageType] = PageType;
  PutUInt16(dst, kEntryCount, EntryCount);
  PutUInt32(dst, kPreviousPage, PreviousPage);
  PutUInt32(dst, kNextPage, NextPage);
  PutUInt16(dst, kPackedSize, PackedSize);
}

void TPageHeader::DecodeFrom(std::span<const uint8_t, kEncodedLength> src) {
  const uint8_t* p = src.data();
  PageType = p[kPageType];
  EntryCount = GetUInt16(src, kEntryCount);
  PreviousPage = GetUInt32(src, kPreviousPage);
  NextPage = GetUInt32(src, kNextPage);
  PackedSize = GetUInt16(src, kPackedSize);
}

}  // namespace zarnik
