#include "engine/files/buffer_arena.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zarnik {

size_t TBufferArena::Granules(size_t size) {
  if (size > SIZE_MAX - kGranule) throw std::bad_alloc();
  return (size + kGranule - 1) / kGranule * kGranule;
}

TBufferArena::TFreeList* TBufferArena::FreeListOf(size_t rounded) {
  for (TFreeList& list : free_)
    if (list.size == rounded) return &list;
  return nullptr;
}

uint8_t* TBufferArena::Carve(size_t rounded) {
  if (room_ < rounded) {
    // The rest of the last slab stays unused: areas never straddle slabs.
    platform::TMemoryPages slab(std::max(nextSlabSize_, rounded));
    nextSlabSize_ = std::min(nextSlabSize_ * 2, kLargestSlabSize);
    unused_ = slab.data();
    room_ = slab.size();
    slabs_.push_back(std::move(slab));
  }
  uint8_t* area = unused_;
  unused_ += rounded;
  room_ -= rounded;
  return area;
}

std::span<uint8_t> TBufferArena::Take(size_t size) {
  if (size == 0) return {};
  const size_t rounded = Granules(size);
  uint8_t* area;
  TFreeList* list = FreeListOf(rounded);
  // Made here, so that giving back (from destructors) never allocates.
  if (list == nullptr) list = &free_.emplace_back(TFreeList{rounded, nullptr});
  if (list->first != nullptr) {
    area = list->first;
    std::memcpy(&list->first, area, sizeof(uint8_t*));
    std::memset(area, 0, size);
  } else {
    area = Carve(rounded);  // fresh slab bytes are zero already
  }
  ++out_;
  return {area, size};
}

void TBufferArena::Give(std::span<uint8_t> area) {
  if (area.empty()) return;
  const size_t rounded = Granules(area.size());
  --out_;
  if (TFreeList* list = FreeListOf(rounded)) {
    std::memcpy(area.data(), &list->first, sizeof(uint8_t*));
    list->first = area.data();
  }
}

bool TBufferArena::FreeWhenIdle() {
  if (out_ != 0) return false;
  slabs_.clear();
  free_.clear();
  unused_ = nullptr;
  room_ = 0;
  nextSlabSize_ = kFirstSlabSize;
  return true;
}

}  // namespace zarnik
