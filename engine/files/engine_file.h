// TEngineFile: one user's handle on a shared file. It names the file, gets
// the shared object and a handle id from the engine's registry, and turns
// every failure into an engine error that carries the file's name.
#pragma once

#include <cstdint>
#include <string>

#include "engine/files/base_file.h"
#include "engine/files/file_copy.h"

namespace zarnik {

class TDataEngine;

class TEngineFile {
 public:
  explicit TEngineFile(TDataEngine& engine);
  // Closes the file when it is still open.
  virtual ~TEngineFile();
  TEngineFile(const TEngineFile&) = delete;
  TEngineFile& operator=(const TEngineFile&) = delete;

  // The name in error messages; the table files give their table's name.
  virtual std::string GetName();
  virtual void OpenFile();
  virtual void CloseFile();
  virtual void CreateFile();
  virtual void DeleteFile();
  virtual void RenameFile(const std::string& newName);
  // Copies this whole file into a new file destName, compressed when level is
  // 1 to 9, plain when 0.
  virtual void CopyToFile(const std::string& destName, int level, const TCopyReporting& reporting = {});
  // Replaces this file's contents with a copy made by CopyToFile (either form);
  // the file ends where the restored contents end.
  virtual void RestoreFromFile(const std::string& sourceName, const TCopyReporting& reporting = {});
  // The same copy into an open file at its position, and back from one that
  // holds a copy of size bytes at its position.
  virtual void CopyToStream(TEngineFile& target, int level, const TCopyReporting& reporting = {});
  virtual void RestoreFromStream(TEngineFile& source, int64_t size, const TCopyReporting& reporting = {});
  // Reads past such a copy without writing anything.
  virtual void SkipInStream(TEngineFile& source, int64_t size);
  // Reads count bytes at the current position. A short read raises
  // ZARNIK_READERR unless allowShort is set; returns the bytes read.
  virtual int32_t ReadBuffer(void* buffer, int32_t count, bool allowShort);
  // Writes count bytes (0: cuts the file at the current position).
  virtual void WriteBuffer(const void* buffer, int32_t count);
  // The same at offset, leaving the position alone (writes: count > 0).
  int32_t ReadBufferAt(void* buffer, int32_t count, int64_t offset, bool allowShort);
  void WriteBufferAt(const void* buffer, int32_t count, int64_t offset);
  virtual void FlushFile();

  // Locks (lock set) or unlocks a byte range; false when refused or not open.
  bool LockRegion(bool lock, int64_t length, int64_t offset);
  // The new position; 0 when not open, -1 when the position cannot be set.
  int64_t Seek(int origin, int64_t offset);
  // Leaves the position where it was; callers that need a stable answer hold the file lock.
  int64_t GetFileSize();
  bool Exists();
  void EnterFileLock();
  void LeaveFileLock();

  TDataEngine& Engine() { return engine_; }
  TBaseFile* File() { return file_; }
  int32_t Handle() const { return handle_; }
  bool IsOpen() const { return open_; }
  const std::string& FileName() const { return name_; }
  void SetFileName(const std::string& name) { name_ = name; }

  bool inMemory = false;
  bool exclusive = false;
  bool readOnly = false;
  bool forcedReadOnly = false;
  bool temporary = false;
  bool hidden = false;

  // Raises code with this file's name.
  [[noreturn]] void Raise(uint16_t code);

 protected:
  // Raises the negated code a registry or file call returned; nothing for results >= 0.
  void CheckResult(int32_t result);

 private:
  TDataEngine& engine_;
  TBaseFile* file_ = nullptr;
  std::string name_;
  int32_t handle_ = 0;
  bool open_ = false;
};

// Holds the shared file's guard for one scope (nothing when the file is not
// open). Leave the scope before closing the last handle: that frees the object.
class TFileLockGuard {
 public:
  explicit TFileLockGuard(TEngineFile& file) : file_(file.File()) {
    if (file_ != nullptr) file_->FileGuard().lock();
  }
  ~TFileLockGuard() {
    if (file_ != nullptr) file_->FileGuard().unlock();
  }
  TFileLockGuard(const TFileLockGuard&) = delete;
  TFileLockGuard& operator=(const TFileLockGuard&) = delete;

 private:
  TBaseFile* file_;
};

}  // namespace zarnik
