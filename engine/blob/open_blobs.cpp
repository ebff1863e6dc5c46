#include "engine/blob/open_blobs.h"

#include <limits>
#include <optional>

namespace zarnik {

size_t TOpenBlobs::Count() const {
  size_t count = 0;
  for (const auto& blob : blobs_) count += blob != nullptr;
  return count;
}

TBlobBuffer* TOpenBlobs::Find(int32_t marker) {
  if (marker >= 0) return nullptr;
  size_t index = IndexOf(marker);
  return index < blobs_.size() ? blobs_[index].get() : nullptr;
}

TBlobBuffer& TOpenBlobs::Get(int32_t marker) {
  TBlobBuffer* blob = Find(marker);
  if (blob == nullptr) store_.RaiseError(ZARNIK_INVALIDBLOBHANDLE);
  return *blob;
}

std::span<uint8_t> TOpenBlobs::Slot(std::span<uint8_t> record, const TFieldDefinition& field) {
  if (field.offset > record.size() || record.size() - field.offset < TBlobReference::kEncodedLength)
    store_.RaiseError(ZARNIK_INVALIDBLOBOFFSET);
  return record.subspan(field.offset, TBlobReference::kEncodedLength);
}

size_t TOpenBlobs::FreeSlot() {
  for (size_t slot = 0; slot < blobs_.size(); ++slot)
    if (blobs_[slot] == nullptr) return slot;
  blobs_.emplace_back();
  return blobs_.size() - 1;
}

int32_t TOpenBlobs::Open(const TOpenRequest& request, std::span<uint8_t> record, uint32_t ownerRecord,
                         const TReloadReference& reload) {
  std::span<uint8_t> slot = Slot(record, request.field);
  TBlobReference reference;
  reference.DecodeFrom(slot);
  if (reference.firstBlock < 0) {
    TBlobBuffer* open = Find(reference.firstBlock);
    if (open == nullptr) store_.RaiseError(ZARNIK_INVALIDBLOBOFFSET);
    if (open->openCount == std::numeric_limits<uint16_t>::max()) store_.RaiseError(ZARNIK_OPENBLOBLIMIT);
    ++open->openCount;
    return reference.firstBlock;
  }
  if (Count() >= kMaxOpenBlobs) store_.RaiseError(ZARNIK_OPENBLOBLIMIT);
  auto blob = std::make_unique<TBlobBuffer>();
  blob->data = chain_.ReadValue(reference, request.field.compression, reload);
  blob->revision = reference.revision;
  blob->firstBlock = reference.firstBlock;
  blob->cursor = cursor_;
  blob->field = &request.field;
  blob->ownerRecord = ownerRecord;
  blob->mode = request.mode;
  blob->closeFlag = request.closeFlag;
  blob->openCount = 1;
  if (request.textIndexed) blob->savedCopy = blob->data;
  size_t index = FreeSlot();
  blobs_[index] = std::move(blob);
  // The copy of the record now names the open BLOB (and, after a reload, the
  // value's current revision).
  reference.firstBlock = MarkerOf(index);
  reference.EncodeTo(slot);
  return reference.firstBlock;
}

bool TOpenBlobs::Write(int32_t marker, int64_t offset, std::span<const uint8_t> bytes) {
  TBlobBuffer& blob = Get(marker);
  if (offset < 0 || offset + static_cast<int64_t>(bytes.size()) > std::numeric_limits<int32_t>::max())
    store_.RaiseError(ZARNIK_INVALIDBLOBLEN);
  return blob.Write(offset, static_cast<int32_t>(bytes.size()), bytes.data());
}

void TOpenBlobs::RestoreReference(std::span<uint8_t> record, size_t index) {
  const TBlobBuffer& blob = *blobs_[index];
  if (blob.field->offset > record.size() ||
      record.size() - blob.field->offset < TBlobReference::kEncodedLength)
    return;
  std::span<uint8_t> slot = record.subspan(blob.field->offset, TBlobReference::kEncodedLength);
  TBlobReference reference;
  reference.DecodeFrom(slot);
  if (reference.firstBlock != MarkerOf(index)) return;
  reference.firstBlock = blob.firstBlock;
  reference.revision = blob.revision;
  reference.EncodeTo(slot);
}

void TOpenBlobs::Close(int32_t marker, std::span<uint8_t> record) {
  TBlobBuffer& blob = Get(marker);
  if (--blob.openCount > 0) return;
  size_t index = IndexOf(marker);
  RestoreReference(record, index);
  blobs_[index].reset();
}

void TOpenBlobs::WriteBack(TBlobBuffer& blob, uint32_t revision) {
  TBlobReference reference{blob.Length() > 0, blob.firstBlock, revision};
  chain_.WriteValue(reference, blob.data, blob.field->compression);
  blob.firstBlock = reference.firstBlock;
  blob.modified = false;
}

bool TOpenBlobs::Post(std::span<uint8_t> record, const TIssueRevision& issueRevision) {
  std::vector<size_t> changed;
  for (size_t index = 0; index < blobs_.size(); ++index) {
    const TBlobBuffer* blob = blobs_[index].get();
    if (blob == nullptr || !blob->modified || blob->mode == kBlobModeNotPosted) continue;
    if (!changed.empty() && blobs_[changed.front()]->ownerRecord != blob->ownerRecord)
      store_.RaiseError(ZARNIK_MEMOCORRUPT);
    changed.push_back(index);
  }
  for (size_t index : changed) {
    TBlobBuffer& blob = *blobs_[index];
    blob.revision = issueRevision();
    TBlobReference{blob.Length() > 0, MarkerOf(index), blob.revision}.EncodeTo(Slot(record, *blob.field));
  }
  for (size_t index : changed) WriteBack(*blobs_[index], blobs_[index]->revision);
  for (size_t index = 0; index < blobs_.size(); ++index)
    if (blobs_[index] != nullptr) RestoreReference(record, index);
  return !changed.empty();
}

void TOpenBlobs::DropRecord(uint32_t ownerRecord) {
  for (auto& blob : blobs_)
    if (blob != nullptr && blob->ownerRecord == ownerRecord && (!blob->modified || blob->closeFlag))
      blob.reset();
}

void TOpenBlobs::DropClosing() {
  for (auto& blob : blobs_)
    if (blob != nullptr && blob->closeFlag) blob.reset();
}

void TOpenBlobs::RemoveValues(std::span<uint8_t> record, const std::vector<TFieldDefinition>& fields,
                              const TIssueRevision& issueRevision) {
  for (const TFieldDefinition& field : fields) {
    if (!field.IsBlob() || field.computed) continue;
    std::span<uint8_t> slot = Slot(record, field);
    TBlobReference reference;
    reference.DecodeFrom(slot);
    if (reference.firstBlock < 0) {
      TBlobBuffer* open = Find(reference.firstBlock);
      if (open == nullptr) store_.RaiseError(ZARNIK_INVALIDBLOBOFFSET);
      int32_t marker = reference.firstBlock;
      reference.firstBlock = open->firstBlock;
      blobs_[IndexOf(marker)].reset();
    }
    if (reference.firstBlock != 0) {
      reference.revision = issueRevision();
      chain_.RemoveValue(reference.firstBlock, reference.revision);
    }
    reference.hasValue = false;
    reference.firstBlock = 0;
    reference.EncodeTo(slot);
  }
}

}  // namespace zarnik
