#include "engine/index/index_search.h"

namespace zarnik {

TIndexSearch::TIndexSearch(TIndexTree& tree, const TKeyLayout& layout, const TIndexDefinition& definition)
    : tree_(tree), layout_(layout), fieldCount_(definition.FieldCount), unique_(definition.Unique != 0) {}

bool TIndexSearch::Widens(uint32_t fieldCount, uint32_t partialLength) const {
  return (fieldCount >= 1 && fieldCount < fieldCount_) || !unique_ || (fieldCount == 0 && partialLength != 0);
}

bool TIndexSearch::FindKey(const uint8_t* key, uint32_t fieldCount, uint32_t partialLength, bool nearest,
                           TIndexPosition& pos) {
  const size_t size = layout_.KeySize();
  if (Widens(fieldCount, partialLength)) {
    const size_t m = layout_.MatchedLength(fieldCount, partialLength);
    std::vector<uint8_t> widened(key, key + size);
    layout_.LowestBound(widened.data(), m);
    return tree_.SeekAtOrAfter(widened.data(), pos) && layout_.Compare(pos.Key.data(), key, m) == 0;
  }
  TIndexPosition found;
  const bool equal = tree_.SeekAtOrAfter(key, found) && layout_.Compare(found.Key.data(), key, size) == 0;
  if (equal || nearest) pos = std::move(found);
  return equal;
}

TIndexRange TIndexSearch::MakeRange(const uint8_t* start, uint32_t startFields, const uint8_t* end,
                                    uint32_t endFields) const {
  const size_t size = layout_.KeySize();
  TIndexRange range{std::vector<uint8_t>(start, start + size), std::vector<uint8_t>(end, end + size)};
  if (Widens(startFields, 0)) layout_.LowestBound(range.Start.data(), layout_.MatchedLength(startFields, 0));
  if (Widens(endFields, 0)) layout_.HighestBound(range.End.data(), layout_.MatchedLength(endFields, 0));
  return range;
}

bool TIndexSearch::InRange(const TIndexRange& range, const TIndexPosition& pos) const {
  const size_t size = layout_.KeySize();
  return pos.Valid() && layout_.Compare(pos.Key.data(), range.Start.data(), size) >= 0 &&
         layout_.Compare(pos.Key.data(), range.End.data(), size) <= 0;
}

bool TIndexSearch::FirstInRange(const TIndexRange& range, TIndexPosition& pos) {
  return tree_.SeekAtOrAfter(range.Start.data(), pos) && InRange(range, pos);
}

bool TIndexSearch::LastInRange(const TIndexRange& range, TIndexPosition& pos) {
  return tree_.SeekAtOrBefore(range.End.data(), pos) && InRange(range, pos);
}

std::vector<uint8_t> TIndexSearch::Bookmark(const TIndexPosition& pos) const {
  if (!pos.Valid()) return std::vector<uint8_t>(layout_.KeySize(), 0);
  return pos.Key;
}

bool TIndexSearch::GotoBookmark(const std::vector<uint8_t>& bookmark, TIndexPosition& pos) {
  if (bookmark.size() != layout_.KeySize()) return false;
  TIndexPosition found;
  if (!tree_.SeekAtOrAfter(bookmark.data(), found) ||
      layout_.Compare(found.Key.data(), bookmark.data(), bookmark.size()) != 0)
    return false;
  pos = std::move(found);
  return true;
}

}  // namespace zarnik
