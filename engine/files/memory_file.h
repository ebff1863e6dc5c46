// TMemoryFile: a file that lives only in process memory, for in-memory
// databases. Its bytes sit in 65,536-byte blocks (byte n in block n div 65,536
// at offset n mod 65,536), so growth never moves existing data.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "engine/files/base_file.h"

namespace zarnik {

class TMemoryFile : public TBaseFile {
 public:
  static constexpr int32_t kBlockSize = 65536;
  // The allocation is counted in an int32: the largest multiple of the block size it holds.
  static constexpr int64_t kMaxAllocated = 0x7FFF0000;

  using TBaseFile::TBaseFile;

  int32_t AllocatedBytes() const { return allocated_; }

 protected:
  void ReadStorage(int64_t offset, void* buffer, int32_t count) override;
  bool WriteStorage(int64_t offset, const void* buffer, int32_t count) override;
  bool ResizeStorage(int64_t size) override;
  void FreeStorage() override;

 private:
  using TBlock = std::array<uint8_t, kBlockSize>;
  std::vector<std::unique_ptr<TBlock>> blocks_;
  int32_t allocated_ = 0;  // always blocks_.size() * kBlockSize
};

}  // namespace zarnik
