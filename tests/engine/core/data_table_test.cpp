// Tables and cursors: creation with its checks, the round trip of records,
// keys and BLOBs through closed files, sharing between cursors and between
// processes, encryption, the recreated index file and damaged files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "engine/core/data_session.h"
#include "engine/data/data_file.h"
#include "engine/index/index_file.h"
#include "engine/index/text_index_params.h"
#include "tests/engine/core/table_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/raised.h"

namespace zarnik::testing {
namespace {

TEST_F(TableTest, CreatedTableReopensWithEveryRecordKeyAndBlob) {
  CreateFilled(300);
  auto cursor = Cursor(*directory);
  cursor->OpenCursor();
  EXPECT_EQ(CheckRows(*cursor, 300), 0);
  cursor->CloseCursor(true);

  ChildProcess child([&](ChildProcess&) {
    TDataEngine other;
    other.StartEngine("zarnik.lck");
    TDataDirectory& there = other.CreateSession().OpenDirectory("DB", folder.Path(), false, false);
    TDataCursor reader(there);
    reader.SetTableName("People");
    reader.OpenCursor();
    return CheckRows(reader, 300);
  });
  EXPECT_EQ(child.Join(), 0);
}

TEST_F(TableTest, TwoProcessesInsertingIntoOneSharedTableKeepEveryRecordAndKey) {
  Create(PeopleTable());
  // Each waits for the other's inserts as long as it takes.
  engine.Settings.TableWriteLockRetryCount = engine.Settings.TableReadLockRetryCount = 30000;
  auto insert = [&](TDataDirectory& in, int first) {
    TDataCursor cursor(in);
    cursor.SetTableName("People");
    cursor.OpenCursor();
    InsertRows(cursor, first, 1000);
  };
  ChildProcess child([&](ChildProcess& self) {
    TDataEngine other;
    other.StartEngine("zarnik.lck");
    self.Receive();
    insert(other.CreateSession().OpenDirectory("DB", folder.Path(), false, false), 1000);
    return 0;
  });
  child.Send('g');
  insert(*directory, 0);
  ASSERT_EQ(child.Join(), 0);

  auto cursor = Cursor(*directory);
  cursor->OpenCursor();
  EXPECT_EQ(CheckRows(*cursor, 2000), 0);
}

TEST_F(TableTest, ExclusiveUseIsRefusedWhileAnotherUserHoldsTheTable) {
  Create(PeopleTable());
  auto shared = Cursor(*directory);
  shared->OpenCursor();
  auto exclusive = Cursor(*directory, "People", true);
  EXPECT_EQ(RaisedBy([&] { exclusive->OpenCursor(); }).code, ZARNIK_OSEACCES);
  EXPECT_TRUE(shared->IsOpen());
  auto second = Cursor(*directory);
  second->OpenCursor();
  EXPECT_EQ(second->Table(), shared->Table());
  EXPECT_EQ(shared->Table()->openCount, 2);
  second->CloseCursor(true);
  EXPECT_TRUE(shared->Table()->filesOpen);
  shared->CloseCursor(true);

  ChildProcess child([&](ChildProcess& self) {
    TDataEngine other;
    other.StartEngine("zarnik.lck");
    TDataCursor holder(other.CreateSession().OpenDirectory("DB", folder.Path(), false, false));
    holder.SetTableName("People");
    holder.OpenCursor();
    self.Send('o');
    self.Receive();
    return 0;
  });
  ASSERT_TRUE(child.Receive());
  EXPECT_EQ(RaisedBy([&] { exclusive->OpenCursor(); }).code, ZARNIK_OSEACCES);
  EXPECT_FALSE(exclusive->IsOpen());
  child.Send('x');
  EXPECT_EQ(child.Join(), 0);
  exclusive->OpenCursor();
  EXPECT_TRUE(exclusive->IsOpen());
}

TEST_F(TableTest, EncryptedTableOpensOnlyWithItsExactPassword) {
  TTableDescription description = PeopleTable();
  description.encrypted = true;
  description.password = "Secret1";
  CreateFilled(40, description);
  std::vector<uint8_t> raw;
  {
    std::ifstream in(folder.File("People.blb"), std::ios::binary);
    raw.assign(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_EQ(
      std::search(raw.begin(), raw.end(), BytesOf("notes of row").begin(), BytesOf("notes of row").end()),
      raw.end())
      << "memo text in the clear";

  TDataSession& other = NewSession();
  other.AddPassword("Secret1");
  TDataDirectory& directoryOfOther = Open(other);
  for (bool exclusive : {false, true}) {  // an exclusive reader reads ahead below the cache
    TDataCursor reader(directoryOfOther);
    reader.SetTableName("People");
    reader.exclusive = exclusive;
    reader.OpenCursor();
    EXPECT_EQ(CheckRows(reader, 40), 0) << (exclusive ? "exclusive" : "shared");
    reader.CloseCursor(true);
  }

  TDataSession& wrong = NewSession();
  wrong.AddPassword("SECRET1");
  TDataCursor refused(Open(wrong));
  refused.SetTableName("People");
  EXPECT_EQ(RaisedBy([&] { refused.OpenCursor(); }).code, ZARNIK_NOTSUFFTABLERIGHTS);
  EXPECT_FALSE(refused.IsOpen());
}

TEST_F(TableTest, MissingIndexFileIsRecreatedWithItsPrimaryIndexRefilled) {
  TTableDescription description = PeopleTable();
  description.primaryIndex.reset();
  CreateFilled(150, description);
  std::filesystem::remove(folder.File("People.idx"));

  auto cursor = Cursor(*directory);
  cursor->OpenCursor();
  TIndexFile& index = cursor->Table()->IndexFile();
  EXPECT_EQ(index.GetIndexCount(), 0u);
  EXPECT_TRUE(index.HasDefaultPrimaryIndex());
  EXPECT_EQ(cursor->RecordCount(), 150u);
  cursor->SelectIndex(0);
  int32_t previous = 0;
  uint32_t visited = 0;
  for (bool more = cursor->First(); more; more = cursor->Next(), ++visited) {
    int32_t id = platform::GetInt32(cursor->GetField(-1).bytes, 0);
    EXPECT_GT(id, previous);
    previous = id;
  }
  EXPECT_EQ(visited, 150u);
  EXPECT_EQ(RaisedBy([&] { cursor->SelectIndexByName("ByCity"); }).code, ZARNIK_INVALIDIDXDESC);
  cursor->CloseCursor(true);
  EXPECT_EQ(std::filesystem::file_size(folder.File("People.idx")) > 25088, true);
}

TEST_F(TableTest, CreationChecksEveryValueBeforeMakingAnyFile) {
  struct Case {
    const char* what;
    void (*change)(TTableDescription&);
    TErrorCode code;
  };
  const Case cases[] = {
      {"no fields", [](TTableDescription& d) { d.fields.clear(); }, ZARNIK_FLDLIMIT},
      {"page size", [](TTableDescription& d) { d.indexPageSize = 1000; }, ZARNIK_INDEXLIMIT},
      {"page size above", [](TTableDescription& d) { d.indexPageSize = 16385; }, ZARNIK_INDEXLIMIT},
      {"31 secondary indexes",
       [](TTableDescription& d) {
         d.secondaryIndexes.clear();
         for (int i = 0; i < 31; ++i)
           d.secondaryIndexes.push_back(MakeIndex("I" + std::to_string(i), {kCity}));
       },
       ZARNIK_INDEXLIMIT},
      {"block size", [](TTableDescription& d) { d.blobBlockSize = 56; }, ZARNIK_BLOBLIMIT},
      {"block size above", [](TTableDescription& d) { d.blobBlockSize = 65537; }, ZARNIK_BLOBLIMIT},
      {"empty password",
       [](TTableDescription& d) {
         d.encrypted = true;
         d.password = "  ";
       },
       ZARNIK_INVALIDPASSWORD},
      {"locale", [](TTableDescription& d) { d.localeId = 1033; }, ZARNIK_CANNOTLOADLDDRV},
      {"BLOB key field", [](TTableDescription& d) { d.secondaryIndexes[0] = MakeIndex("ByNotes", {kNotes}); },
       ZARNIK_SEARCHCOLREQD},
      {"unnamed secondary index", [](TTableDescription& d) { d.secondaryIndexes[0].Name = ""; },
       ZARNIK_INDEXNAMEREQUIRED},
      {"index name", [](TTableDescription& d) { d.secondaryIndexes[0].Name = "1st"; },
       ZARNIK_INVALIDINDEXNAME},
      {"index twice", [](TTableDescription& d) { d.secondaryIndexes[1].Name = "bycity"; },
       ZARNIK_INDEXEXISTS},
      {"key field missing", [](TTableDescription& d) { d.secondaryIndexes[0].FieldNumbers[0] = 9; },
       ZARNIK_INVALIDIDXDESC},
      {"field size", [](TTableDescription& d) { d.fields[1].size = 0; }, ZARNIK_INVALIDFLDTYPE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TTableDescription description = PeopleTable();
    c.change(description);
    EXPECT_EQ(RaisedBy([&] { Create(description); }).code, c.code);
    EXPECT_FALSE(std::filesystem::exists(folder.File("People.dat")));
  }
  TTableDescription rounded = PeopleTable();
  rounded.indexPageSize = 1020;
  rounded.blobBlockSize = 60;
  Create(rounded);
  auto cursor = Cursor(*directory);
  cursor->OpenCursor();
  EXPECT_EQ(cursor->Table()->DataFile().Definition().header.indexPageSize, 1024u);
  EXPECT_EQ(cursor->Table()->DataFile().Definition().header.blobBlockSize, 64u);
}

TEST_F(TableTest, TableNamesKeepTheirNamePartWithoutExtension) {
  auto cursor = Cursor(*directory, "/some/folder/People.dat");
  EXPECT_EQ(cursor->TableName(), "People");
  cursor->SetTableName(std::string(70, 'n'));
  EXPECT_EQ(cursor->TableName(), std::string(60, 'n'));
  Create(PeopleTable());
  cursor->SetTableName("People");
  cursor->OpenCursor();
  EXPECT_EQ(RaisedBy([&] { cursor->SetTableName("Other"); }).code, ZARNIK_TABLEOPEN);
  EXPECT_EQ(RaisedBy([&] { cursor->CheckClosed(); }).code, ZARNIK_TABLEOPEN);
  EXPECT_EQ(RaisedBy([&] { cursor->CheckExclusive(); }).code, ZARNIK_NEEDEXCLACCESS);
  cursor->logCallback = [](const std::string&) {};
  cursor->CloseCursor(true);
  EXPECT_FALSE(cursor->logCallback);
  cursor->readOnly = true;
  EXPECT_EQ(RaisedBy([&] { cursor->CheckNotReadOnly(); }).code, ZARNIK_OSEACCES);
}

// Every byte of the headers and definitions of each file, and bytes spread
// over the rest, changed one at a time: the table opens and reads, or the
// open raises an engine error.
TEST_F(TableTest, DamagedFilesOpenOrRaiseAnEngineError) {
  CreateFilled(60);
  std::mt19937 random(7);
  for (const char* extension : {".dat", ".idx", ".blb"}) {
    std::string name = folder.File(std::string("People") + extension);
    std::vector<uint8_t> original;
    {
      std::ifstream in(name, std::ios::binary);
      original.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (int trial = 0; trial < 60; ++trial) {
      std::vector<uint8_t> damaged = original;
      size_t offset =
          trial < 30 ? random() % std::min<size_t>(damaged.size(), 1024) : random() % damaged.size();
      damaged[offset] ^= static_cast<uint8_t>(1 + random() % 255);
      std::ofstream(name, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
      SCOPED_TRACE(std::string(extension) + " byte " + std::to_string(offset));
      auto cursor = Cursor(*directory);
      try {
        cursor->OpenCursor();
        for (int32_t slot : {-1, 0, 1}) {
          cursor->SelectIndex(slot);
          for (bool more = cursor->First(); more; more = cursor->Next()) cursor->ReadBlob(kNotes);
        }
      } catch (const EZARNIKEngineError&) {
      }
      cursor.reset();
    }
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(original.data()), static_cast<std::streamsize>(original.size()));
  }
}

TEST_F(TableTest, TextIndexingParametersAndWordsAreStored) {
  TTableDescription description = PeopleTable();
  description.stopWords = std::vector<std::string>{"NOTES", "OF"};
  description.spaceChars = " ";
  Create(description);
  auto cursor = Cursor(*directory);
  cursor->OpenCursor();
  InsertRows(*cursor, 1, 3);
  cursor->CloseCursor(true);

  cursor->OpenCursor();
  TIndexFile& index = cursor->Table()->IndexFile();
  TTextIndexParams params = index.LoadTextIndexParams(cursor.get());
  EXPECT_EQ(params.StopWords, (std::vector<std::string>{"NOTES", "OF"}));
  EXPECT_TRUE(TTextIndexParams::InSet(params.SpaceChars, ' '));
  EXPECT_FALSE(TTextIndexParams::InSet(params.SpaceChars, ','));
  EXPECT_TRUE(TTextIndexParams::InSet(params.IncludeChars, 'q')) << "the default include characters stay";
  EXPECT_EQ(index.GetIndexDefinition(31).FieldCount, 2);
  // Names and memos gave their words: "name1" .. "name3", "row", "1" .. "3" and the x runs.
  cursor->SelectIndex(31);
  uint32_t words = 0;
  for (bool more = cursor->First(); more; more = cursor->Next()) ++words;
  EXPECT_EQ(words, 12u);
}

TEST_F(TableTest, TablesOfTheMemoryDatabaseLiveInMemory) {
  TDataDirectory& memory = session->OpenDirectory("Memory", "", false, false);
  auto maker = Cursor(memory);
  maker->CreateTable(PeopleTable());
  maker->OpenCursor();
  InsertRows(*maker, 0, 25);
  maker->CloseCursor(true);
  EXPECT_FALSE(std::filesystem::exists("People.dat"));
  EXPECT_FALSE(std::filesystem::exists(folder.File("People.dat")));
  auto reader = Cursor(memory);
  reader->OpenCursor();
  EXPECT_EQ(CheckRows(*reader, 25), 0);
}

}  // namespace
}  // namespace zarnik::testing
