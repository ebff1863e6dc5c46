// TIndexSearch: searches of a cursor on one index: keys given whole or by
// their leading fields and characters, ranges between two bounds, bookmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/index/index_definition.h"
#include "engine/index/index_tree.h"
#include "engine/index/key_layout.h"

namespace zarnik {

// A range's bounds, widened to the lowest and highest keys they stand for;
// it covers the entries with Start <= key <= End.
struct TIndexRange {
  std::vector<uint8_t> Start;
  std::vector<uint8_t> End;
};

class TIndexSearch {
 public:
  TIndexSearch(TIndexTree& tree, const TKeyLayout& layout, const TIndexDefinition& definition);

  // Searches for key (KeySize bytes) on its first fieldCount key fields and
  // partialLength bytes of the next one. A unique index searched on its whole
  // key looks for the key itself: found, pos is on it; not found, pos moves
  // to the first entry not less than it only when nearest is set. Otherwise
  // pos moves to the first entry not less than the widened key, and the
  // search succeeds when that entry matches the key's leading part.
  bool FindKey(const uint8_t* key, uint32_t fieldCount, uint32_t partialLength, bool nearest,
               TIndexPosition& pos);

  // Bounds from two keys, each with a field count of its own (0: all).
  TIndexRange MakeRange(const uint8_t* start, uint32_t startFields, const uint8_t* end,
                        uint32_t endFields) const;
  uint32_t RangeCount(const TIndexRange& range) {
    return tree_.RangeCount(range.Start.data(), range.End.data());
  }
  bool FirstInRange(const TIndexRange& range, TIndexPosition& pos);
  bool LastInRange(const TIndexRange& range, TIndexPosition& pos);

  // The full key of the entry a position stands on; zeros when on none.
  std::vector<uint8_t> Bookmark(const TIndexPosition& pos) const;
  // Moves to the bookmarked entry; false when it is no longer there.
  bool GotoBookmark(const std::vector<uint8_t>& bookmark, TIndexPosition& pos);

 private:
  bool Widens(uint32_t fieldCount, uint32_t partialLength) const;
  bool InRange(const TIndexRange& range, const TIndexPosition& pos) const;

  TIndexTree& tree_;
  const TKeyLayout& layout_;
  uint32_t fieldCount_;
  bool unique_;
};

}  // namespace zarnik
