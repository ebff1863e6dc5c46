// TDataCursor: one user's handle on a table. It names the table and carries
// the open options, opens and closes the table through its directory, and
// keeps the user's view: field definitions, record buffers, the current
// index and position, the open BLOBs. Records are inserted, navigated and
// read through it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/core/data_table.h"
#include "engine/core/safe_object.h"
#include "engine/data/field_definition.h"
#include "engine/data/record_layout.h"

namespace zarnik {

class TDataDirectory;
class TDataEngine;
class TDataSession;
class TIndexCursor;
class TOpenBlobs;
class TBlobFileBlocks;
struct TTableDescription;

class TDataCursor : public TSafeObject {
 public:
  // Registers nothing on disk; the cursor opens with OpenCursor.
  explicit TDataCursor(TDataDirectory& directory, bool remoteOnly = false);
  // Closes the cursor with write-back.
  ~TDataCursor() override;

  TDataDirectory& Directory() { return directory_; }
  TDataSession& Session();
  TDataEngine& Engine();
  TDataTable* Table() { return table_; }
  bool IsOpen() const { return open_; }

  // --- naming
  // ZARNIK_TABLEOPEN while open. Keeps the name part without the data
  // extension, cut to 60 characters.
  void SetTableName(const std::string& name);
  void SetDisplayTableName(const std::string& name);
  const std::string& TableName() const { return tableName_; }
  const std::string& DisplayTableName() const { return displayTableName_; }
  // The display table name when set, else the table name.
  std::string ErrorTableName() const;

  // --- open options, set before OpenCursor
  bool exclusive = false;
  bool readOnly = false;
  bool temporary = false;
  bool internal = false;
  bool verifyRepairOpen = false;
  bool upgradeOpen = false;
  bool keepRecordIDs = false;
  bool noTriggers = false;
  bool sqlResult = false;
  bool sqlLiveResult = false;
  bool forcedReadOnly = false;  // copied from the table at open

  // Callbacks of the maintenance operations; cleared when the cursor closes.
  std::function<void(const std::string& line)> logCallback;
  std::function<void(const std::string& step, int percent)> steppedProgressCallback;
  std::function<void(int percent)> progressCallback;

  void OpenCursor();
  void CloseCursor(bool writeBack);

  // --- checks made before maintenance operations
  void CommitPendingTransaction();
  void CheckClosed();
  void CheckExclusive();
  void CheckNotReadOnly();

  // --- table creation
  // Creates the table of this cursor's name in its directory from the
  // description, replacing a table of that name. The cursor must be closed.
  void CreateTable(TTableDescription description);

  // --- records
  const std::vector<TFieldDefinition>& Fields() const { return fields_; }
  size_t RecordSize() const;
  // A new record image: every field NULL, default values filled in.
  std::vector<uint8_t> NewRecord();
  // Stores a value in a record image of this table (nothing = NULL); false
  // for a field that has no slot.
  bool SetField(std::span<uint8_t> record, int32_t fieldNumber,
                std::optional<std::span<const uint8_t>> value);
  // Gives a BLOB field of a record image a whole new value (an empty value
  // makes it NULL); the value is written when the record is inserted.
  void SetBlob(std::span<uint8_t> record, int32_t fieldNumber, std::span<const uint8_t> value);

  // Inserts the record image; see the insertion steps in data_cursor.cpp.
  void InsertRecord(std::span<uint8_t> image, bool reposition = true, bool computeHash = true,
                    bool skipUniqueCheck = false, bool keepAutoIncrements = false, bool keepLink = false);

  // --- order and navigation
  // Index slot 0 to the index count (and 31); -1: physical order.
  void SelectIndex(int32_t slot);
  // By name: "" the primary index; ZARNIK_INVALIDIDXDESC when unknown.
  void SelectIndexByName(const std::string& name);
  void SelectPhysicalOrder() { SelectIndex(-1); }
  int32_t CurrentIndex() const { return currentIndex_; }
  // Each moves to a record and reads it; false (and no current record) at
  // an end.
  bool First();
  bool Last();
  bool Next();
  bool Prior();
  // Key search on the current index with a record image holding the key
  // values: its first fieldCount key fields (0: all) and partialLength bytes
  // of the next. Not found: the cursor stands at the nearest entry when
  // nearest is set, else on no record.
  bool FindKey(std::span<const uint8_t> keyRecord, uint32_t fieldCount = 0, uint32_t partialLength = 0,
               bool nearest = false);
  // Limits navigation on the current index to start <= key <= end.
  void SetRange(std::span<const uint8_t> startRecord, uint32_t startFields,
                std::span<const uint8_t> endRecord, uint32_t endFields);
  void CancelRange();
  // Records the cursor presents: live records in physical order, else the
  // entries of the current index (or of its range).
  uint32_t RecordCount();

  // --- the current record
  bool HasCurrentRecord() const { return currentNumber_ != 0; }
  // The data file's question while this cursor reads a record: how many
  // records from the one asked for on are worth reading in one go.
  int32_t GetReadAheadCount(int direction);
  uint32_t CurrentRecordNumber() const { return currentNumber_; }
  std::span<const uint8_t> CurrentRecord() const { return currentRecord_; }
  // A field of the current record (-1 RecordID, -2 RecordHash).
  TFieldValue GetField(int32_t fieldNumber) const;
  // The whole value of a BLOB field of the current record (empty when NULL).
  std::vector<uint8_t> ReadBlob(int32_t fieldNumber);
  // Builds the key of index slot from a record image.
  std::vector<uint8_t> BuildKey(uint32_t slot, std::span<const uint8_t> record);

  // The counters of the table as this cursor last saw them.
  const TDataTable::TChangeCounters& SeenCounters() const { return counters_; }

 private:
  void CheckOpen();
  [[noreturn]] void Raise(uint16_t code);
  void TakeFieldDefinitions();
  void FillRecreatedIndex();
  void ReleaseView();
  // Insertion steps.
  void InsertAttempt(std::span<uint8_t> image, bool reposition, bool computeHash, bool skipUniqueCheck,
                     bool keepAutoIncrements, bool keepLink);
  void LockForWrite();
  void CheckUniqueKeys();
  void WriteNewRecord(uint32_t number, bool& blobWritten);
  void InsertKeys(std::span<const uint8_t> record, uint32_t number);
  void InsertTextKeys(std::span<const uint8_t> record, uint32_t number);
  void MakeDurable(bool blobWritten);
  void CallTrigger(int kind, std::span<const uint8_t> record, std::span<const uint8_t> other, int64_t number);
  bool CallInsertError(const std::exception& e, std::span<uint8_t> image, int& action);
  void NoteCounters();
  void RefreshView();
  // Navigation helpers.
  // How a record read may read ahead: not at all, along physical order, or
  // along the current index.
  enum class TReadAhead : uint8_t { None, Physical, Index };
  // Sets the read-ahead of the reads in one scope.
  class TReadAheadScope {
   public:
    TReadAheadScope(TReadAhead& mode, TReadAhead value) : mode_(mode) { mode_ = value; }
    ~TReadAheadScope() { mode_ = TReadAhead::None; }
    TReadAheadScope(const TReadAheadScope&) = delete;
    TReadAheadScope& operator=(const TReadAheadScope&) = delete;

   private:
    TReadAhead& mode_;
  };
  bool ReadRecord(uint32_t number, int direction = 0, TReadAhead readAhead = TReadAhead::None);
  bool PhysicalStep(uint32_t from, int direction);
  void ClearPosition();
  void Reposition(uint32_t number);
  TIndexCursor& IndexCursor();
  std::vector<uint8_t> ReadBlobOf(std::span<const uint8_t> record, const TFieldDefinition& field);
  std::string TextOf(std::span<const uint8_t> record, const TFieldDefinition& field, uint32_t number);
  TBlobFileBlocks& BlobBlocks();
  TOpenBlobs& OpenBlobs();

  TDataDirectory& directory_;
  TDataTable* table_ = nullptr;
  bool open_ = false;
  std::string tableName_;
  std::string displayTableName_;

  std::vector<TFieldDefinition> fields_;
  bool hasAutoIncrement_ = false;
  bool hasConstraints_ = false;
  bool hasDefaults_ = false;

  std::vector<uint8_t> workRecord_;
  std::vector<uint8_t> newRecord_;
  std::vector<uint8_t> currentRecord_;
  uint32_t workNumber_ = 0;
  uint32_t currentNumber_ = 0;
  int32_t currentIndex_ = 0;
  TReadAhead readAhead_ = TReadAhead::None;  // of the record read in progress
  TDataTable::TChangeCounters counters_;

  std::unique_ptr<TIndexCursor> indexCursor_;
  std::unique_ptr<TBlobFileBlocks> blobBlocks_;
  std::unique_ptr<TOpenBlobs> openBlobs_;
};

}  // namespace zarnik
