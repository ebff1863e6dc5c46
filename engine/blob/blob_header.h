// TBlobHeader: the 512-byte header at the start of a BLOB file: the change
// counter, version and signature, the head of the free block chain and the
// number the next appended block receives.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/core/error_codes.h"

namespace zarnik {

class TDataEngine;

class TBlobHeader {
 public:
  static constexpr size_t kEncodedLength = 512;

  uint32_t changeCount = 0;
  uint8_t version = 0;
  std::array<uint8_t, 16> signatureDigest{};
  uint32_t freeBlockHead = 0;    // first block of the free chain, 0 = none
  uint32_t nextBlockNumber = 1;  // blocks 1 .. nextBlockNumber - 1 exist
  uint8_t headerModified = 0;    // the writer's changed flag; written, never interpreted
  // Reserved bytes, kept as read and written back.
  std::array<uint8_t, 4> reserved1{};
  std::array<uint8_t, 478> reserved2{};

  void EncodeTo(std::span<uint8_t> destination) const;
  // Reads the 512 bytes at the start of source, which must hold them.
  void DecodeFrom(std::span<const uint8_t> source);

  // Blocks the header says the file holds.
  uint32_t BlockCount() const { return nextBlockNumber > 0 ? nextBlockNumber - 1 : 0; }
  // 0 (no block), or a block the file holds.
  bool IsValidBlock(int64_t block) const { return block == 0 || (block >= 1 && block <= BlockCount()); }
  // The error opening a file with this header raises: an older version, or a
  // newer one or a signature the engine does not know; ZARNIK_NONE when none.
  TErrorCode OpenError(const TDataEngine& engine) const;

  // Layout of the 512 bytes (integers little-endian):
  //   0 uint32 change count        4 4 reserved             8 uint8 version (6)
  //   9 16 MD5 of the signature   25 uint32 free block head  29 uint32 next block number
  //  33 uint8 header modified     34 478 reserved
  static constexpr size_t kChangeCountOffset = 0;
  static constexpr size_t kReserved1Offset = 4;
  static constexpr size_t kVersionOffset = 8;
  static constexpr size_t kSignatureOffset = 9;
  static constexpr size_t kFreeBlockHeadOffset = 25;
  static constexpr size_t kNextBlockNumberOffset = 29;
  static constexpr size_t kHeaderModifiedOffset = 33;
  static constexpr size_t kReserved2Offset = 34;
};

}  // namespace zarnik
