#include "engine/files/buffer_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace zarnik {
namespace {

bool AllZero(std::span<const uint8_t> area) {
  return std::all_of(area.begin(), area.end(), [](uint8_t b) { return b == 0; });
}

TEST(BufferArenaTest, AreasAreZeroFilledAndApartAcrossSlabs) {
  TBufferArena arena;
  std::set<const uint8_t*> starts;
  std::vector<std::span<uint8_t>> areas;
  // More than the first slab holds, in a size that is not a whole granule.
  for (int i = 0; i < 2000; ++i) {
    std::span<uint8_t> area = arena.Take(501);
    ASSERT_EQ(area.size(), 501u);
    EXPECT_TRUE(AllZero(area));
    std::fill(area.begin(), area.end(), 0xEE);
    areas.push_back(area);
  }
  std::sort(areas.begin(), areas.end(), [](auto a, auto b) { return a.data() < b.data(); });
  for (size_t i = 1; i < areas.size(); ++i) EXPECT_GE(areas[i].data(), areas[i - 1].data() + 501);
  EXPECT_GT(arena.SlabCount(), 1u);
  EXPECT_TRUE(arena.Take(0).empty());
  for (std::span<uint8_t> area : areas) arena.Give(area);
}

TEST(BufferArenaTest, AGivenBackAreaComesBackZeroFilledForItsSizeOnly) {
  TBufferArena arena;
  std::span<uint8_t> first = arena.Take(100);
  std::fill(first.begin(), first.end(), 0xAB);
  arena.Give(first);
  std::span<uint8_t> other = arena.Take(300);
  EXPECT_NE(other.data(), first.data());
  std::span<uint8_t> again = arena.Take(100);
  EXPECT_EQ(again.data(), first.data());
  EXPECT_TRUE(AllZero(again));
  EXPECT_EQ(arena.AreasOut(), 2u);
  arena.Give(other);
  arena.Give(again);
}

TEST(BufferArenaTest, SlabsAreFreedOnlyWhenNoAreaIsOut) {
  TBufferArena arena;
  std::span<uint8_t> held = arena.Take(64);
  std::span<uint8_t> other = arena.Take(64);
  arena.Give(other);
  EXPECT_FALSE(arena.FreeWhenIdle());
  EXPECT_EQ(arena.SlabCount(), 1u);
  std::fill(held.begin(), held.end(), 1);  // still its holder's
  arena.Give(held);
  EXPECT_TRUE(arena.FreeWhenIdle());
  EXPECT_EQ(arena.SlabCount(), 0u);
  // A fresh start after freeing: nothing handed out before comes back.
  std::span<uint8_t> fresh = arena.Take(64);
  EXPECT_TRUE(AllZero(fresh));
  EXPECT_EQ(arena.SlabCount(), 1u);
  arena.Give(fresh);
}

}  // namespace
}  // namespace zarnik
