#include "tests/support/faulty_file_services.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/temp_folder.h"

namespace zarnik::testing {
namespace {

using platform::FileAccess;
using platform::FileCreation;
using platform::FileShare;

std::string Contents(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes "flushed!" and flushes, then overwrites the start with "AB", appends
// "tail" and truncates after 10 bytes, none of it flushed; then crashes.
std::string AfterCrash(size_t keepWrites, int64_t tornBytes) {
  TempFolder folder;
  std::string name = folder.File("f.dat");
  FaultyFileServices services;
  services.RecordWrites();
  int fd = services.Open(name, FileAccess::ReadWrite, FileShare::Exclusive, FileCreation::CreateAlways);
  services.Write(fd, "flushed!", 8);
  services.Flush(fd);
  services.Seek(fd, 0, 0);
  services.Write(fd, "AB", 2);
  services.Seek(fd, 0, 2);
  services.Write(fd, "tail", 4);
  services.Seek(fd, 10, 0);
  services.Truncate(fd);
  EXPECT_EQ(services.UnflushedWrites(name), 3u);
  services.Crash(keepWrites, tornBytes);
  EXPECT_EQ(services.Write(fd, "x", 1), -1);  // the process is dead
  services.Close(fd);
  EXPECT_EQ(services.OpenDescriptors(), 0);
  return Contents(name);
}

TEST(FaultyFileServicesTest, CrashLosesOrTearsWhatWasNotFlushed) {
  EXPECT_EQ(AfterCrash(0, 0), "flushed!");
  EXPECT_EQ(AfterCrash(0, 1), "Alushed!");
  EXPECT_EQ(AfterCrash(1, 2), "ABushed!ta");
  EXPECT_EQ(AfterCrash(3, 0), "ABushed!ta");
}

TEST(FaultyFileServicesTest, FailsTheNthCallOnlyOrFromThereOn) {
  TempFolder folder;
  FaultyFileServices services;
  int fd = services.Open(folder.File("f.dat"), FileAccess::ReadWrite, FileShare::Exclusive,
                         FileCreation::CreateAlways);
  services.FailNth(FileCall::Write, 2, ENOSPC);
  EXPECT_EQ(services.Write(fd, "a", 1), 1);
  EXPECT_EQ(services.Write(fd, "b", 1), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(services.Write(fd, "c", 1), 1);
  services.FailNth(FileCall::Flush, 1, EIO, true);
  EXPECT_EQ(services.Flush(fd), -1);
  EXPECT_EQ(services.Flush(fd), -1);
  services.ClearFaults();
  EXPECT_EQ(services.Flush(fd), 0);
  EXPECT_EQ(services.Calls(FileCall::Write), 3);
  services.Close(fd);
}

}  // namespace
}  // namespace zarnik::testing
