#include "engine/files/physical_file.h"

#include <cerrno>

#include "engine/core/data_engine.h"

namespace zarnik {

using platform::FileAccess;
using platform::FileCreation;
using platform::FileShare;

TPhysicalFile::~TPhysicalFile() {
  CloseDescriptor();
}

int32_t TPhysicalFile::OSFailure() {
  return -static_cast<int32_t>(Engine().TranslateOSError());
}

void TPhysicalFile::CloseDescriptor() {
  if (descriptor_ < 0) return;
  Engine().Files().Close(descriptor_);
  descriptor_ = -1;
}

int64_t TPhysicalFile::GetSize() {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ < 0) return 0;
  return Engine().Files().Seek(descriptor_, 0, kSeekFromEnd);
}

int32_t TPhysicalFile::Open() {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ < 0) {
    platform::FileServices& files = Engine().Files();
    forcedReadOnly = false;
    platform::FileAttributes attributes;
    if (files.GetAttributes(Name(), attributes) != 0) return OSFailure();
    if (attributes.readOnly) readOnly = forcedReadOnly = true;
    FileShare share = exclusive ? FileShare::Exclusive : FileShare::Shared;
    int fd = files.Open(Name(), readOnly ? FileAccess::Read : FileAccess::ReadWrite, share,
                        FileCreation::OpenExisting);
    if (fd < 0 && !readOnly) {
      fd = files.Open(Name(), FileAccess::Read, share, FileCreation::OpenExisting);
      if (fd >= 0) readOnly = true;
    }
    if (fd < 0) return OSFailure();
    descriptor_ = fd;
    descriptorReadOnly_ = readOnly;
  } else if (descriptorReadOnly_) {
    // A later user shares the descriptor and cannot write through it either.
    readOnly = true;
  }
  int32_t id = AddHandle();
  if (id < 0 && OpenCount() == 0) CloseDescriptor();
  return id;
}

int32_t TPhysicalFile::CreateNew() {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ < 0) {
    int fd = Engine().Files().Open(Name(), FileAccess::ReadWrite, FileShare::Exclusive,
                                   FileCreation::CreateAlways);
    if (fd < 0) return OSFailure();
    descriptor_ = fd;
    descriptorReadOnly_ = false;
  }
  int32_t id = AddHandle();
  if (id < 0 && OpenCount() == 0) CloseDescriptor();
  return id;
}

void TPhysicalFile::Close(int32_t handle) {
  TCriticalSectionGuard lock(FileGuard());
  DropHandle(handle);
  if (OpenCount() == 0) CloseDescriptor();
}

int32_t TPhysicalFile::Rename(const std::string& newName) {
  TCriticalSectionGuard lock(FileGuard());
  if (Engine().Files().Rename(Name(), newName) != 0) return OSFailure();
  SetName(newName);
  return 0;
}

int32_t TPhysicalFile::Delete() {
  TCriticalSectionGuard lock(FileGuard());
  if (Engine().Files().Delete(Name()) != 0) return OSFailure();
  return 0;
}

template <typename Call>
int32_t TPhysicalFile::Transfer(bool countValid, Call call) {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ < 0 || !countValid) {
    errno = EBADF;
    return -1;
  }
  int64_t done = call();
  if (done < 0) Engine().TranslateOSError();
  return static_cast<int32_t>(done);
}

int32_t TPhysicalFile::Read(int32_t handle, void* buffer, int32_t count) {
  return Transfer(count >= 0, [&] { return Engine().Files().Read(descriptor_, buffer, count); });
}

int32_t TPhysicalFile::Write(int32_t handle, const void* buffer, int32_t count) {
  return Transfer(count >= 0, [&]() -> int64_t {
    return count == 0 ? Engine().Files().Truncate(descriptor_)
                      : Engine().Files().Write(descriptor_, buffer, count);
  });
}

int32_t TPhysicalFile::ReadAt(int32_t handle, void* buffer, int32_t count, int64_t offset) {
  return Transfer(count >= 0, [&] { return Engine().Files().ReadAt(descriptor_, buffer, count, offset); });
}

int32_t TPhysicalFile::WriteAt(int32_t handle, const void* buffer, int32_t count, int64_t offset) {
  return Transfer(count > 0, [&] { return Engine().Files().WriteAt(descriptor_, buffer, count, offset); });
}

bool TPhysicalFile::Flush(int32_t handle) {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ >= 0 && Engine().Files().Flush(descriptor_) == 0) return true;
  Engine().TranslateOSError();
  return false;
}

int64_t TPhysicalFile::Seek(int32_t handle, int origin, int64_t offset) {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ < 0) return -1;
  return Engine().Files().Seek(descriptor_, offset, origin);
}

bool TPhysicalFile::LockRegion(int64_t length, int64_t offset) {
  TCriticalSectionGuard lock(FileGuard());
  if (descriptor_ < 0 || !AddRegion(length, offset)) return false;
  if (Engine().Files().LockRegion(descriptor_, offset, length) == 0) return true;
  RemoveRegion(offset);
  return false;
}

bool TPhysicalFile::UnlockRegion(int64_t length, int64_t offset) {
  TCriticalSectionGuard lock(FileGuard());
  int64_t lockedLength = 0;
  if (descriptor_ < 0 || !RemoveRegion(offset, &lockedLength)) return false;
  return Engine().Files().UnlockRegion(descriptor_, offset, lockedLength) == 0;
}

}  // namespace zarnik
