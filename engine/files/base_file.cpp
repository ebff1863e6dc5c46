#include "engine/files/base_file.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "engine/core/data_engine.h"

namespace zarnik {

namespace {
constexpr int64_t kMaxOffset = std::numeric_limits<int64_t>::max();
}

TBaseFile::TBaseFile(TDataEngine& engine) : engine_(engine) {
  handles_.reserve(64);
}

TBaseFile::~TBaseFile() = default;

int64_t TBaseFile::GetSize() {
  TCriticalSectionGuard lock(fileGuard_);
  return logicalSize_;
}

int32_t TBaseFile::AddHandle() {
  if (openCount_ == std::numeric_limits<int16_t>::max() ||
      lastHandleId_ == std::numeric_limits<int32_t>::max())
    return -static_cast<int32_t>(ZARNIK_OSEMFILE);
  handles_.push_back({++lastHandleId_, 0});
  ++openCount_;
  return lastHandleId_;
}

TBaseFile::THandle* TBaseFile::FindHandle(int32_t handle) {
  auto it =
      std::find_if(handles_.begin(), handles_.end(), [handle](const THandle& h) { return h.id == handle; });
  return it == handles_.end() ? nullptr : &*it;
}

void TBaseFile::DropHandle(int32_t handle) {
  auto it =
      std::find_if(handles_.begin(), handles_.end(), [handle](const THandle& h) { return h.id == handle; });
  if (it == handles_.end()) return;
  handles_.erase(it);
  --openCount_;
}

int32_t TBaseFile::CreateNew() {
  TCriticalSectionGuard lock(fileGuard_);
  FreeStorage();
  logicalSize_ = 0;
  return AddHandle();
}

int32_t TBaseFile::Open() {
  TCriticalSectionGuard lock(fileGuard_);
  return AddHandle();
}

void TBaseFile::Close(int32_t handle) {
  TCriticalSectionGuard lock(fileGuard_);
  DropHandle(handle);
}

int32_t TBaseFile::Rename(const std::string& newName) {
  TCriticalSectionGuard lock(fileGuard_);
  name_ = newName;
  return 0;
}

int32_t TBaseFile::Delete() {
  return 0;
}

bool TBaseFile::Flush(int32_t handle) {
  return true;
}

int64_t TBaseFile::Seek(int32_t handle, int origin, int64_t offset) {
  TCriticalSectionGuard lock(fileGuard_);
  THandle* h = FindHandle(handle);
  if (h == nullptr) return 0;
  int64_t base = origin == kSeekFromStart ? 0 : origin == kSeekFromCurrent ? h->position : logicalSize_;
  int64_t position;
  if (origin < kSeekFromStart || origin > kSeekFromEnd || __builtin_add_overflow(base, offset, &position))
    return -1;
  h->position = position;
  return position;
}

int32_t TBaseFile::Read(int32_t handle, void* buffer, int32_t count) {
  TCriticalSectionGuard lock(fileGuard_);
  THandle* h = FindHandle(handle);
  if (h == nullptr || count <= 0 || h->position < 0 || h->position >= logicalSize_) return 0;
  int64_t from = h->position;
  if (count > logicalSize_ - from) count = static_cast<int32_t>(logicalSize_ - from);
  h->position = from + count;
  ReadStorage(from, buffer, count);
  return count;
}

int32_t TBaseFile::Write(int32_t handle, const void* buffer, int32_t count) {
  TCriticalSectionGuard lock(fileGuard_);
  THandle* h = FindHandle(handle);
  if (h == nullptr || count < 0 || h->position < 0 || count > kMaxOffset - h->position) {
    errno = EINVAL;
    return -1;
  }
  if (count == 0) {
    if (!ResizeStorage(h->position)) return -1;
    logicalSize_ = h->position;
    if (h->position == 0) FreeStorage();
    return 0;
  }
  int64_t end = h->position + count;
  if (!ResizeStorage(std::max(end, logicalSize_)) || !WriteStorage(h->position, buffer, count)) return -1;
  logicalSize_ = std::max(end, logicalSize_);
  h->position = end;
  return count;
}

template <typename Transfer>
int32_t TBaseFile::AtOffset(int32_t handle, int64_t offset, Transfer transfer) {
  TCriticalSectionGuard lock(fileGuard_);
  THandle* h = FindHandle(handle);
  if (h == nullptr || offset < 0) {
    errno = EINVAL;
    return -1;
  }
  int64_t kept = h->position;
  h->position = offset;
  int32_t done = transfer();
  h->position = kept;
  return done;
}

int32_t TBaseFile::ReadAt(int32_t handle, void* buffer, int32_t count, int64_t offset) {
  return AtOffset(handle, offset, [&] { return Read(handle, buffer, count); });
}

int32_t TBaseFile::WriteAt(int32_t handle, const void* buffer, int32_t count, int64_t offset) {
  if (count <= 0) {
    errno = EINVAL;
    return -1;
  }
  return AtOffset(handle, offset, [&] { return Write(handle, buffer, count); });
}

bool TBaseFile::AddRegion(int64_t length, int64_t offset) {
  if (offset < 0 || length <= 0 || length - 1 > kMaxOffset - offset) return false;
  TRegion region{offset, offset + (length - 1), length};
  TCriticalSectionGuard lock(regionGuard_);
  auto at = std::lower_bound(regions_.begin(), regions_.end(), offset,
                             [](const TRegion& r, int64_t start) { return r.start < start; });
  if (at != regions_.end() && at->start == offset) return false;
  if (at != regions_.begin() && std::prev(at)->end >= region.start) return false;
  if (at != regions_.end() && at->start <= region.end) return false;
  regions_.insert(at, region);
  return true;
}

bool TBaseFile::RemoveRegion(int64_t offset, int64_t* length) {
  TCriticalSectionGuard lock(regionGuard_);
  auto at = std::lower_bound(regions_.begin(), regions_.end(), offset,
                             [](const TRegion& r, int64_t start) { return r.start < start; });
  if (at == regions_.end() || at->start != offset) return false;
  if (length != nullptr) *length = at->length;
  regions_.erase(at);
  return true;
}

size_t TBaseFile::LockedRegionCount() {
  TCriticalSectionGuard lock(regionGuard_);
  return regions_.size();
}

bool TBaseFile::LockRegion(int64_t length, int64_t offset) {
  return AddRegion(length, offset);
}

bool TBaseFile::UnlockRegion(int64_t length, int64_t offset) {
  return RemoveRegion(offset);
}

}  // namespace zarnik
