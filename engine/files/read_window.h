// TReadWindow: a private copy of a stretch of a file's bytes below the
// buffer cache, for files that nobody else can change while they are open
// (an exclusive table). A buffered file reading forward in small steps fills
// it once and takes the following buffers from it instead of making one
// read of the disk per buffer; any write through the file forgets it.
#pragma once

#include <cstdint>
#include <memory>

namespace zarnik {

class TReadWindow {
 public:
  // Bytes one fill reads.
  static constexpr int32_t kSize = 65536;

  bool Covers(int64_t offset, int32_t length) const;
  // Copies length bytes at offset (Covers must hold).
  void CopyOut(int64_t offset, int32_t length, uint8_t* dest) const;
  // The area to read into, and what was read there.
  uint8_t* Prepare();
  void Filled(int64_t offset, int32_t length);
  // Whether a read at offset continues the reads before it: it starts where
  // the last one ended or a little after (buffers in between were cached).
  bool Continues(int64_t offset) const;
  void NoteRead(int64_t offset, int32_t length) { lastEnd_ = offset + length; }
  // Forgets the contents (and frees them: a closed file keeps nothing).
  void Clear(bool release = false);

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  int64_t start_ = 0;
  int32_t length_ = 0;
  int64_t lastEnd_ = -1;
};

}  // namespace zarnik
