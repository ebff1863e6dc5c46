// Blocks of a BLOB file held in memory behind the block-store interface, for
// the chain tests: every block is an object from the start, pins are counted,
// the read-ahead requests are kept, and a test can make a get report that
// another user changed the table.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/blob/blob_header.h"
#include "engine/blob/block.h"
#include "engine/blob/block_store.h"
#include "engine/core/data_engine.h"

namespace zarnik::testing {

class MemoryBlockStore : public TBlockStore {
 public:
  MemoryBlockStore(TDataEngine& engine, int32_t blockSize) : engine_(engine), blockSize_(blockSize) {
    header.version = kCurrentTableVersion;
    header.signatureDigest = engine.SignatureDigest();
  }

  // Takes the header and the blocks of a BLOB file's bytes; decipher, when
  // set, deciphers each unit (the header copy, then every block) in place.
  void Load(std::vector<uint8_t> file, const std::function<void(uint8_t*, size_t)>& decipher = {}) {
    if (decipher) decipher(file.data(), TBlobHeader::kEncodedLength);
    header.DecodeFrom(file);
    blocks_.clear();
    for (size_t at = TBlobHeader::kEncodedLength; at + blockSize_ <= file.size(); at += blockSize_) {
      if (decipher) decipher(file.data() + at, blockSize_);
      AddBlock()->LoadFromDisk(file.data() + at);
    }
  }

  int32_t BlockDataSize() override { return blockSize_ - static_cast<int32_t>(TBlockHeader::kEncodedLength); }
  uint32_t NextBlockNumber() override { return header.nextBlockNumber; }
  uint32_t FreeBlockHead() override { return header.freeBlockHead; }
  void SetFreeBlockHead(uint32_t block) override { header.freeBlockHead = block; }

  TBlock* GetBlock(uint32_t number, uint32_t blocksNeeded) override {
    requests.push_back({number, blocksNeeded});
    if (tableChangedOnGet && tableChangedOnGet(number)) return nullptr;
    if (number == 0) RaiseError(ZARNIK_MEMOCORRUPT);
    if (number == header.nextBlockNumber) {
      while (blocks_.size() < number) AddBlock();
      ++header.nextBlockNumber;
    }
    // A block the file does not hold: the cache's read fails.
    if (number > blocks_.size()) RaiseError(ZARNIK_MEMOCORRUPT);
    TBlock* block = blocks_[number - 1].get();
    ++block->pinCount;
    return block;
  }
  void ReleaseBlock(TBlock* block) override {
    if (block->pinCount > 0) --block->pinCount;
  }
  TDataEngine& Engine() override { return engine_; }
  [[noreturn]] void RaiseError(TErrorCode code) override { engine_.RaiseError(code, std::string("Chains")); }

  // An empty file: no block, an empty free chain.
  void Clear() {
    blocks_.clear();
    header.freeBlockHead = 0;
    header.nextBlockNumber = 1;
  }
  // Block n for setting up and inspecting, without pinning it.
  TBlock& Block(uint32_t number) { return *blocks_.at(number - 1); }
  size_t BlockCount() const { return blocks_.size(); }
  // Appends blocks as the file holds them: cleared, header count unchanged.
  void AddBlocks(size_t count) {
    for (size_t i = 0; i < count; ++i) AddBlock();
  }
  int PinnedBlocks() const {
    int pinned = 0;
    for (const auto& block : blocks_) pinned += block->pinCount;
    return pinned;
  }
  // Block numbers along next links from first (at most the block count).
  std::vector<uint32_t> LinksFrom(uint32_t first) {
    std::vector<uint32_t> numbers;
    for (uint32_t n = first; n != 0 && n <= blocks_.size() && numbers.size() <= blocks_.size();
         n = Block(n).header.nextBlock)
      numbers.push_back(n);
    return numbers;
  }

  TBlobHeader header;
  struct Request {
    uint32_t number;
    uint32_t blocksNeeded;
  };
  std::vector<Request> requests;
  std::function<bool(uint32_t number)> tableChangedOnGet;

 private:
  TBlock* AddBlock() {
    blocks_.push_back(std::make_unique<TBlock>(BlockDataSize()));
    blocks_.back()->number = static_cast<uint32_t>(blocks_.size());
    return blocks_.back().get();
  }

  TDataEngine& engine_;
  int32_t blockSize_;
  std::vector<std::unique_ptr<TBlock>> blocks_;
};

}  // namespace zarnik::testing
