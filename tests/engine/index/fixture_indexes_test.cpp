// The index files of the foreign tables opened as index files: every index
// holds its rules, walks in key order both ways, and holds exactly the keys
// built from the table's records, text index words included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "engine/data/record_layout.h"
#include "engine/data/table_definition.h"
#include "engine/index/index_file.h"
#include "engine/index/index_tree.h"
#include "engine/index/record_indexes.h"
#include "engine/index/record_keys.h"
#include "engine/index/text_indexer.h"
#include "tests/engine/index/tree_checker.h"
#include "tests/support/file_fixture.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using nlohmann::json;

struct Fixture {
  const char* folder;
  const char* table;
  const char* password;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class FixtureIndexes : public testing::EngineFileTest, public ::testing::WithParamInterface<Fixture> {
 protected:
  void SetUp() override {
    EngineFileTest::SetUp();
    const Fixture& f = GetParam();
    const std::string base = std::string(ZARNIK_TEST_DATA_DIR) + "/" + f.folder + "/";
    std::filesystem::copy_file(base + f.table + ".idx", folder.File("t.idx"));
    data_ = ReadFile(base + f.table + ".dat");
    table_.DecodeHeader(data_);
    if (*f.password != 0) table.SetPassword(f.password);
    if (table_.header.encrypted) table.DecryptTableBuffer(data_.data() + 512, table_.DefinitionsSize());
    table_.DecodeDefinitions(std::span<const uint8_t>(data_).subspan(512));
    for (uint32_t n = 1; n <= table_.PhysicalRecordCount(); ++n)
      if (table_.header.encrypted)
        table.DecryptTableBuffer(data_.data() + table_.RecordOffset(n), table_.RecordSize());
    std::ifstream lines(base + "records.jsonl");
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) {
        json record = json::parse(line);
        records_[record["RecordID"].get<int32_t>()] = record;
      }
    file_ = std::make_unique<TIndexFile>(engine, table, table_.header.indexPageSize);
    file_->SetFileName(folder.File("t.idx"));
    file_->exclusive = true;
    file_->OpenFile();
  }
  void TearDown() override {
    file_->CloseFile();
    EngineFileTest::TearDown();
  }
  std::span<const uint8_t> Record(uint32_t n) const {
    return std::span<const uint8_t>(data_).subspan(table_.RecordOffset(n), table_.RecordSize());
  }
  bool Live(uint32_t n) const { return GetRecordStatus(Record(n)) != kRecordDeleted; }

  // The text a text-indexed field gives a record: strings from the record,
  // memos from the record list.
  std::string Text(std::span<const uint8_t> record, const TFieldDefinition& field) const {
    if (!field.IsBlob()) return TRecordKeys::FieldText(record, field);
    const json& value = records_.at(GetRecordID(record))[field.name];
    return value.is_string() ? value.get<std::string>() : "";
  }

  testing::TestTable table{engine};
  std::vector<uint8_t> data_;
  TTableDefinition table_;
  std::map<int32_t, json> records_;
  std::unique_ptr<TIndexFile> file_;
};

TEST_P(FixtureIndexes, EveryIndexHoldsTheKeysOfTheRecords) {
  TIndexFilePages pages(*file_, nullptr);
  for (uint32_t slot = 0; slot <= file_->GetIndexCount(); ++slot) {
    SCOPED_TRACE("slot " + std::to_string(slot));
    const TRecordKeys keys(file_->GetIndexDefinition(slot), table_, slot);
    ASSERT_EQ(keys.Layout().KeySize(), file_->GetIndexDefinition(slot).KeySize);
    test::TTreeReport report = test::CheckTree(pages, slot, file_->PropsOf(slot), keys.Layout());
    ASSERT_EQ(report.error, "");
    EXPECT_EQ(report.entries.size(), records_.size());

    TIndexTree tree(pages, slot, file_->PropsOf(slot), keys.Layout());
    std::vector<uint8_t> key(keys.Layout().KeySize());
    for (uint32_t n = 1; n <= table_.PhysicalRecordCount(); ++n) {
      if (!Live(n)) continue;
      keys.BuildKey(Record(n), key.data());
      ASSERT_TRUE(tree.LookupKeyStrict(key.data(), n)) << "record " << n;
    }
    TIndexPosition pos;
    size_t i = 0;
    for (bool on = tree.First(pos); on; on = tree.Next(pos)) ASSERT_EQ(pos.Key, report.entries.at(i++).key);
    EXPECT_EQ(i, report.entries.size());
    for (bool on = tree.Last(pos); on; on = tree.Prior(pos)) ASSERT_EQ(pos.Key, report.entries.at(--i).key);
    EXPECT_EQ(i, 0u);
  }
}

TEST_P(FixtureIndexes, TheTextIndexHoldsTheWordsOfTheTextFields) {
  const TIndexDefinition& def = file_->GetIndexDefinition(TIndexFile::kTextSlot);
  EXPECT_EQ(def.Name, "Sys Text");
  EXPECT_EQ(def.Uncounted, 1);
  TIndexFilePages pages(*file_, nullptr);
  const TKeyLayout layout(def, {}, TIndexFile::kTextSlot);
  test::TTreeReport report = test::CheckTree(pages, TIndexFile::kTextSlot, file_->PropsOf(31), layout);
  ASSERT_EQ(report.error, "");
  const TTextIndexParams params = file_->LoadTextIndexParams(nullptr);
  if (file_->GetDataRootPage(31) == 0) {
    EXPECT_EQ(params.StopWords, TTextIndexParams::Defaults().StopWords);
  }
  const TTextIndexer indexer(params, nullptr, GetParam().table);
  std::multiset<std::pair<std::vector<uint8_t>, uint32_t>> expected, stored;
  for (uint32_t n = 1; n <= table_.PhysicalRecordCount(); ++n) {
    if (!Live(n)) continue;
    for (uint32_t i = 0; i < def.FieldCount; ++i) {
      const TFieldDefinition* field = table_.GetFieldDefinition(def.FieldNumbers[i]);
      ASSERT_NE(field, nullptr);
      for (auto& key : indexer.BuildTextKeys(def.FieldNumbers[i], field->name, Text(Record(n), *field),
                                             GetRecordID(Record(n))))
        expected.insert({key, n});
    }
  }
  for (const test::TTreeEntry& entry : report.entries) stored.insert({entry.key, entry.record});
  EXPECT_EQ(stored.size(), expected.size());
  EXPECT_EQ(expected.empty(), def.FieldCount == 0);
  EXPECT_TRUE(stored == expected);
}

// Every page of every tree packs back to the bytes it was read from, and the
// trees, the parameter chain and the free chain account for every page.
TEST_P(FixtureIndexes, EveryPagePacksBackToItsBytes) {
  std::vector<uint8_t> raw = ReadFile(folder.File("t.idx"));
  const uint32_t pageSize = file_->PageSize();
  TIndexFilePages pages(*file_, nullptr);
  std::set<uint32_t> used;
  for (uint32_t slot = 0; slot < 32; ++slot) {
    if (slot > file_->GetIndexCount() && slot != TIndexFile::kTextSlot) continue;
    const TRecordKeys keys(file_->GetIndexDefinition(slot), table_, slot);
    test::TTreeReport report = test::CheckTree(pages, slot, file_->PropsOf(slot), keys.Layout());
    ASSERT_EQ(report.error, "");
    for (uint32_t n : report.pages) {
      uint8_t* image = raw.data() + TIndexFile::kDataStart + size_t(n - 1) * pageSize;
      if (table_.header.encrypted) table.DecryptTableBuffer(image, pageSize);
      TPageRef page(&pages, pages.PinPage(n, file_->PropsOf(slot)), n);
      std::vector<uint8_t> packed(pageSize);
      ASSERT_TRUE(page->EncodeTo(packed));
      const size_t entry = page->Props().KeySize + (!page->IsLeaf() && !page->Props().Uncounted ? 8 : 4);
      const size_t usedBytes = 13 + (page->IsCompressedLeaf() ? page->PackedSize() : page->Count() * entry);
      EXPECT_TRUE(std::equal(packed.begin(), packed.begin() + usedBytes, image)) << "page " << n;
    }
    used.insert(report.pages.begin(), report.pages.end());
  }
  for (uint32_t n = file_->GetDataRootPage(31); n != 0 && used.insert(n).second;)
    n = TPageRef(&pages, pages.PinPage(n, file_->PropsOf(31)), n)->NextPage;
  std::string error;
  std::set<uint32_t> free = test::CheckFreeChain(pages, used, file_->PropsOf(0), error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(used.size() + free.size(), file_->GetBufferCount());
}

// The records inserted one by one in physical order into the emptied index
// file give the same file, page for page and byte for byte.
TEST_P(FixtureIndexes, InsertingTheRecordsAgainGivesTheSameFile) {
  std::vector<uint8_t> original = ReadFile(folder.File("t.idx"));
  const TIndexHeader header = file_->Header();
  const TTextIndexParams params = file_->LoadTextIndexParams(nullptr);
  const bool storedParams = file_->GetDataRootPage(31) != 0;
  file_->EmptyFile();
  if (storedParams) file_->SaveTextIndexParams(params, nullptr);
  {
    TRecordIndexes indexes(*file_, table_, nullptr);
    indexes.SetTextIndexing([this](std::span<const uint8_t> record,
                                   const TFieldDefinition& field) { return Text(record, field); },
                            &params, nullptr);
    for (uint32_t n = 1; n <= table_.PhysicalRecordCount(); ++n)
      if (Live(n)) indexes.Insert(Record(n), n);
  }
  file_->FlushBuffers(false);
  EXPECT_EQ(file_->Header().RootPages, header.RootPages);
  EXPECT_EQ(file_->Header().DataRootPages, header.DataRootPages);
  EXPECT_EQ(file_->Header().FreePageHead, header.FreePageHead);
  EXPECT_EQ(file_->Header().NextPageNumber, header.NextPageNumber);
  std::vector<uint8_t> rebuilt = ReadFile(folder.File("t.idx"));
  ASSERT_EQ(rebuilt.size(), original.size());
  const uint32_t pageSize = file_->PageSize();
  size_t differing = 0;
  for (size_t at = TIndexFile::kDataStart; at + pageSize <= rebuilt.size(); at += pageSize) {
    if (table_.header.encrypted) {
      table.DecryptTableBuffer(rebuilt.data() + at, pageSize);
      table.DecryptTableBuffer(original.data() + at, pageSize);
    }
    if (!std::equal(rebuilt.begin() + at, rebuilt.begin() + at + pageSize, original.begin() + at) &&
        differing++ < 5)
      ADD_FAILURE() << "page " << (at - TIndexFile::kDataStart) / pageSize + 1;
  }
  EXPECT_EQ(differing, 0u);
}

INSTANTIATE_TEST_SUITE_P(ForeignTables, FixtureIndexes,
                         ::testing::Values(Fixture{"thedata", "TheData", ""},
                                           Fixture{"compressed", "TheData", ""},
                                           Fixture{"alltypes", "AllTypes", ""},
                                           Fixture{"encrypted", "TheData", "Secret1"}),
                         [](const auto& info) { return std::string(info.param.folder); });

}  // namespace
}  // namespace zarnik
