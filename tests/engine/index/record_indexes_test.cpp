#include "engine/index/record_indexes.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/data/record_layout.h"
#include "tests/engine/data/test_tables.h"
#include "tests/engine/index/tree_checker.h"
#include "tests/support/file_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/test_table.h"

namespace zarnik {
namespace {

using test_tables::NewField;
using testing::RaisedBy;
using Bytes = std::vector<uint8_t>;

class RecordIndexesTest : public testing::EngineFileTest {
 protected:
  void SetUp() override {
    EngineFileTest::SetUp();
    file_.SetFileName(folder.File("t.idx"));
    file_.exclusive = true;
    file_.CreateFile();
    file_.StoreDefaultDefinitions({2, 4});
    AddIndex("ixI", 1, true, false);
    AddIndex("ixS", 2, false, true);
    indexes_ = std::make_unique<TRecordIndexes>(file_, fields_, nullptr);
    indexes_->SetTextIndexing(
        [this](std::span<const uint8_t> record, const TFieldDefinition& field) {
          return field.IsBlob() ? memos_[GetRecordID(record)] : TRecordKeys::FieldText(record, field);
        },
        &params_, nullptr);
  }
  void TearDown() override {
    indexes_.reset();
    file_.CloseFile();
    EngineFileTest::TearDown();
  }
  void AddIndex(const std::string& name, uint16_t field, bool unique, bool caseInsensitive) {
    TIndexDefinition def;
    def.Name = name;
    def.FieldCount = 1;
    def.FieldNumbers[0] = field;
    def.Unique = unique;
    def.CaseInsensitive = caseInsensitive;
    def.KeySize = file_.KeySizeFor(def, fields_);
    file_.AddIndex(def, fields_);
  }
  Bytes Record(int32_t id, int32_t i, const std::string& s, int32_t x) {
    Bytes record(fields_.RecordSize(), 0);
    SetRecordID(record, id);
    SetFieldValue(record, *fields_.GetFieldDefinition(1),
                  std::span<const uint8_t>(reinterpret_cast<uint8_t*>(&i), 4));
    SetFieldValue(record, *fields_.GetFieldDefinition(2), test_tables::Bytes(s));
    SetFieldValue(record, *fields_.GetFieldDefinition(3),
                  std::span<const uint8_t>(reinterpret_cast<uint8_t*>(&x), 4));
    return record;
  }
  size_t Entries(uint32_t slot) {
    TIndexFilePages pages(file_, nullptr);
    const TRecordKeys keys(file_.GetIndexDefinition(slot), fields_, slot);
    test::TTreeReport report = test::CheckTree(pages, slot, file_.PropsOf(slot), keys.Layout());
    EXPECT_EQ(report.error, "");
    return report.entries.size();
  }

  testing::TestTable table_{engine};
  TTableDefinition fields_ =
      test_tables::NewTable({NewField("I", kFieldInteger), NewField("S", kFieldString, 10),
                             NewField("X", kFieldInteger), NewField("M", kFieldBlob, 0, kSubtypeMemo)});
  TIndexFile file_{engine, table_, 1024};
  TTextIndexParams params_ = TTextIndexParams::Defaults();
  std::map<int32_t, std::string> memos_;
  std::unique_ptr<TRecordIndexes> indexes_;
};

TEST_F(RecordIndexesTest, InsertsChangesAndDeletesKeepEveryIndex) {
  memos_[1] = "the quick fox";
  memos_[2] = "a lazy dog";
  indexes_->Insert(Record(1, 10, "Apple", 0), 1);
  indexes_->Insert(Record(2, 20, "apple", 0), 2);
  EXPECT_EQ(Entries(0), 2u);
  EXPECT_EQ(Entries(1), 2u);
  EXPECT_EQ(Entries(2), 2u);
  EXPECT_EQ(Entries(31), 2u + 4u);  // APPLE twice, QUICK FOX LAZY DOG

  Bytes before = Record(1, 10, "Apple", 0);
  Bytes after = Record(1, 11, "Pear", 0);
  indexes_->Change(before, after, 1);
  EXPECT_EQ(Entries(1), 2u);
  EXPECT_EQ(Entries(31), 6u);  // APPLE became PEAR

  indexes_->Delete(after);
  indexes_->Delete(Record(2, 20, "apple", 0));
  for (uint32_t slot : {0u, 1u, 2u, 31u}) EXPECT_EQ(file_.GetRootPage(slot), 0u) << slot;
}

TEST_F(RecordIndexesTest, AUniqueKeyInUseIsRefusedBeforeAnyIndexChanges) {
  indexes_->Insert(Record(1, 10, "a", 0), 1);
  indexes_->Insert(Record(2, 20, "b", 0), 2);
  ASSERT_TRUE(file_.FlushBuffers(false));

  testing::Raised raised = RaisedBy([&] { indexes_->Insert(Record(3, 20, "c", 0), 3); });
  EXPECT_EQ(raised.code, ZARNIK_KEYVIOL);
  raised = RaisedBy([&] { indexes_->Insert(Record(2, 30, "c", 0), 3); });
  EXPECT_EQ(raised.code, ZARNIK_KEYVIOL);
  try {
    indexes_->Change(Record(1, 10, "a", 0), Record(1, 20, "z", 0), 1);
    ADD_FAILURE() << "no key violation";
  } catch (const EZARNIKEngineError& e) {
    EXPECT_EQ(e.ErrorCode, ZARNIK_KEYVIOL);
    EXPECT_EQ(e.ErrorIndexName, "ixI");
  }
  EXPECT_FALSE(file_.FlushBuffers(false));  // no page changed

  // A change of a field no index holds touches no page either.
  indexes_->Change(Record(1, 10, "a", 0), Record(1, 10, "a", 99), 1);
  EXPECT_FALSE(file_.FlushBuffers(false));
}

TEST_F(RecordIndexesTest, ThePrimaryIndexIsNamedPrimaryInKeyViolations) {
  indexes_->Insert(Record(1, 10, "a", 0), 1);
  try {
    indexes_->Insert(Record(1, 11, "b", 0), 2);
    ADD_FAILURE() << "no key violation";
  } catch (const EZARNIKEngineError& e) {
    EXPECT_EQ(e.ErrorCode, ZARNIK_KEYVIOL);
    EXPECT_EQ(e.ErrorIndexName, "Primary");
  }
}

}  // namespace
}  // namespace zarnik
