// TMemoryPages: a block of memory taken straight from the system in whole
// pages, zero-filled when handed out. Blocks of a huge page or more are laid on
// huge page boundaries and backed by huge pages where the system offers them,
// so that filling a large cache or scratch area costs few page faults.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zarnik::platform {

// The size from which a block asks for huge pages.
constexpr size_t kHugePageSize = size_t{2} << 20;

class TMemoryPages {
 public:
  TMemoryPages() = default;
  // size bytes, zero-filled; raises std::bad_alloc when the system refuses.
  explicit TMemoryPages(size_t size);
  ~TMemoryPages();
  TMemoryPages(TMemoryPages&& other) noexcept;
  TMemoryPages& operator=(TMemoryPages&& other) noexcept;
  TMemoryPages(const TMemoryPages&) = delete;
  TMemoryPages& operator=(const TMemoryPages&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  void Release();

  void* mapping_ = nullptr;  // what the system handed out, data_ lies inside
  size_t mappingSize_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace zarnik::platform
