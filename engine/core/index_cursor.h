// TIndexCursor: a cursor's reach into its table's index file: per index slot
// the definition, the key layout and the tree, keys built from record
// images, the text indexer, and one position (with an optional range) on the
// index the cursor reads in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/index/index_search.h"
#include "engine/index/index_tree.h"
#include "engine/index/key_layout.h"
#include "engine/index/text_index_params.h"
#include "engine/index/text_indexer.h"

namespace zarnik {

class TDataCursor;
class TDataTable;
class TRecordKeys;

class TIndexCursor {
 public:
  TIndexCursor(TDataTable& table, TDataCursor* cursor);
  ~TIndexCursor();
  TIndexCursor(const TIndexCursor&) = delete;
  TIndexCursor& operator=(const TIndexCursor&) = delete;

  // Secondary indexes: slots 1 .. IndexCount().
  uint32_t IndexCount();
  const TIndexDefinition& Definition(uint32_t slot);
  // The slot of an index name ("" the primary index), -1 when none.
  int32_t FindSlot(const std::string& name);
  const TKeyLayout& Layout(uint32_t slot);
  TIndexTree& Tree(uint32_t slot);
  // The key of a record image for an index slot 0 .. 30.
  std::vector<uint8_t> BuildKey(uint32_t slot, std::span<const uint8_t> record);
  // The same key built into the cursor's own key buffer, valid until the
  // next call: no allocation per record.
  const uint8_t* BuildScratchKey(uint32_t slot, std::span<const uint8_t> record);
  // The text indexer with the table's parameters (read once).
  const TTextIndexer& TextIndexer();

  // Forgets what was read from the index file (another user changed it).
  void Reset();

  // --- one position on a slot, kept within the range when there is one
  bool First(uint32_t slot);
  bool Last(uint32_t slot);
  bool Next(uint32_t slot);
  bool Prior(uint32_t slot);
  bool FindKey(uint32_t slot, const std::vector<uint8_t>& key, uint32_t fieldCount, uint32_t partialLength,
               bool nearest);
  // Stands on the entry of a full key (the record it was built from).
  bool SeekKey(uint32_t slot, const std::vector<uint8_t>& key);
  // Inserts the key of a record image into an index slot; with remember
  // set, the new entry's position is kept for StandOnInserted.
  void InsertKey(uint32_t slot, std::span<const uint8_t> record, uint32_t number, bool remember);
  // Stands on the entry the last remembering InsertKey made in this slot
  // (once); false, changing nothing, when there is none.
  bool StandOnInserted(uint32_t slot);
  void SetRange(uint32_t slot, const std::vector<uint8_t>& start, uint32_t startFields,
                const std::vector<uint8_t>& end, uint32_t endFields);
  void CancelRange() { range_.reset(); }
  uint32_t Count(uint32_t slot);
  bool Positioned() const { return position_.Valid(); }
  // Entries from the position on, in direction, that point at consecutive records (1 to limit).
  uint32_t ConsecutiveRecords(uint32_t slot, bool backward, uint32_t limit) {
    return Tree(slot).ConsecutiveRecords(position_, backward, limit);
  }
  uint32_t Record() const { return position_.Record; }
  void ClearPosition() { position_ = TIndexPosition(); }

 private:
  struct TSlot {
    std::unique_ptr<TRecordKeys> keys;
    std::unique_ptr<TIndexTree> tree;
  };
  TSlot& Slot(uint32_t slot);
  bool InRange(uint32_t slot);
  bool Settle(uint32_t slot, bool found);

  TDataTable& table_;
  TDataCursor* cursor_;
  std::unique_ptr<TIndexPageStore> store_;
  std::map<uint32_t, TSlot> slots_;
  std::optional<TTextIndexParams> textParams_;
  std::unique_ptr<TTextIndexer> textIndexer_;
  std::vector<uint8_t> scratchKey_;
  TIndexPosition inserted_;
  uint32_t insertedSlot_ = 0;
  TIndexPosition position_;
  std::optional<TIndexRange> range_;
};

}  // namespace zarnik
