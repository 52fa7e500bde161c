// The one UTF-8/UTF-16 conversion: what the Windows parts hand the system and
// read back from it, broken input included.
#include <gtest/gtest.h>

#include "text/utf16.h"

namespace pcpos {
namespace {

TEST(Utf16, RoundTripsEveryPlane) {
  // ASCII, Persian (two bytes), a BMP symbol (three) and one beyond it (four,
  // a surrogate pair in UTF-16), and a zero inside.
  const std::string text =
      std::string("C:\\گزارش\\€ ") + "\xF0\x9F\x98\x80" + std::string(1, '\0') + "x";
  const std::u16string wide = Utf16(text);
  EXPECT_EQ(wide, std::u16string(u"C:\\گزارش\\€ \U0001F600") + std::u16string(1, u'\0') + u"x");
  EXPECT_EQ(Utf8(wide), text);
  EXPECT_EQ(Utf16(""), u"");
  EXPECT_EQ(Utf8(std::u16string_view()), "");
}

TEST(Utf16, EachByteOfABrokenSequenceBecomesOneReplacement) {
  const struct {
    const char* what;
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"stray continuation", "a\x80z", u"a\uFFFDz"},
      {"truncated at the end", "a\xD8", u"a\uFFFD"},
      {"truncated before ASCII", "\xE2\x82z", u"\uFFFD\uFFFDz"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"not a lead byte", "\xFF\xFE", u"\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16(c.utf8), c.utf16) << c.what;
  }
}

TEST(Utf16, UnpairedSurrogatesBecomeReplacementsAndTheRestSurvives) {
  const struct {
    const char* what;
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {"lone high at the end", u"a\xD83D", "a\xEF\xBF\xBD"},
      {"high before a non-surrogate", u"\xD83Dz", "\xEF\xBF\xBDz"},
      {"lone low", u"\xDE00z", "\xEF\xBF\xBDz"},
      {"reversed pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"high, high, low", u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8(c.utf16), c.utf8) << c.what;
  }
}

}  // namespace
}  // namespace pcpos
