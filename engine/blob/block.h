// TBlock: one cached block of a BLOB file: the 18-byte block header in fields
// of its own and the data area of BlockSize - 18 bytes (the byte layout is
// next to TBlockHeader). The chains of engine/blob/blob_chain.h work on these.
#pragma once

#include <cstdint>

#include "engine/blob/block_header.h"
#include "engine/files/buffered_file.h"

namespace zarnik {

class TBlock : public TBuffer {
 public:
  // The data area is the file's buffer size: its block size less the header.
  explicit TBlock(TBufferedFile& owner);

  // Copies the header too when other is a block.
  void Assign(const TBuffer& other) override;
  // Zeroes the header and the data; not dirty.
  void Clear(int32_t initParam) override;
  // Takes the header and the data area from the block's on-disk image,
  // deciphered in place first when the table is encrypted; not dirty.
  void LoadFromDisk(uint8_t* raw) override;
  // Writes the header and the data area into the on-disk image, then
  // enciphers it when the table is encrypted.
  void SaveToDisk(uint8_t* raw) override;

  // Copies count bytes from data offset into dest, cut to the bytes in use;
  // returns the bytes copied. A count that runs past the data area raises
  // ZARNIK_INVALIDBLOBLEN.
  int32_t ReadData(int32_t offset, int32_t count, uint8_t* dest) const;
  // Copies count bytes in at data offset; the bytes in use become offset +
  // count and the block is dirty. A count that runs past the data area raises
  // ZARNIK_INVALIDBLOBLEN.
  void WriteData(int32_t offset, int32_t count, const uint8_t* source);

  // Header changes; each marks the block dirty.
  void SetPreviousBlock(uint32_t block);
  void SetNextBlock(uint32_t block);
  void SetBlobRevision(uint32_t revision);
  void SetBlobLength(uint32_t length);

  TBlockHeader header;

 private:
  void CheckFits(int32_t offset, int32_t count) const;
  // Bytes of the on-disk image after the header that the data area takes.
  size_t ImageDataBytes() const;
};

}  // namespace zarnik
