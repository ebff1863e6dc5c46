// Base64 (the standard alphabet with "=" padding) for the binary values of the
// tool's JSON forms, {"base64": "..."}.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zarnik::cli {

std::string EncodeBase64(std::span<const uint8_t> bytes);
// Nothing for a text that is not base64 (a wrong length, a character outside
// the alphabet, padding inside the text); blanks and line breaks are skipped.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

}  // namespace zarnik::cli
