// Tables for the table and cursor tests: a small "TheData"-like layout with
// an auto-increment primary key, a case-insensitive secondary index and a
// memo, rows made from a number, and the checks that a table holds them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/core/data_cursor.h"
#include "engine/core/data_directory.h"
#include "engine/core/table_description.h"
#include "engine/data/record_layout.h"
#include "platform/byte_order.h"
#include "tests/support/session_fixture.h"

namespace zarnik::testing {

// Field numbers of the layout.
constexpr int32_t kSeqNo = 1;
constexpr int32_t kName = 2;
constexpr int32_t kCity = 3;
constexpr int32_t kAmount = 4;
constexpr int32_t kNotes = 5;

inline TFieldDefinition MakeField(int32_t number, const std::string& name, uint8_t type, uint16_t size = 0,
                                  uint8_t subtype = 0) {
  TFieldDefinition field;
  field.number = number;
  field.name = name;
  field.dataType = type;
  field.subtype = subtype;
  field.size = size;
  return field;
}

inline TIndexDefinition MakeIndex(const std::string& name, std::vector<uint16_t> fields, bool unique = false,
                                  bool caseInsensitive = false) {
  TIndexDefinition index;
  index.Name = name;
  index.FieldCount = static_cast<uint8_t>(fields.size());
  std::copy(fields.begin(), fields.end(), index.FieldNumbers.begin());
  index.Unique = unique ? 1 : 0;
  index.CaseInsensitive = caseInsensitive ? 1 : 0;
  return index;
}

inline TTableDescription PeopleTable() {
  TTableDescription d;
  d.fields = {MakeField(kSeqNo, "SeqNo", kFieldInteger, 0, kSubtypeAutoInc),
              MakeField(kName, "Name", kFieldString, 20), MakeField(kCity, "City", kFieldString, 12),
              MakeField(kAmount, "Amount", kFieldInteger),
              MakeField(kNotes, "Notes", kFieldBlob, 0, kSubtypeMemo)};
  d.primaryIndex = MakeIndex("", {kSeqNo}, true);
  d.secondaryIndexes = {MakeIndex("ByCity", {kCity}, false, true), MakeIndex("ByName", {kName}, true)};
  d.textIndexFields = {kName, kNotes};
  d.indexPageSize = 1024;
  d.blobBlockSize = 128;
  return d;
}

// The values of row i: a unique name, one of a few cities, and a memo whose
// length grows with i (every seventh row has none).
struct Row {
  std::string name;
  std::string city;
  int32_t amount;
  std::string notes;
};
inline Row RowOf(int i) {
  static const char* kCities[] = {"oslo", "Bergen", "TROMSO", "alta", "Molde"};
  std::string notes =
      i % 7 == 0 ? "" : std::string("notes of row ") + std::to_string(i) + " " + std::string(i % 300, 'x');
  return {"name" + std::to_string(i), kCities[i % 5], i * 3 - 500, notes};
}

inline std::span<const uint8_t> BytesOf(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}
// A string value with its terminating zero, as records hold it.
inline std::vector<uint8_t> TextValue(const std::string& text) {
  std::vector<uint8_t> value(text.begin(), text.end());
  value.push_back(0);
  return value;
}
inline std::vector<uint8_t> IntValue(int32_t v) {
  std::vector<uint8_t> value(4);
  platform::PutInt32(value, 0, v);
  return value;
}

inline std::vector<uint8_t> RowRecord(TDataCursor& cursor, int i) {
  Row row = RowOf(i);
  std::vector<uint8_t> record = cursor.NewRecord();
  cursor.SetField(record, kName, std::span<const uint8_t>(TextValue(row.name)));
  cursor.SetField(record, kCity, std::span<const uint8_t>(TextValue(row.city)));
  cursor.SetField(record, kAmount, std::span<const uint8_t>(IntValue(row.amount)));
  if (!row.notes.empty()) cursor.SetBlob(record, kNotes, BytesOf(row.notes));
  return record;
}

inline void InsertRows(TDataCursor& cursor, int first, int count) {
  for (int i = first; i < first + count; ++i) {
    std::vector<uint8_t> record = RowRecord(cursor, i);
    cursor.InsertRecord(record);
  }
}

inline std::string TextOf(const TFieldValue& value) {
  if (value.isNull) return {};
  return std::string(reinterpret_cast<const char*>(value.bytes.data()),
                     strnlen(reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size()));
}

// The row number a record was made from (its name is "name<i>").
inline int RowNumberOf(TDataCursor& cursor) {
  return std::stoi(TextOf(cursor.GetField(kName)).substr(4));
}

class TableTest : public SessionTest {
 protected:
  TDataDirectory* directory = nullptr;

  void SetUp() override {
    SessionTest::SetUp();
    directory = &Open(*session);
  }

  std::unique_ptr<TDataCursor> Cursor(TDataDirectory& in, const std::string& name = "People",
                                      bool exclusive = false) {
    auto cursor = std::make_unique<TDataCursor>(in);
    cursor->SetTableName(name);
    cursor->exclusive = exclusive;
    return cursor;
  }
  void Create(TTableDescription description, const std::string& name = "People") {
    Cursor(*directory, name)->CreateTable(std::move(description));
  }
  // A table of count rows, filled through one exclusive cursor.
  void CreateFilled(int count, TTableDescription description = PeopleTable()) {
    Create(std::move(description));
    auto cursor = Cursor(*directory, "People", true);
    cursor->OpenCursor();
    InsertRows(*cursor, 0, count);
    cursor->CloseCursor(true);
  }
};

// Checks every row 0 .. count - 1 once in physical order with its values and
// memo, that every index holds one key per record (the primary index in
// SeqNo order), and that every record is found by its key in every index.
// Returns the number of failures (a child process reports it as its exit code).
inline int CheckRows(TDataCursor& cursor, int count) {
  int failures = 0;
  auto expect = [&](bool ok, const char* what) {
    if (!ok && failures++ < 5) ADD_FAILURE() << what;
  };
  std::set<int> seen;
  std::set<int32_t> ids;
  std::vector<std::pair<std::vector<uint8_t>, uint32_t>> records;
  cursor.SelectPhysicalOrder();
  for (bool more = cursor.First(); more; more = cursor.Next()) {
    int i = RowNumberOf(cursor);
    Row row = RowOf(i);
    expect(seen.insert(i).second, "a row twice");
    expect(ids.insert(platform::GetInt32(cursor.GetField(-1).bytes, 0)).second, "a RecordID twice");
    expect(TextOf(cursor.GetField(kCity)) == row.city, "city");
    expect(platform::GetInt32(cursor.GetField(kAmount).bytes, 0) == row.amount, "amount");
    std::vector<uint8_t> notes = cursor.ReadBlob(kNotes);
    expect(std::string(notes.begin(), notes.end()) == row.notes, "memo");
    records.emplace_back(std::vector<uint8_t>(cursor.CurrentRecord().begin(), cursor.CurrentRecord().end()),
                         cursor.CurrentRecordNumber());
  }
  expect(static_cast<int>(seen.size()) == count, "row count");
  for (int32_t slot : {0, 1, 2}) {
    cursor.SelectIndex(slot);
    expect(cursor.RecordCount() == static_cast<uint32_t>(count), "index entry count");
    int visited = 0;
    int32_t previous = 0;
    for (bool more = cursor.First(); more; more = cursor.Next(), ++visited) {
      int32_t seqNo = platform::GetInt32(cursor.GetField(kSeqNo).bytes, 0);
      expect(slot != 0 || seqNo > previous, "primary index order");
      previous = seqNo;
    }
    expect(visited == count, "entries visited");
    // The non-unique index finds the first record of the key's city.
    for (const auto& [record, number] : records)
      expect(cursor.FindKey(record) && (slot == 1 || cursor.CurrentRecordNumber() == number), "key found");
  }
  return failures;
}

}  // namespace zarnik::testing
