// TIndexHeader: the 512-byte header at the start of an index file, decoded.
// The index file keeps the header image and reads and writes it whole.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace zarnik {

// Layout (little-endian, offsets in bytes):
//
//   0   uint32      ChangeCount     +1 on every header write; 0 after emptying
//   4   4 bytes     reserved        zero
//   8   uint8       Version         6
//   9   16 bytes    Signature       MD5 digest of the engine signature text
//  25   uint32      FreePageHead    first page of the free page chain, 0 = none
//  29   uint32      NextPageNumber  pages 1 .. NextPageNumber - 1 exist
//  33   uint8       IndexCount      secondary indexes, 0 .. 30
//  34   uint32[32]  RootPages       root page of index slot s at 34 + 4s, 0 = empty
// 162   uint32[32]  DataRootPages   slot 31: first page of the text indexing
//                                   parameter chain; 0 elsewhere
// 290   uint8       HeaderModified  the writer's header-changed flag; never read
// 291   221 bytes   reserved        zero
class TIndexHeader {
 public:
  static constexpr size_t kEncodedLength = 512;
  static constexpr size_t kSlotCount = 32;

  uint32_t ChangeCount = 0;
  uint8_t Version = 0;
  std::array<uint8_t, 16> Signature{};
  uint32_t FreePageHead = 0;
  uint32_t NextPageNumber = 0;
  uint8_t IndexCount = 0;
  std::array<uint32_t, kSlotCount> RootPages{};
  std::array<uint32_t, kSlotCount> DataRootPages{};
  uint8_t HeaderModified = 0;

  // dst and src hold kEncodedLength bytes.
  void EncodeTo(std::span<uint8_t, kEncodedLength> dst) const;
  void DecodeFrom(std::span<const uint8_t, kEncodedLength> src);

 private:
  static constexpr size_t kChangeCount = 0;
  static constexpr size_t kVersion = 8;
  static constexpr size_t kSignature = 9;
  static constexpr size_t kFreePageHead = 25;
  static constexpr size_t kNextPageNumber = 29;
  static constexpr size_t kIndexCount = 33;
  static constexpr size_t kRootPages = 34;
  static constexpr size_t kDataRootPages = 162;
  static constexpr size_t kHeaderModified = 290;
};

}  // namespace zarnik
