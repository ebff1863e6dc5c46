// TBlockHeader: the 18 bytes at the start of every block of a BLOB file that
// chain the blocks of one value and say how many of the data bytes after them
// are in use.
#pragma once

#include <cstdint>
#include <span>

namespace zarnik {

class TBlockHeader {
 public:
  static constexpr size_t kEncodedLength = 18;

  uint32_t previousBlock = 0;  // previous block of the chain, 0 in the first
  uint32_t nextBlock = 0;      // next block of the chain (or of the free chain), 0 in the last
  uint16_t usedBytes = 0;      // data bytes in use: all of them but in the last block
  uint32_t blobRevision = 0;   // revision of the value the block belongs to
  uint32_t blobLength = 0;     // first block: stored bytes of the whole value; else 0

  void EncodeTo(std::span<uint8_t> destination) const;
  // Reads the 18 bytes at the start of source, which must hold them.
  void DecodeFrom(std::span<const uint8_t> source);

  // Layout of a block of BlockSize bytes (integers little-endian):
  //   0 uint32 previous block     4 uint32 next block     8 uint16 used bytes
  //  10 uint32 BLOB revision     14 uint32 BLOB length   18 BlockSize - 18 data bytes
  // Data bytes beyond the used bytes are undefined.
  static constexpr size_t kPreviousBlockOffset = 0;
  static constexpr size_t kNextBlockOffset = 4;
  static constexpr size_t kUsedBytesOffset = 8;
  static constexpr size_t kBlobRevisionOffset = 10;
  static constexpr size_t kBlobLengthOffset = 14;
};

}  // namespace zarnik
