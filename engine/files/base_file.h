// TBaseFile: the one shared object per file name and kind in the process. It
// hands out handle ids to its users and keeps their positions, the locked
// regions and the size. By itself it behaves as a memory file without storage;
// TMemoryFile adds the bytes, TPhysicalFile replaces the transfers with a disk file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system.h"

namespace zarnik {

class TDataEngine;

// Origins of Seek.
constexpr int kSeekFromStart = 0;
constexpr int kSeekFromCurrent = 1;
constexpr int kSeekFromEnd = 2;

class TBaseFile {
 public:
  // A locked byte range [start, end].
  struct TRegion {
    int64_t start;
    int64_t end;
    int64_t length;
  };
  struct THandle {
    int32_t id;
    int64_t position;
  };

  explicit TBaseFile(TDataEngine& engine);
  virtual ~TBaseFile();
  TBaseFile(const TBaseFile&) = delete;
  TBaseFile& operator=(const TBaseFile&) = delete;

  virtual int64_t GetSize();
  // Both return a handle id (>= 1) or a negated engine error code.
  virtual int32_t CreateNew();
  virtual int32_t Open();
  virtual void Close(int32_t handle);
  // 0 or a negated engine error code.
  virtual int32_t Rename(const std::string& newName);
  virtual int32_t Delete();
  // Bytes transferred; -1 when the transfer failed. A write of 0 bytes sets
  // the end of the file at the handle's position.
  virtual int32_t Read(int32_t handle, void* buffer, int32_t count);
  virtual int32_t Write(int32_t handle, const void* buffer, int32_t count);
  // The same transfers at offset, leaving the handle's position where it was
  // (count > 0 for writes).
  virtual int32_t ReadAt(int32_t handle, void* buffer, int32_t count, int64_t offset);
  virtual int32_t WriteAt(int32_t handle, const void* buffer, int32_t count, int64_t offset);
  virtual bool Flush(int32_t handle);
  // The new position; 0 for an unknown handle, -1 when it cannot be set.
  virtual int64_t Seek(int32_t handle, int origin, int64_t offset);
  // Non-waiting; refused when the range overlaps a range locked already.
  virtual bool LockRegion(int64_t length, int64_t offset);
  // Releases the range that starts at offset; its length is not compared.
  virtual bool UnlockRegion(int64_t length, int64_t offset);

  TDataEngine& Engine() { return engine_; }
  TCriticalSection& FileGuard() { return fileGuard_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  int16_t OpenCount() const { return openCount_; }
  size_t LockedRegionCount();

  bool exclusive = false;
  bool readOnly = false;
  bool forcedReadOnly = false;
  bool temporary = false;
  bool hidden = false;

 protected:
  // Records a new handle at position 0 and returns its id.
  int32_t AddHandle();
  THandle* FindHandle(int32_t handle);
  // Runs a transfer with the handle's position at offset, then puts it back.
  template <typename Transfer>
  int32_t AtOffset(int32_t handle, int64_t offset, Transfer transfer);
  void DropHandle(int32_t handle);

  // Storage of the bytes; the base class stores none.
  virtual void ReadStorage(int64_t offset, void* buffer, int32_t count) {}
  virtual bool WriteStorage(int64_t offset, const void* buffer, int32_t count) { return true; }
  virtual bool ResizeStorage(int64_t size) { return true; }
  virtual void FreeStorage() {}

  // The in-process list of locked regions.
  bool AddRegion(int64_t length, int64_t offset);
  // Removes the region that starts at offset and gives its length.
  bool RemoveRegion(int64_t offset, int64_t* length = nullptr);

  int64_t logicalSize_ = 0;

 private:
  TDataEngine& engine_;
  TCriticalSection regionGuard_;
  TCriticalSection fileGuard_;
  std::string name_;
  std::vector<TRegion> regions_;  // sorted by start, never overlapping
  int16_t openCount_ = 0;
  std::vector<THandle> handles_;
  int32_t lastHandleId_ = 0;
};

}  // namespace zarnik
