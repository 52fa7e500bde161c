#include "screen/texts.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace pcpos::screen {
namespace {

std::string PersianNumber(std::int64_t value) {
  std::string out;
  for (char c : std::to_string(value)) {
    if (c >= '0' && c <= '9') {
      // U+06F0 + digit: 0xDB 0xB0.. in UTF-8.
      out += '\xDB';
      out += static_cast<char>(0xB0 + (c - '0'));
    } else {
      out += c;
    }
  }
  return out;
}

// Fixed-point with `decimals` places, whatever the process's locale.
std::string Fixed(double value, int decimals) {
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, decimals);
  return std::string(buffer.data(), result.ptr);
}

// One code point from UTF-8 at `i` (advanced); a stray byte reads as itself.
char32_t DecodeAt(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  std::size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  if (i + extra >= s.size()) extra = 0;
  char32_t cp = lead;
  if (extra > 0) cp &= 0x3Fu >> extra;
  for (std::size_t k = 1; k <= extra; ++k) cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  i += 1 + extra;
  return cp;
}

void Encode(char32_t cp, std::string& out) {
  const auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

// Lower case for the scripts a program file name is written in: Latin with its
// Western European letters, Greek and Cyrillic; other characters stay as they are.
char32_t Lower(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c >= 0x100 && c <= 0x137 && c % 2 == 0 && c != 0x130) return c + 1;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

}  // namespace

std::string WindowCaption(bool simulated_reader) {
  std::string caption = "تست دستگاه کارت خوان سلوارین - 1398/12/05";
  if (simulated_reader) caption += " (شبیه‌ساز)";
  return caption;
}

std::string WaitingText(std::int64_t waited_s, std::int64_t left_s) {
  return "در انتظار پاسخ کارت خوان… " + PersianNumber(waited_s) + " ثانیه گذشته، " +
         PersianNumber(left_s) + " ثانیه مانده";
}

std::string ConnectingText(std::int64_t waited_s, std::int64_t left_s) {
  return "در حال اتصال به کارت خوان… " + PersianNumber(waited_s) + " ثانیه گذشته، " +
         PersianNumber(left_s) + " ثانیه مانده";
}

// The reader's own time: from the request leaving to the answer read.
std::string RawResponseCaption(const PaymentReport* report) {
  std::string caption = "Raw Response";
  if (report == nullptr || !report->timings.sent_ms || !report->timings.answer_ms) return caption;
  const double ms = *report->timings.answer_ms - *report->timings.sent_ms;
  const std::string took = ms >= 1000 ? Fixed(ms / 1000, 2) + " s" : Fixed(ms, 1) + " ms";
  return caption + " (reader answered in " + took + ")";
}

std::string ResultLineDisplayText(std::string_view text) {
  return std::string(text.substr(0, std::min(text.find_first_of("\r\n"), text.size())));
}

TextDirection DirectionOf(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const char32_t c = DecodeAt(text, i);
    const bool digit = (c >= 0x0660 && c <= 0x0669) || (c >= 0x06F0 && c <= 0x06F9);
    if (!digit && ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
                   (c >= 0xFE70 && c <= 0xFEFC))) {
      return TextDirection::RightToLeft;
    }
    if ((c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || (c >= 0x00C0 && c <= 0x024F) ||
        (c >= 0x0370 && c <= 0x052F)) {
      return TextDirection::LeftToRight;
    }
  }
  return TextDirection::RightToLeft;
}

std::string TitleFromExecutable(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title;
  std::size_t i = 0;
  if (i < name.size()) Encode(DecodeAt(name, i), title);
  while (i < name.size()) Encode(Lower(DecodeAt(name, i)), title);
  return title;
}

std::string EventErrorText(std::string_view message) {
  // The last byte of a character beyond ASCII is above "." as well.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
    return std::string(message) + ".";
  }
  return std::string(message);
}

std::string StartupErrorText(std::string_view kind, std::string_view module, std::uintptr_t address,
                             std::string_view message) {
  std::array<char, 9> hex{};
  std::snprintf(hex.data(), hex.size(), "%08X",
                static_cast<unsigned>(static_cast<std::uint32_t>(address)));
  const std::string_view period = !message.empty() && message.back() != '.' ? "." : "";
  std::string text = "Exception ";
  text.append(kind).append(" in module ").append(module).append(" at ").append(hex.data());
  text.append(".\r\n").append(message).append(period).append("\r\n");
  return text;
}

}  // namespace pcpos::screen
