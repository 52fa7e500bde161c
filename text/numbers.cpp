#include "text/numbers.h"

#include <climits>
#include <string>

#include "text/text.h"

namespace pcpos {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal digits to the end, taken as a 32-bit pattern. Leading zeros do
// not count towards the eight digits that fit.
std::optional<std::uint32_t> ParseHex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  int significant = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    if (value == 0 && d == 0) continue;
    if (++significant > 8) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  return value;
}

// Decimal digits to the end; the magnitude may reach 2^31 so that the most
// negative value reads. Stops early so that long texts cannot overflow.
std::optional<std::int64_t> ParseDecimalMagnitude(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > kLimit) return std::nullopt;
  }
  return value;
}

}  // namespace

std::string PadNumber(std::int64_t n, int width, char fill) {
  if (width <= 0) return {};
  const auto w = static_cast<std::size_t>(width);
  const std::string padded = std::string(w, fill) + std::to_string(n);
  return padded.substr(padded.size() - w);
}

std::optional<std::int32_t> ParseStrictInt(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;

  std::string_view hex_digits;
  bool is_hex = true;
  if (text.front() == '$' || text.front() == 'x' || text.front() == 'X') {
    hex_digits = text.substr(1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex_digits = text.substr(2);
  } else {
    is_hex = false;
  }

  if (is_hex) {
    const auto pattern = ParseHex(hex_digits);
    if (!pattern) return std::nullopt;
    // Negation on the unsigned pattern wraps instead of overflowing, so
    // "-$80000000" stays the most negative value.
    const std::uint32_t bits = negative ? 0u - *pattern : *pattern;
    return static_cast<std::int32_t>(bits);
  }

  const auto magnitude = ParseDecimalMagnitude(text);
  if (!magnitude) return std::nullopt;
  const std::int64_t value = negative ? -*magnitude : *magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::int32_t CleanInt(std::string_view text) {
  std::string kept;
  for (char c : TrimControl(text)) {
    if (c != ',' && c != '(' && c != ')') kept.push_back(c);
  }
  return ParseStrictInt(kept).value_or(0);
}

}  // namespace pcpos
