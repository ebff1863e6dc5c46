#include "engine/index/page.h"

#include <algorithm>
#include <cstring>

#include "engine/index/index_file.h"

namespace zarnik {

// The entries are kept unpacked; the byte area of the buffer is not needed.
TPage::TPage(TIndexFile& file) : TBuffer(file, TWithoutBytes{}), indexFile_(file) {}

void TPage::Assign(const TBuffer& other) {
  dirty = other.dirty;
  number = other.number;
  if (const auto* page = dynamic_cast<const TPage*>(&other)) static_cast<TPageContents&>(*this) = *page;
}

std::vector<uint8_t> TPage::Image() const {
  std::vector<uint8_t> image(indexFile_.PageSize());
  if (!EncodeTo(image)) indexFile_.RaiseBuffersCorrupt();
  return image;
}

void TPage::SetData(const uint8_t* source) {
  std::vector<uint8_t> image = Image();
  std::memcpy(image.data() + kHeaderLength, source, image.size() - kHeaderLength);
  DecodeFrom(image);
  dirty = true;
}

void TPage::GetData(uint8_t* dest) const {
  std::vector<uint8_t> image = Image();
  std::memcpy(dest, image.data() + kHeaderLength, image.size() - kHeaderLength);
}

void TPage::Clear(int32_t initParam) {
  TPageContents::Clear(indexFile_.PropsOf(initParam));
  dirty = false;
}

void TPage::LoadFromDisk(uint8_t* raw) {
  DecipherImage(raw);
  DecodeFrom(std::span<const uint8_t>(raw, indexFile_.PageSize()));
  dirty = false;
}

void TPage::SaveToDisk(uint8_t* raw) {
  if (!EncodeTo(std::span<uint8_t>(raw, indexFile_.PageSize()))) indexFile_.RaiseBuffersCorrupt();
  EncipherImage(raw);
  dirty = false;
}

bool TPage::SameAs(const TBuffer& other) const {
  const auto* page = dynamic_cast<const TPage*>(&other);
  return page != nullptr && Image() == page->Image();
}

bool TPage::SameData(const uint8_t* bytes) const {
  std::vector<uint8_t> image = Image();
  return std::equal(image.begin() + kHeaderLength, image.end(), bytes);
}

}  // namespace zarnik
