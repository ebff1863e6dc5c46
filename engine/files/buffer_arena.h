// TBufferArena: the byte areas of one buffered file's cached buffers, carved
// from slabs that grow up to a huge page each instead of being allocated one
// by one. An area given back is handed out again for the next one of its
// size; the slabs are freed together once no area is out, and with the arena.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/memory_pages.h"

namespace zarnik {

class TBufferArena {
 public:
  TBufferArena() = default;
  TBufferArena(const TBufferArena&) = delete;
  TBufferArena& operator=(const TBufferArena&) = delete;

  // size bytes, zero-filled (an empty area for 0).
  std::span<uint8_t> Take(size_t size);
  // Gives back an area that Take handed out.
  void Give(std::span<uint8_t> area);
  // Frees every slab when no area is out; returns whether none is held now.
  bool FreeWhenIdle();

  size_t AreasOut() const { return out_; }
  size_t SlabCount() const { return slabs_.size(); }

 private:
  // Areas are whole granules, so that a given-back one can hold the link to the next.
  static constexpr size_t kGranule = 16;
  static constexpr size_t kFirstSlabSize = size_t{256} << 10;
  static constexpr size_t kLargestSlabSize = platform::kHugePageSize;

  // The given-back areas of one size, linked through their first bytes.
  struct TFreeList {
    size_t size;
    uint8_t* first;
  };

  static size_t Granules(size_t size);
  TFreeList* FreeListOf(size_t rounded);
  uint8_t* Carve(size_t rounded);

  std::vector<platform::TMemoryPages> slabs_;
  uint8_t* unused_ = nullptr;  // the untouched rest of the last slab
  size_t room_ = 0;
  size_t nextSlabSize_ = kFirstSlabSize;
  std::vector<TFreeList> free_;  // one per size met; a file has one or two
  size_t out_ = 0;
};

}  // namespace zarnik
