#include "engine/files/file_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "engine/core/data_engine.h"
#include "engine/files/base_file.h"
#include "engine/files/engine_file.h"
#include "platform/system.h"
#include "tests/support/raised.h"
#include "tests/support/temp_folder.h"

namespace zarnik {
namespace {

using testing::RaisedBy;
using testing::TempFolder;

class FileRegistryTest : public ::testing::TestWithParam<bool> {
 protected:
  TempFolder folder;
  TDataEngine engine;
  bool inMemory = GetParam();

  std::string Name(const std::string& name) { return folder.File(name); }
  int32_t Create(const std::string& name, TBaseFile** file, bool temporary = false) {
    return engine.RegistryCreate(Name(name), inMemory, temporary, false, file);
  }
  int32_t Open(const std::string& name, bool exclusive, TBaseFile** file) {
    bool readOnly = false, forced = false;
    return engine.RegistryOpen(Name(name), inMemory, false, false, exclusive, readOnly, forced, file);
  }
};

TEST_P(FileRegistryTest, RenameAndDeleteAreRefusedWhileOpenAndMoveTheEntryOtherwise) {
  TBaseFile* file = nullptr;
  int32_t handle = Create("a.dat", &file);
  ASSERT_GT(handle, 0);
  TBaseFile* other = nullptr;
  ASSERT_GT(Create("b.dat", &other), 0);
  EXPECT_EQ(engine.RegistryRename(Name("a.dat"), inMemory, Name("c.dat")), -ZARNIK_OSEACCES);
  EXPECT_EQ(engine.RegistryDelete(Name("a.dat"), inMemory), -ZARNIK_OSEACCES);
  EXPECT_EQ(engine.RegistryCreate(Name("A.DAT"), inMemory, false, false, &file), -ZARNIK_OSEACCES);
  EXPECT_EQ(engine.RegistryClose(file, inMemory, handle), 0);
  EXPECT_EQ(engine.RegistryClose(file, inMemory, handle), -ZARNIK_OSENOENT);  // no handle left

  // A registered new name is refused; a free one takes the entry along.
  EXPECT_EQ(engine.RegistryRename(Name("a.dat"), inMemory, Name("B.DAT") + "  "), -ZARNIK_OSEACCES);
  EXPECT_EQ(engine.RegistryRename(Name("a.dat"), inMemory, Name("c.dat")), 0);
  EXPECT_FALSE(engine.RegistryExists(Name("a.dat"), inMemory));
  EXPECT_TRUE(engine.RegistryExists(Name("C.dat"), inMemory));
  handle = Open("c.dat", false, &file);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(file->Name(), Name("c.dat"));
  EXPECT_EQ(engine.RegistryClose(file, inMemory, handle), 0);
  EXPECT_EQ(engine.RegistryDelete(Name("c.dat"), inMemory), 0);
  EXPECT_FALSE(engine.RegistryExists(Name("c.dat"), inMemory));
  EXPECT_EQ(engine.RegistryDelete(Name("c.dat"), inMemory), -ZARNIK_OSENOENT);
  EXPECT_EQ(engine.RegistryRename(Name("c.dat"), inMemory, Name("d.dat")), -ZARNIK_OSENOENT);
  EXPECT_EQ(Open("c.dat", false, &file), -ZARNIK_OSENOENT);
}

TEST_P(FileRegistryTest, UniqueNamesSkipWhatExists) {
  std::string first = engine.MakeUniqueFileName(folder.Path(), ".tmp", inMemory);
  std::string thread = std::to_string(platform::CurrentThreadId()).substr(0, 5);
  EXPECT_EQ(first, folder.Path() + "/" + thread + "0.tmp");
  TBaseFile* file = nullptr;
  ASSERT_GT(engine.RegistryCreate(first, inMemory, false, false, &file), 0);
  EXPECT_EQ(engine.MakeUniqueFileName(folder.Path() + "/", ".tmp", inMemory),
            folder.Path() + "/" + thread + "1.tmp");
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, FileRegistryTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Memory" : "Disk";
                         });

TEST(FileRegistryDiskTest, UnregisteredFilesAreFoundRenamedAndDeletedOnDisk) {
  TempFolder folder;
  TDataEngine engine;
  std::ofstream(folder.File("Odd.DAT")) << "x";
  mkdir(folder.File("dir.dat").c_str(), 0755);
  EXPECT_TRUE(engine.RegistryExists(folder.File("odd.dat"), false));  // any case
  EXPECT_FALSE(engine.RegistryExists(folder.File("odd.dat"), true));  // not a memory file
  EXPECT_FALSE(engine.RegistryExists(folder.File("dir.dat"), false));
  EXPECT_EQ(engine.RegistryRename(folder.File("odd.dat"), false, folder.File("new.dat")), 0);
  EXPECT_TRUE(engine.RegistryExists(folder.File("new.dat"), false));
  EXPECT_EQ(engine.RegistryDelete(folder.File("NEW.dat"), false), 0);
  EXPECT_FALSE(engine.RegistryExists(folder.File("new.dat"), false));
  EXPECT_EQ(engine.DiskFiles().Count(), 0u);
}

}  // namespace
}  // namespace zarnik
