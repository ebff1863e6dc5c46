// TTextIndexer: turns the text of a text-indexed field into words and the
// words into text index keys, and keeps a record's keys in the text index as
// its texts are added, changed and removed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/engine_events.h"
#include "engine/index/index_tree.h"
#include "engine/index/text_index_params.h"

namespace zarnik {

class TTextIndexer {
 public:
  static constexpr size_t kMaxWordLength = 61;
  using TKey = std::vector<uint8_t>;

  // events may be null; tableName is what the engine's text filters see.
  TTextIndexer(const TTextIndexParams& params, const TEngineEvents* events, std::string tableName);

  // The words of a text, sorted and without duplicates, both without regard
  // to case. In wildcard mode (text searches) '*' belongs to words.
  std::vector<std::string> SplitWords(std::string text, const std::string& fieldName,
                                      bool wildcard = false) const;
  // The text index keys of a text's words that are not stop words.
  std::vector<TKey> BuildTextKeys(uint16_t fieldNumber, const std::string& fieldName, const std::string& text,
                                  int32_t recordId) const;

  void InsertTextKeys(TIndexTree& tree, uint16_t fieldNumber, const std::string& fieldName,
                      const std::string& text, int32_t recordId, uint32_t recordNumber) const;
  void RemoveTextKeys(TIndexTree& tree, uint16_t fieldNumber, const std::string& fieldName,
                      const std::string& text, int32_t recordId) const;
  // Leaves the words of both texts alone, removes the other old words and
  // adds the other new ones.
  void UpdateTextKeys(TIndexTree& tree, uint16_t fieldNumber, const std::string& fieldName,
                      const std::string& oldText, const std::string& newText, int32_t recordId,
                      uint32_t recordNumber) const;

 private:
  bool KeepWord(const std::string& fieldName, const std::string& word) const;

  const TTextIndexParams& params_;
  const TEngineEvents* events_;
  std::string tableName_;
};

}  // namespace zarnik
