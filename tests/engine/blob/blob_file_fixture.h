// A BLOB file on disk for the chain and file tests, with the chains' view of
// it counting pins and read-ahead requests, and able to report that another
// user changed the table.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/blob/blob_chain.h"
#include "engine/blob/blob_file.h"
#include "engine/blob/block.h"
#include "tests/support/file_fixture.h"
#include "tests/support/test_table.h"

namespace zarnik::testing {

class CountingBlocks : public TBlobFileBlocks {
 public:
  using TBlobFileBlocks::TBlobFileBlocks;

  TBlock* GetBlock(uint32_t number, uint32_t blocksNeeded) override {
    requests.push_back({number, blocksNeeded});
    if (tableChangedOnGet && tableChangedOnGet(number)) return nullptr;
    TBlock* block = TBlobFileBlocks::GetBlock(number, blocksNeeded);
    if (block != nullptr) ++pinned;
    return block;
  }
  void ReleaseBlock(TBlock* block) override {
    --pinned;
    TBlobFileBlocks::ReleaseBlock(block);
  }

  struct Request {
    uint32_t number;
    uint32_t blocksNeeded;
  };
  std::vector<Request> requests;
  std::function<bool(uint32_t number)> tableChangedOnGet;
  int pinned = 0;
};

class BlobFileTest : public EngineFileTest {
 protected:
  // A new BLOB file of the folder.
  void Create(uint32_t blockSize, const std::string& name = "t.blb") {
    Attach(blockSize, name);
    file->CreateFile();
  }
  // An existing BLOB file of the folder, opened.
  void Open(uint32_t blockSize, const std::string& name = "t.blb", bool exclusive = true) {
    Attach(blockSize, name);
    file->exclusive = exclusive;
    file->OpenFile();
  }
  // Writes the blocks and the header, and closes the file.
  void Close() {
    file->FlushBuffers(false);
    file->WriteHeader(false);
    file->CloseFile();
  }

  // Block n as cached (got and released again): for setting up damage and
  // for looking at the result.
  TBlock& Block(uint32_t number) {
    bool continueFlag = true;
    TBufferPin pin(file->GetBuffer(nullptr, 0, number, kDirectionNone, false, continueFlag));
    pin->dirty = true;
    return static_cast<TBlock&>(*pin.get());
  }
  // Appends count blocks.
  void AddBlocks(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) Block(file->Header().nextBlockNumber);
  }
  // Block numbers along next links from first (at most the block count).
  std::vector<uint32_t> LinksFrom(uint32_t first) {
    std::vector<uint32_t> numbers;
    for (uint32_t n = first;
         n != 0 && n < file->Header().nextBlockNumber && numbers.size() <= file->GetBufferCount();
         n = Block(n).header.nextBlock)
      numbers.push_back(n);
    return numbers;
  }
  std::vector<uint32_t> FreeChain() { return LinksFrom(file->Header().freeBlockHead); }

  TestTable table{engine};
  std::unique_ptr<TBlobFile> file;
  std::unique_ptr<CountingBlocks> blocks;
  std::unique_ptr<TBlobChain> chain;

 private:
  void Attach(uint32_t blockSize, const std::string& name) {
    chain.reset();
    blocks.reset();
    file = std::make_unique<TBlobFile>(engine, table, blockSize);
    file->SetFileName(folder.File(name));
    file->exclusive = true;
    blocks = std::make_unique<CountingBlocks>(*file, nullptr);
    chain = std::make_unique<TBlobChain>(*blocks);
  }
};

}  // namespace zarnik::testing
