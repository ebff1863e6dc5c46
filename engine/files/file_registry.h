// TFileRegistry: one of the engine's two lists of shared open files (disk
// files or memory files), sorted by name and guarded by its own critical
// section. Names match after trimming spaces, without regard to case.
// Every operation returns 0, a handle id, or a negated engine error code.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system.h"

namespace zarnik {

class TBaseFile;
class TDataEngine;

class TFileRegistry {
 public:
  TFileRegistry(TDataEngine& engine, bool inMemory);
  ~TFileRegistry();
  TFileRegistry(const TFileRegistry&) = delete;
  TFileRegistry& operator=(const TFileRegistry&) = delete;

  bool InMemory() const { return inMemory_; }
  TCriticalSection& Guard() { return guard_; }

  bool Exists(const std::string& name);
  // Both give the shared object through file on success.
  int32_t Create(const std::string& name, bool temporary, bool hidden, TBaseFile** file);
  int32_t Open(const std::string& name, bool hidden, bool temporary, bool exclusive, bool& readOnly,
               bool& forcedReadOnly, TBaseFile** file);
  int32_t Close(TBaseFile* file, int32_t handle);
  int32_t Rename(const std::string& oldName, const std::string& newName);
  int32_t Delete(const std::string& name);
  // Frees every registered file.
  void Clear();
  size_t Count();
  // The names of the registered files, in order.
  std::vector<std::string> Names();

 private:
  using TList = std::vector<std::unique_ptr<TBaseFile>>;
  // The entry of name, or where it belongs; found tells which.
  TList::iterator Find(const std::string& name, bool& found);
  std::unique_ptr<TBaseFile> MakeFile(const std::string& name);
  void Insert(std::unique_ptr<TBaseFile> file);

  TDataEngine& engine_;
  bool inMemory_;
  TCriticalSection guard_;
  TList files_;  // sorted by name
};

}  // namespace zarnik
