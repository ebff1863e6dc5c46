// TRecordIndexes: keeps every index of a table in step with one record as it
// is inserted, changed or deleted: the unique keys are checked before
// anything is written, then each index in slot order gets its key.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/core/engine_events.h"
#include "engine/data/table_definition.h"
#include "engine/index/index_file.h"
#include "engine/index/index_tree.h"
#include "engine/index/record_keys.h"
#include "engine/index/text_indexer.h"

namespace zarnik {

class TRecordIndexes {
 public:
  // The text of a text-indexed field of a record (memo contents come from
  // the BLOB file, which the caller reads).
  using TTextSource =
      std::function<std::string(std::span<const uint8_t> record, const TFieldDefinition& field)>;

  TRecordIndexes(TIndexFile& file, const TTableDefinition& table, TDataCursor* cursor);
  ~TRecordIndexes();

  // Keeps the text index too: its words come from source, split with params.
  void SetTextIndexing(TTextSource source, const TTextIndexParams* params, const TEngineEvents* events);

  // Each raises ZARNIK_KEYVIOL, naming the index ("Primary" for the primary
  // index), before changing anything when a unique index already holds the
  // record's new key.
  void Insert(std::span<const uint8_t> record, uint32_t recordNumber);
  void Change(std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord, uint32_t recordNumber);
  void Delete(std::span<const uint8_t> record);

 private:
  struct TIndex {
    uint32_t slot;
    const TIndexDefinition* definition;
    std::unique_ptr<TRecordKeys> keys;
    std::unique_ptr<TIndexTree> tree;
    std::vector<uint8_t> Key(std::span<const uint8_t> record) const;
  };
  void CheckUnique(const TIndex& index, const std::vector<uint8_t>& key);
  template <typename F>
  void ForEachTextField(F action);

  TIndexFile& file_;
  const TTableDefinition& table_;
  TIndexFilePages pages_;
  std::vector<TIndex> indexes_;
  std::unique_ptr<TIndex> text_;
  TTextSource textSource_;
  std::unique_ptr<TTextIndexer> indexer_;
};

}  // namespace zarnik
