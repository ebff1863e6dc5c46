// Little-endian integers, IEEE doubles and length-prefixed short strings on
// byte spans: the only way the engine reads or writes the numbers in its files.
// Callers check that the span holds the bytes they ask for.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

namespace zarnik::platform {

template <typename T>
inline T GetLittleEndian(std::span<const uint8_t> bytes, size_t offset) {
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(static_cast<U>(bytes[offset + i]) << (8 * i));
  return static_cast<T>(value);
}

template <typename T>
inline void PutLittleEndian(std::span<uint8_t> bytes, size_t offset, T value) {
  using U = std::make_unsigned_t<T>;
  U bits = static_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) bytes[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

inline uint8_t GetUInt8(std::span<const uint8_t> b, size_t o) { return b[o]; }
inline uint16_t GetUInt16(std::span<const uint8_t> b, size_t o) { return GetLittleEndian<uint16_t>(b, o); }
inline int16_t GetInt16(std::span<const uint8_t> b, size_t o) { return GetLittleEndian<int16_t>(b, o); }
inline uint32_t GetUInt32(std::span<const uint8_t> b, size_t o) { return GetLittleEndian<uint32_t>(b, o); }
inline int32_t GetInt32(std::span<const uint8_t> b, size_t o) { return GetLittleEndian<int32_t>(b, o); }
inline int64_t GetInt64(std::span<const uint8_t> b, size_t o) { return GetLittleEndian<int64_t>(b, o); }
inline double GetFloat64(std::span<const uint8_t> b, size_t o) {
  return std::bit_cast<double>(GetLittleEndian<uint64_t>(b, o));
}

inline void PutUInt8(std::span<uint8_t> b, size_t o, uint8_t v) { b[o] = v; }
inline void PutUInt16(std::span<uint8_t> b, size_t o, uint16_t v) { PutLittleEndian(b, o, v); }
inline void PutInt16(std::span<uint8_t> b, size_t o, int16_t v) { PutLittleEndian(b, o, v); }
inline void PutUInt32(std::span<uint8_t> b, size_t o, uint32_t v) { PutLittleEndian(b, o, v); }
inline void PutInt32(std::span<uint8_t> b, size_t o, int32_t v) { PutLittleEndian(b, o, v); }
inline void PutInt64(std::span<uint8_t> b, size_t o, int64_t v) { PutLittleEndian(b, o, v); }
inline void PutFloat64(std::span<uint8_t> b, size_t o, double v) {
  PutLittleEndian(b, o, std::bit_cast<uint64_t>(v));
}

// A short string in a slot of 1 + capacity bytes: a length byte, then the
// characters. A length byte above the capacity (a damaged file) is cut to it.
inline std::string GetShortString(std::span<const uint8_t> b, size_t o, size_t capacity) {
  size_t length = std::min<size_t>(b[o], capacity);
  return std::string(reinterpret_cast<const char*>(b.data() + o + 1), length);
}

// Writes at most capacity characters and zero-fills the rest of the slot.
inline void PutShortString(std::span<uint8_t> b, size_t o, size_t capacity, std::string_view text) {
  size_t length = std::min(text.size(), capacity);
  std::memset(b.data() + o, 0, capacity + 1);
  b[o] = static_cast<uint8_t>(length);
  if (length > 0) std::memcpy(b.data() + o + 1, text.data(), length);
}

}  // namespace zarnik::platform
