// TDataTable: the one shared object of a table within a session's database
// directory. It owns the table's data, index and BLOB files, counts the
// cursors that use it, and holds its open mode, its lock slot in the
// directory's lock file, its record locks and the password that opens it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/core/directory_table.h"
#include "engine/files/buffered_file_table.h"
#include "engine/files/crypto.h"
#include "engine/files/table_flush.h"

namespace zarnik {

class TBlobFile;
class TDataDirectory;
class TDataEngine;
class TDataFile;
class TDataPassword;
class TDataSession;
class TDataTableLocks;
class TIndexFile;
class TTableRecordLocks;
struct TTableDescription;

class TDataTable : public TDirectoryTable, public TBufferedFileTable {
 public:
  TDataTable(TDataDirectory& directory, const std::string& name);
  // Closes the files when they are still open.
  ~TDataTable() override;

  TDataDirectory& Directory() { return directory_; }
  TDataSession& Session();
  TDataEngine& Engine();
  // The display name when set, else the name.
  std::string ErrorName() const;
  std::string DatabaseName() const;
  [[noreturn]] void Raise(uint16_t code);

  uint16_t openCount = 0;
  uint16_t ordinaryUserCount = 0;
  std::string displayName;
  bool filesOpen = false;
  bool exclusive = false;
  bool readOnly = false;
  bool forcedReadOnly = false;
  bool temporary = false;
  bool indexRecreated = false;
  bool inTransaction = false;

  TDataFile& DataFile() { return *dataFile_; }
  TIndexFile& IndexFile() { return *indexFile_; }
  // Null when the table has no BLOB fields or its files are closed.
  TBlobFile* BlobFile() { return blobFile_.get(); }
  bool HasBlobFields() const;
  TTableFiles Files();
  TDataTableLocks* LockSlot() { return lockSlot_; }
  TDataPassword* Password() { return password_; }

  // --- the directory's opening and closing of tables
  struct TOpenOptions {
    std::string name;
    std::string displayName;
    bool checkHeaders = true;
    bool internal = false;
    bool sqlResult = false;
    bool temporary = false;
    bool exclusive = false;
  };
  // Finds the table in the directory's list (or makes and lists it) and opens
  // its files for one more user.
  static TDataTable& OpenTable(TDataDirectory& directory, const TOpenOptions& options);
  // One user less; the last frees the table object.
  static void CloseTable(TDataDirectory& directory, TDataTable& table, bool writeBack, bool internal,
                         bool sqlResult);

  // --- files
  void SetFileNames(bool applyTemporary);
  // Opens the three files (once; unless internal every call counts one
  // user), recreating a missing or unreadable index file.
  void OpenFiles(bool internal, bool checkHeaders);
  void CloseFiles(bool writeBack, bool internal);
  void ReadHeaders();
  void CheckHeaders();
  // The definitions CreateFiles makes the files from; set before the
  // directory's CreateTableFiles.
  void SetDescription(std::shared_ptr<const TTableDescription> description) {
    description_ = std::move(description);
  }

  // --- passwords
  // Finds (or asks the session for) the password whose check value this is.
  void AttachPassword(const TDigest& checkValue);
  // Makes the session hold the password text; returns its check value.
  TDigest PreparePassword(const std::string& text);

  // --- locks (nothing for a table without lock slot)
  // True when the lock refreshed the table's view.
  bool ReadLockTable();
  void ReadUnlockTable();
  bool WriteLockTable();
  void WriteUnlockTable();
  bool LockRecord(uint32_t record);
  void UnlockRecord(uint32_t record);
  // No lock slot: exclusive or forced read-only; nothing is ever locked.
  bool Unlocked() const { return lockSlot_ == nullptr; }

  // Writes the cached changes (see FlushTable).
  void Flush(const TTableFlushOptions& options);
  // Writes every change of an exclusive table, headers and definitions included.
  void WriteBack();
  void JoinTransaction();
  // The end of the directory's transaction for this table.
  void ReleaseTransactionLocks();

  // Change counters a cursor compares with what it last saw.
  struct TChangeCounters {
    int32_t data = 0;
    int32_t index = 0;
    uint32_t writes = 0;
    bool operator==(const TChangeCounters&) const = default;
  };
  TChangeCounters ChangeCounters();

  // --- TDirectoryTable
  bool InUse() const override;
  void CloseKeptOpen() override;
  void CreateFiles() override;
  void DeleteFiles() override;
  void RenameFiles(TDataDirectory& target, const std::string& newName, bool toBackup) override;

  // --- TBufferedFileTable
  std::string TableName() override { return ErrorName(); }
  bool Exclusive() override { return exclusive; }
  bool TransactionActive() override { return inTransaction; }
  bool WrittenSinceOpen() override { return writtenSinceOpen_; }
  void MarkWrittenSinceOpen() override;
  bool StrictChangeDetection(TDataCursor* cursor) override;
  bool ForceBufferFlush() override;
  bool RefreshIfChanged(TDataCursor* cursor) override;
  bool Encrypted() override;
  void EncryptTableBuffer(uint8_t* buffer, size_t length) override;
  void DecryptTableBuffer(uint8_t* buffer, size_t length) override;

 private:
  void MakeFileObjects();
  void OpenDataFile();
  void OpenIndexFile();
  void OpenBlobFile();
  void TakeLockSlot();
  void CreateIndexFile();
  void StoreIndexDefinitions(const TTableDescription& description);
  void ReleaseLocks();
  void CloseFileObjects();
  void RequestPasswordOrRaise();
  std::string FileName(const std::string& extension) const;
  bool RefreshFromDisk();
  bool ReadDiskChangeCounter(uint32_t& counter);
  void NoteDiskChangeCounter();

  TDataDirectory& directory_;
  std::unique_ptr<TDataFile> dataFile_;
  std::unique_ptr<TIndexFile> indexFile_;
  std::unique_ptr<TBlobFile> blobFile_;
  std::unique_ptr<TTableRecordLocks> recordLocks_;
  TDataTableLocks* lockSlot_ = nullptr;
  // Belongs to the session, which outlives its tables.
  TDataPassword* password_ = nullptr;
  std::shared_ptr<const TTableDescription> description_;
  bool writtenSinceOpen_ = false;
  // The data header's change counter as this table last read or wrote it.
  uint32_t diskChangeCounter_ = 0;
  uint32_t writeCount_ = 0;
};

}  // namespace zarnik
