#include "engine/files/memory_file.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/core/data_engine.h"
#include "engine/files/engine_file.h"
#include "tests/support/raised.h"

namespace zarnik {
namespace {

using testing::RaisedBy;

class MemoryFileTest : public ::testing::Test {
 protected:
  TDataEngine engine;

  std::unique_ptr<TEngineFile> MakeFile(const std::string& name = "mem.dat") {
    auto file = std::make_unique<TEngineFile>(engine);
    file->inMemory = true;
    file->SetFileName(name);
    return file;
  }
  static std::vector<uint8_t> Bytes(size_t count, uint8_t first = 1) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i * 7);
    return bytes;
  }
};

TEST_F(MemoryFileTest, ReadsStopAtTheEndAndLeaveThePositionThere) {
  auto file = MakeFile();
  file->CreateFile();
  auto data = Bytes(100);
  file->WriteBuffer(data.data(), 100);
  std::vector<uint8_t> out(100, 0xEE);
  EXPECT_EQ(file->ReadBuffer(out.data(), 10, true), 0);  // at the size
  file->Seek(kSeekFromStart, 90);
  EXPECT_EQ(file->ReadBuffer(out.data(), 50, true), 10);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10),
            std::vector<uint8_t>(data.begin() + 90, data.end()));
  EXPECT_EQ(file->Seek(kSeekFromCurrent, 0), 100);
  file->Seek(kSeekFromStart, -5);
  EXPECT_EQ(file->ReadBuffer(out.data(), 10, true), 0);  // a negative position reads nothing
  file->Seek(kSeekFromStart, 90);
  EXPECT_EQ(RaisedBy([&] { file->ReadBuffer(out.data(), 50, false); }).code, ZARNIK_READERR);
}

TEST_F(MemoryFileTest, BytesCrossBlockBoundariesAndAllocationGrowsByBlocks) {
  auto file = MakeFile();
  file->CreateFile();
  auto& memory = static_cast<TMemoryFile&>(*file->File());
  auto data = Bytes(70000);
  file->Seek(kSeekFromStart, 65000);
  file->WriteBuffer(data.data(), 70000);
  EXPECT_EQ(file->GetFileSize(), 135000);
  EXPECT_EQ(memory.AllocatedBytes(), 3 * 65536);
  std::vector<uint8_t> out(70000);
  file->Seek(kSeekFromStart, 65000);
  EXPECT_EQ(file->ReadBuffer(out.data(), 70000, false), 70000);
  EXPECT_EQ(out, data);
  std::vector<uint8_t> gap(1000, 0xEE);
  file->Seek(kSeekFromStart, 64000);
  file->ReadBuffer(gap.data(), 1000, false);
  EXPECT_EQ(gap, std::vector<uint8_t>(1000, 0));  // never written: zeros

  file->Seek(kSeekFromStart, 0);
  file->WriteBuffer(nullptr, 0);
  EXPECT_EQ(memory.AllocatedBytes(), 0);  // truncating to 0 gives every block back
}

TEST_F(MemoryFileTest, TruncatingFromTheEndCutsAndTheCutBytesComeBackAsZeros) {
  auto file = MakeFile();
  file->CreateFile();
  auto data = Bytes(1000);
  file->WriteBuffer(data.data(), 1000);
  EXPECT_EQ(file->Seek(kSeekFromEnd, -300), 700);
  file->WriteBuffer(nullptr, 0);
  EXPECT_EQ(file->GetFileSize(), 700);
  // Growing again past the cut shows zeros, not the old tail.
  file->Seek(kSeekFromStart, 900);
  file->WriteBuffer(data.data(), 10);
  std::vector<uint8_t> tail(200);
  file->Seek(kSeekFromStart, 700);
  file->ReadBuffer(tail.data(), 200, false);
  EXPECT_EQ(tail, std::vector<uint8_t>(200, 0));
}

TEST_F(MemoryFileTest, WritesBeyondTheLargestAllocationFailWithoutAllocating) {
  auto file = MakeFile();
  file->CreateFile();
  uint8_t byte = 1;
  file->Seek(kSeekFromStart, int64_t{1} << 40);
  EXPECT_EQ(RaisedBy([&] { file->WriteBuffer(&byte, 1); }).code, ZARNIK_WRITEERR);
  EXPECT_EQ(RaisedBy([&] { file->WriteBuffer(nullptr, 0); }).code, ZARNIK_WRITEERR);
  file->Seek(kSeekFromStart, -1);
  EXPECT_EQ(RaisedBy([&] { file->WriteBuffer(&byte, 1); }).code, ZARNIK_WRITEERR);
  EXPECT_EQ(static_cast<TMemoryFile*>(file->File())->AllocatedBytes(), 0);
  EXPECT_EQ(file->GetFileSize(), 0);
}

TEST_F(MemoryFileTest, HandleIdsCountUpAndAreNotReused) {
  MakeFile()->CreateFile();  // handle 1, closed again at once
  auto first = MakeFile();
  first->OpenFile();
  std::vector<int32_t> ids{first->Handle()};
  {
    auto second = MakeFile();
    second->OpenFile();
    ids.push_back(second->Handle());
  }
  auto third = MakeFile();
  third->OpenFile();
  ids.push_back(third->Handle());
  EXPECT_EQ(ids, (std::vector<int32_t>{2, 3, 4}));
}

TEST_F(MemoryFileTest, ContentsOutliveTheLastCloseUnlessTemporary) {
  auto data = Bytes(10);
  {
    auto file = MakeFile("keep.dat");
    file->CreateFile();
    file->WriteBuffer(data.data(), 10);
  }
  auto again = MakeFile("KEEP.DAT ");
  again->OpenFile();
  std::vector<uint8_t> out(10);
  EXPECT_EQ(again->ReadBuffer(out.data(), 10, false), 10);
  EXPECT_EQ(out, data);

  {
    auto scratch = MakeFile("scratch.dat");
    scratch->temporary = true;
    scratch->CreateFile();
    EXPECT_TRUE(scratch->Exists());
  }
  auto gone = MakeFile("scratch.dat");
  EXPECT_FALSE(gone->Exists());
  EXPECT_EQ(RaisedBy([&] { gone->OpenFile(); }).code, ZARNIK_OSENOENT);
}

TEST_F(MemoryFileTest, RegionLocksRefuseEveryOverlap) {
  auto file = MakeFile();
  file->CreateFile();
  ASSERT_TRUE(file->LockRegion(true, 10, 100));  // [100, 109]
  struct Case {
    int64_t offset, length;
    bool locks;
  } cases[] = {
      {100, 1, false},                    // same start
      {90, 11, false},                    // ends on the first byte
      {109, 5, false},                    // starts on the last byte
      {95, 30, false},                    // covers it
      {90, 10, true},                     // ends just before
      {110, 1, true},                     // starts just after
      {0, 0, false},                      // empty
      {-1, 5, false},                     // negative
      {0x7FFFFFFFFFFFFFF0, 0x20, false},  // runs past the largest offset
      {0x7FFFFFFFFFFFFFF0, 0x10, true},   // ends on it
  };
  for (const Case& c : cases) {
    EXPECT_EQ(file->LockRegion(true, c.length, c.offset), c.locks) << c.offset << "+" << c.length;
    if (c.locks) {
      EXPECT_TRUE(file->LockRegion(false, c.length, c.offset));
    }
  }
  EXPECT_FALSE(file->LockRegion(false, 10, 101));  // no region starts there
  EXPECT_TRUE(file->LockRegion(false, 1, 100));    // the length is not compared
  EXPECT_EQ(file->File()->LockedRegionCount(), 0u);
}

}  // namespace
}  // namespace zarnik
