#include "text/utf16.h"

#include "text/utf8_step.h"

namespace pcpos {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

template <typename Unit>
std::basic_string<Unit> ToUtf16(std::string_view utf8) {
  std::basic_string<Unit> out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const utf8_detail::Step step = utf8_detail::DecodeAt(utf8, at);
    at += step.length;
    const char32_t code_point =
        step.code_point < 0 ? kReplacement : static_cast<char32_t>(step.code_point);
    if (code_point < 0x10000) {
      out.push_back(static_cast<Unit>(code_point));
    } else {
      const char32_t above = code_point - 0x10000;
      out.push_back(static_cast<Unit>(0xD800 + (above >> 10)));
      out.push_back(static_cast<Unit>(0xDC00 + (above & 0x3FF)));
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  const auto put = [&out](char32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

template <typename Unit>
std::string FromUtf16(std::basic_string_view<Unit> utf16) {
  const auto is_high = [](char32_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  const auto is_low = [](char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  std::string out;
  out.reserve(utf16.size() * 2);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const auto unit = static_cast<char32_t>(static_cast<char16_t>(utf16[i]));
    if (is_high(unit) && i + 1 < utf16.size()) {
      const auto next = static_cast<char32_t>(static_cast<char16_t>(utf16[i + 1]));
      if (is_low(next)) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, is_high(unit) || is_low(unit) ? kReplacement : unit);
  }
  return out;
}

}  // namespace

std::u16string Utf16(std::string_view utf8) { return ToUtf16<char16_t>(utf8); }
std::string Utf8(std::u16string_view utf16) { return FromUtf16(utf16); }

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t));
std::wstring Wide(std::string_view utf8) { return ToUtf16<wchar_t>(utf8); }
std::string Utf8(std::wstring_view wide) { return FromUtf16(wide); }
#endif

}  // namespace pcpos
