// The index files of the foreign tables, read page by page: every index
// satisfies the tree rules, walks the same both ways, holds one entry per
// record, and every page packs back to the bytes it was read from.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "engine/index/index_bytes.h"
#include "engine/index/index_definition.h"
#include "engine/index/index_header.h"
#include "engine/index/index_tree.h"
#include "engine/index/key_layout.h"
#include "engine/index/text_index_params.h"
#include "tests/engine/index/memory_page_store.h"
#include "tests/engine/index/tree_checker.h"

namespace zarnik {
namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

size_t CountLines(const std::string& path) {
  std::ifstream in(path);
  return std::count(std::istreambuf_iterator<char>(in), {}, '\n');
}

struct Fixture {
  const char* folder;
  const char* table;
};

class FixturePages : public ::testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    const std::string base =
        std::string(ZARNIK_TEST_DATA_DIR) + "/" + GetParam().folder + "/" + GetParam().table;
    data_ = ReadFile(base + ".dat");
    index_ = ReadFile(base + ".idx");
    records_ = CountLines(std::string(ZARNIK_TEST_DATA_DIR) + "/" + GetParam().folder + "/records.jsonl");
    ASSERT_GE(data_.size(), 512u);
    ASSERT_GE(index_.size(), 25088u);
    pageSize_ = index_bytes::Get32(&data_[59]);
    header_.DecodeFrom(std::span<const uint8_t, 512>(index_.data(), 512));
    store_ = std::make_unique<test::TMemoryPageStore>(pageSize_);
    for (size_t at = 25088; at + pageSize_ <= index_.size(); at += pageSize_)
      store_->AddImage(std::vector<uint8_t>(index_.begin() + at, index_.begin() + at + pageSize_));
    ASSERT_EQ(store_->PageCount(), header_.NextPageNumber - 1);
    for (uint32_t s = 0; s < 32; ++s) store_->SetRootPage(s, header_.RootPages[s]);
    store_->SetFreePageHead(header_.FreePageHead);
  }

  TIndexDefinition Definition(uint32_t slot) const {
    TIndexDefinition def;
    def.DecodeFrom(std::span<const uint8_t, 768>(index_.data() + 512 + 768 * slot, 768));
    return def;
  }
  std::vector<TKeyLayout::TField> KeyFields(const TIndexDefinition& def) const {
    std::vector<TKeyLayout::TField> fields;
    for (uint32_t i = 0; i < def.FieldCount; ++i) {
      const uint16_t number = def.FieldNumbers[i];
      TKeyLayout::TField field{number, 6, 4, def.DescendingFields[i] != 0};
      if (number == TIndexDefinition::kRecordHashField) field = {number, 9, 16, field.Descending};
      if (number < TIndexDefinition::kRecordHashField) {
        const uint8_t* definition = data_.data() + 512 + 768 * (number - 1);
        field.DataType = definition[164];
        field.PhysicalSize = index_bytes::Get16(definition + 169);
      }
      fields.push_back(field);
    }
    return fields;
  }
  static TIndexProps Props(const TIndexDefinition& def) {
    return {def.KeySize, def.Unique, def.Uncounted, def.Compression};
  }

  // Header and packed entries of a page as it would be written.
  size_t UsedBytes(const TPageContents& page) const {
    if (page.IsCompressedLeaf()) return 13 + page.PackedSize();
    const size_t entry = page.Props().KeySize + (!page.IsLeaf() && !page.Props().Uncounted ? 8 : 4);
    return 13 + page.Count() * entry;
  }

  std::vector<uint8_t> data_, index_;
  size_t records_ = 0;
  uint32_t pageSize_ = 0;
  TIndexHeader header_;
  std::unique_ptr<test::TMemoryPageStore> store_;
};

TEST_P(FixturePages, EveryIndexHoldsItsRulesAndPacksBackUnchanged) {
  std::set<uint32_t> used;
  std::vector<uint32_t> slots;
  for (uint32_t s = 0; s <= header_.IndexCount; ++s) slots.push_back(s);
  slots.push_back(31);
  for (uint32_t slot : slots) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    const TIndexDefinition def = Definition(slot);
    if (slot == 31 && def.FieldCount == 0) continue;
    const TKeyLayout layout(def, KeyFields(def), slot);
    ASSERT_EQ(layout.KeySize(), def.KeySize);
    test::TTreeReport report = test::CheckTree(*store_, slot, Props(def), layout);
    ASSERT_EQ(report.error, "");
    if (slot != 31) {
      EXPECT_EQ(report.entries.size(), records_);
    }
    used.insert(report.pages.begin(), report.pages.end());

    TIndexTree tree(*store_, slot, Props(def), layout);
    TIndexPosition pos;
    size_t i = 0;
    for (bool on = tree.First(pos); on; on = tree.Next(pos), ++i)
      ASSERT_EQ(pos.Key, report.entries.at(i).key);
    EXPECT_EQ(i, report.entries.size());
    for (bool on = tree.Last(pos); on; on = tree.Prior(pos)) ASSERT_EQ(pos.Key, report.entries.at(--i).key);
    EXPECT_EQ(i, 0u);
    if (!def.Uncounted) {
      EXPECT_EQ(tree.KeyCount(), report.entries.size());
    }

    for (uint32_t n : report.pages) {
      TPageRef page(store_.get(), store_->PinPage(n, Props(def)), n);
      std::vector<uint8_t> image(pageSize_);
      ASSERT_TRUE(page->EncodeTo(image));
      const size_t usedBytes = UsedBytes(*page);
      EXPECT_TRUE(std::equal(image.begin(), image.begin() + usedBytes, store_->Image(n).begin()))
          << "page " << n;
    }
  }
  std::string error;
  std::set<uint32_t> free = test::CheckFreeChain(*store_, used, Props(Definition(0)), error);
  EXPECT_EQ(error, "");
  if (header_.DataRootPages[31] != 0) {
    TTextIndexParams params;
    params.DecodeFrom(*store_, Props(Definition(31)), header_.DataRootPages[31]);
    EXPECT_TRUE(TTextIndexParams::InSet(params.SpaceChars, ' '));
    for (uint32_t n = header_.DataRootPages[31]; n != 0 && used.insert(n).second;)
      n = TPageRef(store_.get(), store_->PinPage(n, {}), n)->NextPage;
  }
  EXPECT_EQ(used.size() + free.size(), store_->PageCount());
}

INSTANTIATE_TEST_SUITE_P(ForeignTables, FixturePages,
                         ::testing::Values(Fixture{"thedata", "TheData"}, Fixture{"compressed", "TheData"},
                                           Fixture{"alltypes", "AllTypes"}),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik
