// Conversion of the tool's UTF-8 texts to and from the single-byte Windows-1252
// characters that tables store (and the 16-bit units of wide strings). A
// character without a stored form is refused with ECliError naming it.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) map to the control characters of the same number, as Windows maps
// them, so every stored byte string reads back and stores again unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zarnik::cli {

std::string Utf8ToWindows1252(std::string_view utf8);
std::string Windows1252ToUtf8(std::string_view text);

// UTF-16 code units (surrogate pairs for characters beyond U+FFFF).
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates (a damaged or foreign value) become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace zarnik::cli
