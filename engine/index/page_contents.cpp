#include "engine/index/page_contents.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/index/page_header.h"
#include "platform/byte_order.h"

namespace zarnik {

namespace {
constexpr size_t kSuffixLength = 4;
}  // namespace

uint32_t TPageContents::Read32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void TPageContents::Write32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}

void TPageContents::Clear(const TIndexProps& props) {
  props_ = props;
  PageType = 0;
  PreviousPage = 0;
  NextPage = 0;
  count_ = 0;
  packedSize_ = 0;
  damaged_ = false;
  entries_.clear();
  data_.clear();
}

void TPageContents::MarkDamaged() {
  damaged_ = true;
  count_ = 0;
  packedSize_ = 0;
  entries_.clear();
}

void TPageContents::SetKey(uint32_t i, const uint8_t* key) {
  std::memmove(Slot(i), key, props_.KeySize);
}

// --- compression -------------------------------------------------------------

uint8_t TPageContents::ComputePrefix(const uint8_t* previous, const uint8_t* key) const {
  if (previous == nullptr || props_.Compression == 0 || props_.Compression == 2) return 0;
  uint32_t limit = std::min<uint32_t>(props_.KeySize, kMaxCompressionLength);
  uint32_t p = 0;
  while (p < limit && previous[p] == key[p]) ++p;
  return uint8_t(p);
}

uint8_t TPageContents::ComputeTrailing(const uint8_t* key, uint32_t prefix) const {
  if (props_.Compression < 2) return 0;
  uint32_t k = props_.KeySize;
  uint32_t end = k;  // one past the field part
  uint32_t limit = k - prefix;
  if (!props_.Unique) {
    if (k - prefix < kSuffixLength + 1) return 0;
    end = k - kSuffixLength;
    limit = k - prefix - kSuffixLength;
  }
  limit = std::min(limit, kMaxCompressionLength);
  uint32_t t = 0;
  while (t < limit && key[end - 1 - t] == 0) ++t;
  return uint8_t(t);
}

uint32_t TPageContents::PackedEntrySize(uint32_t prefix, uint32_t trailing) const {
  uint32_t k = props_.KeySize;
  switch (props_.Compression) {
    case 1:
      return k - prefix + 5;
    case 2:
      return k - trailing + 5;
    case 3:
      return k - prefix - trailing + 6;
    default:
      return k + 4;
  }
}

uint32_t TPageContents::Recompress(uint32_t i) {
  uint8_t* slot = Slot(i);
  uint8_t p = ComputePrefix(i > 1 ? Key(i - 1) : nullptr, slot);
  uint8_t t = ComputeTrailing(slot, p);
  slot[props_.KeySize + 8] = p;
  slot[props_.KeySize + 9] = t;
  return PackedEntrySize(p, t);
}

void TPageContents::RecomputeCompression() {
  packedSize_ = 0;
  if (!IsCompressedLeaf()) return;
  for (uint32_t i = 1; i <= count_; ++i) packedSize_ += Recompress(i);
}

// --- entries -----------------------------------------------------------------

void TPageContents::Insert(uint32_t i, const uint8_t* key, uint32_t pointer, uint32_t subCount) {
  const size_t stride = Stride();
  entries_.insert(entries_.begin() + (i - 1) * stride, stride, uint8_t(0));
  ++count_;
  uint8_t* slot = Slot(i);
  std::memcpy(slot, key, props_.KeySize);
  Write32(slot + props_.KeySize, pointer);
  Write32(slot + props_.KeySize + 4, subCount);
  if (!IsCompressedLeaf()) return;
  packedSize_ += Recompress(i);
  if (props_.Compression != 2 && i < count_) {
    uint32_t before = EntrySize(i + 1);
    packedSize_ = packedSize_ - before + Recompress(i + 1);
  }
}

void TPageContents::Remove(uint32_t i) {
  const size_t stride = Stride();
  if (IsCompressedLeaf()) packedSize_ -= EntrySize(i);
  entries_.erase(entries_.begin() + (i - 1) * stride, entries_.begin() + i * stride);
  --count_;
  if (IsCompressedLeaf() && props_.Compression != 2 && i <= count_) {
    uint32_t before = EntrySize(i);
    packedSize_ = packedSize_ - before + Recompress(i);
  }
}

void TPageContents::InsertFrom(uint32_t at, const TPageContents& src, uint32_t first, uint32_t count) {
  const size_t stride = Stride();
  auto from = src.entries_.begin() + (first - 1) * stride;
  entries_.insert(entries_.begin() + (at - 1) * stride, from, from + count * stride);
  count_ += count;
  RecomputeCompression();
}

void TPageContents::AppendFrom(const TPageContents& src, uint32_t first, uint32_t count) {
  InsertFrom(count_ + 1, src, first, count);
}

void TPageContents::PrependFrom(const TPageContents& src, uint32_t first, uint32_t count) {
  InsertFrom(1, src, first, count);
}

void TPageContents::Truncate(uint32_t count) {
  entries_.resize(count * Stride());
  count_ = count;
  RecomputeCompression();
}

void TPageContents::RemoveFront(uint32_t count) {
  entries_.erase(entries_.begin(), entries_.begin() + count * Stride());
  count_ -= count;
  RecomputeCompression();
}

uint32_t TPageContents::Total() const {
  if (IsLeaf()) return count_;
  uint32_t total = 0;
  for (uint32_t i = 1; i <= count_; ++i) total += SubCount(i);
  return total;
}

uint32_t TPageContents::DiskEntrySize() const {
  return props_.KeySize + (!IsLeaf() && !props_.Uncounted ? 8 : 4);
}

uint32_t TPageContents::MaxEntries(uint32_t pageSize) const {
  return (pageSize - kHeaderLength) / DiskEntrySize();
}

bool TPageContents::Overflows(uint32_t pageSize) const {
  if (IsCompressedLeaf()) return packedSize_ > pageSize - kHeaderLength;
  return count_ > MaxEntries(pageSize);
}

// --- on-disk image -----------------------------------------------------------

bool TPageContents::EncodeTo(std::span<uint8_t> dst) const {
  if (dst.size() < kHeaderLength || count_ > 0xFFFF) return false;
  uint8_t* area = dst.data() + kHeaderLength;
  const size_t length = dst.size() - kHeaderLength;
  size_t used = 0;
  TPageHeader header;
  header.PageType = PageType;
  header.EntryCount = uint16_t(count_);
  header.PreviousPage = PreviousPage;
  header.NextPage = NextPage;
  if (PageType == kTextParams) {
    header.EntryCount = 0;
    used = std::min(length, data_.size());
    std::memcpy(area, data_.data(), used);
  } else if (IsCompressedLeaf()) {
    if (packedSize_ > length || EncodePacked(area, length) != packedSize_) return false;
    header.PackedSize = uint16_t(packedSize_);
    used = packedSize_;
  } else {
    const uint32_t size = DiskEntrySize();
    used = size_t(count_) * size;
    if (used > length) return false;
    EncodeEntries(area, size);
  }
  // The bytes after the last entry are written as zero.
  std::memset(area + used, 0, length - used);
  header.EncodeTo(dst.first<TPageHeader::kEncodedLength>());
  return true;
}

// An unpacked entry starts with its disk form (key, pointer, subtree count)
// when integers are little-endian in memory too.
void TPageContents::EncodeEntries(uint8_t* area, uint32_t size) const {
  const uint32_t k = props_.KeySize;
  const uint8_t* slot = entries_.data();
  for (uint32_t i = 1; i <= count_; ++i, area += size, slot += Stride()) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(area, slot, size);
    } else {
      std::memcpy(area, slot, k);
      platform::PutUInt32({area + k, 4}, 0, Read32(slot + k));
      if (size == k + 8u) platform::PutUInt32({area + k + 4, 4}, 0, Read32(slot + k + 4));
    }
  }
}

size_t TPageContents::EncodePacked(uint8_t* area, size_t length) const {
  const uint32_t k = props_.KeySize;
  size_t pos = 0;
  for (uint32_t i = 1; i <= count_; ++i) {
    const uint32_t p = PrefixLength(i), t = TrailingLength(i);
    if (pos + EntrySize(i) > length) return SIZE_MAX;
    const uint8_t* key = Key(i);
    if (props_.Compression != 2) area[pos++] = uint8_t(p);
    if (props_.Compression != 1) area[pos++] = uint8_t(t);
    const bool suffixKept = !props_.Unique && k - p >= kSuffixLength + 1;
    const uint32_t front = k - p - t - (suffixKept ? kSuffixLength : 0);
    std::memcpy(area + pos, key + p, front);
    pos += front;
    if (suffixKept) {
      std::memcpy(area + pos, key + k - kSuffixLength, kSuffixLength);
      pos += kSuffixLength;
    }
    platform::PutUInt32({area + pos, 4}, 0, Pointer(i));
    pos += 4;
  }
  return pos;
}

void TPageContents::DecodeFrom(std::span<const uint8_t> src) {
  damaged_ = false;
  count_ = 0;
  packedSize_ = 0;
  if (src.size() < kHeaderLength) return MarkDamaged();
  TPageHeader header;
  header.DecodeFrom(src.first<TPageHeader::kEncodedLength>());
  PageType = header.PageType;
  PreviousPage = header.PreviousPage;
  NextPage = header.NextPage;
  const uint8_t* area = src.data() + kHeaderLength;
  const size_t length = src.size() - kHeaderLength;
  if (PageType == kTextParams) {
    entries_.clear();
    data_.assign(area, area + length);
    return;
  }
  if (PageType > kTextParams || (header.EntryCount > 0 && props_.KeySize == 0)) return MarkDamaged();
  if (header.EntryCount == 0) {
    entries_.clear();
    return;
  }
  bool ok = IsCompressedLeaf() ? DecodePacked(area, length, header.EntryCount)
                               : DecodeEntries(area, length, header.EntryCount);
  if (!ok) MarkDamaged();
}

// Every byte of every slot is written: the entry area is not zeroed first.
bool TPageContents::DecodeEntries(const uint8_t* area, size_t length, uint32_t count) {
  const uint32_t k = props_.KeySize;
  const uint32_t size = DiskEntrySize();
  if (size_t(count) * size > length) return false;
  entries_.resize(count * Stride());
  count_ = count;
  uint8_t* slot = entries_.data();
  for (uint32_t i = 1; i <= count; ++i, area += size, slot += Stride()) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(slot, area, size);
    } else {
      std::memcpy(slot, area, k);
      Write32(slot + k, platform::GetUInt32({area + k, 4}, 0));
      if (size == k + 8u) Write32(slot + k + 4, platform::GetUInt32({area + k + 4, 4}, 0));
    }
    // The rest of the slot: subtree count (when not on disk), lengths.
    if (size == k + 4u)
      std::memset(slot + k + 4, 0, 6);
    else
      std::memset(slot + k + 8, 0, 2);
  }
  return true;
}

bool TPageContents::DecodePacked(const uint8_t* area, size_t length, uint32_t count) {
  const uint32_t k = props_.KeySize;
  if (props_.Compression > 3) return false;
  entries_.resize(size_t(count) * Stride());
  count_ = count;
  size_t pos = 0;
  for (uint32_t i = 1; i <= count; ++i) {
    uint32_t p = 0, t = 0;
    const size_t lengthBytes = props_.Compression == 3 ? 2 : 1;
    if (pos + lengthBytes > length) return false;
    if (props_.Compression != 2) p = area[pos++];
    if (props_.Compression != 1) t = area[pos++];
    if (p + t > k || (i == 1 && p != 0)) return false;
    const bool suffixKept = !props_.Unique && k - p >= kSuffixLength + 1;
    if (suffixKept && p + t + kSuffixLength > k) return false;
    const uint32_t front = k - p - t - (suffixKept ? kSuffixLength : 0);
    const uint32_t kept = front + (suffixKept ? kSuffixLength : 0);
    if (pos + kept + 4 > length) return false;
    uint8_t* key = Slot(i);
    if (p > 0) std::memcpy(key, Key(i - 1), p);
    std::memcpy(key + p, area + pos, front);
    // The t trailing zero bytes, then the suffix when it was kept.
    std::memset(key + p + front, 0, k - p - front);
    if (suffixKept) std::memcpy(key + k - kSuffixLength, area + pos + front, kSuffixLength);
    pos += kept;
    SetPointer(i, platform::GetUInt32({area + pos, 4}, 0));
    SetSubCount(i, 0);
    pos += 4;
    key[k + 8] = uint8_t(p);
    key[k + 9] = uint8_t(t);
  }
  packedSize_ = uint32_t(pos);
  return true;
}

}  // namespace zarnik
