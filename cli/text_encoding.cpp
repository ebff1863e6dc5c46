#include "cli/text_encoding.h"

#include <array>
#include <cstdio>

#include "cli/cli_error.h"

namespace zarnik::cli {

namespace {

// Unicode of bytes 0x80-0x9F; 0xA0-0xFF are U+00A0-U+00FF.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t ByteToUnicode(uint8_t c) { return c >= 0x80 && c < 0xA0 ? kHighControls[c - 0x80] : c; }

std::string CodePointName(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// The byte of a code point; -1 when it has none.
int UnicodeToByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
  return -1;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

[[noreturn]] void RaiseInvalidUtf8() { throw ECliError("the text is not valid UTF-8"); }

// Decodes the code point at pos and moves past it; refuses overlong forms,
// surrogates and values beyond U+10FFFF.
char32_t NextCodePoint(std::string_view utf8, size_t& pos) {
  uint8_t lead = static_cast<uint8_t>(utf8[pos++]);
  if (lead < 0x80) return lead;
  size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (extra == 0 || lead > 0xF4 || pos + extra > utf8.size()) RaiseInvalidUtf8();
  char32_t c = lead & (0x3F >> extra);
  for (size_t i = 0; i < extra; ++i) {
    uint8_t next = static_cast<uint8_t>(utf8[pos++]);
    if ((next & 0xC0) != 0x80) RaiseInvalidUtf8();
    c = c << 6 | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) RaiseInvalidUtf8();
  return c;
}

}  // namespace

std::string Utf8ToWindows1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t c = NextCodePoint(utf8, pos);
    int byte = UnicodeToByte(c);
    if (byte < 0) throw ECliError("the character " + CodePointName(c) + " has no Windows-1252 form");
    out += static_cast<char>(byte);
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) AppendUtf8(out, ByteToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t c = NextCodePoint(utf8, pos);
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace zarnik::cli
