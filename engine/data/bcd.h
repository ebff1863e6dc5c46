// The 34-byte binary-coded decimal values of BCD fields and their conversion
// to and from a 64-bit fixed-point currency (the value times 10,000), through
// which every BCD value passes.
//
// Layout: byte 0 precision (number of digits used, at most 64); byte 1 bit 7
// the sign (1 = negative), bit 6 a "special" mark, bits 0-5 the decimal places;
// bytes 2-33 the digits as packed nibbles, high nibble first. The precision
// digits are right-aligned as one number whose last "places" digits are the
// fraction: nibble i has weight 10^(precision - places - 1 - i).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zarnik {

using TBcd = std::array<uint8_t, 34>;
using TCurrency = int64_t;  // value x 10,000

constexpr int kCurrencyScale = 10000;
constexpr uint8_t kBcdPrecision = 32;

// The currency as a BCD of the given precision and places; the value is
// rounded to the places (half to even, as the platform's conversion does).
// Nothing when the value does not fit in precision digits or the places are
// more than the precision.
std::optional<TBcd> CurrencyToBcd(TCurrency value, uint8_t precision, uint8_t places);

// The BCD value as a currency rounded to 4 places; nothing when it does not fit.
// Reads only the bytes it is given (a shorter span reads as fewer digits).
std::optional<TCurrency> BcdToCurrency(std::span<const uint8_t> bcd);

// A decimal text ("-12.3456", "7", "1.5e3") as a currency rounded to 4 places.
std::optional<TCurrency> ParseCurrency(std::string_view text);

}  // namespace zarnik
