#include "engine/files/buffered_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/files/table_flush.h"
#include "tests/support/file_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using testing::FileCall;
using testing::Raised;
using testing::RaisedBy;
using testing::TestBufferedFile;
using testing::TestTable;

using TBytes = std::vector<uint8_t>;
using TNumbers = std::vector<uint32_t>;

TBytes Bytes(const TBuffer* buffer) {
  return TBytes(buffer->data.begin(), buffer->data.end());
}

class BufferedFileTest : public testing::EngineFileTest {
 protected:
  TestTable table{engine};
  TestBufferedFile file{engine, table};

  // Buffer n on disk is 16 bytes of the value n.
  static TBytes Image(uint32_t count) {
    TBytes bytes(TestBufferedFile::kHeaderSize, 0);
    TestBufferedFile::Put32(bytes.data(), count);
    for (uint32_t n = 1; n <= count; ++n) bytes.insert(bytes.end(), 16, static_cast<uint8_t>(n));
    return bytes;
  }
  void Open(uint32_t count, int32_t maxBuffers = 8) {
    WriteDisk("t.dat", Image(count));
    file.SetFileName(folder.File("t.dat"));
    file.exclusive = true;
    file.maxBuffers = maxBuffers;
    file.OpenFile();
    file.ReadHeader();
    file.ResetBuffers();
  }
  TBuffer* Get(uint32_t number, int direction = kDirectionNone, bool readAhead = false) {
    bool continueFlag = false;
    TBuffer* buffer = file.GetBuffer(nullptr, 0, number, direction, readAhead, continueFlag);
    EXPECT_TRUE(continueFlag);
    return buffer;
  }
  // Gets, changes and releases buffer n.
  void Change(uint32_t number, uint8_t value) {
    TBufferPin pin(Get(number));
    TBytes bytes(16, value);
    pin->SetData(bytes.data());
  }
  TNumbers Cached() {
    TNumbers numbers = file.RecencyOrder();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
  }
  uint8_t OnDisk(uint32_t number) { return ReadDisk("t.dat").at(512 + (number - 1) * 16); }
};

TEST_F(BufferedFileTest, AppendingPastTheEndNeverReads) {
  Open(0);
  TBufferPin pin(Get(1));
  EXPECT_EQ(pin->number, 1u);
  EXPECT_EQ(pin->pinCount, 1);
  EXPECT_FALSE(pin->dirty);
  EXPECT_EQ(Bytes(pin.get()), TBytes(16, 0));
  EXPECT_EQ(file.GetBufferCount(), 1u);
  TBufferPin second(Get(2));
  EXPECT_EQ(file.GetBufferCount(), 2u);
  EXPECT_EQ(services.Calls(FileCall::Read), 1);  // the header only
  EXPECT_EQ(file.Hits(), 2);
  EXPECT_EQ(file.GetDataEnd(), 512 + 2 * 16);
}

TEST_F(BufferedFileTest, BufferZeroAndBuffersBeyondTheFileAreCorrupt) {
  Open(3);
  bool continueFlag;
  EXPECT_EQ(RaisedBy([&] { file.GetBuffer(nullptr, 0, 0, 0, false, continueFlag); }).code,
            ZARNIK_FILECORRUPT);
  // The header claims more buffers than the file holds.
  file.count = 10;
  EXPECT_EQ(RaisedBy([&] { Get(6); }).code, ZARNIK_READERR);
  table.written = true;  // now short reads are allowed, and give no buffer
  Raised raised = RaisedBy([&] { Get(6); });
  EXPECT_EQ(raised.code, ZARNIK_FILECORRUPT);
  EXPECT_EQ(raised.tableName, "TestTable");
  file.bufferSize = 0;  // a header with a nonsense size
  EXPECT_EQ(RaisedBy([&] { Get(5); }).code, ZARNIK_FILECORRUPT);
}

TEST_F(BufferedFileTest, AFullCacheOfDirtyBuffersIsWrittenInRunsThenTheLeastRecentIsReused) {
  Open(12);
  for (uint32_t n : {1, 2, 3, 5, 6, 7, 8, 9}) Change(n, static_cast<uint8_t>(100 + n));
  int writes = services.Calls(FileCall::Write);
  TBufferPin pin(Get(12));
  EXPECT_EQ(services.Calls(FileCall::Write), writes + 2);  // 1-3 and 5-9
  EXPECT_EQ(file.WriteRuns(), 2);
  for (uint32_t n : {1, 2, 3, 5, 6, 7, 8, 9}) EXPECT_EQ(OnDisk(n), 100 + n);
  EXPECT_EQ(OnDisk(4), 4);
  EXPECT_EQ(Cached(), (TNumbers{2, 3, 5, 6, 7, 8, 9, 12}));
  EXPECT_EQ(Bytes(pin.get()), TBytes(16, 12));
  EXPECT_EQ(file.CacheLimit(), 8);
}

TEST_F(BufferedFileTest, DuringATransactionAFullDirtyCacheGrowsInsteadOfWriting) {
  Open(12);
  table.transaction = true;
  for (uint32_t n = 1; n <= 8; ++n) Change(n, 0xAA);
  int writes = services.Calls(FileCall::Write);
  TBufferPin pin(Get(12));
  EXPECT_EQ(services.Calls(FileCall::Write), writes);
  EXPECT_EQ(file.CacheLimit(), 8 + 64);
  EXPECT_EQ(file.CachedCount(), 9u);
  // Trimming writes nothing during the transaction either.
  pin.Release();
  file.TrimBuffers();
  EXPECT_EQ(services.Calls(FileCall::Write), writes);
  EXPECT_EQ(file.CachedCount(), 8u);  // only the clean buffer 12 went
  table.transaction = false;
  file.TrimBuffers();
  EXPECT_EQ(file.CacheLimit(), 8);
}

TEST_F(BufferedFileTest, ReadAheadReadsOnceAndHandsOutTheRequestedBufferLast) {
  struct Case {
    int direction;
    uint32_t number;
    int32_t readAhead;
    TNumbers recency;
  } cases[] = {
      {kDirectionBackward, 12, 5, {12, 11, 10, 9, 8}},
      {kDirectionForward, 3, 5, {3, 4, 5, 6, 7}},
      {kDirectionForward, 18, 5, {18, 19, 20}},               // never past the last buffer
      {kDirectionBackward, 2, 5, {2, 1}},                     // never before the first
      {kDirectionForward, 3, 50, {3, 4, 5, 6, 7, 8, 9, 10}},  // at most the read-ahead limit
      {kDirectionNone, 3, 5, {3}},
  };
  for (const Case& c : cases) {
    Open(20, 16);
    file.readAhead = c.readAhead;
    int reads = services.Calls(FileCall::Read);
    TBufferPin pin(Get(c.number, c.direction, true));
    EXPECT_EQ(pin->number, c.number);
    EXPECT_EQ(Bytes(pin.get()), TBytes(16, static_cast<uint8_t>(c.number)));
    EXPECT_EQ(services.Calls(FileCall::Read), reads + 1);
    EXPECT_EQ(file.RecencyOrder(), c.recency) << c.number;
    pin.Release();
    file.CloseFile();
  }
}

TEST_F(BufferedFileTest, ReadAheadRefreshesCleanCachedBuffersOnly) {
  table.exclusive = false;  // another writer shares the file
  Open(10);
  TBufferPin(Get(5));
  Change(6, 0x66);
  TBufferPin pinned(Get(7));
  // Another writer changes every buffer on disk.
  TBytes image = Image(10);
  std::fill(image.begin() + 512, image.end(), 0xEE);
  WriteDisk("t.dat", image);
  file.readAhead = 5;
  TBufferPin first(Get(4, kDirectionForward, true));
  auto contents = [&](uint32_t n) { return TBufferPin(Get(n))->data[0]; };
  EXPECT_EQ(contents(5), 0xEE);  // clean: refreshed
  EXPECT_EQ(contents(6), 0x66);  // dirty: keeps its change
  EXPECT_EQ(contents(7), 7);     // pinned: keeps its contents
  EXPECT_EQ(contents(8), 0xEE);
}

// An exclusive file read forward buffer by buffer takes the buffers after the
// second from one larger read; a shared one reads each, since another user
// may change the file between reads.
TEST_F(BufferedFileTest, ExclusiveForwardReadsShareOneReadOfTheDisk) {
  for (bool exclusive : {true, false}) {
    SCOPED_TRACE(exclusive ? "exclusive" : "shared");
    table.exclusive = exclusive;
    Open(100, 4);
    for (uint32_t n = 1; n <= 100; ++n)
      EXPECT_EQ(Bytes(TBufferPin(Get(n)).get()), TBytes(16, static_cast<uint8_t>(n)));
    EXPECT_EQ(file.PhysicalReads(), exclusive ? 2 : 100);
    file.CloseFile();
  }
}

// A buffer written back after the window was read is read again from the
// disk, not from the older copy.
TEST_F(BufferedFileTest, AWrittenBufferIsNotTakenFromAnOlderReadWindow) {
  Open(100, 4);
  TBufferPin(Get(1));
  TBufferPin(Get(2));  // reads the window over 2 .. 100
  Change(5, 0x55);
  file.FlushBuffers(false);
  for (uint32_t n = 6; n <= 9; ++n) TBufferPin(Get(n));  // pushes 5 out of the cache
  TNumbers cached = file.RecencyOrder();
  ASSERT_EQ(std::count(cached.begin(), cached.end(), 5u), 0);
  EXPECT_EQ(Bytes(TBufferPin(Get(5)).get()), TBytes(16, 0x55));
}

TEST_F(BufferedFileTest, AWriteThatFailsLeavesTheChangesInTheCache) {
  Open(4);
  Change(2, 0x22);
  Change(3, 0x33);
  services.FailNth(FileCall::Write, 1, ENOSPC);
  EXPECT_EQ(RaisedBy([&] { file.FlushBuffers(false); }).code, ZARNIK_WRITEERR);
  EXPECT_EQ(OnDisk(2), 2);
  EXPECT_TRUE(file.FlushBuffers(false));  // nothing was lost: written now
  EXPECT_EQ(OnDisk(2), 0x22);
  EXPECT_EQ(OnDisk(3), 0x33);
  EXPECT_FALSE(file.FlushBuffers(false));

  services.FailNth(FileCall::Read, 1, EIO);
  EXPECT_EQ(RaisedBy([&] { Get(4); }).code, ZARNIK_READERR);
  TBufferPin pin(Get(4));  // the failed read left nothing behind
  EXPECT_EQ(Bytes(pin.get()), TBytes(16, 4));
}

TEST_F(BufferedFileTest, ADirtyPinnedBufferStopsAFlushThatMayNotSkipIt) {
  Open(4);
  TBufferPin pin(Get(2));
  pin->dirty = true;
  EXPECT_FALSE(file.FlushBuffers(true));
  EXPECT_EQ(RaisedBy([&] { file.FlushBuffers(false); }).code, ZARNIK_FILECORRUPT);
}

TEST_F(BufferedFileTest, DroppedBuffersStayValidForWhoeverHoldsThem) {
  Open(4);
  TBufferPin held(Get(2));
  Change(3, 0x33);
  file.DropBuffers();
  EXPECT_EQ(file.CachedCount(), 0u);
  EXPECT_EQ(Bytes(held.get()), TBytes(16, 2));  // still readable; freed by its release
  // The cache fills again around it without touching its bytes.
  for (uint32_t n = 1; n <= 4; ++n)
    EXPECT_EQ(Bytes(TBufferPin(Get(n)).get()), TBytes(16, static_cast<uint8_t>(n)));
  EXPECT_EQ(Bytes(held.get()), TBytes(16, 2));
  held.Release();
  TBufferPin again(Get(3));
  EXPECT_EQ(Bytes(again.get()), TBytes(16, 3));  // the dirty change was dropped
  again.Release();
  file.DropBuffers();
  EXPECT_EQ(Bytes(TBufferPin(Get(2)).get()), TBytes(16, 2));
}

TEST_F(BufferedFileTest, BytesOfTrimmedBuffersServeNewOnesZeroFilled) {
  Open(4);
  for (uint32_t n = 1; n <= 4; ++n) TBufferPin(Get(n));
  file.maxBuffers = 1;
  file.TrimBuffers();
  EXPECT_EQ(file.CachedCount(), 1u);
  file.maxBuffers = 8;
  file.ResetBuffers();
  for (uint32_t n = 5; n <= 7; ++n) EXPECT_EQ(Bytes(TBufferPin(Get(n)).get()), TBytes(16, 0));
}

TEST_F(BufferedFileTest, ALongRunIsWrittenInPiecesOfAMegabyte) {
  constexpr uint32_t kCount = 300;
  constexpr size_t kSize = 4096;  // 256 buffers to the megabyte
  Open(0, kCount);
  file.bufferSize = kSize;
  for (uint32_t n = 1; n <= kCount; ++n) {
    TBufferPin pin(Get(n));
    TBytes bytes(kSize, static_cast<uint8_t>(n));
    pin->SetData(bytes.data());
  }
  int writes = services.Calls(FileCall::Write);
  EXPECT_TRUE(file.FlushBuffers(false));
  EXPECT_EQ(services.Calls(FileCall::Write), writes + 2);
  EXPECT_EQ(file.WriteRuns(), 2);
  TBytes disk = ReadDisk("t.dat");
  ASSERT_EQ(disk.size(), 512 + kSize * kCount);
  for (uint32_t n = 1; n <= kCount; ++n) {
    auto image = disk.begin() + 512 + static_cast<ptrdiff_t>((n - 1) * kSize);
    ASSERT_EQ(TBytes(image, image + kSize), TBytes(kSize, static_cast<uint8_t>(n))) << n;
  }
}

TEST_F(BufferedFileTest, ChangeDetectionRestartsTheCallerUnlessStrict) {
  Open(4);
  table.onRefresh = [&] {
    file.DropBuffers();
    return true;
  };
  TBufferPin(Get(1));
  EXPECT_EQ(table.refreshChecks, 0);  // strict: nobody asks
  table.strict = false;
  bool continueFlag = true;
  EXPECT_EQ(file.GetBuffer(nullptr, 0, 2, 0, false, continueFlag), nullptr);
  EXPECT_FALSE(continueFlag);
  EXPECT_EQ(table.refreshChecks, 1);
  TBufferPin(Get(4 + 1));  // appending asks nobody
  EXPECT_EQ(table.refreshChecks, 1);
}

TEST_F(BufferedFileTest, EncryptedTablesKeepOnlyCipherTextOnDisk) {
  table.SetPassword("secret");
  Open(0);
  for (uint32_t n = 1; n <= 3; ++n) {
    TBufferPin pin(Get(n));
    TBytes bytes(16, 0x41);
    pin->SetData(bytes.data());
  }
  file.FlushBuffers(false);
  TBytes disk = ReadDisk("t.dat");
  TBytes first(disk.begin() + 512, disk.begin() + 528);
  TBytes expected(16, 0x41);
  engine.EncryptBuffer(table.key, expected.data(), expected.size());
  EXPECT_EQ(first, expected);
  EXPECT_EQ(TBytes(disk.begin() + 528, disk.begin() + 544), first);  // the chain restarts per buffer
  file.DropBuffers();
  TBufferPin pin(Get(2));
  EXPECT_EQ(Bytes(pin.get()), TBytes(16, 0x41));
}

TEST_F(BufferedFileTest, EmptyingCutsTheFileAndForgetsItsBuffers) {
  Open(4);
  Change(2, 0x22);
  file.EmptyFile();
  file.count = 0;
  EXPECT_EQ(ReadDisk("t.dat").size(), 512u);
  EXPECT_EQ(file.CachedCount(), 0u);
  TBufferPin pin(Get(1));
  EXPECT_EQ(Bytes(pin.get()), TBytes(16, 0));
}

TEST_F(BufferedFileTest, StatisticsCountAndResetZeroesThem) {
  Open(6);
  file.readAhead = 3;
  TBufferPin(Get(1, kDirectionForward, true));
  TBufferPin(Get(2));
  TBufferPin(Get(3));
  TBufferPin(Get(6));
  EXPECT_EQ(file.Hits(), 2);
  EXPECT_EQ(file.Reads(), 2);
  EXPECT_EQ(file.PhysicalReads(), 2);
  EXPECT_EQ(file.BytesRead(), 4 * 16);
  file.ResetBuffers();
  EXPECT_EQ(file.Hits() + file.Reads() + file.PhysicalReads() + file.WriteRuns(), 0);
}

TEST_F(BufferedFileTest, OnlyWhatTheTableFlushSentToTheDiskSurvivesACrash) {
  services.RecordWrites();
  Open(4);
  Change(1, 0x11);
  TTableFlushOptions durable;
  durable.flushSystem = true;
  FlushTable(table, {&file, nullptr, nullptr}, durable);
  Change(2, 0x22);
  FlushTable(table, {&file, nullptr, nullptr}, {});  // written, not flushed
  services.Crash();
  EXPECT_EQ(OnDisk(1), 0x11);
  EXPECT_EQ(OnDisk(2), 2);
}

TEST(BufferedFileCacheLimitTest, FollowsTheBufferSize) {
  EXPECT_EQ(TBufferedFile::CacheLimitFor(100, 36, 32768, 8192), 240);
  EXPECT_EQ(TBufferedFile::CacheLimitFor(0, 36, 32768, 8192), 8192);
  EXPECT_EQ(TBufferedFile::CacheLimitFor(8, 36, 32768, 16), 16);
  EXPECT_EQ(TBufferedFile::CacheLimitFor(65536, 36, 8192, 8192), 1);
  EXPECT_EQ(TBufferedFile::CacheLimitFor(-36, 36, 8192, 8192), 8192);
}

class TableFlushTest : public BufferedFileTest {
 protected:
  TestBufferedFile index{engine, table};

  void SetUp() override {
    BufferedFileTest::SetUp();
    Open(2);
    WriteDisk("t.idx", Image(2));
    index.SetFileName(folder.File("t.idx"));
    index.OpenFile();
    index.ReadHeader();
    index.ResetBuffers();
  }
};

TEST_F(TableFlushTest, AChangedIndexMovesTheDataHeadersCounter) {
  bool continueFlag;
  TBufferPin(index.GetBuffer(nullptr, 0, 1, 0, false, continueFlag))->dirty = true;
  int flushes = services.Calls(FileCall::Flush);
  FlushTable(table, {&file, &index, nullptr}, {});
  EXPECT_EQ(index.headerWrites, 1);                     // its buffers were written
  EXPECT_EQ(file.headerWrites, 1);                      // forced because the index header was written
  EXPECT_EQ(services.Calls(FileCall::Flush), flushes);  // nobody asked for the system flush
  FlushTable(table, {&file, &index, nullptr}, {});
  EXPECT_EQ(file.headerWrites, 1);  // nothing changed since
  table.forceFlush = true;
  TBufferPin(index.GetBuffer(nullptr, 0, 2, 0, false, continueFlag))->dirty = true;
  FlushTable(table, {&file, &index, nullptr}, {});
  EXPECT_EQ(services.Calls(FileCall::Flush), flushes + 2);  // the session's setting: both files
}

TEST_F(TableFlushTest, DuringATransactionOnlyTheForcedHeadersAreMarked) {
  table.transaction = true;
  Change(1, 0x11);
  int writes = services.Calls(FileCall::Write);
  TTableFlushOptions options;
  options.forceDataHeader = true;
  options.flushSystem = true;
  FlushTable(table, {&file, &index, nullptr}, options);
  EXPECT_EQ(services.Calls(FileCall::Write), writes);
  EXPECT_TRUE(file.headerChanged);
  EXPECT_FALSE(index.headerChanged);
  table.transaction = false;
  int flushes = services.Calls(FileCall::Flush);
  FlushTable(table, {&file, &index, nullptr}, options);
  EXPECT_EQ(OnDisk(1), 0x11);
  EXPECT_EQ(services.Calls(FileCall::Flush), flushes + 1);  // the data file only: the index wrote nothing
}

}  // namespace
}  // namespace zarnik
