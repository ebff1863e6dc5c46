// TPageContents: an index page in its in-memory form, with the entries
// unpacked so that binary search addresses them directly; packing to and
// from the on-disk image happens only when the page is loaded or saved.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

namespace zarnik {

// An allocator whose resize leaves new bytes unset: the entry area is
// always written whole before it is read, so zeroing it first is wasted.
template <typename T>
struct TUninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = TUninitializedAllocator<U>;
  };
  TUninitializedAllocator() = default;
  template <typename U>
  TUninitializedAllocator(const TUninitializedAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// The properties of the index a page belongs to.
struct TIndexProps {
  uint16_t KeySize = 0;     // K: bytes of one key
  uint8_t Unique = 0;       // keys carry no record ID suffix
  uint8_t Uncounted = 0;    // internal entries carry no subtree key count
  uint8_t Compression = 0;  // leaf compression mode 0..3
  uint8_t Slot = 0;         // the index slot (not part of a page's format)
};

// Page image on disk (PageSize bytes): the 13-byte header (TPageHeader), then
// the entry area of PageSize - 13 bytes holding the packed entries one after
// another from its start; bytes after the last entry are written as zero.
// K is the key size. Integers are little-endian.
//
//   internal page (types 0, 1), counted:   key (K), child page (uint32),
//                                          subtree key count (uint32)
//   internal page, uncounted:              key (K), child page (uint32)
//   leaf (types 2, 3), compression 0:      key (K), record number (uint32)
//   leaf, compression 1 (duplicate byte):  p (uint8), key bytes p..K-1,
//                                          record number (uint32)
//   leaf, compression 2 (trailing byte):   t (uint8), kept bytes, record number
//   leaf, compression 3 (full):            p (uint8), t (uint8), kept bytes,
//                                          record number
//   type 4:                                the raw text-parameter stream
//
// p, the prefix length, counts the leading bytes equal to those of the
// previous entry's key, at most 254; it is 0 for the first entry of a page.
// t, the trailing length, counts the zero bytes at the end of the key's field
// part, at most 254: over at most K - p bytes in a unique index; in a
// non-unique index the field part excludes the 4-byte record ID suffix, t is
// counted over at most K - p - 4 bytes, and is 0 when K - p < 5. Mode 2 uses
// p = 0 and mode 1 t = 0. The kept bytes are key bytes p .. K - t - 1 (unique
// index, or K - p < 5), else bytes p .. K - 4 - t - 1 followed by the four
// suffix bytes K - 4 .. K - 1. Unpacking restores the prefix from the previous
// key, then the kept bytes with t zero bytes in front of the suffix (at the
// end for unique keys). An entry takes K - p - t + 4 bytes plus one byte per
// stored length; PackedSize is the sum over the page.
//
// Capacity: an uncompressed page holds (PageSize - 13) div (K + 8) entries
// when internal and counted, (PageSize - 13) div (K + 4) otherwise; a
// compressed leaf holds what packs into PageSize - 13 bytes.
class TPageContents {
 public:
  static constexpr uint8_t kRootInternal = 0;
  static constexpr uint8_t kInternal = 1;
  static constexpr uint8_t kLeaf = 2;
  static constexpr uint8_t kRootLeaf = 3;
  static constexpr uint8_t kTextParams = 4;
  static constexpr size_t kHeaderLength = 13;
  static constexpr uint32_t kMaxCompressionLength = 254;

  uint8_t PageType = 0;
  uint32_t PreviousPage = 0;
  uint32_t NextPage = 0;

  // Zeroes the page and takes the index's properties.
  void Clear(const TIndexProps& props);
  const TIndexProps& Props() const { return props_; }
  // False when the image the page was decoded from was unusable.
  bool Damaged() const { return damaged_; }

  // Packs the page into its on-disk image (page size = dst.size()); false
  // when the entries do not fit.
  bool EncodeTo(std::span<uint8_t> dst) const;
  // Unpacks an on-disk image; marks the page damaged (and empty) when a
  // count, length or type does not fit the page or the index.
  void DecodeFrom(std::span<const uint8_t> src);

  bool IsLeaf() const { return PageType == kLeaf || PageType == kRootLeaf; }
  bool IsRoot() const { return PageType == kRootInternal || PageType == kRootLeaf; }
  bool IsCompressedLeaf() const { return IsLeaf() && props_.Compression != 0; }

  // --- entries, numbered 1 .. Count()
  uint32_t Count() const { return count_; }
  const uint8_t* Key(uint32_t i) const { return Slot(i); }
  uint32_t Pointer(uint32_t i) const { return Read32(Slot(i) + props_.KeySize); }
  uint32_t SubCount(uint32_t i) const { return Read32(Slot(i) + props_.KeySize + 4); }
  uint8_t PrefixLength(uint32_t i) const { return Slot(i)[props_.KeySize + 8]; }
  uint8_t TrailingLength(uint32_t i) const { return Slot(i)[props_.KeySize + 9]; }
  void SetPointer(uint32_t i, uint32_t value) { Write32(Slot(i) + props_.KeySize, value); }
  void SetSubCount(uint32_t i, uint32_t value) { Write32(Slot(i) + props_.KeySize + 4, value); }
  // Replaces the key of an internal entry.
  void SetKey(uint32_t i, const uint8_t* key);

  // Inserts an entry at position i (entries i.. move up one place) and keeps
  // the compression lengths and PackedSize of a compressed leaf.
  void Insert(uint32_t i, const uint8_t* key, uint32_t pointer, uint32_t subCount);
  // Removes entry i, keeping the compression bookkeeping.
  void Remove(uint32_t i);
  // Bulk moves for splits and merges; RecomputeCompression afterwards.
  void AppendFrom(const TPageContents& src, uint32_t first, uint32_t count);
  void PrependFrom(const TPageContents& src, uint32_t first, uint32_t count);
  void Truncate(uint32_t count);
  void RemoveFront(uint32_t count);
  // Recomputes every entry's compression lengths and PackedSize.
  void RecomputeCompression();

  // Bytes the packed entries of a compressed leaf take.
  uint32_t PackedSize() const { return packedSize_; }
  // Entry count of a leaf, sum of subtree counts of an internal page.
  uint32_t Total() const;
  uint32_t MaxEntries(uint32_t pageSize) const;
  bool Overflows(uint32_t pageSize) const;

  // The raw data area of a type-4 page (PageSize - 13 bytes once sized).
  std::vector<uint8_t>& Data() { return data_; }
  const std::vector<uint8_t>& Data() const { return data_; }

  // Prefix and trailing lengths an entry gets after the given previous key
  // (nullptr for the first entry), and its packed size.
  uint8_t ComputePrefix(const uint8_t* previous, const uint8_t* key) const;
  uint8_t ComputeTrailing(const uint8_t* key, uint32_t prefix) const;
  uint32_t PackedEntrySize(uint32_t prefix, uint32_t trailing) const;

 private:
  static uint32_t Read32(const uint8_t* p);
  static void Write32(uint8_t* p, uint32_t v);
  size_t Stride() const { return size_t(props_.KeySize) + 10; }
  uint8_t* Slot(uint32_t i) { return entries_.data() + (i - 1) * Stride(); }
  const uint8_t* Slot(uint32_t i) const { return entries_.data() + (i - 1) * Stride(); }
  // Sets entry i's lengths against entry i - 1; returns its packed size.
  uint32_t Recompress(uint32_t i);
  uint32_t EntrySize(uint32_t i) const { return PackedEntrySize(PrefixLength(i), TrailingLength(i)); }
  uint32_t DiskEntrySize() const;
  void MarkDamaged();
  void InsertFrom(uint32_t at, const TPageContents& src, uint32_t first, uint32_t count);
  bool DecodeEntries(const uint8_t* area, size_t length, uint32_t count);
  bool DecodePacked(const uint8_t* area, size_t length, uint32_t count);
  size_t EncodePacked(uint8_t* area, size_t length) const;
  void EncodeEntries(uint8_t* area, uint32_t size) const;

  TIndexProps props_;
  uint32_t count_ = 0;
  uint32_t packedSize_ = 0;
  bool damaged_ = false;
  // count_ entries of K + 10 bytes: key, pointer, subtree count, prefix
  // length, trailing length (integers in host order).
  std::vector<uint8_t, TUninitializedAllocator<uint8_t>> entries_;
  std::vector<uint8_t> data_;
};

}  // namespace zarnik
