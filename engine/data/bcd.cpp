#include "engine/data/bcd.h"

#include <charconv>
#include <algorithm>
#include <cmath>
#include <limits>

namespace zarnik {

namespace {

using Wide = unsigned __int128;

constexpr int kCurrencyPlaces = 4;
constexpr int kMaxWideDigits = 38;  // every 38-digit number fits in 128 bits
constexpr uint8_t kSignBit = 0x80;
constexpr uint8_t kPlacesMask = 0x3F;
constexpr size_t kDigitBytesOffset = 2;
constexpr size_t kMaxDigits = 64;

Wide PowerOfTen(int exponent) {
  Wide result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

// mantissa / divisor rounded half to even.
Wide DivideRounded(Wide mantissa, Wide divisor) {
  Wide quotient = mantissa / divisor, remainder = mantissa % divisor;
  if (remainder * 2 > divisor || (remainder * 2 == divisor && (quotient & 1) != 0)) ++quotient;
  return quotient;
}

// A decimal mantissa with the given places as a currency (4 places).
std::optional<TCurrency> ScaleToCurrency(Wide mantissa, int places, bool negative) {
  Wide scaled;
  if (places <= kCurrencyPlaces) {
    Wide factor = PowerOfTen(kCurrencyPlaces - places);
    if (mantissa > std::numeric_limits<Wide>::max() / factor) return std::nullopt;
    scaled = mantissa * factor;
  } else if (places - kCurrencyPlaces > kMaxWideDigits) {
    scaled = 0;
  } else {
    scaled = DivideRounded(mantissa, PowerOfTen(places - kCurrencyPlaces));
  }
  Wide limit = static_cast<Wide>(std::numeric_limits<TCurrency>::max()) + (negative ? 1 : 0);
  if (scaled > limit) return std::nullopt;
  if (negative) return static_cast<TCurrency>(-static_cast<__int128>(scaled));
  return static_cast<TCurrency>(scaled);
}

size_t DigitCount(Wide value) {
  size_t count = 1;
  while (value >= 10) value /= 10, ++count;
  return count;
}

}  // namespace

std::optional<TBcd> CurrencyToBcd(TCurrency value, uint8_t precision, uint8_t places) {
  if (precision == 0 || precision > kMaxDigits || places > precision) return std::nullopt;
  bool negative = value < 0;
  Wide magnitude = negative ? static_cast<Wide>(-static_cast<__int128>(value)) : static_cast<Wide>(value);
  // The value at the places: fewer than 4 round the currency, more append zeros.
  Wide number = places < kCurrencyPlaces ? DivideRounded(magnitude, PowerOfTen(kCurrencyPlaces - places)) : magnitude;
  size_t zeros = places > kCurrencyPlaces && number != 0 ? places - kCurrencyPlaces : 0;
  if (DigitCount(number) + zeros > precision) return std::nullopt;
  TBcd bcd{};
  bcd[0] = precision;
  bcd[1] = places;
  if (negative && number != 0) bcd[1] |= kSignBit;
  for (size_t i = precision - zeros; i-- > 0 && number != 0; number /= 10) {
    uint8_t digit = static_cast<uint8_t>(number % 10);
    bcd[kDigitBytesOffset + i / 2] |= static_cast<uint8_t>(i % 2 == 0 ? digit << 4 : digit);
  }
  return bcd;
}

std::optional<TCurrency> BcdToCurrency(std::span<const uint8_t> bcd) {
  if (bcd.size() < kDigitBytesOffset) return std::nullopt;
  size_t available = 2 * (bcd.size() - kDigitBytesOffset);
  size_t precision = std::min<size_t>({size_t{bcd[0]}, kMaxDigits, available});
  Wide mantissa = 0;
  for (size_t i = 0; i < precision; ++i) {
    uint8_t pair = bcd[kDigitBytesOffset + i / 2];
    uint8_t digit = i % 2 == 0 ? pair >> 4 : pair & 0x0F;
    if (digit > 9 || mantissa > (std::numeric_limits<Wide>::max() - 9) / 10) return std::nullopt;
    mantissa = mantissa * 10 + digit;
  }
  return ScaleToCurrency(mantissa, bcd[1] & kPlacesMask, (bcd[1] & kSignBit) != 0);
}

static std::optional<TCurrency> ParseCurrencyWithExponent(std::string_view text) {
  double value = 0;
  const char* first = text.data() + (text.starts_with('+') ? 1 : 0);
  auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  double scaled = std::nearbyint(value * kCurrencyScale);
  if (!(std::fabs(scaled) < 9.2e18)) return std::nullopt;
  return static_cast<TCurrency>(scaled);
}

std::optional<TCurrency> ParseCurrency(std::string_view text) {
  if (text.find_first_of("eE") != std::string_view::npos) return ParseCurrencyWithExponent(text);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  Wide mantissa = 0;
  int digits = 0, places = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    if (mantissa == 0 && c == '0' && !point) continue;  // leading zeros
    if (++digits > kMaxWideDigits) return std::nullopt;
    mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
    if (point) ++places;
  }
  bool anyDigit = text.find_first_of("0123456789") != std::string_view::npos;
  if (!anyDigit) return std::nullopt;
  return ScaleToCurrency(mantissa, places, negative);
}

}  // namespace zarnik
