#include "text/text.h"

#include <cstdint>

namespace pcpos {
namespace {

// One step of a strict UTF-8 reading. `code_point` is -1 for a byte that does
// not start a well-formed sequence (stray continuation, truncated or overlong
// form, surrogate, beyond U+10FFFF); such a byte is consumed alone, so each
// byte of a broken sequence counts as one character of its own.
struct Step {
  std::int32_t code_point;
  std::size_t length;
};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

Step DecodeAt(std::string_view text, std::size_t at) {
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

}  // namespace

std::string_view TrimControl(std::string_view text) {
  const auto is_control = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!text.empty() && is_control(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_control(text.back())) text.remove_suffix(1);
  return text;
}

std::string AsciiDigits(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const Step step = DecodeAt(utf8, at);
    if (step.code_point >= 0x06F0 && step.code_point <= 0x06F9) {
      out.push_back(static_cast<char>('0' + (step.code_point - 0x06F0)));
    } else if (step.code_point >= 0x0660 && step.code_point <= 0x0669) {
      out.push_back(static_cast<char>('0' + (step.code_point - 0x0660)));
    } else {
      out.append(utf8.substr(at, step.length));
    }
    at += step.length;
  }
  return out;
}

std::string ToAscii(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const Step step = DecodeAt(utf8, at);
    out.push_back(
        step.code_point >= 0 && step.code_point < 0x80 ? static_cast<char>(step.code_point) : '?');
    at += step.length;
  }
  return out;
}

std::string FromAscii(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) > 127) c = '?';
  }
  return out;
}

std::size_t CharacterCount(std::string_view utf8) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < utf8.size(); at += DecodeAt(utf8, at).length) ++count;
  return count;
}

std::string NormaliseLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace pcpos
