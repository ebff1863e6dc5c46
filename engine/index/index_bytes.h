// Little-endian integers and short strings on the byte images of the index
// file. Callers check that the image holds the bytes they address; these
// helpers only move bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zarnik::index_bytes {

inline uint16_t Get16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t GetInt32(const uint8_t* p) {
  return int32_t(Get32(p));
}

inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// A short string in a fixed slot of 1 + capacity bytes: a length byte, the
// characters, zero fill. A stored length beyond the slot is cut to it.
inline std::string GetShortString(const uint8_t* p, size_t capacity) {
  size_t length = p[0] < capacity ? p[0] : capacity;
  return std::string(reinterpret_cast<const char*>(p + 1), length);
}
inline void PutShortString(uint8_t* p, size_t capacity, std::string_view text) {
  size_t length = text.size() < capacity ? text.size() : capacity;
  std::memset(p, 0, capacity + 1);
  p[0] = uint8_t(length);
  std::memcpy(p + 1, text.data(), length);
}

}  // namespace zarnik::index_bytes
