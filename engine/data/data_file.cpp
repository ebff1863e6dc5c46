#include "engine/data/data_file.h"

#include <algorithm>

#include "engine/core/data_cursor.h"
#include "engine/core/data_engine.h"
#include "platform/date_time.h"

namespace zarnik {

TDataFile::TDataFile(TDataEngine& engine, TBufferedFileTable& table, std::string databaseName)
    : TBufferedFile(engine, table), databaseName_(std::move(databaseName)) {}

void TDataFile::RaiseTableError(TErrorCode code) { Engine().RaiseError(code, GetName(), databaseName_); }

void TDataFile::RaiseIfError(const TDefinitionError& error) {
  RaiseDefinitionError(Engine(), error, GetName(), databaseName_);
}

// --- opening and creating

void TDataFile::OpenFile() {
  bool wasOpen = IsOpen();
  TBufferedFile::OpenFile();
  try {
    OpenAndCheck();
  } catch (...) {
    if (!wasOpen) TBufferedFile::CloseFile();
    throw;
  }
}

void TDataFile::OpenAndCheck() {
  definition_.Clear();
  ReadHeader();
  CheckVersionAndSignature();
  if (definition_.header.fieldCount > kMaxFieldCount) RaiseTableError(ZARNIK_HEADERCORRUPT);
  // Keys made in another collation would be corrupted by any change, repairs included.
  if (!IsLocaleUsable(definition_.header.localeId)) RaiseTableError(ZARNIK_CANNOTLOADLDDRV);
  if (definition_.header.encrypted) AttachPassword();
  ReadFieldDefinitions();
  ResetBuffers();
}

void TDataFile::CheckVersionAndSignature() {
  const TDataHeader& header = definition_.header;
  if (header.version != kCurrentTableVersion)
    RaiseTableError(header.version < kCurrentTableVersion + 1 ? ZARNIK_OLDVERSION : ZARNIK_BADSIGNATURE);
  // A table made under the default signature opens under any signature.
  if (header.signatureDigest != Engine().SignatureDigest() && header.signatureDigest != MD5Digest(kDefaultSignature))
    RaiseTableError(ZARNIK_BADSIGNATURE);
}

void TDataFile::AttachPassword() {
  if (!attachPassword || !attachPassword(definition_.header.passwordCheck)) RaiseTableError(ZARNIK_NOTSUFFTABLERIGHTS);
}

void TDataFile::ReadFieldDefinitions() {
  std::vector<uint8_t> area(definition_.DefinitionsSize());
  if (!area.empty()) {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, kDataHeaderSize) != static_cast<int64_t>(kDataHeaderSize)) Raise(ZARNIK_READERR);
    ReadBuffer(area.data(), static_cast<int32_t>(area.size()), false);
  }
  if (definition_.header.encrypted) Table().DecryptTableBuffer(area.data(), area.size());
  definition_.DecodeDefinitions(area);
}

void TDataFile::CreateFile() {
  TBufferedFile::CreateFile();
  definition_.InitNew(Engine().SignatureDigest());
  ResetBuffers();
}

void TDataFile::SetFieldDefinitions(std::vector<TFieldDefinition> fields) {
  RaiseIfError(definition_.SetFieldDefinitions(std::move(fields)));
  ResetBuffers();  // the cache limit follows the record size
}

void TDataFile::CheckHeader() { RaiseIfError(definition_.CheckHeader(static_cast<uint64_t>(GetFileSize()))); }

bool TDataFile::VerifyHeader(TDataCursor* logCursor, bool verifyOnly) {
  return !definition_.CheckHeader(static_cast<uint64_t>(GetFileSize()));
}

// --- header and definitions on disk

void TDataFile::ReadHeader() {
  std::array<uint8_t, TDataHeader::kEncodedLength> image{};
  {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, 0) != 0) Raise(ZARNIK_READERR);
    ReadBuffer(image.data(), static_cast<int32_t>(image.size()), false);
  }
  definition_.DecodeHeader(image);
}

bool TDataFile::WriteHeader(bool force) {
  if (!force && !definition_.IsHeaderChanged()) return false;
  definition_.PrepareHeaderWrite(platform::Now());
  std::array<uint8_t, TDataHeader::kEncodedLength> image{};
  definition_.EncodeHeader(image);
  {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, 0) != 0) Raise(ZARNIK_WRITEERR);
    WriteBuffer(image.data(), static_cast<int32_t>(image.size()));
    Table().MarkWrittenSinceOpen();
  }
  definition_.ClearHeaderChanged();
  return true;
}

void TDataFile::MarkHeaderChanged() {
  definition_.MarkHeaderChanged();
  Table().MarkWrittenSinceOpen();
}

bool TDataFile::HeaderChanged() {
  uint32_t before = definition_.header.changeCounter;
  ReadHeader();
  return definition_.header.changeCounter != before;
}

bool TDataFile::WriteDefinitions(bool force) {
  if (!force && !definition_.AreDefinitionsChanged()) return false;
  std::vector<uint8_t> area(definition_.DefinitionsSize());
  definition_.EncodeDefinitions(area);
  if (definition_.header.encrypted) Table().EncryptTableBuffer(area.data(), area.size());
  {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, kDataHeaderSize) != static_cast<int64_t>(kDataHeaderSize)) Raise(ZARNIK_WRITEERR);
    WriteBuffer(area.data(), static_cast<int32_t>(area.size()));
    if (Table().ForceBufferFlush()) FlushFile();
  }
  definition_.ClearDefinitionsChanged();
  return true;
}

void TDataFile::EmptyFile() {
  TBufferedFile::EmptyFile();
  definition_.EmptyTable();
}

// --- records

TRecord* TDataFile::GetRecord(TDataCursor* cursor, uint32_t number, int direction, bool readAhead) {
  bool continueFlag = true;
  return static_cast<TRecord*>(GetBuffer(cursor, 0, number, direction, readAhead, continueFlag));
}

TRecord* TDataFile::AllocateRecord(TDataCursor* cursor) {
  uint32_t number = NextFreeRecord();
  TRecord* record = GetRecord(cursor, number);
  if (record == nullptr) return nullptr;
  definition_.TakeFreeRecord(record->Bytes());
  record->SetLinkQuietly(static_cast<int32_t>(number));
  return record;
}

void TDataFile::FreeRecord(TRecord& record) {
  definition_.FreeRecord(record.Bytes(), record.number);
  record.dirty = true;
}

// --- the buffered-file contract

std::unique_ptr<TBuffer> TDataFile::NewBuffer() { return std::make_unique<TRecord>(*this); }

void TDataFile::RaiseBuffersCorrupt() { RaiseTableError(ZARNIK_FILECORRUPT); }

void TDataFile::CheckCanAppend() {
  const TEngineLimits& limits = Engine().Limits();
  if (!definition_.CanAppend(limits.MaxTableFileSize, limits.MaxTableRecordCount)) RaiseTableError(ZARNIK_TABLEFULL);
}

void TDataFile::BufferAppended() { definition_.BufferAppended(); }

int32_t TDataFile::GetMaxBufferCount() {
  const TEngineSettings& settings = Engine().Settings;
  return CacheLimitFor(GetBufferSize(), kRecordObjectSize, settings.MaxTableDataBufferSize,
                       settings.MaxTableDataBufferCount);
}

int32_t TDataFile::GetReadAheadLimit() { return std::max(1, GetMaxBufferCount() / 2); }

int32_t TDataFile::GetReadAheadCount(TDataCursor* cursor, int direction) {
  return cursor == nullptr ? 1 : cursor->GetReadAheadCount(direction);
}

}  // namespace zarnik
