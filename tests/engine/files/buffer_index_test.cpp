#include "engine/files/buffer_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "engine/files/buffered_file.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using testing::TestBufferedFile;
using testing::TestTable;

// Orders of numbers that split, empty and merge the index's segments in
// different ways: ascending and descending runs, and a shuffle.
std::vector<uint32_t> Numbers(const std::string& order, uint32_t count) {
  std::vector<uint32_t> numbers(count);
  for (uint32_t i = 0; i < count; ++i) numbers[i] = 3 * i + 1;
  if (order == "descending") std::reverse(numbers.begin(), numbers.end());
  if (order == "shuffled") std::shuffle(numbers.begin(), numbers.end(), std::mt19937(5));
  return numbers;
}

class BufferIndexTest : public ::testing::TestWithParam<std::string> {
 protected:
  TDataEngine engine;
  TestTable table{engine};
  TestBufferedFile file{engine, table};
  TBufferIndex index;
  std::map<uint32_t, TBuffer*> expected;

  void Add(uint32_t number) {
    auto buffer = std::make_unique<TBuffer>(file);
    buffer->number = number;
    buffer->data[0] = static_cast<uint8_t>(number);
    TBuffer* raw = index.Insert(std::move(buffer));
    ASSERT_NE(raw, nullptr);
    expected[number] = raw;
  }
  void Remove(uint32_t number) {
    std::unique_ptr<TBuffer> buffer = index.Extract(expected.at(number));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->number, number);
    expected.erase(number);
  }
  // Every buffer is found under its own number with its own bytes, and no other number is.
  void Check() {
    ASSERT_EQ(index.size(), expected.size());
    std::vector<TBuffer*> inOrder;
    index.ForEach([&](TBuffer* b) { inOrder.push_back(b); });
    std::vector<TBuffer*> wanted;
    for (const auto& [number, buffer] : expected) wanted.push_back(buffer);
    EXPECT_EQ(inOrder, wanted);
    for (const auto& [number, buffer] : expected) {
      ASSERT_EQ(index.Find(number), buffer);
      EXPECT_EQ(buffer->data[0], static_cast<uint8_t>(number));
      EXPECT_EQ(index.Find(number + 1), nullptr);
    }
  }
};

TEST_P(BufferIndexTest, KeepsEveryBufferUnderItsNumberThroughGrowthAndRemoval) {
  for (uint32_t n : Numbers(GetParam(), 1000)) Add(n);
  Check();
  // A number taken already is refused.
  auto twin = std::make_unique<TBuffer>(file);
  twin->number = 1;
  EXPECT_EQ(index.Insert(std::move(twin)), nullptr);
  // A buffer that is not the one under its number is not given out.
  TBuffer stranger(file);
  stranger.number = 4;
  EXPECT_EQ(index.Extract(&stranger), nullptr);
  // Remove two thirds, leaving scattered survivors, then fill the gaps again.
  std::vector<uint32_t> order = Numbers(GetParam(), 1000);
  for (size_t i = 0; i < order.size(); ++i)
    if (i % 3 != 0) Remove(order[i]);
  Check();
  for (size_t i = 0; i < order.size(); ++i)
    if (i % 3 != 0) Add(order[i] + 1);
  Check();
  std::vector<std::unique_ptr<TBuffer>> all = index.ExtractAll();
  EXPECT_EQ(all.size(), expected.size());
  EXPECT_EQ(index.size(), 0u);
  EXPECT_EQ(index.Find(1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Orders, BufferIndexTest, ::testing::Values("ascending", "descending", "shuffled"));

}  // namespace
}  // namespace zarnik
