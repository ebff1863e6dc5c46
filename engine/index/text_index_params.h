// TTextIndexParams: the text index's stop words and its space and include
// character sets, and their storage in a chain of type-4 index pages.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/index/index_page_store.h"

namespace zarnik {

class TIndexTree;

// The data areas (PageSize - 13 bytes) of the pages of the chain, which
// starts at DataRootPages[31] and follows each page's NextPage, form one
// stream (integers little-endian):
//
//   int32             word count n (negative: corrupt)
//   n times:  int32   length of a stop word (at most 255 and a data area)
//             bytes   the word
//   int32             set length, 32
//   32 bytes          space characters: bit c mod 8 of byte c div 8 set when
//                     character c separates words
//   int32             set length, 32
//   32 bytes          include characters, the same way
//
// No item is split across pages: an item that does not fit in the rest of a
// data area starts at offset 0 of the next page of the chain.
class TTextIndexParams {
 public:
  using TCharSet = std::array<uint8_t, 32>;
  static constexpr size_t kMaxStopWordLength = 255;

  std::vector<std::string> StopWords;
  TCharSet SpaceChars{};
  TCharSet IncludeChars{};

  // The parameters of a table that never stored any.
  static TTextIndexParams Defaults();

  static bool InSet(const TCharSet& set, uint8_t c) { return (set[c >> 3] >> (c & 7)) & 1; }
  static void AddToSet(TCharSet& set, uint8_t c) { set[c >> 3] |= uint8_t(1 << (c & 7)); }
  // Whether word is a stop word, compared without regard to case.
  bool IsStopWord(std::string_view word) const;

  // Reads the chain that starts at firstPage (raises ZARNIK_INDEXCORRUPT for
  // a broken chain or stream). props are those of the text index.
  void DecodeFrom(TIndexPageStore& store, const TIndexProps& props, uint32_t firstPage);
  // Writes the stream from the start of the chain, taking further pages from
  // the chain, else from tree's page allocation; firstPage 0 starts a new
  // chain. Returns the chain's first page.
  uint32_t EncodeTo(TIndexTree& tree, TIndexPageStore& store, uint32_t firstPage) const;
};

}  // namespace zarnik
