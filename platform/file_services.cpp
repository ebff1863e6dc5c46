#include "platform/file_services.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "platform/path.h"

namespace zarnik::platform {

namespace {

constexpr int64_t kMaxOffset = std::numeric_limits<int64_t>::max();

// Holds a descriptor and closes it on every path that does not release it.
class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) {
      int saved = errno;
      close(fd_);
      errno = saved;
    }
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Refuses (EWOULDBLOCK) when another open file description holds the file.
int CheckNobodyHolds(const std::string& name) {
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;  // nothing we can hold: nobody else can be proven to hold it either
  FdGuard guard(fd);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return -1;
  return 0;
}

bool RegionIsValid(int64_t offset, int64_t length) {
  return offset >= 0 && length > 0 && length - 1 <= kMaxOffset - offset;
}

int SetRegionLock(int handle, int64_t offset, int64_t length, short type) {
  if (!RegionIsValid(offset, length)) {
    errno = EINVAL;
    return -1;
  }
  struct flock lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = length;
  return fcntl(handle, F_OFD_SETLK, &lock) == 0 ? 0 : -1;
}

}  // namespace

int LinuxFileServices::Open(const std::string& name, FileAccess access, FileShare share,
                            FileCreation creation) {
  bool create = creation == FileCreation::CreateAlways;
  std::string path = create ? name : ResolveExistingName(name);
  struct stat st;
  if (create && stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;  // a read-only file is not replaced, whoever runs the process
    return -1;
  }
  // Non-blocking so that a FIFO in place of a table cannot hang the open.
  int flags =
      O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (create || access == FileAccess::ReadWrite ? O_RDWR : O_RDONLY);
  if (create) flags |= O_CREAT;
  FdGuard fd(open(path.c_str(), flags, 0666));
  if (fd.get() < 0) return -1;
  if (fstat(fd.get(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) {
    errno = EACCES;
    return -1;
  }
  int mode = (create || share == FileShare::Exclusive) ? LOCK_EX : LOCK_SH;
  if (flock(fd.get(), mode | LOCK_NB) != 0) return -1;
  if (create && ftruncate(fd.get(), 0) != 0) return -1;
  if (fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK) != 0) return -1;
  posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd.release();
}

int LinuxFileServices::Close(int handle) { return close(handle) == 0 ? 0 : -1; }

namespace {

// Repeats step(done, left) until count bytes moved; a read stops early at the
// end of the file, a write that moves nothing is a full disk.
template <typename Step>
int64_t TransferAll(int64_t count, bool reading, Step step) {
  if (count < 0) {
    errno = EINVAL;
    return -1;
  }
  int64_t done = 0;
  while (done < count) {
    ssize_t n = step(done, static_cast<size_t>(count - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) {
      if (reading) break;
      errno = ENOSPC;
      return -1;
    }
    done += n;
  }
  return done;
}

bool ValidRange(int64_t count, int64_t offset) {
  if (offset >= 0 && count >= 0 && offset <= kMaxOffset - count) return true;
  errno = EINVAL;
  return false;
}

}  // namespace

int64_t LinuxFileServices::Read(int handle, void* buffer, int64_t count) {
  auto* out = static_cast<char*>(buffer);
  return TransferAll(count, true, [&](int64_t done, size_t left) { return read(handle, out + done, left); });
}

int64_t LinuxFileServices::Write(int handle, const void* buffer, int64_t count) {
  const auto* in = static_cast<const char*>(buffer);
  return TransferAll(count, false, [&](int64_t done, size_t left) { return write(handle, in + done, left); });
}

int64_t LinuxFileServices::ReadAt(int handle, void* buffer, int64_t count, int64_t offset) {
  if (!ValidRange(count, offset)) return -1;
  auto* out = static_cast<char*>(buffer);
  return TransferAll(count, true, [&](int64_t done, size_t left) {
    return pread(handle, out + done, left, static_cast<off_t>(offset + done));
  });
}

int64_t LinuxFileServices::WriteAt(int handle, const void* buffer, int64_t count, int64_t offset) {
  if (!ValidRange(count, offset)) return -1;
  const auto* in = static_cast<const char*>(buffer);
  return TransferAll(count, false, [&](int64_t done, size_t left) {
    return pwrite(handle, in + done, left, static_cast<off_t>(offset + done));
  });
}

int64_t LinuxFileServices::Seek(int handle, int64_t offset, int origin) {
  int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : -1;
  if (whence < 0) {
    errno = EINVAL;
    return -1;
  }
  off_t result = lseek(handle, static_cast<off_t>(offset), whence);
  return result < 0 ? -1 : static_cast<int64_t>(result);
}

int LinuxFileServices::Truncate(int handle) {
  off_t position = lseek(handle, 0, SEEK_CUR);
  if (position < 0) return -1;
  return ftruncate(handle, position) == 0 ? 0 : -1;
}

int LinuxFileServices::Flush(int handle) { return fdatasync(handle) == 0 ? 0 : -1; }

int LinuxFileServices::LockRegion(int handle, int64_t offset, int64_t length) {
  // A write lock needs a descriptor open for writing. Read-only users take
  // only shared locks in practice (a table's read-lock bytes), which a read
  // lock gives them: it still excludes every writer.
  int flags = fcntl(handle, F_GETFL);
  if (flags < 0) return -1;
  return SetRegionLock(handle, offset, length, (flags & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK);
}

int LinuxFileServices::UnlockRegion(int handle, int64_t offset, int64_t length) {
  return SetRegionLock(handle, offset, length, F_UNLCK);
}

int LinuxFileServices::GetAttributes(const std::string& name, FileAttributes& attributes) {
  struct stat st;
  if (stat(ResolveExistingName(name).c_str(), &st) != 0) return -1;
  attributes.isDirectory = S_ISDIR(st.st_mode);
  attributes.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  attributes.size = static_cast<int64_t>(st.st_size);
  return 0;
}

int LinuxFileServices::Rename(const std::string& oldName, const std::string& newName) {
  std::string from = ResolveExistingName(oldName);
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return -1;
  if (lstat(ResolveExistingName(newName).c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  if (CheckNobodyHolds(from) != 0) return -1;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, newName.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  return rename(from.c_str(), newName.c_str()) == 0 ? 0 : -1;
}

int LinuxFileServices::Delete(const std::string& name) {
  std::string path = ResolveExistingName(name);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) {
    errno = EACCES;
    return -1;
  }
  if (CheckNobodyHolds(path) != 0) return -1;
  return unlink(path.c_str()) == 0 ? 0 : -1;
}

FileServices& DefaultFileServices() {
  static LinuxFileServices services;
  return services;
}

}  // namespace zarnik::platform
