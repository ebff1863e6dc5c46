// TBlock: one cached block of a BLOB file: the 18-byte block header in fields
// of its own and the data area of BlockSize - 18 bytes (the byte layout is
// next to TBlockHeader). The chains of engine/blob/blob_chain.h work on these.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/blob/block_header.h"

namespace zarnik {

class TBlock {
 public:
  // ReadData's answer to a count that runs past the data area.
  static constexpr int32_t kInvalidCount = -1;

  explicit TBlock(int32_t dataSize);

  // Zeroes the header and the data; not dirty.
  void Clear();
  // Takes the header and the whole data area from the block's on-disk image
  // (18 + size bytes, already deciphered); not dirty.
  void LoadFromDisk(const uint8_t* raw);
  // Writes the header and the whole data area into the on-disk image.
  void SaveToDisk(uint8_t* raw) const;

  // Copies count bytes from data offset into dest, cut to the bytes in use;
  // returns the bytes copied, or kInvalidCount when offset + count runs past
  // the data area.
  int32_t ReadData(int32_t offset, int32_t count, uint8_t* dest) const;
  // Copies count bytes in at data offset; the bytes in use become offset +
  // count and the block is dirty. False, changing nothing, when offset + count
  // runs past the data area.
  bool WriteData(int32_t offset, int32_t count, const uint8_t* source);

  // Header changes; each marks the block dirty.
  void SetPreviousBlock(uint32_t block);
  void SetNextBlock(uint32_t block);
  void SetBlobRevision(uint32_t revision);
  void SetBlobLength(uint32_t length);

  TBlockHeader header;
  // As every cached buffer: its number, its users, whether it changed since it
  // was loaded or saved, its data area and the bytes of it in use.
  uint32_t number = 0;
  int16_t pinCount = 0;
  bool dirty = false;
  std::vector<uint8_t> data;
  int32_t size = 0;

 private:
  bool FitsData(int32_t offset, int32_t count) const;
};

}  // namespace zarnik
