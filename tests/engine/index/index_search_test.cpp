#include "engine/index/index_search.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/engine/index/memory_page_store.h"

namespace zarnik {
namespace {

using Bytes = std::vector<uint8_t>;
using TValue = TKeyLayout::TValue;

Bytes Int(int32_t v) {
  Bytes b(4);
  std::memcpy(b.data(), &v, 4);
  return b;
}

Bytes Text(const std::string& s) {
  Bytes b(11, 0);
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

// One index over a memory store, with keys built from field values.
struct Index {
  Index(bool unique, std::vector<TKeyLayout::TField> fields) {
    def.Unique = unique;
    def.FieldCount = uint8_t(fields.size());
    layout = std::make_unique<TKeyLayout>(def, fields, 1);
    def.KeySize = uint16_t(layout->KeySize());
    tree = std::make_unique<TIndexTree>(store, 1, TIndexProps{def.KeySize, def.Unique, 0, 0}, *layout);
    search = std::make_unique<TIndexSearch>(*tree, *layout, def);
  }
  Bytes Key(std::vector<Bytes> values, int32_t recordId = 0) const {
    std::vector<TValue> v;
    for (const Bytes& b : values) v.push_back({false, b});
    Bytes key(layout->KeySize());
    layout->BuildKey(v, recordId, key.data());
    return key;
  }
  void Insert(std::vector<Bytes> values, int32_t recordId) {
    tree->InsertKey(Key(std::move(values), recordId).data(), uint32_t(recordId));
  }

  TIndexDefinition def;
  test::TMemoryPageStore store{1024};
  std::unique_ptr<TKeyLayout> layout;
  std::unique_ptr<TIndexTree> tree;
  std::unique_ptr<TIndexSearch> search;
};

TEST(IndexSearch, ARangeOnANonUniqueIndexCoversEveryRecordId) {
  Index index(false, {{1, 6, 4}});
  int32_t id = 0;
  for (int32_t v = 0; v < 400; ++v) index.Insert({Int(v % 40)}, ++id);
  TIndexRange range =
      index.search->MakeRange(index.Key({Int(10)}, 777).data(), 0, index.Key({Int(20)}, 1).data(), 0);
  EXPECT_EQ(Bytes(range.Start.end() - 4, range.Start.end()), Bytes(4, 0x00));
  EXPECT_EQ(Bytes(range.End.end() - 4, range.End.end()), Bytes(4, 0xFF));
  EXPECT_EQ(index.search->RangeCount(range), 110u);
  TIndexPosition first, last;
  ASSERT_TRUE(index.search->FirstInRange(range, first));
  ASSERT_TRUE(index.search->LastInRange(range, last));
  EXPECT_EQ(index.tree->PositionOf(last) - index.tree->PositionOf(first) + 1, 110u);
  TIndexRange empty = index.search->MakeRange(index.Key({Int(20)}).data(), 0, index.Key({Int(10)}).data(), 0);
  EXPECT_EQ(index.search->RangeCount(empty), 0u);
  EXPECT_FALSE(index.search->FirstInRange(empty, first));
}

TEST(IndexSearch, ARangeOnTheFirstFieldIgnoresTheSecond) {
  Index index(true, {{1, 6, 4}, {2, 1, 11}});
  int32_t id = 0;
  for (int32_t v = 0; v < 10; ++v)
    for (const char* s : {"", "a", "zz", "\xFF\xFF"}) index.Insert({Int(v), Text(s)}, ++id);
  TIndexRange range = index.search->MakeRange(index.Key({Int(3), Text("m")}).data(), 1,
                                              index.Key({Int(4), Text("b")}).data(), 1);
  EXPECT_EQ(index.search->RangeCount(range), 8u);
}

TEST(IndexSearch, PartialAndWholeKeySearches) {
  Index index(true, {{1, 1, 11}});
  int32_t id = 0;
  for (const char* s : {"abb", "abcd", "abce", "abd"}) index.Insert({Text(s)}, ++id);
  TIndexPosition pos;
  EXPECT_EQ(index.layout->MatchedLength(0, 3), 4u);
  EXPECT_TRUE(index.search->FindKey(index.Key({Text("abcz")}).data(), 0, 3, false, pos));
  EXPECT_EQ(pos.Record, 2u);
  EXPECT_FALSE(index.search->FindKey(index.Key({Text("abz")}).data(), 0, 3, false, pos));

  // The whole key of a unique index: found, or the nearest entry on request.
  pos = TIndexPosition();
  EXPECT_TRUE(index.search->FindKey(index.Key({Text("abce")}).data(), 0, 0, false, pos));
  EXPECT_EQ(pos.Record, 3u);
  TIndexPosition unmoved = pos;
  EXPECT_FALSE(index.search->FindKey(index.Key({Text("abc")}).data(), 0, 0, false, pos));
  EXPECT_EQ(pos.Record, unmoved.Record);
  EXPECT_FALSE(index.search->FindKey(index.Key({Text("abc")}).data(), 0, 0, true, pos));
  EXPECT_EQ(pos.Record, 2u);
  EXPECT_FALSE(index.search->FindKey(index.Key({Text("b")}).data(), 0, 0, true, pos));
  EXPECT_FALSE(pos.Valid());
}

TEST(IndexSearch, ASearchOnTheFirstFieldLandsOnTheFirstEntryInIndexOrder) {
  Index index(true, {{1, 6, 4}, {2, 6, 4, true}});
  int32_t id = 0;
  for (int32_t a = 0; a < 5; ++a)
    for (int32_t b = 0; b < 5; ++b) index.Insert({Int(a), Int(b)}, ++id);
  TIndexPosition pos;
  ASSERT_TRUE(index.search->FindKey(index.Key({Int(2), Int(0)}).data(), 1, 0, false, pos));
  EXPECT_EQ(pos.Record, 2u * 5 + 5);  // a = 2 with the largest b
}

TEST(IndexSearch, BookmarksFindTheirEntryWhileItLasts) {
  Index index(false, {{1, 6, 4}});
  for (int32_t id = 1; id <= 300; ++id) index.Insert({Int(id / 3)}, id);
  TIndexPosition pos;
  ASSERT_TRUE(index.tree->SeekPosition(150, pos));
  const Bytes bookmark = index.search->Bookmark(pos);
  TIndexPosition back;
  ASSERT_TRUE(index.search->GotoBookmark(bookmark, back));
  EXPECT_EQ(back.Record, pos.Record);
  EXPECT_EQ(index.search->Bookmark(TIndexPosition()), Bytes(9, 0));
  index.tree->DeleteKey(bookmark.data());
  EXPECT_FALSE(index.search->GotoBookmark(bookmark, back));
  EXPECT_EQ(back.Record, pos.Record);
}

}  // namespace
}  // namespace zarnik
