#include "engine/locks/lock_ranges.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

struct RangeCase {
  const char* what;
  TLockRange (*range)(const TLockRanges&);
  TLockRange normal;
  TLockRange large;
};

constexpr int64_t kTop = 0x7FFFFFFFFFFFFFFF;

const RangeCase kRangeCases[] = {
    {"lock file span",
     [](const TLockRanges& r) { return r.LockFileSpan(); },
     {0xFFFF0000, 65535},
     {kTop - 65535, 65535}},
    {"transaction byte of slot 1",
     [](const TLockRanges& r) { return r.TransactionByte(1); },
     {0xFFFEFFFF, 1},
     {0x7FFFFFFFFFFEFFFF, 1}},
    {"transaction byte of slot 4096",
     [](const TLockRanges& r) { return r.TransactionByte(4096); },
     {0xFFFEF000, 1},
     {0x7FFFFFFFFFFEF000, 1}},
    {"transaction span",
     [](const TLockRanges& r) { return r.TransactionSpan(); },
     {0xFFFEF000, 4096},
     {0x7FFFFFFFFFFEF000, 4096}},
    {"table span of slot 1",
     [](const TLockRanges& r) { return r.TableSpan(1); },
     {0xFFFEF000 - 65535, 65535},
     {0x7FFFFFFFFFFEF000 - 65535, 65535}},
    {"table span of slot 4096",
     [](const TLockRanges& r) { return r.TableSpan(4096); },
     {0xEFFF0000, 65535},
     {0x7FFFFFFFEFFF0000, 65535}},
    {"database write span",
     [](const TLockRanges& r) { return r.DatabaseWriteSpan(); },
     {0xEFFF0000, 268431360},
     {0x7FFFFFFFEFFF0000, 268431360}},
    {"record 1", [](const TLockRanges& r) { return r.RecordByte(1); }, {0xFFFFFFFE, 1}, {kTop - 1, 1}},
    {"record 200000000",
     [](const TLockRanges& r) { return r.RecordByte(200000000); },
     {0xFFFFFFFF - 200000000, 1},
     {kTop - 200000000, 1}},
    {"all records",
     [](const TLockRanges& r) { return r.AllRecords(); },
     {0xFFFFFFFF - 200000000, 200000000},
     {kTop - 1000000000, 1000000000}},
    {"semaphore 1",
     [](const TLockRanges& r) { return r.SemaphoreByte(1); },
     {4094967294, 1},
     {9223372035854775806, 1}},
    {"semaphore 1024",
     [](const TLockRanges& r) { return r.SemaphoreByte(1024); },
     {4094967295 - 1024, 1},
     {9223372035854775807 - 1024, 1}},
};

TEST(LockRanges, EveryRangeLiesAtItsOffsetWithAndWithoutLargeFileSupport) {
  TLockRanges normal(TEngineLimits::For(false));
  TLockRanges large(TEngineLimits::For(true));
  for (const RangeCase& c : kRangeCases) {
    EXPECT_EQ(c.range(normal), c.normal) << c.what;
    EXPECT_EQ(c.range(large), c.large) << c.what;
  }
}

// The spans of neighbouring structures meet without overlapping, and every
// lock stays below the top, so none ever reaches a byte of the files.
TEST(LockRanges, NeighbouringSpansDoNotOverlap) {
  for (bool largeFiles : {false, true}) {
    TEngineLimits limits = TEngineLimits::For(largeFiles);
    TLockRanges r(limits);
    auto end = [](TLockRange range) { return range.offset + range.length; };
    EXPECT_EQ(end(r.TransactionSpan()), r.LockFileSpan().offset);
    EXPECT_EQ(end(r.TableSpan(1)), r.TransactionSpan().offset);
    EXPECT_EQ(end(r.TableSpan(2)), r.TableSpan(1).offset);
    EXPECT_EQ(r.DatabaseWriteSpan().offset, r.TableSpan(TLockRanges::kMaxSlots).offset);
    EXPECT_EQ(end(r.DatabaseWriteSpan()), end(r.TableSpan(1)));
    EXPECT_EQ(end(r.LockFileSpan()), static_cast<int64_t>(limits.LockFileTop));
    EXPECT_EQ(end(r.AllRecords()), static_cast<int64_t>(limits.TableFileTop));
    EXPECT_EQ(end(r.SemaphoreByte(1)), r.AllRecords().offset);
    EXPECT_EQ(r.RecordByte(limits.MaxTableRecordCount).offset, r.AllRecords().offset);
  }
}

TEST(LockRanges, ReadBytesStayInsideTheirSpan) {
  TLockRange span = TLockRanges(TEngineLimits::For(false)).TableSpan(3);
  EXPECT_EQ(TLockRanges::ReadByte(span, 1).offset, span.offset);
  EXPECT_EQ(TLockRanges::ReadByte(span, TLockRanges::kMaxReadByte).offset, span.offset + span.length - 2);
  for (int i = 0; i < 2000; ++i) {
    uint16_t r = TLockRanges::RandomReadByte();
    ASSERT_GE(r, 1);
    ASSERT_LE(r, TLockRanges::kMaxReadByte);
  }
}

TEST(LockWait, MakesRetryCountPlusOneAttempts) {
  for (uint32_t retries : {0U, 1U, 4U}) {
    int attempts = 0;
    EXPECT_FALSE((TLockWait{0, retries}.Run([&] {
      ++attempts;
      return false;
    })));
    EXPECT_EQ(attempts, static_cast<int>(retries) + 1);
  }
  int attempts = 0;
  EXPECT_TRUE((TLockWait{0, 5}.Run([&] { return ++attempts == 3; })));
  EXPECT_EQ(attempts, 3);
}

}  // namespace
}  // namespace zarnik
