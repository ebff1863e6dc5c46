// TPage: an index page in the index file's buffer cache: the cached buffer
// together with the page in its unpacked form. The page header and the
// entries live in the TPageContents part; the buffer's own byte area is not
// used.
#pragma once

#include "engine/files/buffered_file.h"
#include "engine/index/page_contents.h"

namespace zarnik {

class TIndexFile;

class TPage : public TBuffer, public TPageContents {
 public:
  explicit TPage(TIndexFile& file);

  // Also copies the page header, the index properties and the entries.
  void Assign(const TBuffer& other) override;
  // The entry area (page size - 13 bytes) packed and unpacked.
  void SetData(const uint8_t* source) override;
  void GetData(uint8_t* dest) const override;
  // initParam is the index slot whose properties the page takes (any other
  // value: all zero).
  void Clear(int32_t initParam) override;
  void LoadFromDisk(uint8_t* raw) override;
  void SaveToDisk(uint8_t* raw) override;
  bool SameAs(const TBuffer& other) const override;
  bool SameData(const uint8_t* bytes) const override;

 private:
  std::vector<uint8_t> Image() const;
  TIndexFile& indexFile_;
};

}  // namespace zarnik
