#include "engine/blob/blob_file.h"

#include <algorithm>
#include <array>

#include "engine/blob/block.h"
#include "engine/core/data_engine.h"

namespace zarnik {

namespace {

// What one cached block costs besides its data area.
constexpr int32_t kBlockObjectSize = 56;

}  // namespace

TBlobFile::TBlobFile(TDataEngine& engine, TBufferedFileTable& table, uint32_t blockSize)
    : TBufferedFile(engine, table), blockSize_(blockSize) {}

void TBlobFile::OpenFile() {
  TBufferedFile::OpenFile();
  header_ = TBlobHeader();
  ReadHeader();
  TErrorCode refused = header_.OpenError(Engine());
  if (refused != ZARNIK_NONE) Engine().RaiseError(refused, GetName());
  ResetBuffers();
}

void TBlobFile::CreateFile() {
  TBufferedFile::CreateFile();
  header_ = TBlobHeader();
  header_.version = kCurrentTableVersion;
  header_.signatureDigest = Engine().SignatureDigest();
  header_.nextBlockNumber = 1;
  headerChanged_ = true;
  ResetBuffers();
}

std::unique_ptr<TBuffer> TBlobFile::NewBuffer() {
  return std::make_unique<TBlock>(*this);
}

void TBlobFile::RaiseBuffersCorrupt() {
  Engine().RaiseError(ZARNIK_MEMOCORRUPT, GetName());
}

void TBlobFile::CheckCanAppend() {
  if (static_cast<uint64_t>(GetDataEnd()) > Engine().Limits().MaxTableFileSize)
    Engine().RaiseError(ZARNIK_TABLEFULL, GetName());
}

void TBlobFile::BufferAppended() {
  ++header_.nextBlockNumber;
  headerChanged_ = true;
}

int32_t TBlobFile::GetBufferSize() {
  return std::max<int32_t>(
      static_cast<int32_t>(blockSize_) - static_cast<int32_t>(TBlockHeader::kEncodedLength), 0);
}

int32_t TBlobFile::GetMaxBufferCount() {
  const TEngineSettings& settings = Engine().Settings;
  return CacheLimitFor(GetBufferSize(), kBlockObjectSize, settings.MaxTableBlobBufferSize,
                       settings.MaxTableBlobBufferCount);
}

int32_t TBlobFile::GetReadAheadCount(TDataCursor* cursor, int direction) {
  return static_cast<int32_t>(
      std::clamp<uint32_t>(blocksNeeded_, 1, static_cast<uint32_t>(ReadAheadLimit())));
}

void TBlobFile::ReadHeader() {
  std::array<uint8_t, TBlobHeader::kEncodedLength> image{};
  {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, 0) != 0) Raise(ZARNIK_READERR);
    ReadBuffer(image.data(), static_cast<int32_t>(image.size()), false);
  }
  if (Table().Encrypted()) Table().DecryptTableBuffer(image.data(), image.size());
  header_.DecodeFrom(image);
  headerChanged_ = false;
}

bool TBlobFile::WriteHeader(bool force) {
  if (!force && !headerChanged_) return false;
  ++header_.changeCount;
  header_.headerModified = headerChanged_ ? 1 : 0;
  std::array<uint8_t, TBlobHeader::kEncodedLength> image{};
  header_.EncodeTo(image);
  if (Table().Encrypted()) Table().EncryptTableBuffer(image.data(), image.size());
  {
    TFileLockGuard lock(*this);
    if (Seek(kSeekFromStart, 0) != 0) Raise(ZARNIK_WRITEERR);
    Table().MarkWrittenSinceOpen();
    WriteBuffer(image.data(), static_cast<int32_t>(image.size()));
  }
  headerChanged_ = false;
  return true;
}

void TBlobFile::MarkHeaderChanged() {
  ++header_.changeCount;
  headerChanged_ = true;
  Table().MarkWrittenSinceOpen();
}

void TBlobFile::EmptyFile() {
  TBufferedFile::EmptyFile();
  header_.version = kCurrentTableVersion;
  header_.changeCount = 0;
  header_.nextBlockNumber = 1;
  header_.freeBlockHead = 0;
  headerChanged_ = true;
}

void TBlobFile::CheckHeader() {
  if (!header_.IsValidBlock(header_.freeBlockHead)) Engine().RaiseError(ZARNIK_HEADERCORRUPT, GetName());
}

bool TBlobFile::VerifyHeader(TDataCursor* logCursor, bool verifyOnly) {
  // The cursor's log callback is not reachable from here yet: the findings are
  // made and repaired, their lines dropped.
  return VerifyHeaderWith({}, verifyOnly);
}

bool TBlobFile::VerifyHeaderWith(const TLogLine& log, bool verifyOnly) {
  auto report = [&](const char* finding) {
    if (log) log(verifyOnly ? std::string(finding) : std::string(finding) + ", error fixed");
  };
  bool valid = true;
  const int64_t blockSize = blockSize_;
  int64_t size = GetFileSize();
  if (blockSize > 0 && size > GetDataStart() && (size - GetDataStart()) % blockSize != 0) {
    valid = false;
    report("BLOB blocks not aligned on even block size boundaries");
    if (!verifyOnly) size = CutOffPartialBlock(size, (size - GetDataStart()) % blockSize);
  }
  if (blockSize > 0) {
    int64_t count = std::clamp<int64_t>((size - GetDataStart()) / blockSize + 1, 1, UINT32_MAX);
    if (header_.nextBlockNumber != count) {
      valid = false;
      report("Physical BLOB block count not correct");
      if (!verifyOnly) header_.nextBlockNumber = static_cast<uint32_t>(count);
    }
  }
  if (!header_.IsValidBlock(header_.freeBlockHead)) {
    valid = false;
    report("Invalid free BLOB block pointer in header");
    if (!verifyOnly) header_.freeBlockHead = 0;
  }
  if (!verifyOnly) {
    header_.version = kCurrentTableVersion;
    headerChanged_ = true;
  }
  return valid;
}

int64_t TBlobFile::CutOffPartialBlock(int64_t size, int64_t partial) {
  TFileLockGuard lock(*this);
  int64_t end = size - partial;
  if (Seek(kSeekFromStart, end) != end) Raise(ZARNIK_WRITEERR);
  WriteBuffer(nullptr, 0);
  if (Table().ForceBufferFlush()) FlushFile();
  Table().MarkWrittenSinceOpen();
  return end;
}

bool TBlobFile::HeaderChanged() {
  uint32_t before = header_.changeCount;
  ReadHeader();
  return header_.changeCount != before;
}

uint32_t TBlobFile::GetAllocatableBlock() const {
  return header_.freeBlockHead != 0 ? header_.freeBlockHead : header_.nextBlockNumber;
}

void TBlobFile::SetFreeBlockHead(uint32_t block) {
  if (header_.freeBlockHead == block) return;
  header_.freeBlockHead = block;
  headerChanged_ = true;
}

// --- TBlobFileBlocks

TBlock* TBlobFileBlocks::GetBlock(uint32_t number, uint32_t blocksNeeded) {
  file_.SetBlocksNeeded(blocksNeeded);
  bool continueFlag = true;
  TBuffer* buffer = file_.GetBuffer(cursor_, 0, number, kDirectionForward, true, continueFlag);
  if (buffer == nullptr) return nullptr;
  return static_cast<TBlock*>(buffer);
}

void TBlobFileBlocks::ReleaseBlock(TBlock* block) {
  file_.ReleaseBuffer(block);
}

void TBlobFileBlocks::RaiseError(TErrorCode code) {
  file_.Engine().RaiseError(code, file_.GetName());
}

}  // namespace zarnik
