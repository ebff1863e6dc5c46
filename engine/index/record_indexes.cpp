#include "engine/index/record_indexes.h"

#include "engine/core/data_engine.h"
#include "engine/data/record_layout.h"

namespace zarnik {

std::vector<uint8_t> TRecordIndexes::TIndex::Key(std::span<const uint8_t> record) const {
  std::vector<uint8_t> key(keys->Layout().KeySize());
  keys->BuildKey(record, key.data());
  return key;
}

TRecordIndexes::TRecordIndexes(TIndexFile& file, const TTableDefinition& table, TDataCursor* cursor)
    : file_(file), table_(table), pages_(file, cursor) {
  for (uint32_t slot = 0; slot <= std::min<uint32_t>(file.GetIndexCount(), TIndexFile::kMaxSecondaryIndexes);
       ++slot) {
    TIndex index{slot, &file.GetIndexDefinition(slot), nullptr, nullptr};
    index.keys = std::make_unique<TRecordKeys>(*index.definition, table, slot);
    if (index.keys->Layout().KeySize() != index.definition->KeySize) file.Raise(ZARNIK_INDEXCORRUPT);
    index.tree = std::make_unique<TIndexTree>(pages_, slot, file.PropsOf(slot), index.keys->Layout());
    indexes_.push_back(std::move(index));
  }
}

TRecordIndexes::~TRecordIndexes() = default;

void TRecordIndexes::SetTextIndexing(TTextSource source, const TTextIndexParams* params,
                                     const TEngineEvents* events) {
  const uint32_t slot = TIndexFile::kTextSlot;
  const TIndexDefinition& definition = file_.GetIndexDefinition(slot);
  if (definition.FieldCount == 0 || params == nullptr) return;
  text_ = std::make_unique<TIndex>(TIndex{slot, &definition, nullptr, nullptr});
  text_->keys = std::make_unique<TRecordKeys>(definition, table_, slot);
  text_->tree = std::make_unique<TIndexTree>(pages_, slot, file_.PropsOf(slot), text_->keys->Layout());
  textSource_ = std::move(source);
  indexer_ = std::make_unique<TTextIndexer>(*params, events, file_.GetName());
}

template <typename F>
void TRecordIndexes::ForEachTextField(F action) {
  if (!text_) return;
  const TIndexDefinition& definition = *text_->definition;
  for (uint32_t i = 0; i < definition.FieldCount && i < TIndexDefinition::kMaxFields; ++i) {
    const TFieldDefinition* field = table_.GetFieldDefinition(definition.FieldNumbers[i]);
    if (field != nullptr) action(definition.FieldNumbers[i], *field);
  }
}

void TRecordIndexes::CheckUnique(const TIndex& index, const std::vector<uint8_t>& key) {
  if (!index.definition->Unique || !index.tree->LookupKey(key.data())) return;
  TErrorItems items;
  items.tableName = file_.GetName();
  items.indexName = index.definition->Name.empty() ? "Primary" : index.definition->Name;
  file_.Engine().RaiseError(ZARNIK_KEYVIOL, items);
}

void TRecordIndexes::Insert(std::span<const uint8_t> record, uint32_t recordNumber) {
  std::vector<std::vector<uint8_t>> keys;
  for (const TIndex& index : indexes_) keys.push_back(index.Key(record));
  for (size_t i = 0; i < indexes_.size(); ++i) CheckUnique(indexes_[i], keys[i]);
  for (size_t i = 0; i < indexes_.size(); ++i) indexes_[i].tree->InsertKey(keys[i].data(), recordNumber);
  ForEachTextField([&](uint16_t number, const TFieldDefinition& field) {
    indexer_->InsertTextKeys(*text_->tree, number, field.name, textSource_(record, field),
                             GetRecordID(record), recordNumber);
  });
}

void TRecordIndexes::Change(std::span<const uint8_t> oldRecord, std::span<const uint8_t> newRecord,
                            uint32_t recordNumber) {
  std::vector<std::vector<uint8_t>> oldKeys, newKeys;
  std::vector<bool> changed;
  for (const TIndex& index : indexes_) {
    oldKeys.push_back(index.Key(oldRecord));
    newKeys.push_back(index.Key(newRecord));
    changed.push_back(index.keys->Layout().Compare(oldKeys.back().data(), newKeys.back().data(),
                                                   index.keys->Layout().KeySize()) != 0);
  }
  for (size_t i = 0; i < indexes_.size(); ++i)
    if (changed[i]) CheckUnique(indexes_[i], newKeys[i]);
  for (size_t i = 0; i < indexes_.size(); ++i)
    if (changed[i]) indexes_[i].tree->ReplaceKey(oldKeys[i].data(), newKeys[i].data(), recordNumber);
  ForEachTextField([&](uint16_t number, const TFieldDefinition& field) {
    indexer_->UpdateTextKeys(*text_->tree, number, field.name, textSource_(oldRecord, field),
                             textSource_(newRecord, field), GetRecordID(newRecord), recordNumber);
  });
}

void TRecordIndexes::Delete(std::span<const uint8_t> record) {
  for (const TIndex& index : indexes_) index.tree->DeleteKey(index.Key(record).data());
  ForEachTextField([&](uint16_t number, const TFieldDefinition& field) {
    indexer_->RemoveTextKeys(*text_->tree, number, field.name, textSource_(record, field),
                             GetRecordID(record));
  });
}

}  // namespace zarnik
