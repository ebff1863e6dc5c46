#include "platform/memory_pages.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>
#include <utility>

namespace zarnik::platform {

namespace {

size_t RoundUp(size_t value, size_t granule) {
  if (value > SIZE_MAX - (granule - 1)) throw std::bad_alloc();
  return (value + granule - 1) / granule * granule;
}

}  // namespace

TMemoryPages::TMemoryPages(size_t size) {
  if (size == 0) return;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const bool huge = size >= kHugePageSize;
  size_ = RoundUp(size, huge ? kHugePageSize : page);
  // A huge page must start on a huge page boundary: ask for one more to have room to align.
  mappingSize_ = huge ? RoundUp(size_ + kHugePageSize, page) : size_;
  void* mapping = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  mapping_ = mapping;
  data_ = static_cast<uint8_t*>(mapping);
  if (huge) {
    uintptr_t start = reinterpret_cast<uintptr_t>(mapping);
    uintptr_t aligned = (start + kHugePageSize - 1) & ~(uintptr_t{kHugePageSize} - 1);
    data_ = reinterpret_cast<uint8_t*>(aligned);
    // Only a hint: without huge pages the block works the same with small ones.
    madvise(data_, size_, MADV_HUGEPAGE);
  }
}

TMemoryPages::~TMemoryPages() {
  Release();
}

TMemoryPages::TMemoryPages(TMemoryPages&& other) noexcept
    : mapping_(std::exchange(other.mapping_, nullptr)),
      mappingSize_(std::exchange(other.mappingSize_, 0)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

TMemoryPages& TMemoryPages::operator=(TMemoryPages&& other) noexcept {
  if (this != &other) {
    Release();
    mapping_ = std::exchange(other.mapping_, nullptr);
    mappingSize_ = std::exchange(other.mappingSize_, 0);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void TMemoryPages::Release() {
  if (mapping_ != nullptr) munmap(mapping_, mappingSize_);
  mapping_ = nullptr;
  mappingSize_ = 0;
  data_ = nullptr;
  size_ = 0;
}

}  // namespace zarnik::platform
