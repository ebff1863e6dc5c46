#include "engine/core/data_directory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/files/engine_file.h"
#include "tests/support/raised.h"
#include "tests/support/session_fixture.h"

namespace zarnik {
namespace {

using testing::RaisedBy;
using DataDirectoryTest = testing::SessionTest;

TEST_F(DataDirectoryTest, TwoSpellingsOfOneFolderShareOneDirectory) {
  std::filesystem::create_directory(folder.File("Data"));
  TDataDirectory& first = session->OpenDirectory("First", folder.File("Data"), false, false);
  TDataDirectory& second = session->OpenDirectory("Second", "  " + folder.File("data/") + " ", false, false);
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(first.userCount, 2);
  EXPECT_EQ(first.Name(), "First");
  EXPECT_EQ(first.Folder(), folder.File("Data/"));
  EXPECT_EQ(first.GetDisplayName(), folder.File("Data"));
  EXPECT_TRUE(first.IsValid());

  TDataDirectory& byName = session->OpenDirectory("Second", folder.File("Data"), true, false);
  EXPECT_NE(&byName, &first);
  session->CloseDirectory(&byName);

  session->CloseDirectory(&first);
  EXPECT_EQ(session->DirectoryCount(), 1u);
  EXPECT_EQ(first.userCount, 1);
  session->CloseDirectory(&first);
  EXPECT_EQ(session->DirectoryCount(), 0u);
  session->CloseDirectory(&first);  // no longer open: nothing happens
  EXPECT_FALSE(TSafeObject::IsValid(nullptr));
}

TEST_F(DataDirectoryTest, AnEmptyFolderIsTheCurrentFolder) {
  std::string previous = std::filesystem::current_path();
  ASSERT_EQ(chdir(folder.Path().c_str()), 0);
  TDataDirectory& directory = session->OpenDirectory("DB", "", false, false);
  std::string opened = directory.Folder();
  session->CloseDirectory(&directory);
  ASSERT_EQ(chdir(previous.c_str()), 0);
  EXPECT_EQ(opened, folder.Path() + "/");
}

TEST_F(DataDirectoryTest, TableExistsTestsTheDataFileOnly) {
  TDataDirectory& directory = Open(*session);
  Touch("zzz.idx");
  Touch("zzz.blb");
  EXPECT_FALSE(directory.TableExists("zzz", false));
  Touch("zzz.dat");
  std::filesystem::remove(folder.File("zzz.idx"));
  for (const char* name : {"zzz", "zzz.dat", " zzz.DAT ", "ZZZ"})
    EXPECT_TRUE(directory.TableExists(name, false)) << name;
  std::filesystem::create_directory(folder.File("sub.dat"));
  EXPECT_FALSE(directory.TableExists("sub", false));
}

TEST_F(DataDirectoryTest, ListsTheDataFilesOfTheFolder) {
  Touch("b.DAT");
  Touch("a.dat");
  Touch("c.idx");
  Touch("d.dat.bak");
  std::filesystem::create_directory(folder.File("e.dat"));
  TDataDirectory& directory = Open(*session);
  EXPECT_EQ(directory.ListTables(false), (std::vector<std::string>{"a.dat", "b.DAT"}));
  EXPECT_EQ(directory.ListTables(true), (std::vector<std::string>{"a", "b"}));
}

TEST_F(DataDirectoryTest, TemporaryTableNamesAreFree) {
  TDataDirectory& directory = Open(*session);
  const std::string prefix = std::to_string(platform::CurrentThreadId()).substr(0, 5);
  EXPECT_EQ(directory.MakeTempTableName(), prefix + "0.dat");
  Touch(prefix + "0.dat");
  Touch(prefix + "1.dat");
  EXPECT_EQ(directory.MakeTempTableName(), prefix + "2.dat");
}

TEST_F(DataDirectoryTest, MemoryDirectoryUsesTheMemoryFiles) {
  TDataDirectory& directory = session->OpenDirectory("memory", "", false, false);
  EXPECT_TRUE(directory.IsMemory());
  EXPECT_EQ(directory.Folder(), "");
  EXPECT_FALSE(directory.ReadOnly());
  EXPECT_TRUE(engine.RegistryExists("zarnik.lck", true));
  EXPECT_FALSE(directory.TableExists("zzz", false));
  TEngineFile file(engine);
  file.inMemory = true;
  file.SetFileName("zzz.dat");
  file.CreateFile();
  file.CloseFile();
  EXPECT_TRUE(directory.TableExists("zzz", false));
  EXPECT_FALSE(std::filesystem::exists("zzz.dat"));
  EXPECT_EQ(directory.ListTables(true), std::vector<std::string>{"zzz"});
}

// A folder where no lock file can be made: nothing is locked and every change
// of a table is refused before any file is touched.
TEST_F(DataDirectoryTest, AMissingFolderIsReadOnly) {
  TDataDirectory& directory = Open(*session, folder.File("missing"));
  EXPECT_TRUE(directory.ReadOnly());
  EXPECT_FALSE(directory.TableExists("zzz", false));
  auto raised = RaisedBy([&] { directory.CheckWritable("zzz"); });
  EXPECT_EQ(raised.code, ZARNIK_OSEACCES);
  EXPECT_EQ(raised.tableName, "zzz");
  EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
}

// A table object that records what the directory asks of it.
class FakeTable : public TDirectoryTable {
 public:
  FakeTable(std::string name, std::string* log) : TDirectoryTable(std::move(name)), log_(log) {}
  bool inUse = false;
  bool InUse() const override { return inUse; }
  void CloseKeptOpen() override { *log_ += "close " + Name() + ";"; }
  void CreateFiles() override { *log_ += "create " + Name() + ";"; }
  void DeleteFiles() override { *log_ += "delete " + Name() + ";"; }
  void RenameFiles(TDataDirectory&, const std::string& newName, bool toBackup) override {
    *log_ += (toBackup ? "backup " : "rename ") + Name() + " " + newName + ";";
  }

 private:
  std::string* log_;
};

class DirectoryTableTest : public testing::SessionTest {
 protected:
  std::string log;
  TDataDirectory* directory = nullptr;
  void SetUp() override {
    SessionTest::SetUp();
    directory = &Open(*session);
    directory->tableFactory = [this](TDataDirectory&, const std::string& name) {
      return std::make_unique<FakeTable>(name, &log);
    };
  }
  FakeTable& Create(const std::string& name) {
    return static_cast<FakeTable&>(directory->CreateTableFiles(std::make_unique<FakeTable>(name, &log)));
  }
  std::vector<std::string> Listed() {
    std::vector<std::string> names;
    for (size_t i = 0; i < directory->TableCount(); ++i) names.push_back(directory->Table(i)->Name());
    return names;
  }
};

TEST_F(DirectoryTableTest, TablesAreListedSortedAndFoundWithoutRegardToCase) {
  Create("b");
  Create("C");
  Create("a");
  EXPECT_EQ(Listed(), (std::vector<std::string>{"a", "b", "C"}));
  size_t index = 9;
  EXPECT_TRUE(directory->FindTable(" c ", index));
  EXPECT_EQ(index, 2u);
  EXPECT_FALSE(directory->FindTable("bb", index));
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(log, "create b;create C;create a;");
}

TEST_F(DirectoryTableTest, AHeldTableIsNeitherReplacedRenamedNorDeleted) {
  Create("t").inUse = true;
  log.clear();
  EXPECT_EQ(RaisedBy([&] { Create("T"); }).code, ZARNIK_OSEACCES);
  EXPECT_EQ(RaisedBy([&] { directory->RenameTable("t", *directory, "u", false); }).code, ZARNIK_OSEACCES);
  EXPECT_EQ(RaisedBy([&] { directory->DeleteTableFiles("t"); }).code, ZARNIK_OSEACCES);
  EXPECT_EQ(log, "");
  EXPECT_EQ(Listed(), std::vector<std::string>{"t"});
}

TEST_F(DirectoryTableTest, ATableKeptOpenForNobodyIsClosedFirst) {
  Create("t");
  Create("x");
  log.clear();
  directory->RenameTable("t", *directory, folder.File("z.dat"), false);
  EXPECT_EQ(Listed(), (std::vector<std::string>{"x", "z"}));
  directory->DeleteTableFiles("x");
  EXPECT_EQ(Listed(), std::vector<std::string>{"z"});
  directory->RenameTable("z", *directory, "z", true);
  EXPECT_TRUE(Listed().empty());
  EXPECT_EQ(log, "close t;rename t " + folder.File("z.dat") + ";close x;delete x;close z;backup z z;");
}

TEST_F(DirectoryTableTest, AReadOnlyDirectoryRefusesEveryChangeBeforeTouchingAFile) {
  TDataDirectory& missing = Open(*session, folder.File("missing"));
  missing.tableFactory = directory->tableFactory;
  for (const auto& change : std::vector<std::function<void()>>{
           [&] { missing.CreateTableFiles(std::make_unique<FakeTable>("t", &log)); },
           [&] { missing.RenameTable("t", missing, "u", false); }, [&] { missing.DeleteTableFiles("t"); }}) {
    auto raised = RaisedBy(change);
    EXPECT_EQ(raised.code, ZARNIK_OSEACCES);
    EXPECT_EQ(raised.tableName, "t");
  }
  EXPECT_EQ(log, "");
}

TEST_F(DirectoryTableTest, ATableNobodyHasOpenIsWorkedByATemporaryObject) {
  directory->DeleteTableFiles("gone");
  directory->RenameTable("old", *directory, "new", false);
  EXPECT_TRUE(Listed().empty());
  EXPECT_EQ(log, "delete gone;rename old new;");
}

}  // namespace
}  // namespace zarnik
