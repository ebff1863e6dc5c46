// TBufferIndex: the cached buffers of a buffered file, owned and ordered by
// number for the binary search of the cache. The entries lie in short sorted
// segments, so that adding or removing a buffer anywhere moves at most one
// segment (and the short segment list when one splits or empties), never the
// whole cache, and no buffer costs an allocation of its own here. The entries
// are plain number and pointer pairs (moved as bytes); the index owns the
// buffers through a separate unordered list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zarnik {

class TBuffer;

class TBufferIndex {
 public:
  TBufferIndex() = default;
  ~TBufferIndex();
  TBufferIndex(const TBufferIndex&) = delete;
  TBufferIndex& operator=(const TBufferIndex&) = delete;

  TBuffer* Find(uint32_t number);
  // Takes the buffer under its number; null (the buffer freed) when the
  // number is taken already.
  TBuffer* Insert(std::unique_ptr<TBuffer> buffer);
  // Gives the buffer back; null when it is not the one held under its number.
  std::unique_ptr<TBuffer> Extract(const TBuffer* buffer);
  // Gives every buffer back, in number order.
  std::vector<std::unique_ptr<TBuffer>> ExtractAll();
  size_t size() const { return size_; }

  // Calls visit(buffer) for every buffer in number order.
  template <class TVisit>
  void ForEach(TVisit visit) const {
    for (const TSegment& segment : segments_)
      for (const TEntry& entry : segment) visit(entry.buffer);
  }

 private:
  struct TEntry {
    uint32_t number;
    TBuffer* buffer;  // owned through owned_
  };
  using TSegment = std::vector<TEntry>;
  // Small enough that shifting a segment stays in the first-level cache.
  static constexpr size_t kSegmentSize = 128;

  // The segment where number is or belongs: the first whose highest number
  // is not below it, else the last. The index must not be empty.
  size_t Locate(uint32_t number);
  // Where number is or belongs inside the segment.
  static TSegment::iterator Position(TSegment& segment, uint32_t number);
  void Split(size_t at);
  void RemoveSegment(size_t at);
  void MergeWithNext(size_t at);

  // Takes the buffer out of owned_.
  std::unique_ptr<TBuffer> Disown(TBuffer* buffer);

  std::vector<TSegment> segments_;
  std::vector<uint32_t> highest_;                // the highest number of each segment
  std::vector<std::unique_ptr<TBuffer>> owned_;  // in no order; see TBuffer::ownerSlot_
  size_t size_ = 0;
  size_t hint_ = 0;  // the segment of the last operation; scans stay in it
};

}  // namespace zarnik
