#include "tests/support/faulty_file_services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zarnik::testing {

FaultyFileServices::FaultyFileServices(platform::FileServices& inner) : inner_(inner) {}

void FaultyFileServices::FailNth(FileCall call, int n, int error, bool sticky) {
  faults_[Index(call)] = {calls_[Index(call)] + n, error, -1, sticky};
}

void FaultyFileServices::ShortNth(FileCall call, int n, int64_t bytes) {
  faults_[Index(call)] = {calls_[Index(call)] + n, 0, bytes, false};
}

void FaultyFileServices::ClearFaults() {
  faults_ = {};
}

bool FaultyFileServices::Fails(FileCall call) {
  if (crashed_) {
    errno = EIO;
    return true;
  }
  int count = ++calls_[Index(call)];
  const Fault& fault = faults_[Index(call)];
  bool hit =
      fault.at > 0 && fault.shortBytes < 0 && (count == fault.at || (fault.sticky && count > fault.at));
  if (hit) errno = fault.error;
  return hit;
}

int64_t FaultyFileServices::Cut(FileCall call, int64_t count) {
  const Fault& fault = faults_[Index(call)];
  if (fault.shortBytes >= 0 && calls_[Index(call)] == fault.at) return std::min(count, fault.shortBytes);
  return count;
}

void FaultyFileServices::Journal(int handle, int64_t offset, int64_t length, const void* after,
                                 bool truncate) {
  struct stat st;
  if (fstat(handle, &st) != 0) return;
  Change change{offset, st.st_size, truncate, {}, {}};
  int64_t end = truncate ? st.st_size : offset + length;
  if (offset < st.st_size && end > offset) {
    change.before.resize(static_cast<size_t>(std::min<int64_t>(end, st.st_size) - offset));
    ssize_t got = pread(handle, change.before.data(), change.before.size(), offset);
    change.before.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  if (!truncate) {
    const auto* bytes = static_cast<const uint8_t*>(after);
    change.after.assign(bytes, bytes + length);
  }
  journal_[names_[handle]].push_back(std::move(change));
}

void FaultyFileServices::Undo(const std::string& name, const std::vector<Change>& changes, size_t keep,
                              int64_t torn) {
  int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  for (size_t i = changes.size(); i-- > keep;) {
    const Change& c = changes[i];
    if (!c.before.empty() && pwrite(fd, c.before.data(), c.before.size(), c.offset) < 0) break;
    if (ftruncate(fd, c.sizeBefore) != 0) break;
  }
  if (keep < changes.size() && torn > 0 && !changes[keep].truncate) {
    const Change& c = changes[keep];
    size_t n = static_cast<size_t>(std::min<int64_t>(torn, static_cast<int64_t>(c.after.size())));
    if (pwrite(fd, c.after.data(), n, c.offset) < 0) n = 0;
  }
  ::close(fd);
}

void FaultyFileServices::Crash(size_t keepWrites, int64_t tornBytes) {
  for (const auto& [name, changes] : journal_) Undo(name, changes, keepWrites, tornBytes);
  journal_.clear();
  crashed_ = true;
}

size_t FaultyFileServices::UnflushedWrites(const std::string& name) const {
  auto it = journal_.find(name);
  return it == journal_.end() ? 0 : it->second.size();
}

int FaultyFileServices::Open(const std::string& name, platform::FileAccess access, platform::FileShare share,
                             platform::FileCreation creation) {
  if (Fails(FileCall::Open)) return -1;
  int fd = inner_.Open(name, access, share, creation);
  if (fd >= 0) names_[fd] = name;
  return fd;
}

int FaultyFileServices::Close(int handle) {
  names_.erase(handle);
  return inner_.Close(handle);
}

int64_t FaultyFileServices::Read(int handle, void* buffer, int64_t count) {
  if (Fails(FileCall::Read)) return -1;
  return inner_.Read(handle, buffer, Cut(FileCall::Read, count));
}

int64_t FaultyFileServices::Write(int handle, const void* buffer, int64_t count) {
  if (Fails(FileCall::Write)) return -1;
  count = Cut(FileCall::Write, count);
  if (recording_) {
    int64_t position = inner_.Seek(handle, 0, 1);
    if (position >= 0) Journal(handle, position, count, buffer, false);
  }
  return inner_.Write(handle, buffer, count);
}

int64_t FaultyFileServices::ReadAt(int handle, void* buffer, int64_t count, int64_t offset) {
  if (Fails(FileCall::Read)) return -1;
  return inner_.ReadAt(handle, buffer, Cut(FileCall::Read, count), offset);
}

int64_t FaultyFileServices::WriteAt(int handle, const void* buffer, int64_t count, int64_t offset) {
  if (Fails(FileCall::Write)) return -1;
  count = Cut(FileCall::Write, count);
  if (recording_ && offset >= 0) Journal(handle, offset, count, buffer, false);
  return inner_.WriteAt(handle, buffer, count, offset);
}

int64_t FaultyFileServices::Seek(int handle, int64_t offset, int origin) {
  if (Fails(FileCall::Seek)) return -1;
  return inner_.Seek(handle, offset, origin);
}

int FaultyFileServices::Truncate(int handle) {
  if (Fails(FileCall::Truncate)) return -1;
  if (recording_) {
    int64_t position = inner_.Seek(handle, 0, 1);
    if (position >= 0) Journal(handle, position, 0, nullptr, true);
  }
  return inner_.Truncate(handle);
}

int FaultyFileServices::Flush(int handle) {
  if (Fails(FileCall::Flush)) return -1;
  int result = inner_.Flush(handle);
  if (result == 0) journal_.erase(names_[handle]);
  return result;
}

int FaultyFileServices::LockRegion(int handle, int64_t offset, int64_t length) {
  if (Fails(FileCall::Lock)) return -1;
  return inner_.LockRegion(handle, offset, length);
}

int FaultyFileServices::UnlockRegion(int handle, int64_t offset, int64_t length) {
  if (crashed_) {
    errno = EIO;
    return -1;
  }
  return inner_.UnlockRegion(handle, offset, length);
}

int FaultyFileServices::GetAttributes(const std::string& name, platform::FileAttributes& attributes) {
  if (crashed_) {
    errno = EIO;
    return -1;
  }
  return inner_.GetAttributes(name, attributes);
}

int FaultyFileServices::Rename(const std::string& oldName, const std::string& newName) {
  if (Fails(FileCall::Rename)) return -1;
  int result = inner_.Rename(oldName, newName);
  if (result == 0) {
    auto it = journal_.find(oldName);
    if (it != journal_.end()) {
      journal_[newName] = std::move(it->second);
      journal_.erase(oldName);
    }
  }
  return result;
}

int FaultyFileServices::Delete(const std::string& name) {
  if (Fails(FileCall::Delete)) return -1;
  int result = inner_.Delete(name);
  if (result == 0) journal_.erase(name);
  return result;
}

}  // namespace zarnik::testing
