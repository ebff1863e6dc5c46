#include "cli/base64.h"

namespace zarnik::cli {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

std::string EncodeBase64(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    size_t left = bytes.size() - i;
    uint32_t v = uint32_t{bytes[i]} << 16 | (left > 1 ? uint32_t{bytes[i + 1]} << 8 : 0) |
                 (left > 2 ? bytes[i + 2] : 0);
    out += kAlphabet[v >> 18 & 63];
    out += kAlphabet[v >> 12 & 63];
    out += left > 1 ? kAlphabet[v >> 6 & 63] : '=';
    out += left > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  std::vector<uint8_t> out;
  uint32_t bits = 0;
  size_t digits = 0, padding = 0;
  for (char c : text) {
    if (IsBlank(c)) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    int value = DigitValue(c);
    if (value < 0 || padding > 0) return std::nullopt;
    bits = bits << 6 | static_cast<uint32_t>(value);
    if (++digits % 4 == 0) {
      out.push_back(static_cast<uint8_t>(bits >> 16));
      out.push_back(static_cast<uint8_t>(bits >> 8));
      out.push_back(static_cast<uint8_t>(bits));
      bits = 0;
    }
  }
  size_t tail = digits % 4;
  if (tail == 1 || padding > 2 || (padding > 0 && (tail + padding) % 4 != 0)) return std::nullopt;
  if (tail == 2) out.push_back(static_cast<uint8_t>(bits >> 4));
  if (tail == 3) {
    out.push_back(static_cast<uint8_t>(bits >> 10));
    out.push_back(static_cast<uint8_t>(bits >> 2));
  }
  return out;
}

}  // namespace zarnik::cli
