// TBlobChain: the values of BLOB fields as chains of blocks in a BLOB file:
// blocks taken from and given back to the free chain, and whole chains read,
// written and freed, with the compression of a field's values and the retry
// after another user rewrote a value.
//
// A value of L stored bytes lies in ceil(L / D) blocks (D = block size - 18),
// linked through NextBlock and PreviousBlock; every block carries the value's
// revision, the first also L. Free blocks are linked through NextBlock from the
// header's FreeBlockHead, last freed first reused. Rewriting a value reuses its
// old blocks in order, so its first block stays.
//
// Files are untrusted: a link outside the file or back into the chain raises
// ZARNIK_MEMOCORRUPT, a chain shorter than its stored length ZARNIK_ENDOFBLOB.
// Every walk visits each block at most once, and memory grows only with the
// blocks actually read, never with a stored length alone.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <unordered_set>
#include <vector>

#include "engine/blob/blob_reference.h"
#include "engine/blob/block_store.h"

namespace zarnik {

// Re-reads the reference from the value's record after a revision mismatch;
// nothing when the record was deleted or now holds another record.
using TReloadReference = std::function<std::optional<TBlobReference>()>;

class TBlobChain {
 public:
  enum class TReadResult { kDone, kRetry };

  explicit TBlobChain(TBlockStore& store) : store_(store) {}

  // A cleared block from the free chain, or appended when it is empty; pinned,
  // the caller releases it.
  TBlock* AllocateBlock();
  // Puts the block at the head of the free chain.
  void FreeBlock(TBlock& block);

  // Reads the stored bytes of the chain from firstBlock (0: empty). kRetry when
  // a block carries another revision: the value was rewritten meanwhile.
  TReadResult ReadBlobChain(int32_t firstBlock, uint32_t revision, std::vector<uint8_t>& stored);
  // Writes at least one stored byte over the chain from firstBlock, reusing its
  // blocks in order and freeing those left over; a value without a chain
  // (firstBlock 0) gets a new one, whose first block firstBlock receives.
  void WriteBlobChain(int32_t& firstBlock, uint32_t revision, std::span<const uint8_t> stored);
  // Frees the chain from block on (pinned by the caller; released here),
  // giving its further blocks the revision.
  void FreeBlobChain(TBlock* block, uint32_t revision);
  // Frees the value's chain, if any; firstBlock becomes 0.
  void RemoveValue(int32_t& firstBlock, uint32_t revision);

  // The value a reference names, decompressed when the field has a compression
  // level (1 to 9). After a revision mismatch the reference is re-read once
  // through reload and updated: a second mismatch raises ZARNIK_MEMOCORRUPT, a
  // record gone ZARNIK_KEYORRECDELETED.
  std::vector<uint8_t> ReadValue(TBlobReference& reference, uint8_t compression,
                                 const TReloadReference& reload);
  // Stores the value (compressed when the field has a compression level) under
  // the reference's revision; an empty value frees the chain and makes the
  // reference NULL.
  void WriteValue(TBlobReference& reference, std::span<const uint8_t> value, uint8_t compression);

 private:
  // The blocks a walk has met: the first few in place (most chains are
  // short), the rest in a set.
  class TVisited {
   public:
    // False when the block was met before.
    bool Insert(uint32_t block);

   private:
    static constexpr size_t kInPlace = 16;
    std::array<uint32_t, kInPlace> first_{};
    size_t count_ = 0;
    std::unordered_set<uint32_t> rest_;
  };

  // Data bytes per block; a geometry no block can have raises ZARNIK_MEMOCORRUPT.
  int32_t D();
  // Blocks still needed for bytes more bytes (at least 1).
  uint32_t BlocksFor(uint64_t bytes);
  // Raises ZARNIK_MEMOCORRUPT unless block is a block of the file not yet
  // visited by this walk, and records it.
  void Visit(int64_t block, TVisited& visited);
  TBlock* GetExisting(uint32_t number, uint32_t blocksNeeded);
  // Appends up to count bytes of the block's data to stored; returns how many.
  int32_t CopyOut(const TBlock& block, int32_t count, std::vector<uint8_t>& stored);
  void LinkNext(TBlockPin& current, TBlockPin& next, uint32_t revision);
  void FreeChainFrom(TBlockPin& current, uint32_t revision, TVisited& visited);

  TBlockStore& store_;
};

}  // namespace zarnik
