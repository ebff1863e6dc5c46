// TIndexTree: the B+-tree operations on one index of an index file: page
// allocation, search, insertion with splits, deletion with merges and
// redistribution, navigation along the leaves, counted positions and ranges.
// It works on any TIndexPageStore and compares keys with a TKeyComparer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/index/index_page_store.h"

namespace zarnik {

// A position on a leaf entry, with the entry's key and record number so that
// a move can start again from the root when the page changed.
struct TIndexPosition {
  uint32_t Page = 0;   // 0: on no entry
  uint32_t Entry = 0;  // 1-based within the page
  uint32_t Record = 0;
  std::vector<uint8_t> Key;
  bool Valid() const { return Page != 0; }
};

class TIndexTree {
 public:
  static constexpr uint32_t kMaxDepth = 64;

  // Raises ZARNIK_INDEXCORRUPT for index properties no page can hold.
  TIndexTree(TIndexPageStore& store, uint32_t slot, const TIndexProps& props, const TKeyComparer& comparer);

  const TIndexProps& Props() const { return props_; }
  uint32_t RootPage() const { return store_.RootPage(slot_); }

  // --- changes (under the table's write lock)
  // With placed given, it receives the position of the new entry.
  void InsertKey(const uint8_t* key, uint32_t record, TIndexPosition* placed = nullptr);
  // Raises ZARNIK_INDEXCORRUPT when the key is not in the index.
  void DeleteKey(const uint8_t* key);
  void ReplaceKey(const uint8_t* oldKey, const uint8_t* newKey, uint32_t record);

  // --- searches
  bool LookupKey(const uint8_t* key);
  // Verification's lookup: the entry must also point at the record, and on
  // every internal level the followed entry's key must equal the child's
  // first key.
  bool LookupKeyStrict(const uint8_t* key, uint32_t record);

  // --- navigation; each returns false (and an invalid position) at an end
  bool First(TIndexPosition& pos);
  bool Last(TIndexPosition& pos);
  bool Next(TIndexPosition& pos);
  bool Prior(TIndexPosition& pos);
  // How many entries from pos on along its leaf, forward or backward, point
  // at consecutive record numbers (pos.Record, then one more, or one less,
  // each); between 1 and limit.
  uint32_t ConsecutiveRecords(const TIndexPosition& pos, bool backward, uint32_t limit);
  // The first entry not less than key / the last entry not greater than key.
  bool SeekAtOrAfter(const uint8_t* key, TIndexPosition& pos);
  bool SeekAtOrBefore(const uint8_t* key, TIndexPosition& pos);

  // --- counted indexes
  // Entries in the index (counted indexes; leaf roots count their entries).
  uint32_t KeyCount();
  // 1-based position of the first entry not less than key (KeyCount() + 1
  // when there is none), or of the last entry not greater than key (0 when
  // there is none).
  uint32_t PositionAtOrAfter(const uint8_t* key);
  uint32_t PositionAtOrBefore(const uint8_t* key);
  // The 1-based position of the entry a position stands on.
  uint32_t PositionOf(const TIndexPosition& pos);
  // Entries with start <= key <= end.
  uint32_t RangeCount(const uint8_t* start, const uint8_t* end);
  // Moves to the entry at 1-based position n.
  bool SeekPosition(uint32_t n, TIndexPosition& pos);

  // --- pages
  // Takes the free chain's head, else appends; the page comes cleared.
  TPageRef AllocatePage();
  void FreePage(TPageRef& page);
  // The last entry not greater than key, 0 when key is smaller than all;
  // the deletion variant never returns 0.
  uint32_t FindPosition(const TPageContents& page, const uint8_t* key, bool forDeletion) const;

 private:
  struct TPathLevel {
    TPageRef page;
    uint32_t position = 0;  // internal levels: the entry followed (never 0)
  };
  // The pages from the root down. Only the levels in use are constructed,
  // so that a search does not pay for all 64.
  class TPath {
   public:
    TPath() {}
    ~TPath() {
      while (depth > 0) std::destroy_at(&slots_[--depth].level);
    }
    TPath(const TPath&) = delete;
    TPath& operator=(const TPath&) = delete;
    TPathLevel& Push(TPageRef page) {
      TPathLevel* level = std::construct_at(&slots_[depth].level);
      level->page = std::move(page);
      ++depth;
      return *level;
    }
    TPathLevel& operator[](uint32_t l) { return slots_[l].level; }
    TPathLevel& Leaf() { return slots_[depth - 1].level; }
    uint32_t depth = 0;  // levels in use; changed by Push only

   private:
    union TSlot {
      TSlot() {}
      ~TSlot() {}
      TPathLevel level;
    };
    std::array<TSlot, kMaxDepth> slots_;
  };
  enum class Bound { AtOrAfter, AtOrBefore };
  struct TRestart {};

  int Compare(const uint8_t* a, const uint8_t* b) const {
    return bytewise_ ? CompareKeyBytes(a, b, props_.KeySize) : comparer_.Compare(a, b, props_.KeySize);
  }
  TPageRef Pin(uint32_t n);
  TPageRef PinTreePage(uint32_t n, bool root);
  TPageRef PinNeighbour(uint32_t n, const TPageRef& from, uint8_t type);
  TPageRef PinNeighbourLeaf(uint32_t n, const TPageRef& from);
  bool Descend(const uint8_t* key, bool forDeletion, TPath& path);
  void DescendToEdge(bool last, TPath& path);
  uint32_t SubtreeCount(const TPageContents& page) const { return props_.Uncounted ? 0 : page.Total(); }
  [[noreturn]] void Corrupt();

  void AdjustCounts(TPath& path, int delta);
  void CarryFirstKeyUp(TPath& path, uint32_t level, const uint8_t* key);
  void Split(TPath& path, uint32_t level);
  void BalanceCompressedSplit(TPageContents& left, TPageContents& right);
  void LinkRight(TPageRef& page, TPageRef& added);
  void NewRoot(TPath& path, TPageRef& left, TPageRef& right);
  void Rebalance(TPath& path, uint32_t level);
  bool RebalanceLeaf(TPath& path, uint32_t level);
  bool RebalanceRoot(TPath& path);
  bool RebalanceInternal(TPath& path, uint32_t level);
  void Unlink(TPageRef& page);
  void RemoveEntry(TPath& path, uint32_t level, uint32_t position);
  bool MergeWithLeft(TPath& path, uint32_t level);
  bool MergeWithRight(TPath& path, uint32_t level);

  template <typename F>
  auto Reading(F body);
  bool SetPosition(const TPageRef& page, uint32_t entry, TIndexPosition& pos);
  bool StepForward(TIndexPosition& pos);
  bool StepBackward(TIndexPosition& pos);
  bool StillAt(const TIndexPosition& pos, TPageRef& page);
  bool SeekAfter(const uint8_t* key, bool orEqual, TIndexPosition& pos);
  bool SeekBefore(const uint8_t* key, bool orEqual, TIndexPosition& pos);
  bool EntryAfter(TPageRef page, uint32_t entry, TIndexPosition& pos, const uint8_t* after);
  bool EntryBefore(TPageRef page, uint32_t entry, TIndexPosition& pos, const uint8_t* before);
  uint32_t CountedPosition(const uint8_t* key, Bound bound);

  TIndexPageStore& store_;
  uint32_t slot_;
  TIndexProps props_;
  const TKeyComparer& comparer_;
  uint32_t pageSize_;
  bool bytewise_;
  bool reading_ = false;
  std::vector<uint8_t> stepKey_;
};

}  // namespace zarnik
