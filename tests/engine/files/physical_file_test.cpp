#include "engine/files/physical_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/core/data_engine.h"
#include "engine/files/engine_file.h"
#include "engine/files/file_registry.h"
#include "tests/support/child_process.h"
#include "tests/support/faulty_file_services.h"
#include "tests/support/file_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/temp_folder.h"

namespace zarnik {
namespace {

using testing::ChildProcess;
using testing::FileCall;
using testing::Raised;
using testing::RaisedBy;

using PhysicalFileTest = testing::EngineFileTest;

TEST_F(PhysicalFileTest, AllHandlesShareOneDescriptorAndPosition) {
  WriteDisk("a.dat", "0123456789");
  auto first = MakeFile("a.dat");
  auto second = MakeFile("a.dat");
  first->OpenFile();
  second->OpenFile();
  EXPECT_EQ(first->File(), second->File());
  EXPECT_EQ(services.Calls(FileCall::Open), 1);
  EXPECT_EQ(second->Handle(), first->Handle() + 1);
  char byte = 0;
  first->Seek(kSeekFromStart, 4);
  second->ReadBuffer(&byte, 1, false);
  EXPECT_EQ(byte, '4');
  EXPECT_EQ(first->GetFileSize(), 10);
  EXPECT_EQ(first->Seek(kSeekFromCurrent, 0), 5);  // the size query put the position back
  first->CloseFile();
  EXPECT_EQ(services.OpenDescriptors(), 1);
  second->CloseFile();
  EXPECT_EQ(services.OpenDescriptors(), 0);
  EXPECT_EQ(engine.DiskFiles().Count(), 0u);  // freed with its last handle
}

TEST_F(PhysicalFileTest, ReadOnlyAttributeForcesReadOnly) {
  WriteDisk("ro.dat", "abc");
  chmod(folder.File("ro.dat").c_str(), 0444);
  auto file = MakeFile("ro.dat");
  file->OpenFile();
  EXPECT_TRUE(file->readOnly);
  EXPECT_TRUE(file->forcedReadOnly);
  EXPECT_EQ(RaisedBy([&] { file->WriteBuffer("x", 1); }).code, ZARNIK_WRITEERR);
  EXPECT_TRUE(file->LockRegion(true, 1, 0xFFFFFFFF));  // readers still lock
  // A read-only file is not replaced by a create either.
  file->CloseFile();
  EXPECT_EQ(RaisedBy([&] { MakeFile("ro.dat")->CreateFile(); }).code, ZARNIK_OSEACCES);
}

TEST_F(PhysicalFileTest, FileThatOnlyOpensForReadingOpensReadOnlyWithoutForcing) {
  WriteDisk("r.dat", "abc");
  services.FailNth(FileCall::Open, 1, EACCES);  // the read-write attempt
  auto file = MakeFile("r.dat");
  file->OpenFile();
  EXPECT_TRUE(file->readOnly);
  EXPECT_FALSE(file->forcedReadOnly);
  // A later user asking for read-write shares the read-only descriptor and is told so.
  auto other = MakeFile("r.dat");
  other->OpenFile();
  EXPECT_TRUE(other->readOnly);
}

TEST_F(PhysicalFileTest, ExclusiveOpensInOneProcessAreRefusedWithoutAskingTheSystem) {
  WriteDisk("x.dat", "abc");
  auto holder = MakeFile("x.dat", true);
  holder->OpenFile();
  int opens = services.Calls(FileCall::Open);
  EXPECT_EQ(RaisedBy([&] { MakeFile("x.dat")->OpenFile(); }).code, ZARNIK_OSEACCES);
  EXPECT_EQ(RaisedBy([&] { MakeFile("X.DAT", true)->OpenFile(); }).code, ZARNIK_OSEACCES);
  holder->CloseFile();
  auto shared = MakeFile("x.dat");
  shared->OpenFile();
  Raised refused = RaisedBy([&] { MakeFile("x.dat", true)->OpenFile(); });
  EXPECT_EQ(refused.code, ZARNIK_OSEACCES);
  EXPECT_EQ(refused.tableName, folder.File("x.dat"));
  EXPECT_EQ(services.Calls(FileCall::Open), opens + 1);
}

TEST_F(PhysicalFileTest, TemporaryFileIsDeletedByItsLastClose) {
  {
    auto file = MakeFile("tmp.dat");
    file->temporary = true;
    file->CreateFile();
    file->WriteBuffer("abc", 3);
    EXPECT_TRUE(file->Exists());
  }  // destroyed while open: closes itself
  EXPECT_FALSE(MakeFile("tmp.dat")->Exists());
}

TEST_F(PhysicalFileTest, OpenCreateRenameDeleteReportTheSystemsRefusals) {
  WriteDisk("a.dat", "abc");
  mkdir(folder.File("dir.dat").c_str(), 0755);
  mkfifo(folder.File("fifo.dat").c_str(), 0644);
  struct Case {
    const char* what;
    std::function<void()> operation;
    TErrorCode code;
  } cases[] = {
      {"open missing", [&] { MakeFile("none.dat")->OpenFile(); }, ZARNIK_OSENOENT},
      {"open a folder", [&] { MakeFile("dir.dat")->OpenFile(); }, ZARNIK_OSENOENT},
      {"open a pipe", [&] { MakeFile("fifo.dat")->OpenFile(); }, ZARNIK_OSEACCES},  // and no hang
      {"delete missing", [&] { MakeFile("none.dat")->DeleteFile(); }, ZARNIK_OSENOENT},
      {"rename missing", [&] { MakeFile("none.dat")->RenameFile(folder.File("b.dat")); }, ZARNIK_OSENOENT},
      {"rename onto a file", [&] { MakeFile("a.dat")->RenameFile(folder.File("dir.dat")); }, ZARNIK_OSEACCES},
      {"create in a missing folder", [&] { MakeFile("no/x.dat")->CreateFile(); }, ZARNIK_OSENOENT},
  };
  for (const Case& c : cases) EXPECT_EQ(RaisedBy(c.operation).code, c.code) << c.what;
  services.FailNth(FileCall::Open, 1, EMFILE, true);  // the read-only retry fails too
  Raised tooMany = RaisedBy([&] { MakeFile("a.dat")->OpenFile(); });
  services.ClearFaults();
  EXPECT_EQ(tooMany.code, ZARNIK_OSEMFILE);
  EXPECT_EQ(tooMany.osErrorCode, ZARNIK_OSEMFILE);
  EXPECT_EQ(tooMany.tableName, folder.File("a.dat"));
}

TEST_F(PhysicalFileTest, FailedTransfersBecomeEngineErrorsAndReleaseEverything) {
  WriteDisk("a.dat", std::string(100, 'a'));
  char buffer[100];
  struct Case {
    const char* what;
    FileCall call;
    int error;
    std::function<void(TEngineFile&)> operation;
    TErrorCode code;
  } cases[] = {
      {"read", FileCall::Read, EIO, [&](TEngineFile& f) { f.ReadBuffer(buffer, 10, true); }, ZARNIK_READERR},
      {"write", FileCall::Write, ENOSPC, [&](TEngineFile& f) { f.WriteBuffer(buffer, 10); }, ZARNIK_WRITEERR},
      {"truncate", FileCall::Truncate, EIO, [&](TEngineFile& f) { f.WriteBuffer(nullptr, 0); },
       ZARNIK_WRITEERR},
      {"flush", FileCall::Flush, EIO, [&](TEngineFile& f) { f.FlushFile(); }, ZARNIK_WRITEERR},
  };
  for (const Case& c : cases) {
    auto file = MakeFile("a.dat");
    file->OpenFile();
    services.FailNth(c.call, 1, c.error);
    Raised raised = RaisedBy([&] { c.operation(*file); });
    EXPECT_EQ(raised.code, c.code) << c.what;
    EXPECT_EQ(raised.tableName, folder.File("a.dat")) << c.what;
    EXPECT_NE(raised.osErrorCode, 0) << c.what;
    file->CloseFile();
    EXPECT_EQ(services.OpenDescriptors(), 0) << c.what;
  }
  auto file = MakeFile("a.dat");
  file->OpenFile();
  services.ShortNth(FileCall::Write, 1, 3);
  EXPECT_EQ(RaisedBy([&] { file->WriteBuffer(buffer, 10); }).code, ZARNIK_WRITEERR);
  services.ShortNth(FileCall::Read, 1, 3);
  EXPECT_EQ(RaisedBy([&] { file->ReadBuffer(buffer, 10, false); }).code, ZARNIK_READERR);
  file->CloseFile();
  EXPECT_EQ(RaisedBy([&] { file->ReadBuffer(buffer, 1, true); }).code, ZARNIK_READERR);
  EXPECT_EQ(RaisedBy([&] { file->WriteBuffer(buffer, 1); }).code, ZARNIK_WRITEERR);
}

TEST_F(PhysicalFileTest, OverlappingRegionLocksAreRefusedInsideOneProcess) {
  WriteDisk("a.dat", "abc");
  auto first = MakeFile("a.dat");
  auto second = MakeFile("a.dat");
  first->OpenFile();
  second->OpenFile();
  const int64_t far = 0x7FFFFFFFFFFFFF00;  // far beyond the end of the file
  EXPECT_TRUE(first->LockRegion(true, 16, far));
  EXPECT_FALSE(second->LockRegion(true, 1, far + 15));
  EXPECT_FALSE(first->LockRegion(true, 16, far));  // the same user is refused too
  EXPECT_TRUE(second->LockRegion(false, 0, far));
  EXPECT_TRUE(second->LockRegion(true, 1, far + 15));
  // A lock the system refuses leaves no trace in the process's list.
  services.FailNth(FileCall::Lock, 1, EAGAIN);
  EXPECT_FALSE(first->LockRegion(true, 10, 0));
  EXPECT_TRUE(first->LockRegion(true, 10, 0));
}

// Runs body in a second process with an engine of its own; the child steps
// through the parent's messages: it sends 'r' when ready and waits for 'q'.
int InChild(const std::function<bool(TDataEngine&)>& body, ChildProcess& self) {
  TDataEngine engine;
  bool ok = body(engine);
  self.Send(ok ? 'r' : 'f');
  self.Receive();
  return ok ? 0 : 1;
}

TEST_F(PhysicalFileTest, ShareModesHoldBetweenProcesses) {
  WriteDisk("s.dat", "abc");
  std::string name = folder.File("s.dat");
  struct Case {
    bool childExclusive;
    bool parentExclusive;
    TErrorCode code;
  } cases[] = {{true, false, ZARNIK_OSEACCES}, {false, true, ZARNIK_OSEACCES}, {false, false, 0}};
  for (const Case& c : cases) {
    std::unique_ptr<TEngineFile> held;
    ChildProcess child([&](ChildProcess& self) {
      return InChild(
          [&](TDataEngine& e) {
            held = std::make_unique<TEngineFile>(e);
            held->SetFileName(name);
            held->exclusive = c.childExclusive;
            held->OpenFile();
            return true;
          },
          self);
    });
    char ready = 0;
    ASSERT_TRUE(child.Receive(&ready));
    ASSERT_EQ(ready, 'r');
    EXPECT_EQ(RaisedBy([&] { MakeFile("s.dat", c.parentExclusive)->OpenFile(); }).code, c.code);
    // Held elsewhere: neither replaced, renamed nor deleted.
    EXPECT_EQ(RaisedBy([&] { MakeFile("s.dat")->CreateFile(); }).code, ZARNIK_OSEACCES);
    EXPECT_EQ(RaisedBy([&] { MakeFile("s.dat")->RenameFile(folder.File("t.dat")); }).code, ZARNIK_OSEACCES);
    EXPECT_EQ(RaisedBy([&] { MakeFile("s.dat")->DeleteFile(); }).code, ZARNIK_OSEACCES);
    child.Send('q');
    EXPECT_EQ(child.Join(), 0);
  }
  auto file = MakeFile("s.dat", true);
  file->OpenFile();  // free again once the other process is gone
  char contents[3];
  file->ReadBuffer(contents, 3, false);
  EXPECT_EQ(std::string(contents, 3), "abc");
}

TEST_F(PhysicalFileTest, RegionLocksHoldBetweenProcesses) {
  WriteDisk("l.dat", "abc");
  std::string name = folder.File("l.dat");
  const int64_t top = 0xFFFFFFFF;
  std::unique_ptr<TEngineFile> file;
  ChildProcess child([&](ChildProcess& self) {
    return InChild(
        [&](TDataEngine& e) {
          file = std::make_unique<TEngineFile>(e);
          file->SetFileName(name);
          file->OpenFile();
          return file->LockRegion(true, 100, top - 100);
        },
        self);
  });
  char ready = 0;
  ASSERT_TRUE(child.Receive(&ready));
  ASSERT_EQ(ready, 'r');
  file = MakeFile("l.dat");
  file->OpenFile();
  EXPECT_FALSE(file->LockRegion(true, 1, top - 1));      // last byte of the other's range
  EXPECT_FALSE(file->LockRegion(true, 201, top - 300));  // overlaps its first byte
  EXPECT_TRUE(file->LockRegion(true, 1, top));           // just beyond it
  EXPECT_EQ(file->File()->LockedRegionCount(), 1u);
  child.Send('q');
  EXPECT_EQ(child.Join(), 0);
  EXPECT_TRUE(file->LockRegion(true, 100, top - 100));  // released with the other process
}

}  // namespace
}  // namespace zarnik
