#include "engine/locks/lock_file_table_list.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

TEST(LockFileTableList, EncodesCounterLengthAndEntriesInSlotOrder) {
  TLockFileTableList list;
  list.changeCounter = 7;
  list.names = {"TheData", "zzz"};
  std::vector<uint8_t> bytes;
  list.EncodeTo(bytes);
  const std::vector<uint8_t> expected = {7,   0,   0,   0,   16,  0,   0, 0,   7,   'T',
                                         'h', 'e', 'D', 'a', 't', 'a', 3, 'z', 'z', 'z'};
  EXPECT_EQ(bytes, expected);

  TLockFileTableList read;
  ASSERT_TRUE(read.DecodeFrom(bytes));
  EXPECT_EQ(read.changeCounter, 7U);
  EXPECT_EQ(read.names, list.names);
}

TEST(LockFileTableList, AnEmptyListHasLengthFour) {
  std::vector<uint8_t> bytes;
  TLockFileTableList{1, {}}.EncodeTo(bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 0, 0, 0, 4, 0, 0, 0}));
}

TEST(LockFileTableList, CounterWrapsFromTheLargestSignedValueToOne) {
  EXPECT_EQ(TLockFileTableList::NextCounter(0), 1U);
  EXPECT_EQ(TLockFileTableList::NextCounter(41), 42U);
  EXPECT_EQ(TLockFileTableList::NextCounter(2147483647U), 1U);
  EXPECT_EQ(TLockFileTableList::NextCounter(0xFFFFFFFFU), 1U);
}

// A damaged or half-written file gives the entries that lie whole in it and
// never asks for more than the largest list can hold.
TEST(LockFileTableList, DamagedImagesYieldTheWholeEntriesOnly) {
  std::vector<uint8_t> good;
  TLockFileTableList{3, {"a", "bb", "ccc"}}.EncodeTo(good);

  TLockFileTableList list;
  EXPECT_FALSE(list.DecodeFrom(std::span(good).first(7)));

  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  ASSERT_TRUE(list.DecodeFrom(truncated));
  EXPECT_EQ(list.names, (std::vector<std::string>{"a", "bb"}));

  std::vector<uint8_t> shortLength = good;
  shortLength[4] = 7;  // covers "a" and half of "bb"
  ASSERT_TRUE(list.DecodeFrom(shortLength));
  EXPECT_EQ(list.names, (std::vector<std::string>{"a"}));

  std::vector<uint8_t> hugeLength = good;
  hugeLength[7] = 0xFF;
  ASSERT_TRUE(list.DecodeFrom(hugeLength));
  EXPECT_EQ(list.names.size(), 3U);
  EXPECT_EQ(TLockFileTableList::EntriesSize(0xFFFFFFFF), TLockFileTableList::kMaxEntriesSize);
  EXPECT_EQ(TLockFileTableList::EntriesSize(2), 0U);
}

TEST(LockFileTableList, ReadsAtMostTheLargestNumberOfEntries) {
  TLockFileTableList many;
  many.names.assign(TLockFileTableList::kMaxEntries + 10, "");
  std::vector<uint8_t> bytes;
  many.EncodeTo(bytes);
  TLockFileTableList read;
  ASSERT_TRUE(read.DecodeFrom(bytes));
  EXPECT_EQ(read.names.size(), TLockFileTableList::kMaxEntries);
}

}  // namespace
}  // namespace zarnik
