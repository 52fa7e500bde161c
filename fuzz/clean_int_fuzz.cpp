// CleanInt reads every number taken from a text: the port the operator types,
// the length prefixes and the response code a reader sends. It must never fail,
// must agree with plain decimal reading, and its result must read back.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/numbers.h"
#include "text/text.h"

namespace {

// Independent decimal reading of "[+-]digits": the value when it fits 32 bits,
// nullopt for a text of another form, and 0 for one out of range.
std::optional<std::int32_t> PlainDecimal(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  while (s.size() > 1 && s.front() == '0') s.remove_prefix(1);
  if (s.size() > 10) return 0;
  std::int64_t v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return 0;
  return static_cast<std::int32_t>(v);
}

// The same number in Persian digits, as a Persian keyboard types it.
std::string PersianDigits(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    if (c >= '0' && c <= '9') {
      out += "\xDB";
      out += static_cast<char>(0xB0 + (c - '0'));
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::int32_t value = pcpos::CleanInt(text);

  const std::string decimal = std::to_string(value);
  FUZZ_CHECK(pcpos::CleanInt(decimal) == value);
  FUZZ_CHECK(pcpos::CleanInt(pcpos::AsciiDigits(PersianDigits(decimal))) == value);
  // Characters 0..32 around a number never change it.
  FUZZ_CHECK(pcpos::CleanInt(" \t" + text + "\r\n") == value);

  if (const auto plain = PlainDecimal(pcpos::TrimControl(text))) FUZZ_CHECK(*plain == value);

  // The strict reading is the same number wherever it succeeds on the trimmed text.
  if (const auto strict = pcpos::ParseStrictInt(pcpos::TrimControl(text))) {
    const std::string_view t = pcpos::TrimControl(text);
    if (t.find_first_of(",()") == std::string_view::npos) FUZZ_CHECK(*strict == value);
  }
  return 0;
}
