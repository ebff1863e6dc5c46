#include "engine/core/data_directory.h"

#include <algorithm>

#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"
#include "engine/core/table_file_name.h"
#include "engine/files/file_registry.h"
#include "engine/locks/data_directory_locks.h"
#include "platform/locale.h"
#include "platform/path.h"
#include "platform/system.h"

namespace zarnik {

namespace {

int CompareTableNames(const std::string& a, const std::string& b) {
  return platform::CompareText(platform::TrimSpaces(a), platform::TrimSpaces(b), true);
}

}  // namespace

TDataDirectory::TDataDirectory(TDataSession& session, const std::string& name, const std::string& folder)
    : session_(session), name_(name.substr(0, kMaxNameLength)), folder_(folder) {
  locks_ = std::make_unique<TDataDirectoryLocks>(*this);
  locks_->OpenLockFile();
}

TDataDirectory::~TDataDirectory() = default;

TDataEngine& TDataDirectory::Engine() {
  return session_.Engine();
}

std::string TDataDirectory::GetDisplayName() const {
  return platform::ExcludeTrailingDelimiter(folder_);
}

bool TDataDirectory::IsMemoryName(const std::string& name) {
  return platform::SameName(name, kMemoryName);
}

bool TDataDirectory::ReadOnly() const {
  return locks_->NoLocking();
}

void TDataDirectory::RaiseAccessDenied(const std::string& tableName) {
  Engine().RaiseError(ZARNIK_OSEACCES, tableName, GetDisplayName());
}

void TDataDirectory::CheckWritable(const std::string& tableName) {
  if (ReadOnly()) RaiseAccessDenied(tableName);
}

// --- table files

std::string TDataDirectory::BuildFileName(const std::string& name, const std::string& extension) const {
  return zarnik::BuildFileName(name, extension, session_.Engine().Settings.TableDataExtension);
}

std::string TDataDirectory::StripDataExtension(const std::string& name) const {
  return zarnik::StripDataExtension(name, session_.Engine().Settings.TableDataExtension);
}

std::vector<std::string> TDataDirectory::ListTables(bool withoutExtension) {
  const std::string& extension = Engine().Settings.TableDataExtension;
  std::vector<std::string> names;
  auto take = [&](const std::string& fileName) {
    if (platform::CompareText(platform::ExtractFileExt(fileName), extension, true) != 0) return;
    names.push_back(withoutExtension ? StripDataExtension(fileName) : fileName);
  };
  if (IsMemory()) {
    for (const std::string& fileName : Engine().MemoryFiles().Names())
      if (platform::CompareText(platform::ExtractFilePath(fileName), folder_, true) == 0)
        take(platform::ExtractFileName(fileName));
  } else {
    for (const std::string& fileName : platform::ListFiles(folder_)) take(fileName);
  }
  return names;
}

bool TDataDirectory::TableExists(const std::string& name, bool temporary) {
  const TEngineSettings& settings = Engine().Settings;
  std::string fileName =
      BuildFileName(name, temporary ? settings.TableDataTempExtension : settings.TableDataExtension);
  return Engine().RegistryExists(folder_ + fileName, IsMemory());
}

std::string TDataDirectory::MakeTempTableName() {
  std::string prefix = std::to_string(platform::CurrentThreadId()).substr(0, 5);
  for (uint32_t counter = 0;; ++counter) {
    std::string name = prefix + std::to_string(counter) + Engine().Settings.TableDataExtension;
    if (!TableExists(name, true)) return name;
  }
}

// --- the table objects

bool TDataDirectory::FindTable(const std::string& name, size_t& index) const {
  auto at = std::lower_bound(tables_.begin(), tables_.end(), name,
                             [](const std::unique_ptr<TDirectoryTable>& table, const std::string& key) {
                               return CompareTableNames(table->Name(), key) < 0;
                             });
  index = static_cast<size_t>(at - tables_.begin());
  return at != tables_.end() && CompareTableNames((*at)->Name(), name) == 0;
}

void TDataDirectory::InsertTable(std::unique_ptr<TDirectoryTable> table) {
  size_t index;
  FindTable(table->Name(), index);
  tables_.insert(tables_.begin() + static_cast<std::ptrdiff_t>(index), std::move(table));
}

TDirectoryTable& TDataDirectory::AddTable(std::unique_ptr<TDirectoryTable> table) {
  TDirectoryTable& added = *table;
  InsertTable(std::move(table));
  return added;
}

void TDataDirectory::RemoveTable(size_t index) {
  if (index < tables_.size()) tables_.erase(tables_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::unique_ptr<TDirectoryTable> TDataDirectory::MakeTable(const std::string& name) {
  // Without a table layer there is no table object to work the files.
  if (!tableFactory) RaiseAccessDenied(name);
  return tableFactory(*this, name);
}

TDirectoryTable* TDataDirectory::ReleasedTable(const std::string& name, size_t& index) {
  if (!FindTable(name, index)) return nullptr;
  TDirectoryTable* table = tables_[index].get();
  if (table->InUse()) RaiseAccessDenied(name);
  table->CloseKeptOpen();
  return table;
}

TDirectoryTable& TDataDirectory::CreateTableFiles(std::unique_ptr<TDirectoryTable> table) {
  CheckWritable(table->Name());
  size_t index;
  if (ReleasedTable(table->Name(), index) != nullptr)
    tables_.erase(tables_.begin() + static_cast<std::ptrdiff_t>(index));
  table->CreateFiles();
  TDirectoryTable& created = *table;
  InsertTable(std::move(table));
  return created;
}

void TDataDirectory::RenameTable(const std::string& name, TDataDirectory& target, const std::string& newName,
                                 bool toBackup) {
  CheckWritable(name);
  size_t index;
  if (TDirectoryTable* table = ReleasedTable(name, index)) {
    table->RenameFiles(target, newName, toBackup);
    std::unique_ptr<TDirectoryTable> moved = std::move(tables_[index]);
    tables_.erase(tables_.begin() + static_cast<std::ptrdiff_t>(index));
    // A table renamed within this directory keeps its object under the new
    // name; one that went elsewhere or to its backup files is gone from here.
    if (&target != this || toBackup) return;
    moved->SetName(StripDataExtension(platform::ExtractFileName(newName)));
    InsertTable(std::move(moved));
    return;
  }
  MakeTable(name)->RenameFiles(target, newName, toBackup);
}

void TDataDirectory::DeleteTableFiles(const std::string& name) {
  CheckWritable(name);
  size_t index;
  if (TDirectoryTable* table = ReleasedTable(name, index)) {
    table->DeleteFiles();
    tables_.erase(tables_.begin() + static_cast<std::ptrdiff_t>(index));
    return;
  }
  MakeTable(name)->DeleteFiles();
}

}  // namespace zarnik
