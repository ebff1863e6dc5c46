#include "engine/data/data_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/data/record_rules.h"
#include "platform/byte_order.h"
#include "tests/engine/data/test_tables.h"
#include "tests/support/file_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using namespace test_tables;
using zarnik::testing::EngineFileTest;
using zarnik::testing::RaisedBy;
using zarnik::testing::TestTable;

class DataFileTest : public EngineFileTest {
 protected:
  TestTable table{engine};

  std::unique_ptr<TDataFile> MakeDataFile(const std::string& name = "t.dat") {
    auto file = std::make_unique<TDataFile>(engine, table, "db");
    file->SetFileName(folder.File(name));
    file->exclusive = true;
    return file;
  }

  // Creates a table of the given fields with n empty records and closes it.
  void CreateTable(std::vector<TFieldDefinition> fields, uint32_t records = 0, const std::string& name = "t.dat") {
    auto file = MakeDataFile(name);
    file->CreateFile();
    fields = Numbered(fields);
    ASSERT_FALSE(ValidateTableDefinition(fields, 0, false, ""));
    file->SetFieldDefinitions(fields);
    for (uint32_t i = 0; i < records; ++i) Insert(*file);
    Flush(*file);
    file->CloseFile();
  }

  static uint32_t Insert(TDataFile& file) {
    TRecord* record = file.AllocateRecord(nullptr);
    uint32_t number = record->number;
    InitRecord(file.Definition(), record->Bytes(), 0);
    AssignRecordID(file.Definition(), record->Bytes());
    NoteRecordID(file.Definition(), record->Bytes());
    record->SetRecordHash(ComputeRecordHash(file.Definition(), record->Bytes()));
    file.Definition().IncrementRecordCount();
    file.ReleaseBuffer(record);
    return number;
  }

  static void Flush(TDataFile& file) {
    file.FlushBuffers(false);
    file.WriteHeader(false);
    file.WriteFieldDefinitions();
  }

  void PatchHeader(const std::string& name, size_t offset, std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> image = ReadDisk(name);
    std::copy(bytes.begin(), bytes.end(), image.begin() + offset);
    WriteDisk(name, image);
  }
};

// A created table of one string field of size 10, compared on disk with its
// bytes written out by hand (the last-update stamp aside).
TEST_F(DataFileTest, CreatedFileIsByteExact) {
  auto file = MakeDataFile();
  file->CreateFile();
  auto fields = Numbered({NewField("Name", kFieldString, 10)});
  ASSERT_FALSE(ValidateTableDefinition(fields, 0, false, ""));
  file->SetFieldDefinitions(fields);
  file->Definition().SetTableInfo(0, 0, 0, 0, 512, 4096, "", false, std::array<uint8_t, 16>{});
  Flush(*file);
  file->CloseFile();

  std::vector<uint8_t> expected(1280, 0);
  auto poke = [&](size_t offset, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), expected.begin() + offset);
  };
  poke(0, {1});
  poke(8, {6, 0x5f, 0x6b, 0x73, 0x23, 0xac, 0xe2, 0x2f, 0x06, 0xd0, 0x52, 0x17, 0xcd, 0xd8, 0x8e, 0xca, 0x7e});
  poke(29, {1});
  poke(45, {40, 0, 1, 0, 0, 0, 0x00, 0x02});
  poke(59, {0x00, 0x10});
  poke(197, {1});
  poke(512, {1, 0, 4, 'N', 'a', 'm', 'e'});
  poke(512 + 164, {1, 0, 10, 0, 0, 11, 0, 0, 25});
  std::vector<uint8_t> disk = ReadDisk("t.dat");
  ASSERT_EQ(disk.size(), 1280u);
  double lastUpdate = platform::GetFloat64(disk, 63);
  EXPECT_NEAR(lastUpdate, platform::Now() - 693594, 1.0);
  std::fill(disk.begin() + 63, disk.begin() + 71, 0);
  EXPECT_EQ(disk, expected);
}

TEST_F(DataFileTest, OpensWhatItCreated) {
  CreateTable({NewField("A", kFieldInteger), NewField("S", kFieldString, 10)}, 3);
  auto file = MakeDataFile();
  file->OpenFile();
  file->CheckHeader();
  EXPECT_EQ(file->Definition().FieldCount(), 2u);
  EXPECT_EQ(file->Definition().RecordSize(), 48u);
  EXPECT_EQ(file->GetBufferCount(), 3u);
  EXPECT_EQ(file->Definition().header.recordCount, 3);
  EXPECT_EQ(file->Definition().header.lastRecordID, 3);
  EXPECT_EQ(file->GetDataStart(), 512 + 2 * 768);
  TRecord* record = file->GetRecord(nullptr, 2);
  EXPECT_EQ(record->GetRecordID(), 2);
  EXPECT_EQ(record->GetRecordHash(), ComputeRecordHash(file->Definition(), record->Bytes()));
  file->ReleaseBuffer(record);
}

TEST_F(DataFileTest, OpeningChecksVersionSignatureAndFieldCount) {
  struct Case {
    const char* name;
    size_t offset;
    std::vector<uint8_t> bytes;
    TErrorCode code;
  } cases[] = {
      {"version 5", 8, {5}, ZARNIK_OLDVERSION},
      {"version 7", 8, {7}, ZARNIK_BADSIGNATURE},
      {"signature", 9, {0x00}, ZARNIK_BADSIGNATURE},
      {"1025 fields", 47, {0x01, 0x04}, ZARNIK_HEADERCORRUPT},
      {"65535 fields", 47, {0xFF, 0xFF}, ZARNIK_HEADERCORRUPT},
      {"definitions cut short", 47, {0x03, 0x00}, ZARNIK_READERR},
      {"encrypted without a password", 172, {1}, ZARNIK_NOTSUFFTABLERIGHTS},
      {"locale not installed", 189, {0x09, 0x04}, ZARNIK_CANNOTLOADLDDRV},
  };
  for (const Case& c : cases) {
    CreateTable({NewField("A", kFieldInteger)});
    std::vector<uint8_t> image = ReadDisk("t.dat");
    std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + c.offset);
    WriteDisk("t.dat", image);
    auto file = MakeDataFile();
    auto raised = RaisedBy([&] { file->OpenFile(); });
    EXPECT_EQ(raised.code, c.code) << c.name;
    EXPECT_EQ(raised.tableName, "TestTable") << c.name;
    EXPECT_FALSE(file->IsOpen()) << c.name;  // a failed open closes what it opened
  }
}

TEST_F(DataFileTest, SignaturesThatOpen) {
  engine.SetSignature("OTHER_SIG");
  CreateTable({NewField("A", kFieldInteger)}, 0, "other.dat");
  auto file = MakeDataFile("other.dat");
  file->OpenFile();  // the engine's own signature
  file->CloseFile();
  engine.SetSignature(kDefaultSignature);
  EXPECT_EQ(RaisedBy([&] { file->OpenFile(); }).code, ZARNIK_BADSIGNATURE);

  CreateTable({NewField("A", kFieldInteger)}, 0, "default.dat");
  engine.SetSignature("OTHER_SIG");
  auto opened = MakeDataFile("default.dat");
  opened->OpenFile();  // made under the default signature: opens under any
  EXPECT_TRUE(opened->IsOpen());
}

TEST_F(DataFileTest, EncryptedDefinitionsAndRecords) {
  table.SetPassword("Secret1");
  TDigest digest = MD5Digest("Secret1");
  std::array<uint8_t, 16> check;
  std::copy(digest.begin(), digest.end(), check.begin());
  engine.EncryptBuffer(table.key, check.data(), check.size());
  {
    auto file = MakeDataFile();
    file->CreateFile();
    auto fields = Numbered({NewField("Secret", kFieldString, 10)});
    ASSERT_FALSE(ValidateTableDefinition(fields, 0, true, "Secret1"));
    file->SetFieldDefinitions(fields);
    file->Definition().SetTableInfo(0, 0, 0, 0, 512, 4096, "", true, check);
    Insert(*file);
    Insert(*file);
    Flush(*file);
  }
  std::vector<uint8_t> disk = ReadDisk("t.dat");
  EXPECT_EQ(platform::GetShortString(disk, 512 + 2, 60).find("Secret"), std::string::npos);
  EXPECT_NE(platform::GetInt32(disk, 1280 + 5), 1);  // RecordID 1 is not stored plain

  auto file = MakeDataFile();
  EXPECT_EQ(RaisedBy([&] { file->OpenFile(); }).code, ZARNIK_NOTSUFFTABLERIGHTS);
  std::array<uint8_t, 16> offered{};
  file->attachPassword = [&](const std::array<uint8_t, 16>& value) {
    offered = value;
    return true;
  };
  file->OpenFile();
  EXPECT_EQ(offered, check);
  EXPECT_EQ(file->Definition().Fields()[0].name, "Secret");
  file->CheckHeader();
  TRecord* record = file->GetRecord(nullptr, 2);
  EXPECT_EQ(record->GetRecordID(), 2);
  file->ReleaseBuffer(record);
}

TEST_F(DataFileTest, ChangeCounterAndHeaderWrites) {
  CreateTable({NewField("A", kFieldInteger)});
  auto file = MakeDataFile();
  file->OpenFile();
  uint32_t start = file->Definition().header.changeCounter;
  EXPECT_FALSE(file->WriteHeader(false));
  EXPECT_TRUE(file->WriteHeader(true));
  EXPECT_TRUE(file->WriteHeader(true));
  EXPECT_EQ(file->Definition().header.changeCounter, start + 2);
  file->MarkHeaderChanged();
  EXPECT_TRUE(file->WriteHeader(false));
  EXPECT_EQ(file->Definition().header.changeCounter, start + 4);
  EXPECT_TRUE(table.written);
  EXPECT_FALSE(file->HeaderChanged());

  file->exclusive = false;
  auto other = MakeDataFile();
  other->exclusive = false;
  // another handle's write moves the counter on disk
  file->CloseFile();
  file->OpenFile();
  other->OpenFile();
  other->WriteHeader(true);
  EXPECT_TRUE(file->HeaderChanged());
  EXPECT_FALSE(file->HeaderChanged());
}

// Deleting 5, 9 and 2 chains 2 -> 9 -> 5 -> 0 on disk; insertions reuse 2, 9, 5, then grow the file.
TEST_F(DataFileTest, FreeChainOnDisk) {
  CreateTable({NewField("A", kFieldInteger)}, 10);
  auto file = MakeDataFile();
  file->OpenFile();
  for (uint32_t n : {5u, 9u, 2u}) {
    TRecord* record = file->GetRecord(nullptr, n);
    file->Definition().DecrementRecordCount();
    file->FreeRecord(*record);
    file->ReleaseBuffer(record);
  }
  Flush(*file);
  file->CloseFile();
  file->OpenFile();
  EXPECT_EQ(file->Definition().header.freeRecordHead, 2);
  EXPECT_EQ(file->Definition().header.recordCount, 7);
  std::vector<int32_t> links;
  for (uint32_t n : {2u, 9u, 5u}) {
    TRecord* record = file->GetRecord(nullptr, n);
    EXPECT_EQ(record->GetStatus(), kRecordDeleted);
    links.push_back(record->GetNextFree());
    file->ReleaseBuffer(record);
  }
  EXPECT_EQ(links, std::vector<int32_t>({9, 5, 0}));
  std::vector<uint32_t> reused;
  for (int i = 0; i < 4; ++i) reused.push_back(Insert(*file));
  EXPECT_EQ(reused, std::vector<uint32_t>({2, 9, 5, 11}));
  Flush(*file);
  EXPECT_EQ(file->GetFileSize(), file->GetDataStart() + 11 * 32);
}

TEST_F(DataFileTest, RecordAccessorsMarkTheBufferChanged) {
  CreateTable({NewField("A", kFieldInteger)}, 2);
  auto file = MakeDataFile();
  file->OpenFile();
  TRecord* record = file->GetRecord(nullptr, 2);
  TBufferPin pin(record);
  record->SetLinkQuietly(2);
  EXPECT_FALSE(record->dirty);
  EXPECT_EQ(record->GetNextFree(), 0);  // a live record's link is not a chain
  for (auto change : std::vector<std::function<void()>>{[&] { record->SetLink(3); }, [&] { record->SetStatus(1); },
                                                        [&] { record->SetRecordID(8); },
                                                        [&] { record->SetRecordHash(TRecordHash{}); }}) {
    record->dirty = false;
    change();
    EXPECT_TRUE(record->dirty);
  }
  EXPECT_EQ(record->GetNextFree(), 3);
  EXPECT_EQ(record->GetRecordID(), 8);
}

TEST_F(DataFileTest, DeletingTheOnlyRecordKeepsTheFileSize) {
  CreateTable({NewField("A", kFieldInteger)}, 1);
  auto file = MakeDataFile();
  file->OpenFile();
  int64_t size = file->GetFileSize();
  TRecord* record = file->GetRecord(nullptr, 1);
  file->Definition().DecrementRecordCount();
  file->FreeRecord(*record);
  file->ReleaseBuffer(record);
  Flush(*file);
  EXPECT_EQ(file->GetFileSize(), size);
  EXPECT_EQ(file->Definition().header.recordCount, 0);
  EXPECT_EQ(file->Definition().header.freeRecordHead, 1);
}

TEST_F(DataFileTest, EmptyingStartsAgainAtRecordOne) {
  CreateTable({NewField("A", kFieldInteger)}, 4);
  auto file = MakeDataFile();
  file->OpenFile();
  file->EmptyFile();
  EXPECT_EQ(file->GetFileSize(), file->GetDataStart());
  EXPECT_EQ(Insert(*file), 1u);
  TRecord* record = file->GetRecord(nullptr, 1);
  EXPECT_EQ(record->GetRecordID(), 1);
  file->ReleaseBuffer(record);
}

TEST_F(DataFileTest, CacheLimits) {
  CreateTable({NewField("S", kFieldString, 74)});  // record size 104
  PatchHeader("t.dat", 45, {100, 0});              // a record size of 100, as a foreign file may have
  auto file = MakeDataFile();
  file->OpenFile();
  EXPECT_EQ(file->CacheLimit(), 240);  // 32768 div (100 + 36)
  EXPECT_EQ(file->ReadAheadLimit(), 120);
  file->CloseFile();
  PatchHeader("t.dat", 45, {0, 0});
  file->OpenFile();
  EXPECT_EQ(file->CacheLimit(), 8192);
}

TEST_F(DataFileTest, AppendingStopsAtTheLimits) {
  CreateTable({NewField("S", kFieldString, 500)});
  auto file = MakeDataFile();
  file->OpenFile();
  TTableDefinition& d = file->Definition();
  // records ending at or below 4,000,000,000 bytes may grow by one more
  d.header.nextRecordNumber = static_cast<int32_t>((4000000000ULL - d.DataStart()) / d.RecordSize()) + 1;
  ASSERT_LE(d.DataEnd(), 4000000000ULL);
  file->CheckCanAppend();
  d.header.nextRecordNumber += 1;
  EXPECT_GT(d.DataEnd(), 4000000000ULL);
  EXPECT_EQ(RaisedBy([&] { file->CheckCanAppend(); }).code, ZARNIK_TABLEFULL);

  engine.Settings.LargeFileSupport = true;
  engine.StartEngine("zarnik.lck");
  file->CheckCanAppend();
  d.header.nextRecordNumber = 1000000001;
  EXPECT_EQ(RaisedBy([&] { file->CheckCanAppend(); }).code, ZARNIK_TABLEFULL);
}

TEST_F(DataFileTest, DamagedHeadersFailTheCheck) {
  CreateTable({NewField("A", kFieldInteger)}, 2);
  std::vector<uint8_t> image = ReadDisk("t.dat");
  image.resize(image.size() + 16);  // two and a half records
  WriteDisk("t.dat", image);
  auto file = MakeDataFile();
  file->OpenFile();
  auto raised = RaisedBy([&] { file->CheckHeader(); });
  EXPECT_EQ(raised.code, ZARNIK_HEADERCORRUPT);
  EXPECT_EQ(raised.tableName, "TestTable");
  EXPECT_FALSE(file->VerifyHeader(nullptr, true));
}

TEST_F(DataFileTest, RefusedDefinitionsNameTheTable) {
  auto file = MakeDataFile();
  file->CreateFile();
  std::vector<TFieldDefinition> blobs;
  for (int i = 0; i < 129; ++i) blobs.push_back(NewField("B" + std::to_string(i), kFieldBlob));
  auto raised = RaisedBy([&] { file->SetFieldDefinitions(Numbered(blobs)); });
  EXPECT_EQ(raised.code, ZARNIK_BLOBLIMIT);
  EXPECT_EQ(raised.tableName, "TestTable");
  EXPECT_EQ(file->Definition().FieldCount(), 0u);
}

TEST_F(DataFileTest, RecordSizeZeroIsSafe) {
  CreateTable({NewField("A", kFieldInteger)}, 2);
  PatchHeader("t.dat", 45, {0, 0});
  auto file = MakeDataFile();
  file->OpenFile();
  EXPECT_EQ(RaisedBy([&] { file->CheckHeader(); }).code, ZARNIK_HEADERCORRUPT);
  EXPECT_EQ(RaisedBy([&] { file->GetRecord(nullptr, 1); }).code, ZARNIK_FILECORRUPT);
}

}  // namespace
}  // namespace zarnik
