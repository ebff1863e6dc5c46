#include "engine/files/buffered_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/core/data_engine.h"

namespace zarnik {

// --- TBuffer

TBuffer::TBuffer(TBufferedFile& owner) : file(owner) {
  size = std::max(owner.GetBufferSize(), 0);
  data = owner.arena_.Take(static_cast<size_t>(size));
}

TBuffer::TBuffer(TBufferedFile& owner, TWithoutBytes) : file(owner) {
  size = std::max(owner.GetBufferSize(), 0);
}

TBuffer::~TBuffer() {
  file.arena_.Give(data);
}

void TBuffer::Assign(const TBuffer& other) {
  dirty = other.dirty;
  number = other.number;
  std::memcpy(data.data(), other.data.data(), static_cast<size_t>(std::min(size, other.size)));
}

void TBuffer::SetData(const uint8_t* source) {
  std::memcpy(data.data(), source, static_cast<size_t>(size));
  dirty = true;
}

void TBuffer::GetData(uint8_t* dest) const {
  std::memcpy(dest, data.data(), static_cast<size_t>(size));
}

void TBuffer::Clear(int32_t initParam) {
  if (!data.empty()) std::memset(data.data(), 0, data.size());
  dirty = false;
}

void TBuffer::LoadFromDisk(uint8_t* raw) {
  DecipherImage(raw);
  std::memcpy(data.data(), raw, static_cast<size_t>(std::min(size, file.GetDiskBufferSize())));
  dirty = false;
}

void TBuffer::SaveToDisk(uint8_t* raw) {
  std::memcpy(raw, data.data(), static_cast<size_t>(std::min(size, file.GetDiskBufferSize())));
  EncipherImage(raw);
  dirty = false;
}

bool TBuffer::SameAs(const TBuffer& other) const {
  return size == other.size && std::memcmp(data.data(), other.data.data(), static_cast<size_t>(size)) == 0;
}

bool TBuffer::SameData(const uint8_t* bytes) const {
  return std::memcmp(data.data(), bytes, static_cast<size_t>(size)) == 0;
}

void TBuffer::DecipherImage(uint8_t* raw) {
  if (file.Table().Encrypted())
    file.Table().DecryptTableBuffer(raw, static_cast<size_t>(file.GetDiskBufferSize()));
}

void TBuffer::EncipherImage(uint8_t* raw) {
  if (file.Table().Encrypted())
    file.Table().EncryptTableBuffer(raw, static_cast<size_t>(file.GetDiskBufferSize()));
}

void TBufferPin::Release() {
  if (buffer_ != nullptr) buffer_->file.ReleaseBuffer(buffer_);
  buffer_ = nullptr;
}

// --- TBufferedFile: opening and closing

TBufferedFile::TBufferedFile(TDataEngine& engine, TBufferedFileTable& table)
    : TEngineFile(engine), table_(table) {}

TBufferedFile::~TBufferedFile() {
  try {
    if (IsOpen()) TBufferedFile::CloseFile();
  } catch (...) {
    // Nobody to report to; the buffers go with the object.
  }
  DropBuffers();
}

std::string TBufferedFile::GetName() {
  return table_.TableName();
}

void TBufferedFile::OpenFile() {
  if (!IsOpen()) TEngineFile::OpenFile();
}

void TBufferedFile::CloseFile() {
  DropBuffers();
  window_.Clear(true);
  TEngineFile::CloseFile();
}

void TBufferedFile::CreateFile() {
  DropBuffers();
  TEngineFile::CreateFile();
}

void TBufferedFile::WriteBuffer(const void* buffer, int32_t count) {
  window_.Clear();
  TEngineFile::WriteBuffer(buffer, count);
}

void TBufferedFile::ResetBuffers() {
  arena_.FreeWhenIdle();
  hits_ = reads_ = physicalReads_ = writeRuns_ = 0;
  capacity_ = std::max(GetMaxBufferCount(), 1);
  readAheadLimit_ = std::max(GetReadAheadLimit(), 1);
}

void TBufferedFile::EmptyFile() {
  // Every cached buffer lies beyond the new end.
  DropBuffers();
  TFileLockGuard lock(*this);
  int64_t start = GetDataStart();
  if (Seek(kSeekFromStart, start) != start) Raise(ZARNIK_WRITEERR);
  WriteBuffer(nullptr, 0);
  if (table_.ForceBufferFlush()) FlushFile();
  table_.MarkWrittenSinceOpen();
}

int32_t TBufferedFile::CacheLimitFor(int32_t bufferSize, int32_t objectSize, int32_t maxBytes,
                                     int32_t maxCount) {
  int64_t perBuffer = int64_t{bufferSize} + objectSize;
  // A nonsense size from a damaged header counts as none.
  int64_t limit = bufferSize != 0 && perBuffer > 0 ? int64_t{maxBytes} / perBuffer : maxCount;
  return static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(limit, maxCount), 1));
}

int64_t TBufferedFile::GetDataEnd() {
  return GetDataStart() + static_cast<int64_t>(GetBufferCount()) * GetDiskBufferSize();
}

// --- the recency list

void TBufferedFile::LinkFront(TBuffer* buffer) {
  buffer->previous_ = nullptr;
  buffer->next_ = mostRecent_;
  if (mostRecent_ != nullptr) mostRecent_->previous_ = buffer;
  mostRecent_ = buffer;
  if (leastRecent_ == nullptr) leastRecent_ = buffer;
}

void TBufferedFile::Unlink(TBuffer* buffer) {
  if (buffer->previous_ != nullptr)
    buffer->previous_->next_ = buffer->next_;
  else if (mostRecent_ == buffer)
    mostRecent_ = buffer->next_;
  if (buffer->next_ != nullptr)
    buffer->next_->previous_ = buffer->previous_;
  else if (leastRecent_ == buffer)
    leastRecent_ = buffer->previous_;
  buffer->next_ = buffer->previous_ = nullptr;
}

void TBufferedFile::MoveToFront(TBuffer* buffer) {
  if (mostRecent_ == buffer) return;
  Unlink(buffer);
  LinkFront(buffer);
}

std::vector<uint32_t> TBufferedFile::RecencyOrder() const {
  std::vector<uint32_t> numbers;
  for (const TBuffer* b = mostRecent_; b != nullptr; b = b->next_) numbers.push_back(b->number);
  return numbers;
}

// --- the cached buffers by number

TBuffer* TBufferedFile::FindCached(uint32_t number) {
  return buffers_.Find(number);
}

TBuffer* TBufferedFile::InsertSorted(std::unique_ptr<TBuffer> buffer) {
  TBuffer* raw = buffers_.Insert(std::move(buffer));
  if (raw == nullptr) RaiseBuffersCorrupt();
  LinkFront(raw);
  return raw;
}

std::unique_ptr<TBuffer> TBufferedFile::Extract(TBuffer* buffer) {
  std::unique_ptr<TBuffer> owned = buffers_.Extract(buffer);
  if (owned == nullptr) RaiseBuffersCorrupt();
  Unlink(buffer);
  return owned;
}

// --- taking a slot

TBuffer* TBufferedFile::FindVictim() {
  for (TBuffer* b = leastRecent_; b != nullptr; b = b->previous_)
    if (!b->dirty && b->pinCount == 0) return b;
  return nullptr;
}

std::unique_ptr<TBuffer> TBufferedFile::CreateSlot(int32_t initParam, uint32_t number) {
  std::unique_ptr<TBuffer> buffer = NewBuffer();
  buffer->Clear(initParam);
  buffer->number = number;
  return buffer;
}

std::unique_ptr<TBuffer> TBufferedFile::TakeSlot(int32_t initParam, uint32_t number) {
  if (buffers_.size() < static_cast<size_t>(std::max(capacity_, 0))) return CreateSlot(initParam, number);
  TBuffer* victim = FindVictim();
  if (victim == nullptr && !table_.TransactionActive()) {
    FlushBuffers(true);
    victim = FindVictim();
  }
  if (victim == nullptr) {
    // Everything is pinned, or dirty inside a transaction: grow instead of failing.
    int32_t step = std::max(GetCapacityStep(), 1);
    capacity_ = capacity_ > std::numeric_limits<int32_t>::max() - step ? std::numeric_limits<int32_t>::max()
                                                                       : capacity_ + step;
    return CreateSlot(initParam, number);
  }
  std::unique_ptr<TBuffer> buffer = Extract(victim);
  buffer->Clear(initParam);
  buffer->number = number;
  return buffer;
}

// --- getting a buffer

TBuffer* TBufferedFile::AppendBuffer(int32_t initParam, uint32_t number) {
  if (TBuffer* stale = FindCached(number)) {
    // Left from before the file was cut back: only a clean, unused one may go.
    if (stale->dirty || stale->pinCount > 0) RaiseBuffersCorrupt();
    Extract(stale);
  }
  return InsertSorted(TakeSlot(initParam, number));
}

TBuffer* TBufferedFile::GetBuffer(TDataCursor* cursor, int32_t initParam, uint32_t number, int direction,
                                  bool readAhead, bool& continueFlag) {
  continueFlag = true;
  if (number == 0) RaiseBuffersCorrupt();
  const uint32_t count = GetBufferCount();
  if (static_cast<uint64_t>(number) == static_cast<uint64_t>(count) + 1) {
    CheckCanAppend();
    TBuffer* buffer = AppendBuffer(initParam, number);
    ++hits_;
    BufferAppended();
    ++buffer->pinCount;
    return buffer;
  }
  TBuffer* buffer = nullptr;
  int32_t depth = GetRecentScanDepth();
  for (TBuffer* b = mostRecent_; b != nullptr && depth-- > 0 && buffer == nullptr; b = b->next_)
    if (b->number == number) buffer = b;
  if (buffer == nullptr) buffer = FindCached(number);
  if (buffer != nullptr) {
    MoveToFront(buffer);
    ++hits_;
    ++buffer->pinCount;
    return buffer;
  }
  if (!table_.StrictChangeDetection(cursor) && table_.RefreshIfChanged(cursor)) {
    continueFlag = false;
    return nullptr;
  }
  int64_t readCount = 1;
  if (readAhead && direction != kDirectionNone) {
    // Never beyond the last buffer forward, never before the first backward.
    int64_t room = direction == kDirectionBackward ? number : static_cast<int64_t>(count) - number + 1;
    readCount = std::clamp<int64_t>(std::min<int64_t>(GetReadAheadCount(cursor, direction), room), 1,
                                    std::max(readAheadLimit_, 1));
  }
  buffer = ReadBuffers(initParam, number, static_cast<int32_t>(readCount), direction);
  if (buffer == nullptr || buffer->number != number) RaiseBuffersCorrupt();
  ++buffer->pinCount;
  return buffer;
}

void TBufferedFile::ReleaseBuffer(TBuffer* buffer) {
  if (buffer == nullptr) return;
  if (buffer->pinCount > 0) --buffer->pinCount;
  if (buffer->retired_ && buffer->pinCount == 0) {
    std::erase_if(retired_, [buffer](const std::unique_ptr<TBuffer>& b) { return b.get() == buffer; });
    if (buffers_.size() == 0) arena_.FreeWhenIdle();
  }
}

// --- physical reads

int32_t TBufferedFile::CheckedDiskBufferSize() {
  int32_t size = GetDiskBufferSize();
  if (size <= 0) RaiseBuffersCorrupt();
  return size;
}

int64_t TBufferedFile::BufferOffset(int64_t number) {
  int64_t offset = 0;
  if (number < 1 ||
      __builtin_mul_overflow(number - 1, static_cast<int64_t>(CheckedDiskBufferSize()), &offset) ||
      __builtin_add_overflow(offset, GetDataStart(), &offset))
    RaiseBuffersCorrupt();
  return offset;
}

TBuffer* TBufferedFile::ReadBuffers(int32_t initParam, uint32_t number, int32_t count, int direction) {
  ++reads_;
  const int32_t disk = CheckedDiskBufferSize();
  count = std::clamp(count, 1, std::numeric_limits<int32_t>::max() / disk);
  const int32_t length = count * disk;
  const int64_t first = direction == kDirectionBackward ? int64_t{number} - count + 1 : int64_t{number};
  readPosition_ = BufferOffset(first);
  readLength_ = length;
  struct TReadEnd {
    TBufferedFile& file;
    ~TReadEnd() { file.readPosition_ = file.readLength_ = 0; }
  } readEnd{*this};

  // Only the bytes read are ever looked at: no need to zero the area first.
  std::unique_ptr<uint8_t[]> area = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(length));
  int32_t got = ReadArea(area.get(), length);
  TBuffer* result = nullptr;
  Distribute(area.get(), first, got, initParam, number, count, direction, result);
  return result;
}

int32_t TBufferedFile::ReadArea(uint8_t* area, int32_t length) {
  if (ReadThroughWindow(area, length)) return length;
  bool allowShort = (table_.Exclusive() || table_.TransactionActive()) && table_.WrittenSinceOpen();
  int32_t got = PhysicalRead(area, length, allowShort);
  window_.NoteRead(readPosition_, got);
  return got;
}

int32_t TBufferedFile::PhysicalRead(uint8_t* area, int32_t length, bool allowShort) {
  int32_t got;
  {
    TFileLockGuard lock(*this);
    got = ReadBufferAt(area, length, readPosition_, allowShort);
  }
  ++physicalReads_;
  bytesRead_ += got;
  return got;
}

// Nobody else writes an exclusive table's files, and every write of this one
// goes through this object, which forgets the window: so a window that holds
// the bytes asked for holds what the disk holds. Reads that continue forward
// refill it with one read of the disk.
bool TBufferedFile::ReadThroughWindow(uint8_t* area, int32_t length) {
  if (!table_.Exclusive()) {
    window_.Clear();
    return false;
  }
  if (length > TReadWindow::kSize / 2) return false;
  if (!window_.Covers(readPosition_, length)) {
    if (!window_.Continues(readPosition_)) return false;
    int64_t left = GetDataEnd() - readPosition_;
    if (left < length) return false;
    int32_t fill = static_cast<int32_t>(std::min<int64_t>(left, TReadWindow::kSize));
    window_.Filled(readPosition_, PhysicalRead(window_.Prepare(), fill, true));
    if (!window_.Covers(readPosition_, length)) return false;
  }
  window_.CopyOut(readPosition_, length, area);
  window_.NoteRead(readPosition_, length);
  return true;
}

void TBufferedFile::Distribute(uint8_t* area, int64_t first, int64_t got, int32_t initParam, uint32_t number,
                               int32_t count, int direction, TBuffer*& result) {
  const int32_t disk = GetDiskBufferSize();
  const int64_t pieces = got / disk;
  auto place = [&](int64_t m) {
    int64_t piece = m - first;
    if (piece >= pieces) return;  // beyond a short read
    uint8_t* raw = area + piece * disk;
    TBuffer* buffer = FindCached(static_cast<uint32_t>(m));
    bool load = buffer == nullptr || (!buffer->dirty && buffer->pinCount == 0);
    if (buffer == nullptr) buffer = InsertSorted(TakeSlot(initParam, static_cast<uint32_t>(m)));
    if (load) {
      try {
        buffer->LoadFromDisk(raw);
      } catch (...) {
        Extract(buffer);  // half-loaded contents must not be found later
        throw;
      }
    }
    if (m == number) result = buffer;
  };
  // The buffer asked for is handled last, so it ends up the most recent.
  if (direction == kDirectionBackward) {
    for (int64_t m = first; m <= number; ++m) place(m);
  } else {
    for (int64_t m = first + count - 1; m >= number; --m) place(m);
  }
}

// --- writing

bool TBufferedFile::InsideRead(uint32_t number) {
  if (readLength_ == 0) return false;
  int64_t start = BufferOffset(number);
  return start >= readPosition_ && start + GetDiskBufferSize() <= readPosition_ + readLength_;
}

// The most bytes one write of a run carries (unless one buffer is larger).
constexpr size_t kLongestWrite = size_t{1} << 20;

// The scratch area of one flush, sized for its longest run and zero-filled.
class TBufferedFile::TWriteArea {
 public:
  explicit TWriteArea(size_t size) : bytes_(std::make_unique<uint8_t[]>(size)) {}
  // The first size bytes, zero-filled: only what an earlier run used is zeroed again.
  std::span<uint8_t> Take(size_t size) {
    std::memset(bytes_.get(), 0, std::min(size, used_));
    used_ = std::max(used_, size);
    return {bytes_.get(), size};
  }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t used_ = 0;
};

bool TBufferedFile::FlushBuffers(bool makeRoom) {
  std::vector<TBuffer*> dirty;
  buffers_.ForEach([&](TBuffer* b) {
    if (!b->dirty) return;
    if (b->pinCount > 0) {
      if (makeRoom) return;
      RaiseBuffersCorrupt();
    }
    if (!InsideRead(b->number)) dirty.push_back(b);
  });
  if (dirty.empty()) return false;
  const size_t disk = static_cast<size_t>(CheckedDiskBufferSize());
  // A long run is written a megabyte at a time: its image need not be held
  // whole, and filling the file cache in pieces costs no more writing.
  const size_t maxRun = std::max<size_t>(1, kLongestWrite / disk);
  // Where each run starts in dirty (the last entry is the end).
  std::vector<size_t> starts{0};
  size_t longest = 0;
  for (size_t i = 1; i <= dirty.size(); ++i) {
    if (i < dirty.size() && dirty[i]->number == dirty[i - 1]->number + 1 && i - starts.back() < maxRun)
      continue;
    longest = std::max(longest, i - starts.back());
    starts.push_back(i);
  }
  TWriteArea scratch(longest * disk);
  std::vector<TBuffer*> run;
  for (size_t r = 0; r + 1 < starts.size(); ++r) {
    run.assign(dirty.begin() + static_cast<ptrdiff_t>(starts[r]),
               dirty.begin() + static_cast<ptrdiff_t>(starts[r + 1]));
    WriteRun(run, scratch);
  }
  return true;
}

void TBufferedFile::WriteRun(const std::vector<TBuffer*>& run, TWriteArea& scratch) {
  const int32_t disk = CheckedDiskBufferSize();
  std::span<uint8_t> area = scratch.Take(run.size() * static_cast<size_t>(disk));
  try {
    for (size_t i = 0; i < run.size(); ++i) run[i]->SaveToDisk(area.data() + i * disk);
    TFileLockGuard lock(*this);
    int64_t position = BufferOffset(run.front()->number);
    table_.MarkWrittenSinceOpen();
    window_.Clear();
    WriteBufferAt(area.data(), static_cast<int32_t>(area.size()), position);
  } catch (...) {
    // Not on disk: the changes stay in the cache.
    for (TBuffer* b : run) b->dirty = true;
    throw;
  }
  ++writeRuns_;
}

// --- dropping and trimming

void TBufferedFile::DropBuffers() {
  window_.Clear();
  size_t pinned = 0;
  buffers_.ForEach([&](TBuffer* b) { pinned += b->pinCount > 0 ? 1 : 0; });
  retired_.reserve(retired_.size() + pinned);  // so that retiring below cannot fail
  buffers_.TakeAll([this](std::unique_ptr<TBuffer>&& b) {
    b->next_ = b->previous_ = nullptr;
    if (b->pinCount > 0) {
      // Its user still holds it: it leaves the cache now and goes with its last release.
      b->retired_ = true;
      retired_.push_back(std::move(b));
    }
  });
  mostRecent_ = leastRecent_ = nullptr;
  // Unless a retired buffer still holds its bytes, the slabs go too.
  arena_.FreeWhenIdle();
}

void TBufferedFile::TrimBuffers() {
  const size_t limit = static_cast<size_t>(std::max(GetMaxBufferCount(), 1));
  while (buffers_.size() > limit) {
    TBuffer* victim = FindVictim();
    if (victim == nullptr && !table_.TransactionActive()) {
      FlushBuffers(true);
      victim = FindVictim();
    }
    if (victim == nullptr) break;
    Extract(victim);
  }
  capacity_ = static_cast<int32_t>(std::max(buffers_.size(), limit));
}

}  // namespace zarnik
