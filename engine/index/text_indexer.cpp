#include "engine/index/text_indexer.h"

#include <algorithm>
#include <cstring>

#include "engine/index/key_layout.h"
#include "platform/locale.h"

namespace zarnik {

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return platform::CompareText(a, b, true) < 0;
}

void AddSorted(std::vector<std::string>& words, std::string word) {
  auto at = std::lower_bound(words.begin(), words.end(), word, LessIgnoringCase);
  if (at == words.end() || LessIgnoringCase(word, *at)) words.insert(at, std::move(word));
}

}  // namespace

TTextIndexer::TTextIndexer(const TTextIndexParams& params, const TEngineEvents* events, std::string tableName)
    : params_(params), events_(events), tableName_(std::move(tableName)) {}

bool TTextIndexer::KeepWord(const std::string& fieldName, const std::string& word) const {
  bool include = true;
  if (events_ != nullptr && events_->textIndexTokenFilter) {
    // A failing filter leaves the word in, as a failing text filter leaves
    // the text unchanged.
    try {
      events_->textIndexTokenFilter(tableName_, fieldName, word, include);
    } catch (...) {
      include = true;
    }
  }
  return include;
}

std::vector<std::string> TTextIndexer::SplitWords(std::string text, const std::string& fieldName,
                                                  bool wildcard) const {
  if (events_ != nullptr && events_->textIndexFilter) {
    std::string filtered = text;
    try {
      events_->textIndexFilter(tableName_, fieldName, filtered);
      text = std::move(filtered);
    } catch (...) {
    }
  }
  std::vector<std::string> words;
  std::string word;
  auto endWord = [&] {
    if (!word.empty() && KeepWord(fieldName, word)) AddSorted(words, word);
    word.clear();
  };
  for (char ch : text) {
    const uint8_t c = uint8_t(ch);
    const bool star = wildcard && c == '*';
    if (!star && TTextIndexParams::InSet(params_.SpaceChars, c)) {
      endWord();
    } else if ((star || TTextIndexParams::InSet(params_.IncludeChars, c)) && word.size() < kMaxWordLength) {
      word.push_back(ch);
    }
  }
  endWord();
  return words;
}

std::vector<TTextIndexer::TKey> TTextIndexer::BuildTextKeys(uint16_t fieldNumber,
                                                            const std::string& fieldName,
                                                            const std::string& text, int32_t recordId) const {
  std::vector<TKey> keys;
  for (const std::string& word : SplitWords(text, fieldName)) {
    if (params_.IsStopWord(word)) continue;
    TKey key(TKeyLayout::kTextKeySize);
    TKeyLayout::BuildTextKey(fieldNumber, word, recordId, key.data());
    keys.push_back(std::move(key));
  }
  return keys;
}

void TTextIndexer::InsertTextKeys(TIndexTree& tree, uint16_t fieldNumber, const std::string& fieldName,
                                  const std::string& text, int32_t recordId, uint32_t recordNumber) const {
  for (const TKey& key : BuildTextKeys(fieldNumber, fieldName, text, recordId))
    tree.InsertKey(key.data(), recordNumber);
}

void TTextIndexer::RemoveTextKeys(TIndexTree& tree, uint16_t fieldNumber, const std::string& fieldName,
                                  const std::string& text, int32_t recordId) const {
  for (const TKey& key : BuildTextKeys(fieldNumber, fieldName, text, recordId)) tree.DeleteKey(key.data());
}

void TTextIndexer::UpdateTextKeys(TIndexTree& tree, uint16_t fieldNumber, const std::string& fieldName,
                                  const std::string& oldText, const std::string& newText, int32_t recordId,
                                  uint32_t recordNumber) const {
  std::vector<TKey> oldKeys = BuildTextKeys(fieldNumber, fieldName, oldText, recordId);
  std::vector<TKey> newKeys = BuildTextKeys(fieldNumber, fieldName, newText, recordId);
  // Text keys all have the same length.
  auto less = [](const TKey& a, const TKey& b) { return std::memcmp(a.data(), b.data(), a.size()) < 0; };
  std::sort(oldKeys.begin(), oldKeys.end(), less);
  std::sort(newKeys.begin(), newKeys.end(), less);
  std::vector<TKey> gone, added;
  std::set_difference(oldKeys.begin(), oldKeys.end(), newKeys.begin(), newKeys.end(),
                      std::back_inserter(gone), less);
  std::set_difference(newKeys.begin(), newKeys.end(), oldKeys.begin(), oldKeys.end(),
                      std::back_inserter(added), less);
  for (const TKey& key : gone) tree.DeleteKey(key.data());
  for (const TKey& key : added) tree.InsertKey(key.data(), recordNumber);
}

}  // namespace zarnik
