// TPhysicalFile: a shared disk file. All its handle ids share one operating
// system descriptor and therefore one file position; every call goes through
// the engine's file services, and failures come back as negated engine codes.
#pragma once

#include "engine/files/base_file.h"

namespace zarnik {

class TPhysicalFile : public TBaseFile {
 public:
  using TBaseFile::TBaseFile;
  ~TPhysicalFile() override;

  int64_t GetSize() override;
  int32_t CreateNew() override;
  int32_t Open() override;
  void Close(int32_t handle) override;
  int32_t Rename(const std::string& newName) override;
  int32_t Delete() override;
  int32_t Read(int32_t handle, void* buffer, int32_t count) override;
  int32_t Write(int32_t handle, const void* buffer, int32_t count) override;
  // Positional transfers: the shared descriptor's position does not move.
  int32_t ReadAt(int32_t handle, void* buffer, int32_t count, int64_t offset) override;
  int32_t WriteAt(int32_t handle, const void* buffer, int32_t count, int64_t offset) override;
  bool Flush(int32_t handle) override;
  int64_t Seek(int32_t handle, int origin, int64_t offset) override;
  // The in-process region list refuses overlaps inside this process, the
  // operating system's lock those of other processes.
  bool LockRegion(int64_t length, int64_t offset) override;
  bool UnlockRegion(int64_t length, int64_t offset) override;

  int Descriptor() const { return descriptor_; }

 private:
  int32_t OSFailure();
  // Runs one transfer on the descriptor under the file guard; a closed file or
  // a count that is not valid fails with EBADF, a failed call sets the engine's OS error.
  template <typename Call>
  int32_t Transfer(bool countValid, Call call);
  void CloseDescriptor();

  int descriptor_ = -1;
  bool descriptorReadOnly_ = false;
};

}  // namespace zarnik
