// TBlockStore: what the BLOB chains need from a BLOB file: its geometry and
// free chain head, and blocks got pinned and released again. The BLOB file
// implements it over its block cache; tests use blocks in memory.
#pragma once

#include <cstdint>

#include "engine/core/error_codes.h"

namespace zarnik {

class TBlock;
class TDataEngine;

class TBlockStore {
 public:
  virtual ~TBlockStore() = default;

  // Data bytes per block: the block size less the 18-byte block header.
  virtual int32_t BlockDataSize() = 0;
  // The number the next appended block receives; blocks 1 .. NextBlockNumber() - 1 exist.
  virtual uint32_t NextBlockNumber() = 0;
  virtual uint32_t FreeBlockHead() = 0;
  // Sets the free chain head (the header changes when it differs).
  virtual void SetFreeBlockHead(uint32_t block) = 0;
  // Block number, pinned. NextBlockNumber() appends a cleared block. blocksNeeded
  // is how many blocks from this one on the caller still means to read (the
  // read-ahead request). Null when another user changed the table: the caller
  // starts over.
  virtual TBlock* GetBlock(uint32_t number, uint32_t blocksNeeded) = 0;
  virtual void ReleaseBlock(TBlock* block) = 0;

  virtual TDataEngine& Engine() = 0;
  // Raises the error as an engine error naming the table.
  [[noreturn]] virtual void RaiseError(TErrorCode code) = 0;
};

// Keeps one block of a store pinned for a scope.
class TBlockPin {
 public:
  explicit TBlockPin(TBlockStore& store, TBlock* block = nullptr) : store_(store), block_(block) {}
  ~TBlockPin() { Reset(); }
  TBlockPin(const TBlockPin&) = delete;
  TBlockPin& operator=(const TBlockPin&) = delete;

  TBlock* get() const { return block_; }
  TBlock* operator->() const { return block_; }
  TBlock& operator*() const { return *block_; }
  explicit operator bool() const { return block_ != nullptr; }
  // Releases the block held, if any, and holds the given one.
  void Reset(TBlock* block = nullptr) {
    if (block_ != nullptr) store_.ReleaseBlock(block_);
    block_ = block;
  }
  // Hands the block over to the caller, who releases it.
  TBlock* Detach() {
    TBlock* block = block_;
    block_ = nullptr;
    return block;
  }
  // Holds other's block instead; other holds none afterwards.
  void TakeFrom(TBlockPin& other) {
    Reset(other.block_);
    other.block_ = nullptr;
  }

 private:
  TBlockStore& store_;
  TBlock* block_;
};

}  // namespace zarnik
