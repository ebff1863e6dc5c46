// Record insertion through a cursor and reading: the new record's numbering,
// unique keys, the hooks around an insert, what shared and exclusive cursors
// leave in the files, and navigation, key search and ranges.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "engine/core/data_engine.h"
#include "engine/data/data_file.h"
#include "engine/files/table_flush.h"
#include "platform/exceptions.h"
#include "tests/engine/core/table_fixture.h"
#include "tests/support/raised.h"

namespace zarnik::testing {
namespace {

class CursorTest : public TableTest {
 protected:
  std::unique_ptr<TDataCursor> cursor;

  void SetUp() override {
    TableTest::SetUp();
    Create(PeopleTable());
    cursor = Cursor(*directory);
    cursor->OpenCursor();
  }
  const TDataHeader& Header() { return cursor->Table()->DataFile().Definition().header; }
};

TEST_F(CursorTest, InsertNumbersTheRecordAndLeavesItsNumberInTheImage) {
  std::vector<uint8_t> record = RowRecord(*cursor, 1);
  cursor->InsertRecord(record);
  EXPECT_EQ(platform::GetInt32(record, kRecordLinkOffset), 1);
  EXPECT_EQ(cursor->CurrentRecordNumber(), 1u);
  EXPECT_EQ(platform::GetInt32(cursor->GetField(-1).bytes, 0), 1);
  EXPECT_EQ(platform::GetInt32(cursor->GetField(kSeqNo).bytes, 0), 1);
  EXPECT_EQ(Header().recordCount, 1);

  std::vector<uint8_t> kept = RowRecord(*cursor, 2);
  cursor->SetField(kept, kSeqNo, std::span<const uint8_t>(IntValue(50)));
  cursor->InsertRecord(kept, true, true, false, true);
  EXPECT_EQ(platform::GetInt32(cursor->GetField(kSeqNo).bytes, 0), 50);
  EXPECT_EQ(Header().lastAutoIncrement, 50);
}

TEST_F(CursorTest, DuplicateUniqueKeyChangesNothing) {
  InsertRows(*cursor, 0, 20);
  std::vector<uint8_t> duplicate = RowRecord(*cursor, 5);
  TDataHeader before = Header();
  EXPECT_EQ(RaisedBy([&] { cursor->InsertRecord(duplicate); }).code, ZARNIK_KEYVIOL);
  EXPECT_EQ(Header().recordCount, before.recordCount);
  EXPECT_EQ(Header().nextRecordNumber, before.nextRecordNumber);
  EXPECT_EQ(Header().freeRecordHead, before.freeRecordHead);
  cursor->SelectIndexByName("ByName");
  EXPECT_EQ(cursor->RecordCount(), 20u);
}

TEST_F(CursorTest, ErrorHookRetryTakesAnotherAttemptAndAbortUnwindsSilently) {
  InsertRows(*cursor, 0, 3);
  int calls = 0;
  engine.Events.recordChangeError = [&](TRecordErrorKind, TDataSession& s, TRecordErrorAction& action,
                                        const std::exception&, uint8_t* record, int64_t, TDataCursor&,
                                        TDataDirectory&) {
    EXPECT_TRUE(s.callbackMark);
    // The first answer retries after making the name unique; the next aborts.
    if (++calls == 1) {
      cursor->SetField(std::span<uint8_t>(record, cursor->RecordSize()), kName,
                       std::span<const uint8_t>(TextValue("fresh")));
      action = TRecordErrorAction::Retry;
    } else {
      action = TRecordErrorAction::Abort;
    }
  };
  std::vector<uint8_t> duplicate = RowRecord(*cursor, 1);
  cursor->InsertRecord(duplicate);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(TextOf(cursor->GetField(kName)), "fresh");
  std::vector<uint8_t> another = RowRecord(*cursor, 0);
  EXPECT_THROW(cursor->InsertRecord(another), EAbort);
  EXPECT_FALSE(session->callbackMark);

  std::vector<TRecordChangeKind> triggers;
  engine.Events.recordChangeTrigger = [&](TRecordChangeKind kind, TDataSession&, uint8_t*, uint8_t*,
                                          int64_t number, TDataCursor&, TDataDirectory&) {
    triggers.push_back(kind);
    EXPECT_EQ(number, kind == TRecordChangeKind::BeforeInsert ? -1 : 5);
  };
  InsertRows(*cursor, 10, 1);
  EXPECT_EQ(triggers, (std::vector{TRecordChangeKind::BeforeInsert, TRecordChangeKind::AfterInsert}));
  cursor->noTriggers = true;
  InsertRows(*cursor, 11, 1);
  EXPECT_EQ(triggers.size(), 2u);
}

TEST_F(CursorTest, SharedInsertsReachTheFileAndExclusiveOnesWaitForTheClose) {
  InsertRows(*cursor, 0, 1);
  auto size = [&] { return std::filesystem::file_size(folder.File("People.dat")); };
  uintmax_t one = size();
  InsertRows(*cursor, 1, 1);
  EXPECT_GT(size(), one) << "a shared insert is in the file when it returns";
  cursor->CloseCursor(true);

  auto exclusive = Cursor(*directory, "People", true);
  exclusive->OpenCursor();
  uintmax_t before = size();
  InsertRows(*exclusive, 2, 100);
  EXPECT_EQ(size(), before);
  exclusive->CloseCursor(true);
  EXPECT_GT(size(), before);
  cursor->OpenCursor();
  EXPECT_EQ(CheckRows(*cursor, 102), 0);
}

TEST_F(CursorTest, NavigationSearchAndRangesFollowTheCurrentIndex) {
  InsertRows(*cursor, 0, 50);
  cursor->SelectIndex(0);
  ASSERT_TRUE(cursor->Last());
  EXPECT_EQ(platform::GetInt32(cursor->GetField(kSeqNo).bytes, 0), 50);
  ASSERT_TRUE(cursor->Prior());
  EXPECT_EQ(platform::GetInt32(cursor->GetField(kSeqNo).bytes, 0), 49);

  cursor->SelectIndexByName("ByCity");
  std::vector<uint8_t> key = cursor->NewRecord();
  cursor->SetField(key, kCity, std::span<const uint8_t>(TextValue("BERGEN")));
  ASSERT_TRUE(cursor->FindKey(key));
  EXPECT_EQ(TextOf(cursor->GetField(kCity)), "Bergen");
  cursor->SetRange(key, 0, key, 0);
  EXPECT_EQ(cursor->RecordCount(), 10u);
  int count = 0;
  for (bool more = cursor->First(); more; more = cursor->Next(), ++count)
    EXPECT_EQ(TextOf(cursor->GetField(kCity)), "Bergen");
  EXPECT_EQ(count, 10);
  cursor->CancelRange();
  EXPECT_EQ(cursor->RecordCount(), 50u);

  cursor->SetField(key, kCity, std::span<const uint8_t>(TextValue("Nowhere")));
  EXPECT_FALSE(cursor->FindKey(key));
  EXPECT_FALSE(cursor->HasCurrentRecord());
  EXPECT_FALSE(cursor->FindKey(key, 0, 0, true));
  ASSERT_TRUE(cursor->HasCurrentRecord()) << "on the nearest entry";
  EXPECT_EQ(TextOf(cursor->GetField(kCity)), "oslo");
}

// Records that follow each other along the index are read in one go: a walk
// in either direction of the primary index, or in physical order, makes far
// fewer reads of the data file than it visits records, and sees each one.
TEST_F(CursorTest, WalksReadConsecutiveRecordsAhead) {
  InsertRows(*cursor, 0, 300);
  cursor->CloseCursor(true);
  cursor->OpenCursor();
  const TDataFile& data = cursor->Table()->DataFile();
  struct Walk {
    const char* name;
    int32_t slot;  // -1: physical order
    bool backward;
  };
  for (const Walk& walk : {Walk{"primary forward", 0, false}, Walk{"primary backward", 0, true},
                           Walk{"physical forward", -1, false}, Walk{"physical backward", -1, true}}) {
    SCOPED_TRACE(walk.name);
    if (walk.slot < 0) cursor->SelectPhysicalOrder();
    else cursor->SelectIndex(walk.slot);
    DiscardTableBuffers(cursor->Table()->Files(), false, false);
    int32_t reads = data.PhysicalReads();
    std::set<int> seen;
    for (bool more = walk.backward ? cursor->Last() : cursor->First(); more;
         more = walk.backward ? cursor->Prior() : cursor->Next())
      seen.insert(RowNumberOf(*cursor));
    EXPECT_EQ(seen.size(), 300u);
    EXPECT_LT(data.PhysicalReads() - reads, 30);
  }
}

TEST_F(CursorTest, InsertPutsThePositionOnTheNewRecord) {
  InsertRows(*cursor, 0, 30);
  cursor->SelectIndexByName("ByName");
  std::vector<uint8_t> record = RowRecord(*cursor, 100);
  cursor->InsertRecord(record);
  EXPECT_EQ(TextOf(cursor->GetField(kName)), "name100");
  ASSERT_TRUE(cursor->Next());
  EXPECT_EQ(TextOf(cursor->GetField(kName)), "name11") << "the next name in index order";
  ASSERT_TRUE(cursor->Prior());
  EXPECT_EQ(TextOf(cursor->GetField(kName)), "name100");
}

TEST_F(CursorTest, ReadOnlyCursorRefusesInserts) {
  cursor->CloseCursor(true);
  cursor->readOnly = true;
  cursor->OpenCursor();
  std::vector<uint8_t> record = RowRecord(*cursor, 1);
  EXPECT_EQ(RaisedBy([&] { cursor->InsertRecord(record); }).code, ZARNIK_OSEACCES);
}

}  // namespace
}  // namespace zarnik::testing
