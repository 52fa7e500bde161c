// The strict UTF-8 reading that the text leaf's conversions share.
// Internal to text/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pcpos::utf8_detail {

// One step of a strict UTF-8 reading. `code_point` is -1 for a byte that does
// not start a well-formed sequence (stray continuation, truncated or overlong
// form, surrogate, beyond U+10FFFF); such a byte is consumed alone, so each
// byte of a broken sequence counts as one character of its own.
struct Step {
  std::int32_t code_point;
  std::size_t length;
};

inline bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

inline Step DecodeAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};

  std::size_t length = 0;
  std::int32_t code_point = 0;
  // The narrower range of the second byte rules out overlong forms,
  // surrogates and code points above U+10FFFF.
  unsigned char second_min = 0x80;
  unsigned char second_max = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0F;
    if (lead == 0xE0) second_min = 0xA0;
    if (lead == 0xED) second_max = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07;
    if (lead == 0xF0) second_min = 0x90;
    if (lead == 0xF4) second_max = 0x8F;
  } else {
    return {-1, 1};
  }
  if (at + length > text.size()) return {-1, 1};
  if (byte(1) < second_min || byte(1) > second_max) return {-1, 1};
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(byte(i))) return {-1, 1};
    code_point = (code_point << 6) | (byte(i) & 0x3F);
  }
  return {code_point, length};
}

}  // namespace pcpos::utf8_detail
