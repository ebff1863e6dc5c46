// TPageHeader: the 13 bytes at the start of every index page on disk.
#pragma once

#include <cstdint>
#include <span>

namespace zarnik {

// Layout (little-endian):
//
//  0  uint8   PageType      0 internal root, 1 internal, 2 leaf, 3 leaf root,
//                           4 text indexing parameter page
//  1  uint16  EntryCount    entries on the page; 0 on free and type-4 pages
//  3  uint32  PreviousPage  left neighbour on the same level, 0 = none
//  7  uint32  NextPage      right neighbour; on a free page the next free page;
//                           on a type-4 page the next page of the chain
// 11  uint16  PackedSize    compressed leaves: bytes of the packed entries
class TPageHeader {
 public:
  static constexpr size_t kEncodedLength = 13;

  uint8_t PageType = 0;
  uint16_t EntryCount = 0;
  uint32_t PreviousPage = 0;
  uint32_t NextPage = 0;
  uint16_t PackedSize = 0;

  void EncodeTo(std::span<uint8_t, kEncodedLength> dst) const;
  void DecodeFrom(std::span<const uint8_t, kEncodedLength> src);

 private:
  static constexpr size_t kPageType = 0;
  static constexpr size_t kEntryCount = 1;
  static constexpr size_t kPreviousPage = 3;
  static constexpr size_t kNextPage = 7;
  static constexpr size_t kPackedSize = 11;
};

}  // namespace zarnik
