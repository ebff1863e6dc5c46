// File services for tests: pass every call to the real ones, but fail the Nth
// call of a kind with a chosen errno (or cut a transfer short), count open
// descriptors, and simulate a crash that loses or tears the writes made since
// each file's last flush.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/file_services.h"

namespace zarnik::testing {

enum class FileCall : uint8_t { Open, Read, Write, Truncate, Flush, Lock, Seek, Rename, Delete, Count_ };

class FaultyFileServices : public platform::FileServices {
 public:
  explicit FaultyFileServices(platform::FileServices& inner = platform::DefaultFileServices());

  // The nth call of kind from now fails with error (and every later one too
  // when sticky).
  void FailNth(FileCall call, int n, int error, bool sticky = false);
  // The nth read or write from now transfers only bytes bytes and reports that.
  void ShortNth(FileCall call, int n, int64_t bytes);
  // Disarms every fault; the counts stay.
  void ClearFaults();
  int Calls(FileCall call) const { return calls_[Index(call)]; }
  // Descriptors opened through these services and not yet closed.
  int OpenDescriptors() const { return static_cast<int>(names_.size()); }

  // Starts keeping the writes since each file's last flush (off by default).
  void RecordWrites() { recording_ = true; }
  // The crash: of each file's unflushed writes, the first keepWrites stay on
  // disk, the next one keeps only its first tornBytes bytes, the rest are lost.
  // Afterwards every call but Close fails with EIO, as a dead process's would.
  void Crash(size_t keepWrites = 0, int64_t tornBytes = 0);
  size_t UnflushedWrites(const std::string& name) const;

  int Open(const std::string& name, platform::FileAccess access, platform::FileShare share,
           platform::FileCreation creation) override;
  int Close(int handle) override;
  int64_t Read(int handle, void* buffer, int64_t count) override;
  int64_t Write(int handle, const void* buffer, int64_t count) override;
  // Counted and failed as reads and writes.
  int64_t ReadAt(int handle, void* buffer, int64_t count, int64_t offset) override;
  int64_t WriteAt(int handle, const void* buffer, int64_t count, int64_t offset) override;
  int64_t Seek(int handle, int64_t offset, int origin) override;
  int Truncate(int handle) override;
  int Flush(int handle) override;
  int LockRegion(int handle, int64_t offset, int64_t length) override;
  int UnlockRegion(int handle, int64_t offset, int64_t length) override;
  int GetAttributes(const std::string& name, platform::FileAttributes& attributes) override;
  int Rename(const std::string& oldName, const std::string& newName) override;
  int Delete(const std::string& name) override;

 private:
  struct Fault {
    int at = 0;  // the call number that fails; 0: not armed
    int error = 0;
    int64_t shortBytes = -1;  // >= 0: a short transfer instead of a failure
    bool sticky = false;
  };
  // One change since the last flush, with what it replaced.
  struct Change {
    int64_t offset;
    int64_t sizeBefore;
    bool truncate;
    std::vector<uint8_t> before;
    std::vector<uint8_t> after;
  };
  static size_t Index(FileCall call) { return static_cast<size_t>(call); }
  // Counts the call; true (with errno set) when it is to fail.
  bool Fails(FileCall call);
  // The byte count a transfer is cut to, or count.
  int64_t Cut(FileCall call, int64_t count);
  void Journal(int handle, int64_t offset, int64_t length, const void* after, bool truncate);
  static void Undo(const std::string& name, const std::vector<Change>& changes, size_t keep, int64_t torn);

  platform::FileServices& inner_;
  static constexpr size_t kCalls = static_cast<size_t>(FileCall::Count_);
  std::array<int, kCalls> calls_{};
  std::array<Fault, kCalls> faults_{};
  std::map<int, std::string> names_;                    // open descriptor -> file name
  std::map<std::string, std::vector<Change>> journal_;  // file name -> unflushed changes
  bool recording_ = false;
  bool crashed_ = false;
};

}  // namespace zarnik::testing
