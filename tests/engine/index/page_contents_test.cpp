#include "engine/index/page_contents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/byte_order.h"

namespace zarnik {
namespace {

using Key = std::vector<uint8_t>;

TPageContents MakeLeaf(TIndexProps props, const std::vector<Key>& keys) {
  TPageContents page;
  page.Clear(props);
  page.PageType = TPageContents::kLeaf;
  for (size_t i = 0; i < keys.size(); ++i) page.Insert(uint32_t(i + 1), keys[i].data(), uint32_t(100 + i), 0);
  return page;
}

TEST(PageContents, DuplicateBytePrefixFollowsTheNeighbour) {
  const TIndexProps props{30, 1, 0, 1};
  Key a(30, 'A'), b(30, 'A'), c(30, 'A');
  std::fill(a.begin() + 10, a.end(), 'B');  // shares 10 bytes with c
  std::fill(b.begin() + 20, b.end(), 'C');  // shares 20 bytes with c
  std::fill(c.begin() + 20, c.end(), 'D');
  TPageContents page = MakeLeaf(props, {a, b, c});
  EXPECT_EQ(page.PrefixLength(1), 0);
  EXPECT_EQ(page.PrefixLength(3), 20);
  // On disk: prefix byte, the K - 20 remaining key bytes, the record number.
  std::vector<uint8_t> image(1024);
  ASSERT_TRUE(page.EncodeTo(image));
  const uint8_t* third = image.data() + 13 + (30 + 5) + (30 - 10 + 5);
  EXPECT_EQ(third[0], 20);
  EXPECT_TRUE(std::equal(c.begin() + 20, c.end(), third + 1));
  EXPECT_EQ(platform::GetUInt32({third + 1 + 10, 4}, 0), 102u);
  EXPECT_EQ(platform::GetUInt16({image.data() + 11, 2}, 0), page.PackedSize());
  EXPECT_EQ(page.PackedSize(), 35u + 25u + 15u);

  page.Remove(2);
  EXPECT_EQ(page.PrefixLength(2), 10);
  EXPECT_EQ(page.PackedSize(), 35u + 25u);
}

TEST(PageContents, TrailingZerosStopBeforeTheRecordIdSuffix) {
  // Non-unique, K = 9: one 4-byte field with its flag, then the record ID.
  TIndexProps props{9, 0, 0, 3};
  Key a = {1, 0x80, 0, 0, 0, 0, 0, 0, 7};
  Key b = {1, 0x80, 0, 1, 0, 0, 0, 0, 8};
  TPageContents page = MakeLeaf(props, {a, b});
  EXPECT_EQ(page.TrailingLength(1), 3);  // field bytes 2..4 are zero
  EXPECT_EQ(page.PrefixLength(2), 3);
  EXPECT_EQ(page.TrailingLength(2), 1);
  // K - p < 5: no trailing length, the whole rest is kept.
  EXPECT_EQ(page.ComputeTrailing(a.data(), 5), 0);
  page.Clear(TIndexProps{5, 1, 0, 3});
  EXPECT_EQ(page.ComputeTrailing(Key{1, 2, 0, 0, 0}.data(), 0), 3);
  EXPECT_EQ(page.ComputeTrailing(Key{1, 0, 0, 0, 0}.data(), 2), 3);  // at most K - p
}

// Every mode packs and unpacks to the same entries and the same image.
TEST(PageContents, RoundTripsEveryMode) {
  std::mt19937 random(7);
  for (uint8_t mode = 0; mode <= 3; ++mode) {
    for (uint8_t unique = 0; unique <= 1; ++unique) {
      const TIndexProps props{24, unique, 0, mode};
      std::vector<Key> keys;
      for (int i = 0; i < 30; ++i) {
        Key k(24, 0);
        const size_t used = random() % 20;
        for (size_t j = 0; j < used; ++j) k[j] = uint8_t('A' + random() % 3);
        if (!unique) k[23] = uint8_t(i);
        keys.push_back(k);
      }
      std::sort(keys.begin(), keys.end());
      keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
      TPageContents page = MakeLeaf(props, keys);
      std::vector<uint8_t> image(1024), again(1024);
      ASSERT_TRUE(page.EncodeTo(image));
      TPageContents loaded;
      loaded.Clear(props);
      loaded.DecodeFrom(image);
      ASSERT_FALSE(loaded.Damaged()) << int(mode);
      ASSERT_EQ(loaded.Count(), keys.size());
      for (uint32_t i = 1; i <= loaded.Count(); ++i) {
        EXPECT_TRUE(std::equal(keys[i - 1].begin(), keys[i - 1].end(), loaded.Key(i)))
            << int(mode) << " " << i;
        EXPECT_EQ(loaded.Pointer(i), 99 + i);
      }
      EXPECT_EQ(loaded.PackedSize(), mode == 0 ? 0 : page.PackedSize());
      ASSERT_TRUE(loaded.EncodeTo(again));
      EXPECT_EQ(image, again) << int(mode);
    }
  }
}

TEST(PageContents, InternalPagesCarrySubtreeCountsUnlessUncounted) {
  for (uint8_t uncounted = 0; uncounted <= 1; ++uncounted) {
    TIndexProps props{5, 1, uncounted, 3};
    TPageContents page;
    page.Clear(props);
    page.PageType = TPageContents::kRootInternal;
    Key k = {1, 0x80, 0, 0, 5};
    page.Insert(1, k.data(), 42, 17);
    std::vector<uint8_t> image(1024);
    ASSERT_TRUE(page.EncodeTo(image));
    EXPECT_EQ(platform::GetUInt32({image.data() + 13 + 5, 4}, 0), 42u);
    EXPECT_EQ(platform::GetUInt32({image.data() + 13 + 9, 4}, 0), uncounted ? 0u : 17u);
    EXPECT_EQ(page.MaxEntries(1024), uncounted ? 1011u / 9 : 1011u / 13);
  }
}

// Pages are decoded into objects that held other entries and encoded into
// buffers that held other bytes: neither may leak into the result.
TEST(PageContents, LeftoversNeverReachEntriesOrImage) {
  struct Case {
    const char* what;
    TIndexProps props;
    uint8_t type;
  };
  const Case cases[] = {
      {"uncompressed leaf", {12, 0, 0, 0}, TPageContents::kLeaf},
      {"duplicate byte leaf", {12, 0, 0, 1}, TPageContents::kLeaf},
      {"trailing byte leaf", {12, 0, 0, 2}, TPageContents::kLeaf},
      {"full compression leaf", {12, 1, 0, 3}, TPageContents::kRootLeaf},
      {"counted internal page", {12, 1, 0, 3}, TPageContents::kInternal},
      {"uncounted internal page", {12, 0, 1, 0}, TPageContents::kRootInternal},
  };
  for (const Case& c : cases) {
    TPageContents page;
    page.Clear(c.props);
    page.PageType = c.type;
    for (uint32_t i = 1; i <= 20; ++i) {
      Key k(12, 0);
      k[0] = 1, k[1] = uint8_t(i / 4), k[2] = uint8_t(i);
      page.Insert(i, k.data(), 500 + i, 7 * i);
    }
    std::vector<uint8_t> clean(1024, 0), dirty(1024, 0xA5);
    ASSERT_TRUE(page.EncodeTo(clean)) << c.what;
    ASSERT_TRUE(page.EncodeTo(dirty)) << c.what;
    EXPECT_EQ(clean, dirty) << c.what;

    TPageContents fresh, reused;
    fresh.Clear(c.props);
    reused.Clear(c.props);
    reused.PageType = TPageContents::kLeaf;
    Key full(12, 0xEE);
    for (uint32_t i = 1; i <= 60; ++i) reused.Insert(i, full.data(), 0xFFFFFFFF, 0xFFFFFFFF);
    reused.DecodeFrom(std::vector<uint8_t>(1024, 0x5A));  // leaves a damaged, empty page
    for (uint32_t i = 1; i <= 60; ++i) reused.Insert(i, full.data(), 0xFFFFFFFF, 0xFFFFFFFF);
    fresh.DecodeFrom(clean);
    reused.DecodeFrom(clean);
    ASSERT_FALSE(reused.Damaged()) << c.what;
    ASSERT_EQ(reused.Count(), fresh.Count()) << c.what;
    for (uint32_t i = 1; i <= fresh.Count(); ++i) {
      EXPECT_TRUE(std::equal(fresh.Key(i), fresh.Key(i) + 12, reused.Key(i))) << c.what << " " << i;
      EXPECT_EQ(reused.Pointer(i), fresh.Pointer(i)) << c.what << " " << i;
      EXPECT_EQ(reused.SubCount(i), fresh.SubCount(i)) << c.what << " " << i;
      EXPECT_EQ(reused.PrefixLength(i), fresh.PrefixLength(i)) << c.what << " " << i;
      EXPECT_EQ(reused.TrailingLength(i), fresh.TrailingLength(i)) << c.what << " " << i;
    }
    std::vector<uint8_t> again(1024, 0x3C);
    ASSERT_TRUE(reused.EncodeTo(again)) << c.what;
    EXPECT_EQ(again, clean) << c.what;
  }
}

struct DamagedCase {
  const char* what;
  TIndexProps props;
  std::vector<uint8_t> area;  // entry area after the header
  uint16_t count;
  uint8_t type;
};

TEST(PageContents, RefusesDamagedImages) {
  const DamagedCase cases[] = {
      {"more entries than fit", {9, 0, 0, 0}, {}, 200, 2},
      {"unknown page type", {9, 0, 0, 0}, {}, 1, 9},
      {"prefix beyond the key", {9, 0, 0, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 0, 0, 0, 12}, 2, 2},
      {"prefix on the first entry", {9, 0, 0, 1}, {3}, 1, 2},
      {"prefix and trailing beyond the key", {9, 1, 0, 3}, {0, 6, 1, 2, 3, 1, 0, 0, 0, 5, 6}, 2, 2},
      {"trailing into the suffix", {9, 0, 0, 2}, {6}, 1, 2},
      {"packed entries past the page", {9, 0, 0, 2}, {0}, 100, 2},
      {"entries without a key size", {0, 0, 0, 0}, {}, 1, 2},
  };
  for (const DamagedCase& c : cases) {
    std::vector<uint8_t> image(1024, 0);
    image[0] = c.type;
    platform::PutUInt16({image.data() + 1, 2}, 0, c.count);
    std::copy(c.area.begin(), c.area.end(), image.begin() + 13);
    TPageContents page;
    page.Clear(c.props);
    page.DecodeFrom(image);
    EXPECT_TRUE(page.Damaged()) << c.what;
    EXPECT_EQ(page.Count(), 0u) << c.what;
  }
}

}  // namespace
}  // namespace zarnik
