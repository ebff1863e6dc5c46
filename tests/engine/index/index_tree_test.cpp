#include "engine/index/index_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/byte_order.h"
#include "tests/engine/index/memory_page_store.h"
#include "tests/engine/index/tree_checker.h"

namespace zarnik {
namespace {

using test::CheckFreeChain;
using test::CheckTree;
using test::TBytewiseComparer;
using test::TMemoryPageStore;
using Key = std::vector<uint8_t>;

// A non-unique key over one 4-byte integer field: flag, value with its top bit
// inverted, record ID.
Key IntKey(int32_t value, uint32_t recordId) {
  uint32_t v = uint32_t(value) ^ 0x80000000u;
  return {1,
          uint8_t(v >> 24),
          uint8_t(v >> 16),
          uint8_t(v >> 8),
          uint8_t(v),
          uint8_t(recordId >> 24),
          uint8_t(recordId >> 16),
          uint8_t(recordId >> 8),
          uint8_t(recordId)};
}

TErrorCode ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EZARNIKEngineError& e) {
    return e.ErrorCode;
  }
  return ZARNIK_NONE;
}

class IndexTreeTest : public ::testing::Test {
 protected:
  static constexpr TIndexProps kIntProps{9, 0, 0, 0};
  TMemoryPageStore store_{1024};
  TBytewiseComparer comparer_;
  TIndexTree tree_{store_, 1, kIntProps, comparer_};

  void InsertRange(int32_t from, int32_t to) {
    for (int32_t v = from; v <= to; ++v) tree_.InsertKey(IntKey(v, uint32_t(v)).data(), uint32_t(v));
  }
  test::TTreeReport Check() {
    test::TTreeReport report = CheckTree(store_, 1, kIntProps, comparer_);
    EXPECT_EQ(report.error, "");
    return report;
  }
  TPageContents& Page(uint32_t n) { return *store_.PinPage(n, kIntProps); }
};

TEST_F(IndexTreeTest, FirstInsertCreatesALeafRoot) {
  tree_.InsertKey(IntKey(5, 1).data(), 1);
  EXPECT_EQ(store_.RootPage(1), 1u);
  EXPECT_EQ(Page(1).PageType, TPageContents::kRootLeaf);
  EXPECT_TRUE(tree_.LookupKey(IntKey(5, 1).data()));
  EXPECT_FALSE(tree_.LookupKey(IntKey(5, 2).data()));
}

TEST_F(IndexTreeTest, The78thKeySplitsAFullLeafInHalves) {
  InsertRange(1, 77);
  EXPECT_EQ(store_.PageCount(), 1u);
  EXPECT_EQ(Page(1).Count(), 77u);
  InsertRange(78, 78);
  ASSERT_EQ(store_.PageCount(), 3u);
  EXPECT_EQ(store_.RootPage(1), 3u);
  const TPageContents& root = Page(3);
  EXPECT_EQ(root.PageType, TPageContents::kRootInternal);
  ASSERT_EQ(root.Count(), 2u);
  EXPECT_EQ(root.Pointer(1), 1u);
  EXPECT_EQ(root.SubCount(1), 39u);
  EXPECT_EQ(root.Pointer(2), 2u);
  EXPECT_EQ(root.SubCount(2), 39u);
  EXPECT_EQ(Page(1).PageType, TPageContents::kLeaf);
  EXPECT_EQ(Page(1).NextPage, 2u);
  EXPECT_EQ(Page(2).PreviousPage, 1u);
  Check();
}

TEST_F(IndexTreeTest, ASmallestKeyBecomesTheFirstKeyAlongTheLeftmostPath) {
  InsertRange(1, 4000);
  ASSERT_GE(Check().depth, 3u);
  Key smallest = IntKey(-1, 1);
  tree_.InsertKey(smallest.data(), 1);
  for (uint32_t n = store_.RootPage(1); !Page(n).IsLeaf(); n = Page(n).Pointer(1))
    EXPECT_TRUE(std::equal(smallest.begin(), smallest.end(), Page(n).Key(1))) << n;
  Check();
}

TEST_F(IndexTreeTest, DeletingEveryKeyFreesEveryPage) {
  InsertRange(1, 3000);
  const uint32_t pages = store_.PageCount();
  for (int32_t v = 1; v <= 3000; v += 2) tree_.DeleteKey(IntKey(v, uint32_t(v)).data());
  Check();
  for (int32_t v = 2; v <= 3000; v += 2) tree_.DeleteKey(IntKey(v, uint32_t(v)).data());
  EXPECT_EQ(store_.RootPage(1), 0u);
  std::string error;
  EXPECT_EQ(CheckFreeChain(store_, {}, kIntProps, error).size(), pages);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ErrorOf([&] { tree_.DeleteKey(IntKey(1, 1).data()); }), ZARNIK_INDEXCORRUPT);
}

TEST_F(IndexTreeTest, AFreedPageIsTheNextOneHandedOut) {
  InsertRange(1, 1000);
  const uint32_t before = store_.PageCount();
  // Emptying the last leaf frees it.
  for (int32_t v = 1000; store_.FreePageHead() == 0; --v) tree_.DeleteKey(IntKey(v, uint32_t(v)).data());
  const uint32_t freed = store_.FreePageHead();
  TPageRef page = tree_.AllocatePage();
  EXPECT_EQ(page.Number(), freed);
  EXPECT_EQ(store_.PageCount(), before);
}

TEST_F(IndexTreeTest, MissingKeysAndDuplicatesAreRefused) {
  InsertRange(1, 10);
  EXPECT_EQ(ErrorOf([&] { tree_.DeleteKey(IntKey(11, 11).data()); }), ZARNIK_INDEXCORRUPT);
  EXPECT_EQ(ErrorOf([&] { tree_.ReplaceKey(IntKey(0, 0).data(), IntKey(12, 12).data(), 12); }),
            ZARNIK_INDEXCORRUPT);
  EXPECT_EQ(ErrorOf([&] { tree_.InsertKey(IntKey(3, 3).data(), 3); }), ZARNIK_KEYVIOL);
  EXPECT_EQ(Check().entries.size(), 10u);
}

TEST_F(IndexTreeTest, ReadersStartAgainWhenTheTableChanged) {
  InsertRange(1, 500);
  store_.FailNextPin();
  EXPECT_TRUE(tree_.LookupKey(IntKey(250, 250).data()));
  TIndexPosition pos;
  ASSERT_TRUE(tree_.First(pos));
  store_.FailNextPin();
  ASSERT_TRUE(tree_.Next(pos));
  EXPECT_EQ(pos.Record, 2u);
  EXPECT_TRUE(store_.AllUnpinned());
}

// Damaged trees: each ends in the corruption error, never in a loop or a
// bad access.
TEST_F(IndexTreeTest, DamagedPagesEndInTheCorruptionError) {
  InsertRange(1, 6000);
  store_.Flush();
  std::vector<std::vector<uint8_t>> healthy;
  for (uint32_t n = 1; n <= store_.PageCount(); ++n) healthy.push_back(store_.Image(n));
  const uint32_t root = store_.RootPage(1);
  const uint32_t child = Page(root).Pointer(2);
  const Key key(Page(root).Key(2), Page(root).Key(2) + 9);
  const uint32_t leaf = Page(Page(root).Pointer(1)).Pointer(1);
  const uint32_t nextLeaf = Page(leaf).NextPage;
  ASSERT_FALSE(Page(child).IsLeaf());
  store_.Drop();
  auto put32 = [&](uint32_t n, size_t offset, uint32_t value) {
    platform::PutUInt32({store_.Image(n).data() + offset, 4}, 0, value);
  };
  auto restore = [&] {
    for (uint32_t n = 1; n <= store_.PageCount(); ++n) store_.Image(n) = healthy[n - 1];
    store_.Drop();
  };
  const size_t firstPointer = 13 + 9, secondPointer = 13 + 17 + 9;
  const std::pair<const char*, std::function<void()>> damages[] = {
      {"child past the end of the file", [&] { put32(root, secondPointer, 99999); }},
      {"child is the root", [&] { put32(child, firstPointer, root); }},
      {"internal page pointing at itself", [&] { put32(child, firstPointer, child); }},
      {"root of a leaf type", [&] { store_.Image(root)[0] = 2; }},
      {"root without entries",
       [&] {
         platform::PutUInt16({store_.Image(root).data() + 1, 2}, 0, 0);
       }},
      {"entry count beyond the page",
       [&] {
         platform::PutUInt16({store_.Image(child).data() + 1, 2}, 0, 5000);
       }},
  };
  for (const auto& [what, damage] : damages) {
    damage();
    EXPECT_EQ(ErrorOf([&] { tree_.LookupKey(key.data()); }), ZARNIK_INDEXCORRUPT) << what;
    EXPECT_EQ(ErrorOf([&] { tree_.InsertKey(key.data(), 1); }), ZARNIK_INDEXCORRUPT) << what;
    EXPECT_EQ(ErrorOf([&] { tree_.DeleteKey(key.data()); }), ZARNIK_INDEXCORRUPT) << what;
    restore();
  }
  // Leaves linked back to themselves or round in a ring: a walk ends.
  const std::pair<const char*, std::function<void()>> links[] = {
      {"leaf linked to itself", [&] { put32(leaf, 7, leaf); }},
      {"two leaves in a ring",
       [&] {
         put32(nextLeaf, 7, leaf);
         put32(leaf, 3, nextLeaf);
       }},
  };
  for (const auto& [what, damage] : links) {
    damage();
    TIndexPosition pos;
    ASSERT_TRUE(tree_.First(pos));
    EXPECT_EQ(ErrorOf([&] {
                for (int i = 0; i < 20000 && tree_.Next(pos);) ++i;
              }),
              ZARNIK_INDEXCORRUPT)
        << what;
    restore();
  }
}

TEST_F(IndexTreeTest, ALongChainOfInternalPagesIsCutAt64Levels) {
  // 70 internal pages, each the only parent of the next.
  for (uint32_t n = 1; n <= 70; ++n) {
    TPageRef page = tree_.AllocatePage();
    TPageContents& p = page.Edit();
    p.PageType = n == 1 ? TPageContents::kRootInternal : TPageContents::kInternal;
    p.Insert(1, IntKey(1, 1).data(), n + 1, 1);
  }
  store_.SetRootPage(1, 1);
  EXPECT_EQ(ErrorOf([&] { tree_.LookupKey(IntKey(1, 1).data()); }), ZARNIK_INDEXCORRUPT);
}

TEST_F(IndexTreeTest, AFreeChainThatLoopsIsRefused) {
  InsertRange(1, 100);
  store_.SetFreePageHead(1);  // page 1 is in use
  EXPECT_EQ(ErrorOf([&] { tree_.AllocatePage(); }), ZARNIK_INDEXCORRUPT);
}

// Compressed leaves split by count, then move entries across until both
// halves pack into a page: here one half holds most of the large entries.
TEST(IndexTreeCompressed, SplitsMoveEntriesUntilBothHalvesFit) {
  const TIndexProps props{200, 1, 0, 1};
  TBytewiseComparer comparer;
  // A key of its own (packs to 205 bytes), or one of a run that shares 199
  // bytes with its neighbour (packs to 6).
  auto single = [](char c) { return Key(200, uint8_t(c)); };
  auto run = [](char c, int i) {
    Key k(200, 'q');
    k[0] = uint8_t(c);
    k[199] = uint8_t('0' + i);
    return k;
  };
  struct Shape {
    const char* what;
    std::vector<Key> keys;  // inserted in this order; the last one splits
    uint32_t leftCount, rightCount;
  } shapes[] = {
      {"heavy left half", {}, 4, 32},
      {"heavy right half", {}, 32, 4},
  };
  for (char c : {'A', 'B', 'C'}) shapes[0].keys.push_back(single(c));
  for (int i = 0; i < 32; ++i) shapes[0].keys.push_back(run('Z', i));
  shapes[0].keys.push_back(single('E'));
  for (int i = 0; i < 32; ++i) shapes[1].keys.push_back(run('A', i));
  for (char c : {'W', 'X', 'Y'}) shapes[1].keys.push_back(single(c));
  shapes[1].keys.push_back(single('V'));
  for (const Shape& shape : shapes) {
    TMemoryPageStore store(1024);
    TIndexTree tree(store, 0, props, comparer);
    for (size_t i = 0; i < shape.keys.size(); ++i) tree.InsertKey(shape.keys[i].data(), uint32_t(i + 1));
    test::TTreeReport report = CheckTree(store, 0, props, comparer);
    EXPECT_EQ(report.error, "") << shape.what;
    EXPECT_EQ(report.entries.size(), shape.keys.size()) << shape.what;
    const uint32_t left = 1, right = 2;
    EXPECT_EQ(store.PinPage(left, props)->Count(), shape.leftCount) << shape.what;
    EXPECT_EQ(store.PinPage(right, props)->Count(), shape.rightCount) << shape.what;
  }
}

}  // namespace
}  // namespace zarnik
