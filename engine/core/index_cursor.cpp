#include "engine/core/index_cursor.h"

#include <cstring>

#include "engine/core/data_engine.h"
#include "engine/core/data_table.h"
#include "engine/data/data_file.h"
#include "engine/data/record_layout.h"
#include "engine/index/index_file.h"
#include "engine/index/record_keys.h"
#include "platform/locale.h"

namespace zarnik {

TIndexCursor::TIndexCursor(TDataTable& table, TDataCursor* cursor)
    : table_(table), cursor_(cursor), store_(std::make_unique<TIndexFilePages>(table.IndexFile(), cursor)) {}

TIndexCursor::~TIndexCursor() = default;

uint32_t TIndexCursor::IndexCount() {
  return std::min<uint32_t>(table_.IndexFile().GetIndexCount(), 30);
}

const TIndexDefinition& TIndexCursor::Definition(uint32_t slot) {
  return table_.IndexFile().GetIndexDefinition(slot);
}

int32_t TIndexCursor::FindSlot(const std::string& name) {
  for (uint32_t slot = 0; slot <= IndexCount(); ++slot)
    if (platform::SameName(Definition(slot).Name, name)) return static_cast<int32_t>(slot);
  return -1;
}

void TIndexCursor::Reset() {
  inserted_.Page = 0;
  slots_.clear();
  textIndexer_.reset();
  textParams_.reset();
}

TIndexCursor::TSlot& TIndexCursor::Slot(uint32_t slot) {
  auto found = slots_.find(slot);
  if (found != slots_.end()) return found->second;
  const TIndexDefinition& definition = Definition(slot);
  TSlot made;
  made.keys = std::make_unique<TRecordKeys>(definition, table_.DataFile().Definition(), slot);
  if (made.keys->Layout().KeySize() != definition.KeySize) table_.Raise(ZARNIK_INDEXCORRUPT);
  made.tree =
      std::make_unique<TIndexTree>(*store_, slot, table_.IndexFile().PropsOf(slot), made.keys->Layout());
  return slots_.emplace(slot, std::move(made)).first->second;
}

const TKeyLayout& TIndexCursor::Layout(uint32_t slot) {
  return Slot(slot).keys->Layout();
}

TIndexTree& TIndexCursor::Tree(uint32_t slot) {
  return *Slot(slot).tree;
}

std::vector<uint8_t> TIndexCursor::BuildKey(uint32_t slot, std::span<const uint8_t> record) {
  TSlot& made = Slot(slot);
  std::vector<uint8_t> key(std::max<size_t>(made.keys->Layout().KeySize(), 1), 0);
  made.keys->BuildKey(record, key.data());
  return key;
}

const uint8_t* TIndexCursor::BuildScratchKey(uint32_t slot, std::span<const uint8_t> record) {
  TSlot& made = Slot(slot);
  scratchKey_.resize(std::max<size_t>(made.keys->Layout().KeySize(), 1));
  made.keys->BuildKey(record, scratchKey_.data());
  return scratchKey_.data();
}

const TTextIndexer& TIndexCursor::TextIndexer() {
  if (!textIndexer_) {
    textParams_ = table_.IndexFile().LoadTextIndexParams(cursor_);
    textIndexer_ = std::make_unique<TTextIndexer>(*textParams_, &table_.Engine().Events, table_.Name());
  }
  return *textIndexer_;
}

// --- the position

bool TIndexCursor::InRange(uint32_t slot) {
  if (!range_ || !position_.Valid()) return position_.Valid();
  const TKeyLayout& layout = Layout(slot);
  size_t length = layout.KeySize();
  return layout.Compare(position_.Key.data(), range_->Start.data(), length) >= 0 &&
         layout.Compare(position_.Key.data(), range_->End.data(), length) <= 0;
}

bool TIndexCursor::Settle(uint32_t slot, bool found) {
  if (found && InRange(slot)) return true;
  ClearPosition();
  return false;
}

bool TIndexCursor::First(uint32_t slot) {
  if (range_) {
    TIndexSearch search(Tree(slot), Layout(slot), Definition(slot));
    return Settle(slot, search.FirstInRange(*range_, position_));
  }
  return Settle(slot, Tree(slot).First(position_));
}

bool TIndexCursor::Last(uint32_t slot) {
  if (range_) {
    TIndexSearch search(Tree(slot), Layout(slot), Definition(slot));
    return Settle(slot, search.LastInRange(*range_, position_));
  }
  return Settle(slot, Tree(slot).Last(position_));
}

bool TIndexCursor::Next(uint32_t slot) {
  if (!position_.Valid()) return First(slot);
  return Settle(slot, Tree(slot).Next(position_));
}

bool TIndexCursor::Prior(uint32_t slot) {
  if (!position_.Valid()) return Last(slot);
  return Settle(slot, Tree(slot).Prior(position_));
}

bool TIndexCursor::FindKey(uint32_t slot, const std::vector<uint8_t>& key, uint32_t fieldCount,
                           uint32_t partialLength, bool nearest) {
  TIndexSearch search(Tree(slot), Layout(slot), Definition(slot));
  bool found = search.FindKey(key.data(), fieldCount, partialLength, nearest, position_);
  if (position_.Valid() && !InRange(slot)) {
    ClearPosition();
    return false;
  }
  return found;
}

bool TIndexCursor::SeekKey(uint32_t slot, const std::vector<uint8_t>& key) {
  return Tree(slot).SeekAtOrAfter(key.data(), position_) &&
         Layout(slot).Compare(position_.Key.data(), key.data(), Layout(slot).KeySize()) == 0;
}

void TIndexCursor::InsertKey(uint32_t slot, std::span<const uint8_t> record, uint32_t number, bool remember) {
  const uint8_t* key = BuildScratchKey(slot, record);
  if (!remember) return Tree(slot).InsertKey(key, number);
  inserted_.Page = 0;
  insertedSlot_ = slot;
  Tree(slot).InsertKey(key, number, &inserted_);
}

bool TIndexCursor::StandOnInserted(uint32_t slot) {
  if (!inserted_.Valid() || insertedSlot_ != slot) return false;
  std::swap(position_, inserted_);
  inserted_.Page = 0;
  return true;
}

void TIndexCursor::SetRange(uint32_t slot, const std::vector<uint8_t>& start, uint32_t startFields,
                            const std::vector<uint8_t>& end, uint32_t endFields) {
  TIndexSearch search(Tree(slot), Layout(slot), Definition(slot));
  range_ = search.MakeRange(start.data(), startFields, end.data(), endFields);
  ClearPosition();
}

uint32_t TIndexCursor::Count(uint32_t slot) {
  if (range_) {
    TIndexSearch search(Tree(slot), Layout(slot), Definition(slot));
    return search.RangeCount(*range_);
  }
  return Tree(slot).KeyCount();
}

}  // namespace zarnik
