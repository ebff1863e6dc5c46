// The operating system's file services, behind one small interface so that
// tests can fail any call or simulate a crash. The engine object hands the
// current implementation to every file it opens; LinuxFileServices is the
// default.
//
// Every call returns -1 and leaves the reason in the calling thread's last
// operating system error (errno) when it fails.
#pragma once

#include <cstdint>
#include <string>

namespace zarnik::platform {

enum class FileAccess : uint8_t { Read, ReadWrite };
// Exclusive: fails while anyone else has the file open, and keeps everyone
// else out while open. Shared: fails while anyone has it open exclusively.
enum class FileShare : uint8_t { Exclusive, Shared };
enum class FileCreation : uint8_t { OpenExisting, CreateAlways };

struct FileAttributes {
  bool isDirectory = false;
  bool readOnly = false;  // none of the write bits is set
  int64_t size = 0;
};

class FileServices {
 public:
  virtual ~FileServices() = default;

  // Returns a handle (>= 0). CreateAlways creates the file or cuts an
  // existing one to 0 bytes (refused when it is read-only or held by another
  // process), and always opens it for reading and writing. Only regular files open.
  virtual int Open(const std::string& name, FileAccess access, FileShare share, FileCreation creation) = 0;
  virtual int Close(int handle) = 0;
  // Transfers at the handle's file position; a read returns fewer bytes only
  // at the end of the file.
  virtual int64_t Read(int handle, void* buffer, int64_t count) = 0;
  virtual int64_t Write(int handle, const void* buffer, int64_t count) = 0;
  // The same transfers at offset, leaving the handle's file position alone.
  virtual int64_t ReadAt(int handle, void* buffer, int64_t count, int64_t offset) = 0;
  virtual int64_t WriteAt(int handle, const void* buffer, int64_t count, int64_t offset) = 0;
  // origin 0 from the start, 1 from the current position, 2 from the end.
  virtual int64_t Seek(int handle, int64_t offset, int origin) = 0;
  // Sets the end of the file at the current position.
  virtual int Truncate(int handle) = 0;
  virtual int Flush(int handle) = 0;
  // Non-waiting byte-range locks against other processes, at offsets up to
  // 0x7FFFFFFFFFFFFFFF and beyond the end of the file. Overlaps inside one
  // process are the caller's to refuse. On a descriptor open for reading only
  // the lock is shared: it excludes writers' locks but not other readers'.
  virtual int LockRegion(int handle, int64_t offset, int64_t length) = 0;
  virtual int UnlockRegion(int handle, int64_t offset, int64_t length) = 0;
  virtual int GetAttributes(const std::string& name, FileAttributes& attributes) = 0;
  // Both refuse a file that another process holds open. Rename refuses an
  // existing new name.
  virtual int Rename(const std::string& oldName, const std::string& newName) = 0;
  virtual int Delete(const std::string& name) = 0;
};

class LinuxFileServices : public FileServices {
 public:
  int Open(const std::string& name, FileAccess access, FileShare share, FileCreation creation) override;
  int Close(int handle) override;
  int64_t Read(int handle, void* buffer, int64_t count) override;
  int64_t Write(int handle, const void* buffer, int64_t count) override;
  int64_t ReadAt(int handle, void* buffer, int64_t count, int64_t offset) override;
  int64_t WriteAt(int handle, const void* buffer, int64_t count, int64_t offset) override;
  int64_t Seek(int handle, int64_t offset, int origin) override;
  int Truncate(int handle) override;
  int Flush(int handle) override;
  int LockRegion(int handle, int64_t offset, int64_t length) override;
  int UnlockRegion(int handle, int64_t offset, int64_t length) override;
  int GetAttributes(const std::string& name, FileAttributes& attributes) override;
  int Rename(const std::string& oldName, const std::string& newName) override;
  int Delete(const std::string& name) override;
};

// The process's real file services.
FileServices& DefaultFileServices();

}  // namespace zarnik::platform
