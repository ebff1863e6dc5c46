// TBufferIndex: the cached buffers of a buffered file, owned and ordered by
// number for the binary search of the cache. The entries lie in short sorted
// segments, so that adding or removing a buffer anywhere moves at most one
// segment (and the short segment list when one splits or empties), never the
// whole cache, and no buffer costs an allocation of its own here. Each entry
// owns its buffer.
#pragma once

#include <array>
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
  // Hands every buffer to take(std::unique_ptr<TBuffer>&&), in number order,
  // and leaves the index empty; the buffers take does not keep are freed.
  template <class TTake>
  void TakeAll(TTake take) {
    TIndexReset reset{*this};
    for (TSegment& segment : segments_)
      for (TEntry& entry : segment) take(std::move(entry.buffer));
  }
  size_t size() const { return size_; }

  // Calls visit(buffer) for every buffer in number order.
  template <class TVisit>
  void ForEach(TVisit visit) const {
    for (const TSegment& segment : segments_)
      for (const TEntry& entry : segment) visit(entry.buffer.get());
  }

 private:
  struct TEntry {
    uint32_t number;
    std::unique_ptr<TBuffer> buffer;
  };
  // Empties the index when it goes.
  struct TIndexReset {
    TBufferIndex& index;
    ~TIndexReset() { index.Reset(); }
  };
  // A sorted run of entries. The cache evicts its oldest buffers, which in a
  // scan are the lowest numbers: removing the first entry only moves the
  // segment's start, and the dead places are reclaimed once they are half.
  class TSegment {
   public:
    using iterator = std::vector<TEntry>::iterator;
    using const_iterator = std::vector<TEntry>::const_iterator;
    iterator begin() { return entries_.begin() + static_cast<ptrdiff_t>(front_); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin() + static_cast<ptrdiff_t>(front_); }
    const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size() - front_; }
    bool empty() const { return size() == 0; }
    TEntry& back() { return entries_.back(); }
    void reserve(size_t n) { entries_.reserve(n); }
    void clear() {
      entries_.clear();
      front_ = 0;
    }
    iterator insert(iterator at, TEntry&& entry);
    template <class TIterator>
    void insert(iterator at, TIterator first, TIterator last) {
      entries_.insert(at, first, last);
    }
    void erase(iterator at);
    void erase(iterator first, iterator last) { entries_.erase(first, last); }

   private:
    std::vector<TEntry> entries_;
    size_t front_ = 0;  // entries_ before it are dead places
  };
  // Small enough that shifting a segment stays in the first-level cache.
  static constexpr size_t kSegmentSize = 128;

  // The segment where number is or belongs: the first whose highest number
  // is not below it, else the last. The index must not be empty.
  size_t Locate(uint32_t number);
  // Where number is or belongs inside the segment.
  static TSegment::iterator Position(TSegment& segment, uint32_t number);
  void Split(size_t at);
  // An empty segment, a spare one when there is.
  TSegment NewSegment();
  // Keeps the segment as a spare when there is room among them.
  void RemoveSegment(size_t at);
  void MergeWithNext(size_t at);

  void Reset();

  std::vector<TSegment> segments_;
  std::vector<uint32_t> highest_;  // the highest number of each segment
  // Emptied segments kept for new ones: a cache that evicts at one end and
  // grows at the other empties and starts segments all the time.
  std::array<TSegment, 4> spares_;
  size_t spareCount_ = 0;
  size_t size_ = 0;
  size_t hint_ = 0;  // the segment of the last operation; scans stay in it
};

}  // namespace zarnik
