#include "platform/locale.h"

#include <array>

namespace zarnik::platform {

namespace {

struct CaseTables {
  std::array<uint8_t, 256> upper;
  std::array<uint8_t, 256> lower;
};

constexpr CaseTables MakeCaseTables() {
  CaseTables t{};
  for (int c = 0; c < 256; ++c) {
    t.upper[c] = static_cast<uint8_t>(c);
    t.lower[c] = static_cast<uint8_t>(c);
  }
  auto pair = [&t](int lowerChar, int upperChar) {
    t.upper[lowerChar] = static_cast<uint8_t>(upperChar);
    t.lower[upperChar] = static_cast<uint8_t>(lowerChar);
  };
  for (int c = 'a'; c <= 'z'; ++c) pair(c, c - 0x20);
  for (int c = 0xE0; c <= 0xFE; ++c)
    if (c != 0xF7) pair(c, c - 0x20);
  pair(0x9A, 0x8A);
  pair(0x9C, 0x8C);
  pair(0x9E, 0x8E);
  pair(0xFF, 0x9F);
  return t;
}

constexpr CaseTables kCase = MakeCaseTables();

}  // namespace

bool IsLocaleInstalled(uint32_t localeId) { return localeId == kBuiltInLocaleId; }

uint8_t CharUpper(uint8_t c) { return kCase.upper[c]; }
uint8_t CharLower(uint8_t c) { return kCase.lower[c]; }

void UpperCaseInPlace(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(kCase.upper[static_cast<uint8_t>(text[i])]);
}

void LowerCaseInPlace(char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(kCase.lower[static_cast<uint8_t>(text[i])]);
}

std::string UpperCase(std::string_view text) {
  std::string result(text);
  UpperCaseInPlace(result.data(), result.size());
  return result;
}

std::string LowerCase(std::string_view text) {
  std::string result(text);
  LowerCaseInPlace(result.data(), result.size());
  return result;
}

int CompareText(std::string_view a, std::string_view b, bool ignoreCase) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    uint8_t ca = static_cast<uint8_t>(a[i]);
    uint8_t cb = static_cast<uint8_t>(b[i]);
    if (ignoreCase) {
      ca = kCase.upper[ca];
      cb = kCase.upper[cb];
    }
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string_view TrimSpaces(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<uint8_t>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<uint8_t>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

bool SameName(std::string_view a, std::string_view b) {
  return CompareText(TrimSpaces(a), TrimSpaces(b), true) == 0;
}

}  // namespace zarnik::platform
