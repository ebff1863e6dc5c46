#include "engine/blob/blob_file.h"

#include <gtest/gtest.h>

#include "platform/byte_order.h"
#include "tests/engine/blob/blob_file_fixture.h"
#include "tests/support/raised.h"

namespace zarnik {
namespace {

using testing::RaisedBy;
using Bytes = std::vector<uint8_t>;
using namespace platform;

constexpr uint32_t kBlockSize = 64;
constexpr uint32_t D = kBlockSize - 18;

Bytes Text(size_t length) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>('a' + i % 26);
  return bytes;
}

class BlobFileOnDiskTest : public testing::BlobFileTest {
 protected:
  TBlobReference WriteValue(const Bytes& value, uint32_t revision) {
    TBlobReference reference{false, 0, revision};
    chain->WriteValue(reference, value, 0);
    return reference;
  }
  // The header bytes on disk with one field changed.
  void PatchHeader(size_t offset, uint32_t value, size_t width = 4) {
    Bytes disk = ReadDisk("t.blb");
    for (size_t i = 0; i < width; ++i) disk[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    WriteDisk("t.blb", disk);
  }
};

TEST_F(BlobFileOnDiskTest, NewFileHoldsItsHeaderThenTheBlocksAndReopens) {
  Create(kBlockSize);
  TBlobReference reference = WriteValue(Text(D + 5), 9);
  Close();

  Bytes disk = ReadDisk("t.blb");
  ASSERT_EQ(disk.size(), 512 + 2 * kBlockSize);
  EXPECT_EQ(GetUInt32(disk, TBlobHeader::kChangeCountOffset), 1u);
  EXPECT_EQ(disk[TBlobHeader::kVersionOffset], 6);
  EXPECT_EQ(GetUInt32(disk, TBlobHeader::kFreeBlockHeadOffset), 0u);
  EXPECT_EQ(GetUInt32(disk, TBlobHeader::kNextBlockNumberOffset), 3u);
  EXPECT_EQ(disk[TBlobHeader::kHeaderModifiedOffset], 1);  // the flag as it stood when written
  // Block 1: no previous, next 2, all data bytes used, revision 9, the length.
  const Bytes first = {0, 0, 0, 0, 2, 0, 0, 0, D, 0, 9, 0, 0, 0, D + 5, 0, 0, 0, 'a', 'b'};
  EXPECT_EQ(Bytes(disk.begin() + 512, disk.begin() + 512 + first.size()), first);
  // Block 2: previous 1, the last 5 bytes.
  EXPECT_EQ(GetUInt32(disk, 512 + kBlockSize + TBlockHeader::kPreviousBlockOffset), 1u);
  EXPECT_EQ(GetUInt16(disk, 512 + kBlockSize + TBlockHeader::kUsedBytesOffset), 5u);

  Open(kBlockSize);
  file->CheckHeader();
  EXPECT_FALSE(file->HeaderIsChanged());
  EXPECT_EQ(chain->ReadValue(reference, 0, {}), Text(D + 5));
}

TEST_F(BlobFileOnDiskTest, OpeningRefusesOtherVersionsAndSignatures) {
  Create(kBlockSize);
  Close();
  PatchHeader(TBlobHeader::kVersionOffset, 5, 1);
  testing::Raised raised = RaisedBy([&] { Open(kBlockSize); });
  EXPECT_EQ(raised.code, ZARNIK_OLDVERSION);
  EXPECT_EQ(raised.tableName, "TestTable");
  file->CloseFile();
  PatchHeader(TBlobHeader::kVersionOffset, 6, 1);
  PatchHeader(TBlobHeader::kSignatureOffset, 0x12345678);
  EXPECT_EQ(RaisedBy([&] { Open(kBlockSize); }).code, ZARNIK_BADSIGNATURE);
}

TEST_F(BlobFileOnDiskTest, ShortFilesAndImpossibleBlockSizesRaise) {
  Create(kBlockSize);
  TBlobReference reference = WriteValue(Text(2 * D), 1);
  Close();
  // A block size the table's header may claim after damage.
  for (uint32_t blockSize : {10u, 70000u}) {
    Open(blockSize);
    EXPECT_EQ(RaisedBy([&] { chain->ReadValue(reference, 0, {}); }).code, ZARNIK_MEMOCORRUPT) << blockSize;
    file->CloseFile();
  }
  Bytes disk = ReadDisk("t.blb");
  disk.resize(100);
  WriteDisk("t.blb", disk);
  EXPECT_EQ(RaisedBy([&] { Open(kBlockSize); }).code, ZARNIK_READERR);
}

TEST_F(BlobFileOnDiskTest, HeaderCheckRefusesAFreeChainHeadOutsideTheFile) {
  Create(kBlockSize);
  WriteValue(Text(3 * D), 1);
  Close();
  PatchHeader(TBlobHeader::kFreeBlockHeadOffset, 4);
  Open(kBlockSize);
  EXPECT_EQ(RaisedBy([&] { file->CheckHeader(); }).code, ZARNIK_HEADERCORRUPT);
}

TEST_F(BlobFileOnDiskTest, HeaderWritesCountAndOtherUsersSeeThem) {
  Create(kBlockSize);
  Close();
  Open(kBlockSize, "t.blb", false);
  EXPECT_FALSE(file->WriteHeader(false));
  EXPECT_TRUE(file->WriteHeader(true));
  file->MarkHeaderChanged();
  EXPECT_TRUE(file->WriteHeader(false));
  EXPECT_EQ(file->Header().changeCount, 4u);  // create 1, forced 2, marked 3, written 4

  testing::TestTable otherTable(engine);
  TBlobFile other(engine, otherTable, kBlockSize);
  other.SetFileName(folder.File("t.blb"));
  other.OpenFile();
  EXPECT_FALSE(other.HeaderChanged());
  file->WriteHeader(true);
  EXPECT_TRUE(other.HeaderChanged());
  other.CloseFile();
}

TEST_F(BlobFileOnDiskTest, EmptyingCutsTheFileBackToItsHeader) {
  Create(kBlockSize);
  WriteValue(Text(3 * D), 1);
  Close();
  Open(kBlockSize);
  file->EmptyFile();
  EXPECT_EQ(file->Header().nextBlockNumber, 1u);
  EXPECT_EQ(file->Header().freeBlockHead, 0u);
  EXPECT_EQ(file->Header().changeCount, 0u);
  EXPECT_TRUE(file->HeaderIsChanged());
  EXPECT_EQ(file->GetFileSize(), 512);
}

TEST_F(BlobFileOnDiskTest, EncryptedFileHoldsOnlyCipherText) {
  table.SetPassword("Secret1");
  Create(kBlockSize);
  TBlobReference reference = WriteValue(Text(2 * D), 3);
  Close();
  Bytes disk = ReadDisk("t.blb");
  EXPECT_NE(disk[TBlobHeader::kVersionOffset], 6);
  EXPECT_EQ(std::search(disk.begin(), disk.end(), Text(8).begin(), Text(8).end()), disk.end());

  Open(kBlockSize);
  EXPECT_EQ(file->Header().nextBlockNumber, 3u);
  EXPECT_EQ(chain->ReadValue(reference, 0, {}), Text(2 * D));
}

TEST_F(BlobFileOnDiskTest, HeaderVerificationReportsAndRepairsSizeCountAndFreeHead) {
  using Lines = std::vector<std::string>;
  struct Case {
    const char* what;
    uint32_t nextBlock, freeHead;
    size_t extraBytes;  // beyond 2 whole blocks
    Lines lines;
  } cases[] = {
      {"healthy", 3, 2, 0, {}},
      {"half a block more, count 5",
       5,
       0,
       kBlockSize / 2,
       {"BLOB blocks not aligned on even block size boundaries", "Physical BLOB block count not correct"}},
      {"free head past the end", 3, 3, 0, {"Invalid free BLOB block pointer in header"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (bool verifyOnly : {true, false}) {
      Create(kBlockSize);
      AddBlocks(2);
      Close();
      Bytes disk = ReadDisk("t.blb");
      disk.resize(disk.size() + c.extraBytes, 0);
      WriteDisk("t.blb", disk);
      PatchHeader(TBlobHeader::kNextBlockNumberOffset, c.nextBlock);
      PatchHeader(TBlobHeader::kFreeBlockHeadOffset, c.freeHead);
      Open(kBlockSize);
      Lines lines;
      bool valid =
          file->VerifyHeaderWith([&](const std::string& line) { lines.push_back(line); }, verifyOnly);
      EXPECT_EQ(valid, c.lines.empty());
      Lines expected = c.lines;
      if (!verifyOnly)
        for (std::string& line : expected) line += ", error fixed";
      EXPECT_EQ(lines, expected);
      if (!verifyOnly) {
        EXPECT_EQ(file->GetFileSize(), 512 + 2 * kBlockSize);
        EXPECT_EQ(file->Header().nextBlockNumber, 3u);
        EXPECT_TRUE(file->IsValidBlock(file->Header().freeBlockHead));
        EXPECT_TRUE(file->VerifyHeaderWith({}, true));
      }
      file->CloseFile();
    }
  }
}

TEST_F(BlobFileOnDiskTest, CacheLimitFollowsTheBlockSize) {
  struct Case {
    uint32_t blockSize;
    int32_t limit;
  } cases[] = {{512, 32768 / (494 + 56)}, {64, 32768 / (46 + 56)}, {65536, 1}};
  for (const Case& c : cases) {
    TBlobFile sized(engine, table, c.blockSize);
    EXPECT_EQ(sized.GetMaxBufferCount(), c.limit) << c.blockSize;
    EXPECT_EQ(sized.GetBufferSize(), static_cast<int32_t>(c.blockSize - 18));
  }
}

TEST_F(BlobFileOnDiskTest, AppendingBeyondTheLargestTableFileRaisesTableFull) {
  Create(kBlockSize);
  Close();
  uint64_t blocksToTheLimit = (engine.Limits().MaxTableFileSize - 512) / kBlockSize + 2;
  PatchHeader(TBlobHeader::kNextBlockNumberOffset, static_cast<uint32_t>(blocksToTheLimit));
  Open(kBlockSize);
  EXPECT_EQ(RaisedBy([&] { WriteValue(Text(4), 1); }).code, ZARNIK_TABLEFULL);
  EXPECT_EQ(blocks->pinned, 0);
}

}  // namespace
}  // namespace zarnik
