// TDirectoryTable: what a database directory keeps of each table object in
// its tables list: the name the list is sorted by, whether a user holds the
// table, and the file operations that the directory's table operations hand
// to it. The shared table object derives from it.
#pragma once

#include <string>

namespace zarnik {

class TDataDirectory;

class TDirectoryTable {
 public:
  explicit TDirectoryTable(std::string name) : name_(std::move(name)) {}
  virtual ~TDirectoryTable() = default;
  TDirectoryTable(const TDirectoryTable&) = delete;
  TDirectoryTable& operator=(const TDirectoryTable&) = delete;

  // The table name without folder and data extension.
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  // Open by a cursor or taking part in a transaction.
  virtual bool InUse() const = 0;
  // Closes the files of a table that the directory keeps open for nobody.
  virtual void CloseKeptOpen() = 0;
  // Creates the table's files from the definitions the object was given.
  virtual void CreateFiles() = 0;
  virtual void DeleteFiles() = 0;
  // Renames the files to target's folder + newName (without folder and data
  // extension) + each file's extension, or its backup extension.
  virtual void RenameFiles(TDataDirectory& target, const std::string& newName, bool toBackup) = 0;

 private:
  std::string name_;
};

}  // namespace zarnik
