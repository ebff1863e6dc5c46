#include "engine/index/index_file.h"

#include <gtest/gtest.h>

#include "engine/data/field_definition.h"
#include "engine/data/record_layout.h"
#include "engine/index/index_tree.h"
#include "engine/index/record_keys.h"
#include "platform/byte_order.h"
#include "tests/engine/data/test_tables.h"
#include "tests/engine/index/tree_checker.h"
#include "tests/support/file_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using test_tables::NewField;
using testing::RaisedBy;
using Bytes = std::vector<uint8_t>;

class IndexFileTest : public testing::EngineFileTest {
 protected:
  testing::TestTable table{engine};
  TTableDefinition fields =
      test_tables::NewTable({NewField("I", kFieldInteger), NewField("S", kFieldString, 10),
                             NewField("M", kFieldBlob, 0, kSubtypeMemo)});

  std::unique_ptr<TIndexFile> NewFile(uint32_t pageSize = 1024) {
    auto file = std::make_unique<TIndexFile>(engine, table, pageSize);
    file->SetFileName(folder.File("t.idx"));
    file->exclusive = true;
    return file;
  }
  // A new file with the default definitions, written and closed.
  void Create(uint32_t pageSize = 1024) {
    auto file = NewFile(pageSize);
    file->CreateFile();
    file->StoreDefaultDefinitions({2, 3});
    file->WriteHeader(false);
    file->WriteDefinitions(false);
    file->CloseFile();
  }
  std::unique_ptr<TIndexFile> Open(uint32_t pageSize = 1024) {
    auto file = NewFile(pageSize);
    file->OpenFile();
    return file;
  }
  TIndexDefinition Secondary(const std::string& name, uint16_t field, bool unique = false) {
    TIndexDefinition def;
    def.Name = name;
    def.FieldCount = 1;
    def.FieldNumbers[0] = field;
    def.Unique = unique;
    return def;
  }
  void PatchDisk(size_t offset, std::vector<uint8_t> bytes) {
    Bytes disk = ReadDisk("t.idx");
    std::copy(bytes.begin(), bytes.end(), disk.begin() + offset);
    WriteDisk("t.idx", disk);
  }
};

TEST_F(IndexFileTest, ANewFileHoldsTheDefaultDefinitionsOnly) {
  Create();
  Bytes disk = ReadDisk("t.idx");
  ASSERT_EQ(disk.size(), 25088u);
  EXPECT_EQ(platform::GetUInt32(disk, 0), 1u);  // one header write
  EXPECT_EQ(disk[8], 6);
  const TDigest digest = MD5Digest(kDefaultSignature);
  EXPECT_TRUE(std::equal(digest.begin(), digest.end(), disk.begin() + 9));
  EXPECT_EQ(platform::GetUInt32(disk, 25), 0u);
  EXPECT_EQ(platform::GetUInt32(disk, 29), 1u);
  EXPECT_EQ(disk[290], 1);
  Bytes expected(25088 - 512, 0);
  TIndexDefinition::DefaultPrimary().EncodeTo(std::span<uint8_t, 768>(expected.data(), 768));
  TIndexDefinition text = TIndexDefinition::DefaultText();
  text.FieldCount = 2;
  text.FieldNumbers[0] = 2;
  text.FieldNumbers[1] = 3;
  text.EncodeTo(std::span<uint8_t, 768>(expected.data() + 31 * 768, 768));
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), disk.begin() + 512));
  EXPECT_TRUE(std::all_of(disk.begin() + 33, disk.begin() + 290, [](uint8_t b) { return b == 0; }));
}

TEST_F(IndexFileTest, OpeningChecksVersionSignatureAndIndexCount) {
  Create();
  const Bytes healthy = ReadDisk("t.idx");
  struct Case {
    const char* what;
    size_t offset;
    Bytes bytes;
    TErrorCode code;
  } cases[] = {
      {"version 5", 8, {5}, ZARNIK_OLDVERSION},
      {"version 7", 8, {7}, ZARNIK_BADSIGNATURE},
      {"foreign signature", 9, {1, 2, 3}, ZARNIK_BADSIGNATURE},
      {"31 secondary indexes", 33, {31}, ZARNIK_HEADERCORRUPT},
  };
  for (const Case& c : cases) {
    PatchDisk(c.offset, c.bytes);
    auto file = NewFile();
    testing::Raised raised = RaisedBy([&] { file->OpenFile(); });
    EXPECT_EQ(raised.code, c.code) << c.what;
    EXPECT_EQ(raised.tableName, "TestTable") << c.what;
    EXPECT_FALSE(file->IsOpen()) << c.what;
    WriteDisk("t.idx", healthy);
  }
  // A file made under the default signature opens under any other.
  engine.SetSignature("Other");
  EXPECT_EQ(RaisedBy([&] { Open(); }).code, ZARNIK_NONE);
  auto other = NewFile();
  other->CreateFile();
  other->StoreDefaultDefinitions({});
  other->WriteHeader(false);
  other->WriteDefinitions(false);
  other->CloseFile();
  engine.SetSignature(kDefaultSignature);
  EXPECT_EQ(RaisedBy([&] { Open(); }).code, ZARNIK_BADSIGNATURE);
}

TEST_F(IndexFileTest, HeaderWritesCountChanges) {
  Create();
  auto file = Open();
  EXPECT_FALSE(file->WriteHeader(false));
  EXPECT_TRUE(file->WriteHeader(true));
  EXPECT_EQ(file->Header().ChangeCount, 2u);
  EXPECT_EQ(ReadDisk("t.idx")[290], 0);  // written by force, nothing changed
  file->MarkHeaderChanged();
  EXPECT_TRUE(file->WriteHeader(false));
  EXPECT_EQ(file->Header().ChangeCount, 4u);
  EXPECT_FALSE(file->HeaderChanged());
  file->SetRootPage(3, 0);  // the same value changes nothing
  EXPECT_FALSE(file->IsHeaderChanged());
  EXPECT_TRUE(file->IsValidPage(0));
  EXPECT_FALSE(file->IsValidPage(1));
  EXPECT_FALSE(file->IsValidPage(-1));
}

TEST_F(IndexFileTest, DefinitionChangesAndTheirErrors) {
  Create();
  auto file = Open();
  EXPECT_EQ(file->KeySizeFor(Secondary("A", 1), fields), 9);
  EXPECT_EQ(file->KeySizeFor(Secondary("A", 1, true), fields), 5);
  TIndexDefinition blob = Secondary("B", 3);
  struct Case {
    const char* what;
    TIndexDefinition def;
    TErrorCode code;
  } cases[] = {
      {"empty name", Secondary("", 1), ZARNIK_INDEXNAMEREQUIRED},
      {"name starting with a digit", Secondary("1x", 1), ZARNIK_INVALIDINDEXNAME},
      {"BLOB key field", blob, ZARNIK_SEARCHCOLREQD},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RaisedBy([&] { file->AddIndex(c.def, fields); }).code, c.code) << c.what;
  EXPECT_EQ(file->GetIndexCount(), 0u);
  file->AddIndex(Secondary("ixS", 2), fields);
  EXPECT_EQ(RaisedBy([&] { file->AddIndex(Secondary("IXs ", 1), fields); }).code, ZARNIK_INDEXEXISTS);
  EXPECT_TRUE(file->IndexNameExists("IXS"));

  EXPECT_TRUE(file->HasDefaultPrimaryIndex());
  TIndexDefinition primary = Secondary("named", 1);
  primary.KeySize = 5;
  file->SetPrimaryIndex(primary, fields);
  EXPECT_EQ(file->GetIndexDefinition(0).Name, "");
  EXPECT_EQ(file->GetIndexDefinition(0).Unique, 1);
  EXPECT_EQ(RaisedBy([&] { file->SetPrimaryIndex(Secondary("", 2), fields); }).code,
            ZARNIK_PRIMARYKEYREDEFINE);
  file->DeleteIndex(0, false);
  EXPECT_TRUE(file->HasDefaultPrimaryIndex());

  for (int i = 2; i <= 30; ++i) file->AddIndex(Secondary("ix" + std::to_string(i), 1), fields);
  EXPECT_EQ(RaisedBy([&] { file->AddIndex(Secondary("more", 1), fields); }).code, ZARNIK_INDEXLIMIT);
  for (uint32_t s = 1; s <= 30; ++s) file->SetRootPage(s, 100 + s);
  file->DeleteIndex(3, true);
  EXPECT_EQ(file->GetIndexCount(), 29u);
  EXPECT_EQ(file->GetIndexDefinition(2).Name, "ix2");
  EXPECT_EQ(file->GetIndexDefinition(3).Name, "ix4");
  EXPECT_EQ(file->GetIndexDefinition(29).Name, "ix30");
  EXPECT_EQ(file->GetIndexDefinition(30).KeySize, 0);
  EXPECT_EQ(file->GetRootPage(3), 104u);
  EXPECT_EQ(file->GetRootPage(30), 0u);
  file->WriteHeader(false);
  file->WriteDefinitions(false);
  file->CloseFile();
  file = Open();
  EXPECT_EQ(file->GetIndexDefinition(29).Name, "ix30");
  EXPECT_EQ(file->GetIndexDefinition(31).Name, "Sys Text");
}

TEST_F(IndexFileTest, TheKeySizeRuleFollowsThePageSize) {
  Create();
  auto file = Open();
  TTableDefinition wide =
      test_tables::NewTable({NewField("A", kFieldString, 335), NewField("B", kFieldString, 336)});
  EXPECT_EQ(file->KeySizeFor(Secondary("A", 1, true), wide), 337);
  EXPECT_EQ(RaisedBy([&] { file->KeySizeFor(Secondary("B", 2, true), wide); }).code, ZARNIK_INVALIDKEY);
}

// Pages written through the cache come back through the cache, enciphered
// or not, and emptying the file drops them all.
TEST_F(IndexFileTest, TreesLiveInTheFilesPages) {
  for (const char* password : {"", "Secret"}) {
    SCOPED_TRACE(password);
    if (*password != 0) table.SetPassword(password);
    Create();
    auto file = Open();
    TIndexDefinition def = Secondary("ixI", 1);
    def.KeySize = file->KeySizeFor(def, fields);
    def.Compression = 3;
    file->AddIndex(def, fields);
    const TRecordKeys keys(file->GetIndexDefinition(1), fields, 1);
    {
      TIndexFilePages pages(*file, nullptr);
      TIndexTree tree(pages, 1, file->PropsOf(1), keys.Layout());
      Bytes record(fields.RecordSize(), 0);
      Bytes key(keys.Layout().KeySize());
      for (int32_t i = 1; i <= 3000; ++i) {
        const int32_t value = i % 97;
        SetRecordID(record, i);
        SetFieldValue(record, *fields.GetFieldDefinition(1),
                      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(&value), 4));
        keys.BuildKey(record, key.data());
        tree.InsertKey(key.data(), uint32_t(i));
      }
      TTextIndexParams params = TTextIndexParams::Defaults();
      params.StopWords.push_back("EXTRA");
      file->SaveTextIndexParams(params, nullptr);
    }
    ASSERT_TRUE(file->FlushBuffers(false));
    file->WriteHeader(false);
    file->WriteDefinitions(false);
    file->CloseFile();

    file = Open();
    EXPECT_GT(file->GetBufferCount(), 30u);
    EXPECT_EQ(file->GetMaxBufferCount(), 65536 / (1024 - 13 + 56));
    TIndexFilePages pages(*file, nullptr);
    test::TTreeReport report = test::CheckTree(pages, 1, file->PropsOf(1), keys.Layout());
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.entries.size(), 3000u);
    EXPECT_EQ(file->LoadTextIndexParams(nullptr).StopWords.back(), "EXTRA");

    file->EmptyFile();
    EXPECT_EQ(file->GetBufferCount(), 0u);
    EXPECT_EQ(file->GetRootPage(1), 0u);
    EXPECT_EQ(file->GetDataRootPage(31), 0u);
    EXPECT_EQ(ReadDisk("t.idx").size(), 25088u);
    EXPECT_EQ(file->LoadTextIndexParams(nullptr).StopWords.size(), 22u);
    file->CloseFile();
  }
}

TEST_F(IndexFileTest, APageNumberZeroOrAPageBeyondTheMaximumSizeIsRefused) {
  Create();
  auto file = Open();
  bool continueFlag;
  EXPECT_EQ(RaisedBy([&] { file->GetBuffer(nullptr, 0, 0, 0, false, continueFlag); }).code,
            ZARNIK_INDEXCORRUPT);
  const_cast<TEngineLimits&>(engine.Limits()).MaxTableFileSize = 25088 + 1024;
  file->ReleaseBuffer(file->GetBuffer(nullptr, 0, 1, 0, false, continueFlag));
  EXPECT_EQ(RaisedBy([&] { file->GetBuffer(nullptr, 0, 2, 0, false, continueFlag); }).code, ZARNIK_TABLEFULL);
  EXPECT_EQ(file->GetBufferCount(), 1u);
}

}  // namespace
}  // namespace zarnik
