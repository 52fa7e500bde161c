#include "text/text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace pcpos {
namespace {

using namespace std::string_literals;

TEST(TrimControl, RemovesCodesUpTo32AtBothEndsOnly) {
  EXPECT_EQ(TrimControl(" \t\r\n\x01"
                        "a b\x1F \0"s),
            "a b");
  EXPECT_EQ(TrimControl("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");  // no-break space stays
  EXPECT_EQ(TrimControl(" \r\n "), "");
  EXPECT_EQ(TrimControl(""), "");
}

TEST(AsciiDigits, PersianAndArabicIndicDigitsBecomeAscii) {
  EXPECT_EQ(AsciiDigits("۰۱۲۳۴۵۶۷۸۹"), "0123456789");
  EXPECT_EQ(AsciiDigits("٠١٢٣٤٥٦٧٨٩"), "0123456789");
  EXPECT_EQ(AsciiDigits("۹,۰۵۳"), "9,053");
  // Neighbours of the digit ranges, other text and broken bytes are kept.
  EXPECT_EQ(AsciiDigits("\u06EF\u06FA\u065F\u066A"), "\u06EF\u06FA\u065F\u066A");
  EXPECT_EQ(AsciiDigits("a\xDB"
                        "1\xFF"),
            "a\xDB"
            "1\xFF");
}

// Each case: input, its ASCII form. The character count must always equal the
// length of the ASCII form, so the request's length prefix matches its bytes.
TEST(ToAscii, EveryCharacterBecomesOneByte) {
  const struct {
    std::string utf8;
    std::string ascii;
  } cases[] = {
      {"1000", "1000"},
      {"\0a"s, "\0a"s},
      {"ریال", "????"},
      {"\u00E9\u20AC\U0001F600x", "???x"},
      {"\xFF\xFE", "??"},  // bytes that never start a sequence
      {"\x80\xBF", "??"},  // stray continuation bytes
      {"\xE2\x82", "??"},  // truncated three-byte sequence
      {"\xE2\x82"
       "A",
       "??A"},                       // interrupted sequence
      {"\xC0\xAF", "??"},            // overlong "/"
      {"\xE0\x80\xAF", "???"},       // overlong three-byte form
      {"\xF0\x80\x80\xAF", "????"},  // overlong four-byte form
      {"\xED\xA0\x80", "???"},       // surrogate U+D800
      {"\xF4\x90\x80\x80", "????"},  // above U+10FFFF
      {"\xF4\x8F\xBF\xBF", "?"},     // U+10FFFF itself is valid
      {"\xEF\xBF\xBF", "?"},         // U+FFFF
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToAscii(c.utf8), c.ascii) << testing::PrintToString(c.utf8);
    EXPECT_EQ(CharacterCount(c.utf8), c.ascii.size()) << testing::PrintToString(c.utf8);
  }
}

TEST(ToAscii, ByteCountAlwaysMatchesCharacterCount) {
  // Random bytes, biased towards the lead and continuation ranges so that
  // broken and valid sequences both turn up often.
  std::mt19937 random(20240229);
  std::uniform_int_distribution<int> pick(0, 255);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    for (int i = round % 12; i > 0; --i) {
      const int b = pick(random);
      bytes.push_back(static_cast<char>(b < 128 ? 0x80 | (b & 0x7F) : b));
    }
    const std::string ascii = ToAscii(bytes);
    ASSERT_EQ(ascii.size(), CharacterCount(bytes)) << testing::PrintToString(bytes);
    for (const char c : ascii) ASSERT_LT(static_cast<unsigned char>(c), 128);
  }
}

TEST(FromAscii, HighBytesBecomeQuestionMarks) {
  EXPECT_EQ(FromAscii("@@ZRM@@\0\x7F"s), "@@ZRM@@\0\x7F"s);
  EXPECT_EQ(FromAscii("a\x80\xFF"
                      "b"),
            "a??b");
}

TEST(NormaliseLineBreaks, EveryBreakBecomesCrLf) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"a\r\nb", "a\r\nb"},         {"a\rb", "a\r\nb"}, {"a\nb", "a\r\nb"}, {"\n\r", "\r\n\r\n"},
      {"\r\r\n\n", "\r\n\r\n\r\n"}, {"x\r", "x\r\n"},   {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NormaliseLineBreaks(c.in), c.out) << testing::PrintToString(c.in);
  }
}

TEST(UpToNul, CutsAtTheFirstZero) {
  EXPECT_EQ(UpToNul("ab\0cd\0"s), "ab");
  EXPECT_EQ(UpToNul("\0x"s), "");
  EXPECT_EQ(UpToNul("abc"), "abc");
}

}  // namespace
}  // namespace pcpos
