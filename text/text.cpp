#include "text/text.h"

#include "text/utf8_step.h"

namespace pcpos {

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
    const utf8_detail::Step step = utf8_detail::DecodeAt(utf8, at);
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
    const utf8_detail::Step step = utf8_detail::DecodeAt(utf8, at);
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
  for (std::size_t at = 0; at < utf8.size(); at += utf8_detail::DecodeAt(utf8, at).length) ++count;
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
