// TBlobFile: the BLOB file of a table: a 512-byte header (TBlobHeader) and
// then blocks of the table's BLOB block size, cached as TBlocks, that hold the
// values of the table's BLOB fields as chains (engine/blob/blob_chain.h).
//
// On disk: block n (1-based) lies at 512 + (n - 1) * BlockSize; the header and
// every block are enciphered each on its own when the table is encrypted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/blob/blob_header.h"
#include "engine/blob/block_store.h"
#include "engine/files/buffered_file.h"

namespace zarnik {

class TBlock;

class TBlobFile : public TBufferedFile {
 public:
  // blockSize: the table's BLOB block size, from its data file header.
  TBlobFile(TDataEngine& engine, TBufferedFileTable& table, uint32_t blockSize);

  // --- engine file operations
  // Opens the file if not open and reads the header; an older version raises
  // ZARNIK_OLDVERSION, a newer one or an unknown signature ZARNIK_BADSIGNATURE.
  void OpenFile() override;
  // A new file: version 6, this engine's signature, no blocks; header changed.
  // The cache is ready for use.
  void CreateFile() override;

  // --- the buffered-file contract
  std::unique_ptr<TBuffer> NewBuffer() override;
  [[noreturn]] void RaiseBuffersCorrupt() override;
  void CheckCanAppend() override;
  void BufferAppended() override;
  int32_t GetMaxBufferCount() override;
  int32_t GetReadAheadLimit() override { return 1; }
  int32_t GetDiskBufferSize() override { return static_cast<int32_t>(blockSize_); }
  int32_t GetBufferSize() override;
  int64_t GetDataStart() override { return TBlobHeader::kEncodedLength; }
  uint32_t GetBufferCount() override { return header_.BlockCount(); }
  int32_t GetChangeCount() override { return static_cast<int32_t>(header_.changeCount); }
  int32_t GetRecentScanDepth() override { return 4; }
  int32_t GetCapacityStep() override { return 32; }
  // The blocks the chain being read still needs, within the read-ahead limit.
  int32_t GetReadAheadCount(TDataCursor* cursor, int direction) override;
  void ReadHeader() override;
  bool WriteHeader(bool force) override;
  void MarkHeaderChanged() override;
  // Cuts the file back to its header: no blocks, an empty free chain.
  void EmptyFile() override;
  // Raises ZARNIK_HEADERCORRUPT when the free chain head is not a valid block.
  void CheckHeader() override;
  bool VerifyHeader(TDataCursor* logCursor, bool verifyOnly) override;
  // The header check of verification and repair: the file's size against the
  // block size, the block count and the free chain head. Each finding becomes a
  // log line; repair fixes it. Returns whether the header was valid.
  using TLogLine = std::function<void(const std::string& line)>;
  bool VerifyHeaderWith(const TLogLine& log, bool verifyOnly);
  bool HeaderChanged() override;

  // --- the header
  const TBlobHeader& Header() const { return header_; }
  bool HeaderIsChanged() const { return headerChanged_; }
  uint32_t BlockSize() const { return blockSize_; }
  // The block the next allocation takes: the free chain head, else a new one.
  uint32_t GetAllocatableBlock() const;
  void SetFreeBlockHead(uint32_t block);
  bool IsValidBlock(int64_t block) const { return header_.IsValidBlock(block); }

  // Blocks still needed by the chain being walked (the read-ahead request).
  void SetBlocksNeeded(uint32_t blocks) { blocksNeeded_ = blocks; }

 private:
  // Cuts the last partial bytes off a file of size bytes; returns the new size.
  int64_t CutOffPartialBlock(int64_t size, int64_t partial);

  uint32_t blockSize_;
  TBlobHeader header_;
  bool headerChanged_ = false;
  uint32_t blocksNeeded_ = 1;
};

// The blocks of a BLOB file as the chains see them, got for one cursor (null
// for none): change detection and read-ahead follow that cursor.
class TBlobFileBlocks : public TBlockStore {
 public:
  TBlobFileBlocks(TBlobFile& file, TDataCursor* cursor) : file_(file), cursor_(cursor) {}

  int32_t BlockDataSize() override { return file_.GetBufferSize(); }
  uint32_t NextBlockNumber() override { return file_.Header().nextBlockNumber; }
  uint32_t FreeBlockHead() override { return file_.Header().freeBlockHead; }
  void SetFreeBlockHead(uint32_t block) override { file_.SetFreeBlockHead(block); }
  TBlock* GetBlock(uint32_t number, uint32_t blocksNeeded) override;
  void ReleaseBlock(TBlock* block) override;
  TDataEngine& Engine() override { return file_.Engine(); }
  [[noreturn]] void RaiseError(TErrorCode code) override;

 private:
  TBlobFile& file_;
  TDataCursor* cursor_;
};

}  // namespace zarnik
