// TDataDirectory: one folder (or the in-memory database) as one session sees
// it. It keeps the folder's lock file manager, the table objects open in the
// folder, and the directory-level table operations: existence, listing,
// temporary names, and the creation, renaming and deletion of table files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/directory_table.h"
#include "engine/core/safe_object.h"

namespace zarnik {

class TDataEngine;
class TDataSession;
class TDataDirectoryLocks;

class TDataDirectory : public TSafeObject {
 public:
  static constexpr size_t kMaxNameLength = 60;
  static constexpr const char* kMemoryName = "Memory";

  // Opens the folder's lock file; a folder where it cannot be made or
  // written makes the directory read-only.
  TDataDirectory(TDataSession& session, const std::string& name, const std::string& folder);
  // Frees the table objects and closes the lock file.
  ~TDataDirectory() override;

  TDataSession& Session() { return session_; }
  TDataEngine& Engine();
  // The name given at opening (at most 60 characters).
  const std::string& Name() const { return name_; }
  // The folder with its final '/'; empty for an in-memory database without one.
  const std::string& Folder() const { return folder_; }
  // The database name in error messages: the folder without its final '/'.
  std::string GetDisplayName() const;
  static bool IsMemoryName(const std::string& name);
  bool IsMemory() const { return IsMemoryName(name_); }
  bool ReadOnly() const;
  TDataDirectoryLocks& Locks() { return *locks_; }

  int32_t userCount = 0;
  bool keepTablesOpen = false;
  // The directory's transaction: whether one is active, and whether it is
  // restricted to the listed tables.
  struct TTransactionState {
    bool active = false;
    bool restricted = false;
    std::vector<TDirectoryTable*> tables;
  };
  TTransactionState transaction;

  // Raises ZARNIK_OSEACCES for the table when the directory is read-only.
  void CheckWritable(const std::string& tableName);

  // --- table files
  // name with extension in place of a data extension (TheData -> TheData.idx).
  std::string BuildFileName(const std::string& name, const std::string& extension) const;
  std::string StripDataExtension(const std::string& name) const;
  // The names of the data files in the folder, without folder; without the
  // extension when asked.
  std::vector<std::string> ListTables(bool withoutExtension);
  // Whether the table's data file exists (its index and BLOB files do not count).
  bool TableExists(const std::string& name, bool temporary);
  // A data file name that no table of the directory uses.
  std::string MakeTempTableName();

  // --- the table objects
  // Binary search by name (trimmed, any letter case); when not found, index
  // is where the name belongs.
  bool FindTable(const std::string& name, size_t& index) const;
  TDirectoryTable* Table(size_t index) { return tables_[index].get(); }
  size_t TableCount() const { return tables_.size(); }
  // Makes the table object that renames or deletes the files of a table
  // nobody has open; the table layer sets it.
  std::function<std::unique_ptr<TDirectoryTable>(TDataDirectory&, const std::string& name)> tableFactory;
  // Creates the files of a new table object and lists it. Refused on a
  // read-only directory and while a user holds a table of that name.
  TDirectoryTable& CreateTableFiles(std::unique_ptr<TDirectoryTable> table);
  // Renames a table's files to target's folder and newName (or to its backup
  // files). Refused on a read-only directory and while a user holds the table.
  void RenameTable(const std::string& name, TDataDirectory& target, const std::string& newName,
                   bool toBackup);
  // Deletes a table's files. Refused on a read-only directory and while a
  // user holds the table.
  void DeleteTableFiles(const std::string& name);
  // Lists a table object at its sorted place (the table layer's open).
  TDirectoryTable& AddTable(std::unique_ptr<TDirectoryTable> table);
  // Frees the table object at index and takes it off the list.
  void RemoveTable(size_t index);

 private:
  [[noreturn]] void RaiseAccessDenied(const std::string& tableName);
  // The listed table object of name after closing it when the directory kept
  // it open for nobody; none when it is not listed. A held table is refused.
  TDirectoryTable* ReleasedTable(const std::string& name, size_t& index);
  std::unique_ptr<TDirectoryTable> MakeTable(const std::string& name);
  void InsertTable(std::unique_ptr<TDirectoryTable> table);

  TDataSession& session_;
  std::string name_;
  std::string folder_;
  std::unique_ptr<TDataDirectoryLocks> locks_;
  std::vector<std::unique_ptr<TDirectoryTable>> tables_;  // sorted by name
};

}  // namespace zarnik
