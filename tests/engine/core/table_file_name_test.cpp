#include "engine/core/table_file_name.h"

#include <gtest/gtest.h>

namespace zarnik {
namespace {

TEST(TableFileName, BuildFileNameReplacesOnlyTheDataExtension) {
  struct Case {
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"TheData", "TheData.idx"},
      {"TheData.dat", "TheData.idx"},
      {"TheData.DAT", "TheData.idx"},
      {"my.table", "my.table.idx"},
      {"  zzz  ", "zzz.idx"},
      {"/a/b.c/TheData", "/a/b.c/TheData.idx"},
      {"/a/b.dat/zzz", "/a/b.dat/zzz.idx"},
      {"a.dat.bak", "a.dat.bak.idx"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildFileName(c.name, ".idx", ".dat"), c.expected) << c.name;
  EXPECT_EQ(BuildFileName("TheData.tbl", ".idx", ".tbl"), "TheData.idx");
}

TEST(TableFileName, StripDataExtensionCutsOnlyTheDataExtension) {
  EXPECT_EQ(StripDataExtension("TheData.dat", ".dat"), "TheData");
  EXPECT_EQ(StripDataExtension("TheData.Dat", ".dat"), "TheData");
  EXPECT_EQ(StripDataExtension("my.table", ".dat"), "my.table");
  EXPECT_EQ(StripDataExtension("TheData", ".dat"), "TheData");
  EXPECT_EQ(StripDataExtension("b.dat/zzz", ".dat"), "b.dat/zzz");
}

}  // namespace
}  // namespace zarnik
