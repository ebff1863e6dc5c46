#include "engine/files/buffer_index.h"

#include <algorithm>

#include "engine/files/buffered_file.h"

namespace zarnik {

TBufferIndex::~TBufferIndex() = default;

TBufferIndex::TSegment::iterator TBufferIndex::TSegment::insert(iterator at, TEntry&& entry) {
  if (at == begin() && front_ > 0) {
    // The place before the start is free.
    --front_;
    entries_[front_] = std::move(entry);
    return begin();
  }
  return entries_.insert(at, std::move(entry));
}

void TBufferIndex::TSegment::erase(iterator at) {
  if (at != begin()) {
    entries_.erase(at);
    return;
  }
  at->buffer.reset();
  if (++front_ == entries_.size()) {
    clear();
  } else if (front_ >= entries_.size() / 2) {
    entries_.erase(entries_.begin(), begin());
    front_ = 0;
  }
}

size_t TBufferIndex::Locate(uint32_t number) {
  const size_t last = segments_.size() - 1;
  // Scans and read-aheads stay in one segment, appends in the last one.
  if (hint_ <= last && highest_[hint_] >= number && (hint_ == 0 || highest_[hint_ - 1] < number))
    return hint_;
  if (number > highest_[last]) return hint_ = last;
  return hint_ = static_cast<size_t>(std::lower_bound(highest_.begin(), highest_.end(), number) -
                                     highest_.begin());
}

TBufferIndex::TSegment::iterator TBufferIndex::Position(TSegment& segment, uint32_t number) {
  return std::lower_bound(segment.begin(), segment.end(), number,
                          [](const TEntry& entry, uint32_t n) { return entry.number < n; });
}

TBuffer* TBufferIndex::Find(uint32_t number) {
  if (size_ == 0) return nullptr;
  TSegment& segment = segments_[Locate(number)];
  auto at = Position(segment, number);
  return at != segment.end() && at->number == number ? at->buffer.get() : nullptr;
}

void TBufferIndex::Split(size_t at) {
  TSegment& full = segments_[at];
  const size_t half = full.size() / 2;
  TSegment upper = NewSegment();
  upper.insert(upper.end(), std::make_move_iterator(full.begin() + half),
               std::make_move_iterator(full.end()));
  full.erase(full.begin() + half, full.end());
  highest_[at] = full.back().number;
  segments_.insert(segments_.begin() + at + 1, std::move(upper));
  highest_.insert(highest_.begin() + at + 1, segments_[at + 1].back().number);
}

TBuffer* TBufferIndex::Insert(std::unique_ptr<TBuffer> buffer) {
  const uint32_t number = buffer->number;
  TBuffer* raw = buffer.get();
  if (size_ == 0) {
    segments_.push_back(NewSegment());
    highest_.push_back(number);
    hint_ = 0;
  }
  size_t at = Locate(number);
  auto place = Position(segments_[at], number);
  if (place != segments_[at].end() && place->number == number) return nullptr;
  if (segments_[at].size() >= kSegmentSize) {
    if (place == segments_[at].end()) {
      // Appending past a full segment starts the next one: ascending runs fill
      // their segments completely.
      segments_.insert(segments_.begin() + at + 1, NewSegment());
      highest_.insert(highest_.begin() + at + 1, number);
      at = hint_ = at + 1;
    } else {
      Split(at);
      if (number > highest_[at]) at = hint_ = at + 1;
    }
    place = Position(segments_[at], number);
  }
  segments_[at].insert(place, TEntry{number, std::move(buffer)});
  highest_[at] = std::max(highest_[at], number);
  ++size_;
  return raw;
}

TBufferIndex::TSegment TBufferIndex::NewSegment() {
  TSegment segment;
  if (spareCount_ > 0)
    segment = std::move(spares_[--spareCount_]);
  else
    segment.reserve(kSegmentSize);
  return segment;
}

void TBufferIndex::RemoveSegment(size_t at) {
  if (spareCount_ < spares_.size()) {
    segments_[at].clear();
    spares_[spareCount_++] = std::move(segments_[at]);
  }
  segments_.erase(segments_.begin() + at);
  highest_.erase(highest_.begin() + at);
  hint_ = 0;
}

void TBufferIndex::MergeWithNext(size_t at) {
  TSegment& segment = segments_[at];
  TSegment& next = segments_[at + 1];
  segment.insert(segment.end(), std::make_move_iterator(next.begin()), std::make_move_iterator(next.end()));
  highest_[at] = highest_[at + 1];
  RemoveSegment(at + 1);
}

std::unique_ptr<TBuffer> TBufferIndex::Extract(const TBuffer* buffer) {
  if (size_ == 0) return nullptr;
  const size_t at = Locate(buffer->number);
  TSegment& segment = segments_[at];
  auto place = Position(segment, buffer->number);
  if (place == segment.end() || place->buffer.get() != buffer) return nullptr;
  std::unique_ptr<TBuffer> owned = std::move(place->buffer);
  segment.erase(place);
  --size_;
  if (segment.empty()) {
    RemoveSegment(at);
  } else {
    highest_[at] = segment.back().number;
    // Removals here and there must not leave many nearly empty segments.
    if (segment.size() < kSegmentSize / 4 && at + 1 < segments_.size() &&
        segment.size() + segments_[at + 1].size() <= kSegmentSize)
      MergeWithNext(at);
  }
  return owned;
}

std::vector<std::unique_ptr<TBuffer>> TBufferIndex::ExtractAll() {
  std::vector<std::unique_ptr<TBuffer>> all;
  all.reserve(size_);
  TakeAll([&](std::unique_ptr<TBuffer>&& buffer) { all.push_back(std::move(buffer)); });
  return all;
}

void TBufferIndex::Reset() {
  segments_.clear();
  highest_.clear();
  size_ = 0;
  hint_ = 0;
}

}  // namespace zarnik
