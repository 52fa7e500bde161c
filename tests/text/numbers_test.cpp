#include "text/numbers.h"

#include <gtest/gtest.h>

#include <string>

namespace pcpos {
namespace {

TEST(PadNumber, KeepsTheLastWidthCharacters) {
  const struct {
    std::int64_t n;
    int width;
    char fill;
    std::string expected;
  } cases[] = {
      {0, 2, '0', "00"},   {5, 2, '0', "05"},   {42, 2, '0', "42"},
      {123, 2, '0', "23"}, {100, 2, '0', "00"}, {-5, 3, '0', "0-5"},
      {-5, 2, '0', "-5"},  {7, 4, ' ', "   7"}, {12345, 3, '0', "345"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PadNumber(c.n, c.width, c.fill), c.expected) << c.n << " width " << c.width;
  }
}

TEST(CleanInt, ReadsTheDocumentedForms) {
  const struct {
    std::string text;
    std::int32_t expected;
  } cases[] = {
      {"9053", 9053},
      {" (9,053) ", 9053},
      {"9,053", 9053},
      {"(9053)", 9053},
      {"-(5)", -5},
      {"+7", 7},
      {"$1F", 31},
      {"0x1f", 31},
      {"X1f", 31},
      {"x0000001F", 31},
      {"$FFFFFFFF", -1},
      {"$000000000FFFFFFFF", -1},  // leading zeros are not significant
      {"$7FFFFFFF", 2147483647},
      {"$80000000", -2147483647 - 1},
      {"-$1", -1},
      {"-$80000000", -2147483647 - 1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"\t\r\n 42 \x01", 42},
      {"007", 7},
      {"0", 0},
      // Everything below does not read and gives 0.
      {"2147483648", 0},
      {"-2147483649", 0},
      {"99999999999999999999999", 0},
      {"$100000000", 0},
      {"1 2", 0},
      {"- 5", 0},
      {"", 0},
      {"-", 0},
      {"+", 0},
      {"$", 0},
      {"0x", 0},
      {"$G", 0},
      {"12a", 0},
      {"--5", 0},
      {"1.5", 0},
      {"\xC2\xA0"
       "5",
       0},  // a no-break space is not trimmed
      {"5\xC2\xA0", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CleanInt(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseStrictInt, TellsUnreadableFromZero) {
  EXPECT_EQ(ParseStrictInt("0"), 0);
  EXPECT_EQ(ParseStrictInt("  -12"), -12);
  EXPECT_EQ(ParseStrictInt("$C0"), 192);
  EXPECT_EQ(ParseStrictInt(""), std::nullopt);
  EXPECT_EQ(ParseStrictInt("abc"), std::nullopt);
  // No trimming or dropping of separators at this step.
  EXPECT_EQ(ParseStrictInt("12 "), std::nullopt);
  EXPECT_EQ(ParseStrictInt("\t12"), std::nullopt);
  EXPECT_EQ(ParseStrictInt("1,2"), std::nullopt);
}

}  // namespace
}  // namespace pcpos
