#include "engine/locks/data_directory_locks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/locks/data_table_locks.h"
#include "engine/locks/lock_file_table_list.h"
#include "tests/support/child_process.h"
#include "tests/support/faulty_file_services.h"
#include "tests/support/raised.h"
#include "tests/support/session_fixture.h"

namespace zarnik {
namespace {

using testing::ChildProcess;
using testing::FileCall;
using testing::RaisedBy;

class DirectoryLocksTest : public testing::SessionTest {
 protected:
  TLockFileTableList ReadLockFile() {
    std::ifstream in(folder.File("zarnik.lck"), std::ios::binary);
    std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    TLockFileTableList list;
    EXPECT_TRUE(list.DecodeFrom(bytes));
    return list;
  }
  void WriteLockFile(const TLockFileTableList& list) {
    std::vector<uint8_t> bytes;
    list.EncodeTo(bytes);
    std::ofstream(folder.File("zarnik.lck"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  TDataTableLocks& Entry(TDataSession& in, const std::string& table) {
    return Open(in).Locks().FindOrAddTable(table);
  }
};

TEST_F(DirectoryLocksTest, ANewLockFileListsTheTablesOfTheFolder) {
  Touch("b.dat");
  Touch("A.dat");
  Touch("c.idx");
  TDataDirectoryLocks& locks = Open(*session).Locks();
  EXPECT_FALSE(locks.NoLocking());
  TLockFileTableList list = ReadLockFile();
  EXPECT_EQ(list.changeCounter, 1u);
  EXPECT_EQ(list.names, (std::vector<std::string>{"A", "b"}));
  ASSERT_EQ(locks.TableCount(), 2u);
  EXPECT_EQ(locks.Table(1).Slot(), 2u);
}

TEST_F(DirectoryLocksTest, SlotsAreAppendedAndNeverChange) {
  Touch("a.dat");
  TDataDirectoryLocks& locks = Open(*session).Locks();
  EXPECT_EQ(locks.FindOrAddTable("new").Slot(), 2u);
  EXPECT_EQ(locks.FindOrAddTable("A").Slot(), 1u);
  EXPECT_EQ(ReadLockFile().changeCounter, 2u);

  // Another session learns of the entry from the file, and adds one more.
  TDataSession& other = NewSession();
  EXPECT_EQ(Entry(other, "NEW").Slot(), 2u);
  EXPECT_EQ(Entry(other, "third").Slot(), 3u);
  std::remove(folder.File("a.dat").c_str());
  EXPECT_EQ(locks.FindOrAddTable("third").Slot(), 3u);
  EXPECT_EQ(locks.FindOrAddTable("fourth").Slot(), 4u);
  TLockFileTableList list = ReadLockFile();
  EXPECT_EQ(list.changeCounter, 4u);
  EXPECT_EQ(list.names, (std::vector<std::string>{"a", "new", "third", "fourth"}));
}

TEST_F(DirectoryLocksTest, TwoProcessesAddingTablesGetDifferentSlots) {
  Touch("a.dat");
  Open(*session);
  ChildProcess child([this](ChildProcess& self) {
    TDataEngine childEngine;
    TDataSession& childSession = childEngine.CreateSession();
    self.Receive();
    uint32_t slot =
        childSession.OpenDirectory("DB", folder.Path(), false, false).Locks().FindOrAddTable("x").Slot();
    return static_cast<int>(slot);
  });
  child.Send('g');
  uint32_t mine = Open(*session).Locks().FindOrAddTable("y").Slot();
  int theirs = child.Join();
  EXPECT_NE(static_cast<int>(mine), theirs);
  EXPECT_TRUE(mine == 2 || mine == 3);
  EXPECT_TRUE(theirs == 2 || theirs == 3);
  TLockFileTableList list = ReadLockFile();
  EXPECT_EQ(list.changeCounter, 3u);
  EXPECT_EQ(list.names.size(), 3u);
}

TEST_F(DirectoryLocksTest, AFullListRefusesAnotherTable) {
  TLockFileTableList full;
  full.changeCounter = 5;
  for (size_t i = 0; i < TLockFileTableList::kMaxEntries; ++i) full.names.push_back("t" + std::to_string(i));
  WriteLockFile(full);
  TDataDirectoryLocks& locks = Open(*session).Locks();
  EXPECT_EQ(locks.FindOrAddTable("t4095").Slot(), 4096u);
  EXPECT_EQ(RaisedBy([&] { locks.FindOrAddTable("one more"); }).code, ZARNIK_DATABASEFULL);
  // The write lock of the list was given back.
  locks.LockFileWriteLock();
  locks.LockFileWriteUnlock();
}

TEST_F(DirectoryLocksTest, ADamagedListGivesWhatItHolds) {
  std::ofstream(folder.File("zarnik.lck"), std::ios::binary)
      << std::string("\x07\0\0\0\xFF\xFF\xFF\xFF\x01q\x09", 11);
  TDataDirectoryLocks& locks = Open(*session).Locks();
  ASSERT_EQ(locks.TableCount(), 1u);
  EXPECT_EQ(locks.Table(0).TableName(), "q");
  EXPECT_EQ(locks.FindOrAddTable("r").Slot(), 2u);
  EXPECT_EQ(ReadLockFile().names, (std::vector<std::string>{"q", "r"}));
}

TEST_F(DirectoryLocksTest, ReadersShareATableAndKeepWritersOut) {
  TDataTableLocks& reader1 = Entry(*session, "t");
  TDataTableLocks& reader2 = Entry(NewSession(), "t");
  TDataTableLocks& writer = Entry(NewSession(), "t");
  EXPECT_TRUE(reader1.ReadLock());
  EXPECT_FALSE(reader1.ReadLock());  // held already
  EXPECT_TRUE(reader2.ReadLock());
  auto raised = RaisedBy([&] { writer.WriteLock(true); });
  EXPECT_EQ(raised.code, ZARNIK_WRITELOCK);
  EXPECT_EQ(raised.tableName, "t");
  // The failed write lock gave its transaction byte back.
  EXPECT_FALSE(writer.Holds(TDataTableLocks::kTransactionLocked));
  EXPECT_TRUE(reader1.TransactionLock());
  reader1.TransactionUnlock();

  reader1.ReadUnlock();
  EXPECT_EQ(RaisedBy([&] { writer.WriteLock(true); }).code, ZARNIK_WRITELOCK);
  reader2.ReadUnlock();
  EXPECT_TRUE(writer.WriteLock(true));
  EXPECT_EQ(RaisedBy([&] { reader1.ReadLock(); }).code, ZARNIK_READLOCK);
  writer.WriteUnlock(true);
  EXPECT_EQ(writer.Flags(), 0);
  EXPECT_TRUE(reader1.ReadLock());
  reader1.ReadUnlock();
}

TEST_F(DirectoryLocksTest, ATransactionKeepsOtherWritersButNotReadersOut) {
  TDataTableLocks& mine = Entry(*session, "t");
  TDataTableLocks& theirs = Entry(NewSession(), "t");
  EXPECT_TRUE(mine.TransactionLock());
  EXPECT_FALSE(mine.TransactionLock());
  EXPECT_EQ(RaisedBy([&] { theirs.WriteLock(true); }).code, ZARNIK_WRITELOCK);
  EXPECT_TRUE(theirs.ReadLock());
  theirs.ReadUnlock();
  // The commit's write lock needs no transaction byte of its own.
  EXPECT_FALSE(mine.WriteLock(false));
  mine.WriteUnlock(false);
  EXPECT_TRUE(mine.Holds(TDataTableLocks::kTransactionLocked));
  mine.TransactionUnlock();
  EXPECT_TRUE(theirs.WriteLock(true));
  theirs.WriteUnlock(true);
}

TEST_F(DirectoryLocksTest, DirectoryWideTransactionAndCommit) {
  TDataDirectoryLocks& locks = Open(*session).Locks();
  TDataTableLocks& mine = locks.FindOrAddTable("t");
  TDataTableLocks& theirs = Entry(NewSession(), "t");
  locks.TransactionLockAll();
  EXPECT_TRUE(mine.Holds(TDataTableLocks::kTransactionLocked));
  EXPECT_EQ(RaisedBy([&] { theirs.TransactionLock(); }).code, ZARNIK_TRANSLOCK);
  EXPECT_TRUE(theirs.ReadLock());
  EXPECT_EQ(RaisedBy([&] { locks.DatabaseWriteLock(); }).code, ZARNIK_TRANSLOCK);
  theirs.ReadUnlock();
  locks.DatabaseWriteLock();
  EXPECT_TRUE(mine.Holds(TDataTableLocks::kWriteLocked));
  EXPECT_EQ(RaisedBy([&] { theirs.ReadLock(); }).code, ZARNIK_READLOCK);
  locks.DatabaseWriteUnlock();
  locks.TransactionUnlockAll();
  EXPECT_EQ(mine.Flags(), 0);
  EXPECT_TRUE(theirs.WriteLock(true));
  theirs.WriteUnlock(true);
}

// A lock held by another process refuses the same lock here after the retry
// count, and is free again once that process lets go.
TEST_F(DirectoryLocksTest, LocksHoldBetweenProcesses) {
  for (bool largeFiles : {false, true}) {
    SCOPED_TRACE(largeFiles);
    engine.Settings.LargeFileSupport = largeFiles;
    engine.StartEngine("zarnik.lck");
    TDataSession& here = NewSession();
    ChildProcess child([this, largeFiles](ChildProcess& self) {
      TDataEngine childEngine;
      childEngine.Settings.LargeFileSupport = largeFiles;
      childEngine.StartEngine("zarnik.lck");
      TDataTableLocks& entry = childEngine.CreateSession()
                                   .OpenDirectory("DB", folder.Path(), false, false)
                                   .Locks()
                                   .FindOrAddTable("t");
      entry.WriteLock(true);
      self.Send('l');
      self.Receive();
      entry.WriteUnlock(true);
      self.Send('u');
      self.Receive();
      return 0;
    });
    ASSERT_TRUE(child.Receive());
    TDataTableLocks& entry = Entry(here, "t");
    int attempts = services.Calls(FileCall::Lock);
    EXPECT_EQ(RaisedBy([&] { entry.ReadLock(); }).code, ZARNIK_READLOCK);
    EXPECT_EQ(services.Calls(FileCall::Lock) - attempts, 3);  // retry count 2
    EXPECT_EQ(RaisedBy([&] { entry.TransactionLock(); }).code, ZARNIK_TRANSLOCK);
    child.Send('u');
    ASSERT_TRUE(child.Receive());
    EXPECT_TRUE(entry.ReadLock());
    entry.ReadUnlock();
    child.Send('e');
    EXPECT_EQ(child.Join(), 0);
    engine.FreeSession(&here);
  }
}

// A directory that closes gives back what it still holds: the lock file stays
// open for the other sessions, and so would the ranges locked through it.
TEST_F(DirectoryLocksTest, ClosingADirectoryGivesItsLocksBack) {
  TDataTableLocks& other = Entry(NewSession(), "t");
  for (const auto& take : std::vector<std::function<void(TDataDirectoryLocks&)>>{
           [](TDataDirectoryLocks& locks) { locks.FindOrAddTable("t").ReadLock(); },
           [](TDataDirectoryLocks& locks) { locks.FindOrAddTable("t").WriteLock(true); },
           [](TDataDirectoryLocks& locks) {
             locks.FindOrAddTable("t");
             locks.TransactionLockAll();
             locks.DatabaseWriteLock();
           }}) {
    TDataSession& closing = NewSession();
    take(Open(closing).Locks());
    EXPECT_EQ(RaisedBy([&] { other.WriteLock(true); }).code, ZARNIK_WRITELOCK);
    engine.FreeSession(&closing);
    EXPECT_TRUE(other.WriteLock(true));
    other.WriteUnlock(true);
  }
}

// Readers in two processes take different bytes of the table span and both
// go on; a writer waits until both have let go.
TEST_F(DirectoryLocksTest, ReadersInTwoProcessesShareATable) {
  Open(*session).Locks().FindOrAddTable("t");
  ChildProcess child([this](ChildProcess& self) {
    TDataEngine childEngine;
    childEngine.StartEngine("zarnik.lck");
    TDataTableLocks& entry = childEngine.CreateSession()
                                 .OpenDirectory("DB", folder.Path(), false, false)
                                 .Locks()
                                 .FindOrAddTable("t");
    entry.ReadLock();
    self.Send('r');
    self.Receive();
    entry.ReadUnlock();
    self.Send('u');
    self.Receive();
    return 0;
  });
  ASSERT_TRUE(child.Receive());
  TDataTableLocks& reader = Entry(*session, "t");
  TDataTableLocks& writer = Entry(NewSession(), "t");
  EXPECT_TRUE(reader.ReadLock());
  reader.ReadUnlock();
  EXPECT_EQ(RaisedBy([&] { writer.WriteLock(true); }).code, ZARNIK_WRITELOCK);
  child.Send('u');
  ASSERT_TRUE(child.Receive());
  EXPECT_TRUE(writer.WriteLock(true));
  writer.WriteUnlock(true);
  child.Send('e');
  EXPECT_EQ(child.Join(), 0);
}

// A lock file with the read-only attribute means that nothing is locked: every
// lock succeeds, and the directory is read-only.
TEST_F(DirectoryLocksTest, AReadOnlyLockFileMeansNoLocking) {
  Touch("a.dat");
  session->CloseDirectory(&Open(*session));
  ASSERT_EQ(chmod(folder.File("zarnik.lck").c_str(), 0444), 0);
  TDataSession& first = NewSession();
  TDataDirectory& directory = Open(first);
  EXPECT_TRUE(directory.Locks().NoLocking());
  EXPECT_TRUE(directory.ReadOnly());
  EXPECT_EQ(RaisedBy([&] { directory.CheckWritable("a"); }).code, ZARNIK_OSEACCES);
  TDataTableLocks& writer = directory.Locks().FindOrAddTable("a");
  TDataTableLocks& reader = Entry(NewSession(), "a");
  EXPECT_TRUE(writer.WriteLock(true));
  EXPECT_TRUE(reader.ReadLock());
  directory.Locks().TransactionLockAll();
  directory.Locks().DatabaseWriteLock();
  EXPECT_EQ(ReadLockFile().names, std::vector<std::string>{"a"});
}

// A failure while the list is read gives the list's read lock back: the
// other users of the lock file can still change the list.
TEST_F(DirectoryLocksTest, AFailedReadOfTheListReleasesItsLock) {
  TDataDirectory& first = Open(*session);
  services.FailNth(FileCall::Read, 1, EIO);
  EXPECT_EQ(RaisedBy([&] { Open(NewSession()); }).code, ZARNIK_READERR);
  EXPECT_EQ(first.Locks().FindOrAddTable("t").Slot(), 1u);
  session->CloseDirectory(&first);
}

// Where the lock file can be neither made (a read-only file system) nor
// opened for writing, the directory locks nothing and is read-only.
TEST_F(DirectoryLocksTest, ALockFileThatCannotBeWrittenMeansNoLocking) {
  services.FailNth(FileCall::Open, 1, EROFS);
  TDataDirectory& unmade = Open(*session);
  EXPECT_TRUE(unmade.ReadOnly());
  EXPECT_FALSE(std::filesystem::exists(folder.File("zarnik.lck")));
  session->CloseDirectory(&unmade);

  session->CloseDirectory(&Open(*session));
  ASSERT_TRUE(std::filesystem::exists(folder.File("zarnik.lck")));
  services.FailNth(FileCall::Open, 1, EACCES);  // read and write refused, reading allowed
  TDataDirectory& unwritable = Open(*session);
  EXPECT_TRUE(unwritable.ReadOnly());
  EXPECT_TRUE(unwritable.Locks().FindOrAddTable("t").ReadLock());
  session->CloseDirectory(&unwritable);
}

}  // namespace
}  // namespace zarnik
