#include "engine/files/file_registry.h"

#include <algorithm>

#include "engine/core/data_engine.h"
#include "engine/files/memory_file.h"
#include "engine/files/physical_file.h"
#include "platform/locale.h"

namespace zarnik {

namespace {

constexpr int32_t Refused(TErrorCode code) {
  return -static_cast<int32_t>(code);
}

int CompareNames(const std::string& a, const std::string& b) {
  return platform::CompareText(platform::TrimSpaces(a), platform::TrimSpaces(b), true);
}

}  // namespace

TFileRegistry::TFileRegistry(TDataEngine& engine, bool inMemory) : engine_(engine), inMemory_(inMemory) {}

TFileRegistry::~TFileRegistry() = default;

TFileRegistry::TList::iterator TFileRegistry::Find(const std::string& name, bool& found) {
  auto at = std::lower_bound(files_.begin(), files_.end(), name,
                             [](const std::unique_ptr<TBaseFile>& f, const std::string& key) {
                               return CompareNames(f->Name(), key) < 0;
                             });
  found = at != files_.end() && CompareNames((*at)->Name(), name) == 0;
  return at;
}

std::unique_ptr<TBaseFile> TFileRegistry::MakeFile(const std::string& name) {
  std::unique_ptr<TBaseFile> file;
  if (inMemory_)
    file = std::make_unique<TMemoryFile>(engine_);
  else
    file = std::make_unique<TPhysicalFile>(engine_);
  file->SetName(name);
  return file;
}

void TFileRegistry::Insert(std::unique_ptr<TBaseFile> file) {
  bool found;
  auto at = Find(file->Name(), found);
  files_.insert(at, std::move(file));
}

bool TFileRegistry::Exists(const std::string& name) {
  TCriticalSectionGuard lock(guard_);
  bool found;
  Find(name, found);
  if (found || inMemory_) return found;
  platform::FileAttributes attributes;
  return engine_.Files().GetAttributes(name, attributes) == 0 && !attributes.isDirectory;
}

int32_t TFileRegistry::Create(const std::string& name, bool temporary, bool hidden, TBaseFile** file) {
  TCriticalSectionGuard lock(guard_);
  bool found;
  auto at = Find(name, found);
  if (found && (*at)->OpenCount() > 0) return Refused(ZARNIK_OSEACCES);
  std::unique_ptr<TBaseFile> made;
  TBaseFile* target = found ? at->get() : (made = MakeFile(name)).get();
  target->exclusive = true;
  target->temporary = temporary;
  target->hidden = hidden;
  int32_t handle = target->CreateNew();
  if (handle > 0) {
    if (made) Insert(std::move(made));
    *file = target;
  }
  return handle;
}

int32_t TFileRegistry::Open(const std::string& name, bool hidden, bool temporary, bool exclusive,
                            bool& readOnly, bool& forcedReadOnly, TBaseFile** file) {
  TCriticalSectionGuard lock(guard_);
  bool found;
  auto at = Find(name, found);
  std::unique_ptr<TBaseFile> made;
  TBaseFile* target;
  if (found && (*at)->OpenCount() > 0) {
    target = at->get();
    if (target->exclusive || exclusive) return Refused(ZARNIK_OSEACCES);
    target->readOnly = readOnly;
  } else {
    if (!found && inMemory_) return Refused(ZARNIK_OSENOENT);
    target = found ? at->get() : (made = MakeFile(name)).get();
    target->exclusive = exclusive;
    target->temporary = temporary;
    target->hidden = hidden;
    target->readOnly = readOnly;
  }
  int32_t handle = target->Open();
  if (handle <= 0) return handle;
  if (made) Insert(std::move(made));
  readOnly = target->readOnly;
  forcedReadOnly = target->forcedReadOnly;
  *file = target;
  return handle;
}

int32_t TFileRegistry::Close(TBaseFile* file, int32_t handle) {
  TCriticalSectionGuard lock(guard_);
  auto at = std::find_if(files_.begin(), files_.end(),
                         [file](const std::unique_ptr<TBaseFile>& f) { return f.get() == file; });
  if (at == files_.end() || (*at)->OpenCount() == 0) return Refused(ZARNIK_OSENOENT);
  (*at)->Close(handle);
  if ((*at)->OpenCount() > 0) return 0;
  if ((*at)->temporary) {
    (*at)->Delete();
    files_.erase(at);
  } else if (!inMemory_) {
    files_.erase(at);
  }
  return 0;
}

int32_t TFileRegistry::Rename(const std::string& oldName, const std::string& newName) {
  TCriticalSectionGuard lock(guard_);
  bool found;
  Find(newName, found);
  if (found) return Refused(ZARNIK_OSEACCES);
  auto at = Find(oldName, found);
  if (!found) {
    if (inMemory_) return Refused(ZARNIK_OSENOENT);
    return MakeFile(oldName)->Rename(newName);
  }
  if ((*at)->OpenCount() > 0) return Refused(ZARNIK_OSEACCES);
  int32_t result = (*at)->Rename(newName);
  if (result != 0) return result;
  std::unique_ptr<TBaseFile> moved = std::move(*at);
  files_.erase(at);
  Insert(std::move(moved));
  return 0;
}

int32_t TFileRegistry::Delete(const std::string& name) {
  TCriticalSectionGuard lock(guard_);
  bool found;
  auto at = Find(name, found);
  if (!found) {
    if (inMemory_) return Refused(ZARNIK_OSENOENT);
    return MakeFile(name)->Delete();
  }
  if ((*at)->OpenCount() > 0) return Refused(ZARNIK_OSEACCES);
  int32_t result = (*at)->Delete();
  files_.erase(at);
  return result;
}

void TFileRegistry::Clear() {
  TCriticalSectionGuard lock(guard_);
  files_.clear();
}

size_t TFileRegistry::Count() {
  TCriticalSectionGuard lock(guard_);
  return files_.size();
}

std::vector<std::string> TFileRegistry::Names() {
  TCriticalSectionGuard lock(guard_);
  std::vector<std::string> names;
  for (const std::unique_ptr<TBaseFile>& file : files_) names.push_back(file->Name());
  return names;
}

}  // namespace zarnik
