#include "engine/files/engine_file.h"

#include "engine/core/data_engine.h"

namespace zarnik {

TEngineFile::TEngineFile(TDataEngine& engine) : engine_(engine) {}

TEngineFile::~TEngineFile() {
  if (!open_) return;
  try {
    TEngineFile::CloseFile();
  } catch (...) {
    // A destructor has nobody to report to; the handle is released all the same.
  }
}

std::string TEngineFile::GetName() {
  return name_;
}

void TEngineFile::Raise(uint16_t code) {
  engine_.RaiseError(code, GetName());
}

void TEngineFile::CheckResult(int32_t result) {
  if (result < 0) Raise(static_cast<uint16_t>(-result));
}

bool TEngineFile::Exists() {
  return engine_.RegistryExists(name_, inMemory);
}

void TEngineFile::OpenFile() {
  if (!Exists()) Raise(ZARNIK_OSENOENT);
  forcedReadOnly = false;
  TBaseFile* file = nullptr;
  int32_t handle =
      engine_.RegistryOpen(name_, inMemory, hidden, temporary, exclusive, readOnly, forcedReadOnly, &file);
  CheckResult(handle);
  file_ = file;
  handle_ = handle;
  open_ = true;
}

void TEngineFile::CloseFile() {
  open_ = false;
  if (handle_ <= 0 || file_ == nullptr) return;
  TBaseFile* file = file_;
  int32_t handle = handle_;
  file_ = nullptr;
  handle_ = 0;
  CheckResult(engine_.RegistryClose(file, inMemory, handle));
}

void TEngineFile::CreateFile() {
  TBaseFile* file = nullptr;
  int32_t handle = engine_.RegistryCreate(name_, inMemory, temporary, hidden, &file);
  CheckResult(handle);
  file_ = file;
  handle_ = handle;
  open_ = true;
}

void TEngineFile::DeleteFile() {
  CheckResult(engine_.RegistryDelete(name_, inMemory));
}

void TEngineFile::RenameFile(const std::string& newName) {
  CheckResult(engine_.RegistryRename(name_, inMemory, newName));
  name_ = newName;
}

void TEngineFile::CopyToFile(const std::string& destName, int level, const TCopyReporting& reporting) {
  // The destination is made before any file guard is held: the registry's
  // guard always comes first.
  TEngineFile destination(engine_);
  destination.SetFileName(destName);
  destination.inMemory = inMemory;
  destination.CreateFile();
  {
    TFileLockGuard sourceLock(*this);
    TFileLockGuard destinationLock(destination);
    WriteFileCopy(*this, destination, level, reporting);
  }
  destination.CloseFile();
}

void TEngineFile::RestoreFromFile(const std::string& sourceName, const TCopyReporting& reporting) {
  TEngineFile source(engine_);
  source.SetFileName(sourceName);
  source.inMemory = inMemory;
  source.exclusive = true;
  source.readOnly = true;
  source.OpenFile();
  {
    TFileLockGuard sourceLock(source);
    TFileLockGuard destinationLock(*this);
    ReadFileCopy(source, this, -1, *this, reporting);
  }
  source.CloseFile();
}

void TEngineFile::CopyToStream(TEngineFile& target, int level, const TCopyReporting& reporting) {
  TFileLockGuard sourceLock(*this);
  TFileLockGuard targetLock(target);
  WriteFileCopy(*this, target, level, reporting);
}

void TEngineFile::RestoreFromStream(TEngineFile& source, int64_t size, const TCopyReporting& reporting) {
  TFileLockGuard sourceLock(source);
  TFileLockGuard destinationLock(*this);
  ReadFileCopy(source, this, size, *this, reporting);
}

void TEngineFile::SkipInStream(TEngineFile& source, int64_t size) {
  TFileLockGuard sourceLock(source);
  ReadFileCopy(source, nullptr, size, *this, {});
}

int32_t TEngineFile::ReadBuffer(void* buffer, int32_t count, bool allowShort) {
  if (file_ == nullptr) Raise(ZARNIK_READERR);
  int32_t done = file_->Read(handle_, buffer, count);
  // A failed call is an error even where a short read is allowed.
  if (done < 0 || (done < count && !allowShort)) Raise(ZARNIK_READERR);
  return done;
}

void TEngineFile::WriteBuffer(const void* buffer, int32_t count) {
  if (file_ == nullptr || file_->Write(handle_, buffer, count) != count) Raise(ZARNIK_WRITEERR);
}

int32_t TEngineFile::ReadBufferAt(void* buffer, int32_t count, int64_t offset, bool allowShort) {
  if (file_ == nullptr) Raise(ZARNIK_READERR);
  int32_t done = file_->ReadAt(handle_, buffer, count, offset);
  if (done < 0 || (done < count && !allowShort)) Raise(ZARNIK_READERR);
  return done;
}

void TEngineFile::WriteBufferAt(const void* buffer, int32_t count, int64_t offset) {
  if (file_ == nullptr || file_->WriteAt(handle_, buffer, count, offset) != count) Raise(ZARNIK_WRITEERR);
}

void TEngineFile::FlushFile() {
  // Data that did not reach the disk is lost: a failed flush is a failed write.
  if (file_ != nullptr && !file_->Flush(handle_)) Raise(ZARNIK_WRITEERR);
}

bool TEngineFile::LockRegion(bool lock, int64_t length, int64_t offset) {
  if (file_ == nullptr) return false;
  return lock ? file_->LockRegion(length, offset) : file_->UnlockRegion(length, offset);
}

int64_t TEngineFile::Seek(int origin, int64_t offset) {
  return file_ == nullptr ? 0 : file_->Seek(handle_, origin, offset);
}

int64_t TEngineFile::GetFileSize() {
  int64_t position = Seek(kSeekFromCurrent, 0);
  int64_t size = Seek(kSeekFromEnd, 0);
  Seek(kSeekFromStart, position);
  return size;
}

void TEngineFile::EnterFileLock() {
  if (file_ != nullptr) file_->FileGuard().lock();
}

void TEngineFile::LeaveFileLock() {
  if (file_ != nullptr) file_->FileGuard().unlock();
}

}  // namespace zarnik
