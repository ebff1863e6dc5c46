#include "engine/blob/blob_chain.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "engine/blob/block.h"
#include "tests/engine/blob/blob_file_fixture.h"
#include "tests/support/raised.h"

namespace zarnik {
namespace {

using testing::RaisedBy;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kBlockSize = 64;
constexpr int32_t D = kBlockSize - 18;  // 46 data bytes per block

Bytes Pattern(size_t length, uint8_t seed = 1) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

class BlobChainTest : public testing::BlobFileTest {
 protected:
  void SetUp() override {
    BlobFileTest::SetUp();
    Create(kBlockSize);
  }
  TBlobReference Write(const Bytes& value, uint32_t revision, int32_t firstBlock = 0,
                       uint8_t compression = 0) {
    TBlobReference reference{false, firstBlock, revision};
    chain->WriteValue(reference, value, compression);
    EXPECT_EQ(blocks->pinned, 0);
    return reference;
  }
  Bytes Read(TBlobReference reference, uint8_t compression = 0) {
    Bytes value = chain->ReadValue(reference, compression, {});
    EXPECT_EQ(blocks->pinned, 0);
    return value;
  }
  // An empty file again, holding one value of revision 1.
  TBlobReference FreshValue(size_t length) {
    Create(kBlockSize, "fresh" + std::to_string(++fresh) + ".blb");
    return Write(Pattern(length), 1);
  }

  int fresh = 0;
};

TEST_F(BlobChainTest, ValuesFillWholeBlocksInChainOrder) {
  struct Case {
    size_t length;
    std::vector<uint16_t> usedBytes;
  } cases[] = {
      {1, {1}}, {D - 1, {D - 1}}, {D, {D}}, {D + 1, {D, 1}}, {3 * D, {D, D, D}}, {3 * D + 5, {D, D, D, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Bytes value = Pattern(c.length);
    TBlobReference reference = Write(value, 7);
    EXPECT_TRUE(reference.hasValue);
    std::vector<uint32_t> blocks = LinksFrom(reference.firstBlock);
    ASSERT_EQ(blocks.size(), c.usedBytes.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
      const TBlockHeader& h = Block(blocks[i]).header;
      EXPECT_EQ(h.usedBytes, c.usedBytes[i]);
      EXPECT_EQ(h.blobRevision, 7u);
      EXPECT_EQ(h.blobLength, i == 0 ? c.length : 0u);
      EXPECT_EQ(h.previousBlock, i == 0 ? 0u : blocks[i - 1]);
    }
    EXPECT_EQ(Read(reference), value);
  }
}

TEST_F(BlobChainTest, ShorterValueKeepsItsFirstBlockAndFreesTheRest) {
  TBlobReference reference = Write(Pattern(3 * D), 1);
  std::vector<uint32_t> old = LinksFrom(reference.firstBlock);
  ASSERT_EQ(old.size(), 3u);

  reference.revision = 2;
  chain->WriteValue(reference, Pattern(10, 9), 0);
  EXPECT_EQ(reference.firstBlock, static_cast<int32_t>(old[0]));
  EXPECT_EQ(Block(old[0]).header.nextBlock, 0u);
  // The old third block heads the free chain and links to the old second.
  EXPECT_EQ(FreeChain(), (std::vector<uint32_t>{old[2], old[1]}));
  EXPECT_EQ(Block(old[2]).header.blobRevision, 2u);
  EXPECT_EQ(Read(reference), Pattern(10, 9));
  EXPECT_EQ(blocks->pinned, 0);
}

TEST_F(BlobChainTest, LongerValueReusesItsChainThenFreedBlocksThenAppends) {
  TBlobReference a = Write(Pattern(D), 1);      // block 1
  TBlobReference b = Write(Pattern(2 * D), 2);  // blocks 2, 3
  chain->WriteValue(b, {}, 0);                  // frees 2 then 3: the free chain is 3, 2
  EXPECT_FALSE(b.hasValue);
  EXPECT_EQ(b.firstBlock, 0);
  EXPECT_EQ(FreeChain(), (std::vector<uint32_t>{3, 2}));

  a.revision = 3;
  Bytes longer = Pattern(4 * D, 5);
  chain->WriteValue(a, longer, 0);
  EXPECT_EQ(LinksFrom(a.firstBlock), (std::vector<uint32_t>{1, 3, 2, 4}));
  EXPECT_EQ(file->Header().freeBlockHead, 0u);
  EXPECT_EQ(file->Header().nextBlockNumber, 5u);
  EXPECT_EQ(Read(a), longer);
}

TEST_F(BlobChainTest, ReadAheadAsksForTheBlocksStillNeeded) {
  TBlobReference reference = Write(Pattern(3 * D), 1);
  blocks->requests.clear();
  Read(reference);
  ASSERT_EQ(blocks->requests.size(), 3u);
  EXPECT_EQ(blocks->requests[1].blocksNeeded, 2u);
  EXPECT_EQ(blocks->requests[2].blocksNeeded, 1u);
}

TEST_F(BlobChainTest, CompressedValueStoresTheCompressedBytes) {
  std::string text;
  while (text.size() < 2000) text += "the record and the index of the table; ";
  Bytes value(text.begin(), text.end());
  TBlobReference reference = Write(value, 1, 0, 6);
  uint32_t stored = Block(reference.firstBlock).header.blobLength;
  EXPECT_LT(stored, value.size());
  EXPECT_EQ(LinksFrom(reference.firstBlock).size(), (stored + D - 1) / D);
  EXPECT_EQ(Read(reference, 6), value);
}

TEST_F(BlobChainTest, RewrittenValueIsReadAfterReloadingTheRecord) {
  TBlobReference current = Write(Pattern(2 * D), 4);
  TBlobReference stale = current;
  stale.revision = 3;
  int reloads = 0;
  auto reload = [&]() -> std::optional<TBlobReference> {
    ++reloads;
    return current;
  };
  EXPECT_EQ(chain->ReadValue(stale, 0, reload), Pattern(2 * D));
  EXPECT_EQ(reloads, 1);
  EXPECT_EQ(stale.revision, 4u);

  // Another user changed the table while the chain was read: the same retry.
  stale.revision = 3;
  int gets = 0;
  blocks->tableChangedOnGet = [&](uint32_t) { return ++gets == 2; };
  EXPECT_EQ(chain->ReadValue(current, 0, reload), Pattern(2 * D));
  EXPECT_EQ(blocks->pinned, 0);
}

TEST_F(BlobChainTest, RevisionMismatchAfterReloadOrRecordGoneRaises) {
  TBlobReference stale = Write(Pattern(5), 4);
  stale.revision = 3;
  EXPECT_EQ(RaisedBy([&] { chain->ReadValue(stale, 0, [&] { return stale; }); }).code, ZARNIK_MEMOCORRUPT);
  EXPECT_EQ(RaisedBy([&] { chain->ReadValue(stale, 0, [] { return std::nullopt; }); }).code,
            ZARNIK_KEYORRECDELETED);
  EXPECT_EQ(blocks->pinned, 0);
}

TEST_F(BlobChainTest, BlockDataAccessStaysInsideTheDataArea) {
  AddBlocks(1);
  TBlock& block = Block(1);
  Bytes bytes(D + 1, 1);
  EXPECT_EQ(RaisedBy([&] { block.WriteData(0, D + 1, bytes.data()); }).code, ZARNIK_INVALIDBLOBLEN);
  EXPECT_EQ(RaisedBy([&] { block.WriteData(1, D, bytes.data()); }).code, ZARNIK_INVALIDBLOBLEN);
  block.WriteData(0, 10, bytes.data());
  EXPECT_EQ(block.header.usedBytes, 10);
  EXPECT_EQ(RaisedBy([&] { block.ReadData(0, D + 1, bytes.data()); }).code, ZARNIK_INVALIDBLOBLEN);
  EXPECT_EQ(block.ReadData(0, D, bytes.data()), 10);  // cut to the bytes in use
  block.header.usedBytes = 60000;                     // damaged: more than the area
  EXPECT_EQ(block.ReadData(0, D, bytes.data()), D);
}

// Chains damaged on disk: each case rewires a healthy 3-block chain (blocks 1
// to 3 of a file of 5 blocks) and expects the read to raise, not hang.
TEST_F(BlobChainTest, DamagedChainsRaiseOnRead) {
  struct Case {
    const char* what;
    std::function<void()> damage;
    TErrorCode expected;
  } cases[] = {
      {"link past the file", [this] { Block(2).header.nextBlock = 9; }, ZARNIK_MEMOCORRUPT},
      {"negative link", [this] { Block(2).header.nextBlock = 0xFFFFFFFE; }, ZARNIK_MEMOCORRUPT},
      {"block linked to itself", [this] { Block(2).header.nextBlock = 2; }, ZARNIK_MEMOCORRUPT},
      {"loop to the first block", [this] { Block(2).header.nextBlock = 1; }, ZARNIK_MEMOCORRUPT},
      {"chain ends early", [this] { Block(2).header.nextBlock = 0; }, ZARNIK_ENDOFBLOB},
      {"block holds too few bytes", [this] { Block(2).header.usedBytes = D - 1; }, ZARNIK_ENDOFBLOB},
      {"length beyond every block", [this] { Block(1).header.blobLength = 0xFFFFFFF0; }, ZARNIK_ENDOFBLOB},
      {"link to a block of another value",
       [this] {
         Block(2).header.nextBlock = 4;
         Block(4).header.blobRevision = 5;
         Block(4).header.usedBytes = D;
       },
       ZARNIK_MEMOCORRUPT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBlobReference reference = FreshValue(3 * D);
    AddBlocks(2);
    c.damage();
    EXPECT_EQ(RaisedBy([&] { chain->ReadValue(reference, 0, [&] { return reference; }); }).code, c.expected);
    EXPECT_EQ(blocks->pinned, 0);
  }
}

TEST_F(BlobChainTest, BadReferencesRaiseCorruption) {
  Write(Pattern(D), 1);
  for (int32_t first : {-3, 2, 1000}) {
    SCOPED_TRACE(first);
    TBlobReference reference{true, first, 1};
    EXPECT_EQ(RaisedBy([&] { chain->ReadValue(reference, 0, {}); }).code, ZARNIK_MEMOCORRUPT);
    EXPECT_EQ(RaisedBy([&] { chain->WriteValue(reference, Pattern(3), 0); }).code, ZARNIK_MEMOCORRUPT);
  }
}

TEST_F(BlobChainTest, LoopingOldChainRaisesOnRewriteAndRemove) {
  TBlobReference reference = Write(Pattern(3 * D), 1);
  Block(3).header.nextBlock = 2;  // 1 -> 2 -> 3 -> 2 -> ...
  EXPECT_EQ(RaisedBy([&] { chain->WriteValue(reference, Pattern(5 * D), 0); }).code, ZARNIK_MEMOCORRUPT);
  EXPECT_EQ(blocks->pinned, 0);

  Block(3).header.nextBlock = 2;
  TBlobReference removed = reference;
  EXPECT_EQ(RaisedBy([&] { chain->WriteValue(removed, {}, 0); }).code, ZARNIK_MEMOCORRUPT);
  EXPECT_EQ(blocks->pinned, 0);
  // What was freed before the loop was met forms a free chain that ends.
  std::vector<uint32_t> free = FreeChain();
  EXPECT_LE(free.size(), 3u);
  EXPECT_EQ(Block(free.back()).header.nextBlock, 0u);
}

TEST_F(BlobChainTest, ShortenedValueWhoseOldTailLoopsBackRaises) {
  TBlobReference reference = Write(Pattern(3 * D), 1);
  Block(3).header.nextBlock = 1;  // the tail leads back to the first block
  EXPECT_EQ(RaisedBy([&] { chain->WriteValue(reference, Pattern(D), 0); }).code, ZARNIK_MEMOCORRUPT);
  // The first block, still in use, never reached the free chain->
  std::vector<uint32_t> free = FreeChain();
  EXPECT_EQ(std::count(free.begin(), free.end(), 1u), 0);
}

TEST_F(BlobChainTest, DamagedFreeChainRaisesOnAllocation) {
  struct Case {
    const char* what;
    uint32_t head;
    uint32_t headLink;
  } cases[] = {{"head past the file", 7, 0},
               {"free block linked past the file", 2, 9},
               {"free block linked to itself", 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshValue(2 * D);
    file->SetFreeBlockHead(c.head);
    Block(2).header.nextBlock = c.headLink;
    TBlobReference other{false, 0, 2};
    EXPECT_EQ(RaisedBy([&] { chain->WriteValue(other, Pattern(4), 0); }).code, ZARNIK_MEMOCORRUPT);
    EXPECT_EQ(blocks->pinned, 0);
  }
}

}  // namespace
}  // namespace zarnik
