#include "engine/locks/table_record_locks.h"

#include <gtest/gtest.h>

#include <fstream>

#include "engine/files/engine_file.h"
#include "tests/support/child_process.h"
#include "tests/support/faulty_file_services.h"
#include "tests/support/raised.h"
#include "tests/support/session_fixture.h"

namespace zarnik {
namespace {

using testing::ChildProcess;
using testing::FileCall;
using testing::RaisedBy;

// One table object's view: its data file, its record locks, and the calls
// the locks make of it.
struct TableView {
  TEngineFile file;
  bool inTransaction = false;
  bool entryLocked = false;
  int readLocks = 0;
  int readUnlocks = 0;
  int refreshes = 0;
  TTableRecordLocks locks;

  TableView(TDataSession& session, const std::string& name)
      : file(session.Engine()),
        locks(session, file,
              {[this] {
                 ++readLocks;
                 return false;
               },
               [this] { ++readUnlocks; },
               [this] {
                 ++refreshes;
                 return true;
               },
               [this] { return inTransaction; }, [this] { return entryLocked; }}) {
    file.SetFileName(name);
    file.OpenFile();
    locks.SetNames("t", "db");
  }
};

class RecordLocksTest : public testing::SessionTest {
 protected:
  std::unique_ptr<TableView> View(TDataSession& in) {
    return std::make_unique<TableView>(in, folder.File("t.dat"));
  }
  void SetUp() override {
    SessionTest::SetUp();
    Touch("t.dat");
  }
};

TEST_F(RecordLocksTest, ARecordIsLockedOnceAndUnlockedOnce) {
  auto view = View(*session);
  EXPECT_EQ(RaisedBy([&] { view->locks.LockRecord(0); }).code, ZARNIK_RECLOCKFAILED);
  EXPECT_EQ(RaisedBy([&] { view->locks.LockRecord(200000001); }).code, ZARNIK_RECLOCKFAILED);
  view->locks.LockRecord(5);
  EXPECT_TRUE(view->locks.RecordLocked(5));
  auto raised = RaisedBy([&] { view->locks.LockRecord(5); });
  EXPECT_EQ(raised.code, ZARNIK_RECLOCKFAILED);
  EXPECT_EQ(raised.tableName, "t");
  view->locks.UnlockRecord(5);
  EXPECT_EQ(RaisedBy([&] { view->locks.UnlockRecord(5); }).code, ZARNIK_UNLOCKFAILED);
  EXPECT_EQ(view->readLocks, 1);  // the pessimistic protocol read-locks the table first
}

TEST_F(RecordLocksTest, ARecordHeldElsewhereFailsAfterTheRetries) {
  auto holder = View(*session);
  auto other = View(NewSession());
  holder->locks.LockRecord(7);
  EXPECT_EQ(RaisedBy([&] { other->locks.LockRecord(7); }).code, ZARNIK_RECLOCKFAILED);
  // Three attempts (retry count 2), the table read lock given up after each.
  EXPECT_EQ(other->readLocks, 3);
  EXPECT_EQ(other->readUnlocks, 3);
  other->locks.LockRecord(8);

  TDataSession& optimistic = NewSession();
  optimistic.SetLockProtocol(1);
  auto third = View(optimistic);
  EXPECT_EQ(RaisedBy([&] { third->locks.LockRecord(7); }).code, ZARNIK_RECLOCKFAILED);
  EXPECT_EQ(third->readLocks, 0);
  holder->locks.UnlockRecord(7);
  third->locks.LockRecord(7);
}

TEST_F(RecordLocksTest, ATransactionKeepsItsRecordsToItsEnd) {
  auto view = View(*session);
  auto other = View(NewSession());
  view->inTransaction = true;
  view->locks.LockRecord(3);
  view->locks.UnlockRecord(3);
  EXPECT_TRUE(view->locks.RecordLocked(3));
  EXPECT_EQ(RaisedBy([&] { other->locks.LockRecord(3); }).code, ZARNIK_RECLOCKFAILED);
  // Taken over without a new lock.
  int reads = view->readLocks;
  EXPECT_FALSE(view->locks.LockRecord(3));
  EXPECT_EQ(view->readLocks, reads);
  view->locks.UnlockRecord(3);
  view->locks.UnlockAllRecords(false);
  EXPECT_TRUE(view->locks.RecordLocked(3));
  view->inTransaction = false;
  view->locks.UnlockAllRecords(true);
  EXPECT_FALSE(view->locks.RecordLocked(3));
  other->locks.LockRecord(3);
}

TEST_F(RecordLocksTest, TheTableLockExcludesRecordLocks) {
  auto view = View(*session);
  auto other = View(NewSession());
  view->locks.LockRecord(1);
  EXPECT_EQ(RaisedBy([&] { view->locks.LockTable(); }).code, ZARNIK_LOCKED);
  EXPECT_EQ(RaisedBy([&] { other->locks.LockTable(); }).code, ZARNIK_LOCKED);
  view->locks.UnlockRecord(1);
  EXPECT_EQ(RaisedBy([&] { view->locks.UnlockTable(); }).code, ZARNIK_UNLOCKFAILED);

  view->locks.LockTable();
  EXPECT_EQ(view->refreshes, 1);
  EXPECT_FALSE(view->locks.LockRecord(2));  // covered by the table lock
  EXPECT_EQ(RaisedBy([&] { view->locks.LockTable(); }).code, ZARNIK_LOCKED);
  EXPECT_EQ(RaisedBy([&] { other->locks.LockRecord(2); }).code, ZARNIK_RECLOCKFAILED);

  view->inTransaction = true;
  view->locks.UnlockTable();
  EXPECT_TRUE(view->locks.TableLocked());
  view->locks.UnlockAllRecords(true);
  EXPECT_FALSE(view->locks.TableLocked());
  other->entryLocked = true;
  other->locks.LockTable();
  EXPECT_EQ(other->refreshes, 0);  // the entry's own lock keeps the view current
  other->locks.UnlockTable();
}

TEST_F(RecordLocksTest, SemaphoresOutsideTheirRangeTouchNothing) {
  auto view = View(*session);
  auto other = View(NewSession());
  int locks = services.Calls(FileCall::Lock);
  EXPECT_FALSE(view->locks.LockSemaphore(0));
  EXPECT_FALSE(view->locks.LockSemaphore(1025));
  EXPECT_EQ(services.Calls(FileCall::Lock), locks);
  EXPECT_TRUE(view->locks.LockSemaphore(1024));
  EXPECT_FALSE(view->locks.LockSemaphore(1024));
  EXPECT_FALSE(other->locks.LockSemaphore(1024));
  EXPECT_FALSE(other->locks.UnlockSemaphore(1024));
  EXPECT_TRUE(view->locks.UnlockSemaphore(1024));
  EXPECT_TRUE(other->locks.LockSemaphore(1024));
  other->locks.ReleaseAll();
}

TEST_F(RecordLocksTest, RecordLocksHoldBetweenProcesses) {
  for (bool largeFiles : {false, true}) {
    SCOPED_TRACE(largeFiles);
    engine.Settings.LargeFileSupport = largeFiles;
    engine.StartEngine("zarnik.lck");
    ChildProcess child([this, largeFiles](ChildProcess& self) {
      TDataEngine childEngine;
      childEngine.Settings.LargeFileSupport = largeFiles;
      childEngine.StartEngine("zarnik.lck");
      TableView view(childEngine.CreateSession(), folder.File("t.dat"));
      view.locks.LockRecord(9);
      view.locks.LockSemaphore(1);
      self.Send('l');
      self.Receive();
      view.locks.ReleaseAll();
      self.Send('u');
      self.Receive();
      return 0;
    });
    ASSERT_TRUE(child.Receive());
    auto view = View(*session);
    EXPECT_EQ(RaisedBy([&] { view->locks.LockRecord(9); }).code, ZARNIK_RECLOCKFAILED);
    EXPECT_FALSE(view->locks.LockSemaphore(1));
    EXPECT_EQ(RaisedBy([&] { view->locks.LockTable(); }).code, ZARNIK_LOCKED);
    child.Send('u');
    ASSERT_TRUE(child.Receive());
    view->locks.LockRecord(9);
    EXPECT_TRUE(view->locks.LockSemaphore(1));
    view->locks.ReleaseAll();
    child.Send('e');
    EXPECT_EQ(child.Join(), 0);
  }
}

}  // namespace
}  // namespace zarnik
