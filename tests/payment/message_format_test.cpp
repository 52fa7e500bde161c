#include "payment/message_format.h"

#include <gtest/gtest.h>

#include "tests/support/answers.h"
#include "text/text.h"

#include <string>

namespace pcpos {
namespace {

using namespace std::string_literals;

constexpr std::string_view kSuccess = "تراکنش با موفقیت انجام شد";
constexpr std::string_view kCancelled = "عملیات توسط کاربر لغو شده است";
constexpr std::string_view kBadPassword = "رمز عبور نامعتبر است";
constexpr std::string_view kFailed = "عملیات با شکست مواجه شده است";

TEST(ReadField, PrefixAndPositionArithmetic) {
  const struct {
    std::string message;
    std::int64_t start;
    std::int32_t length;
    std::string value;
    std::int64_t end;
  } cases[] = {
      {" 5abcdefg", 1, 5, "abcde", 8},
      {"5 abcdefg", 1, 5, "abcde", 8},
      {"5,abcdefg", 1, 5, "abcde", 8},
      {"(5abcdefg", 1, 5, "abcde", 8},
      {"ABabcdefg", 1, 0, "", 3},
      {"09abc", 1, 9, "abc", 12},  // larger than what remains: takes the rest
      {"7", 1, 7, "", 10},         // prefix cut short by the end
      {"03abc02de", 6, 2, "de", 10},
      {"03abc02de", 10, 0, "", 12},  // beyond the end yields nothing
      {"-4xx02ab", 1, -4, "", -1},   // a negative length moves back
      // Below 1 both reads start at 1, while the arithmetic keeps the real value.
      {"02xy", -5, 2, "02", -1},
  };
  for (const auto& c : cases) {
    std::int64_t position = c.start;
    std::int32_t length = 99;
    std::string value = "stale";
    ReadField(c.message, position, length, &value);
    EXPECT_EQ(length, c.length) << c.message << " at " << c.start;
    EXPECT_EQ(value, c.value) << c.message << " at " << c.start;
    EXPECT_EQ(position, c.end) << c.message << " at " << c.start;
  }
  std::int64_t position = 1;
  std::int32_t length = 0;
  ReadField("03abc", position, length, nullptr);  // skipped without a target
  EXPECT_EQ(length, 3);
  EXPECT_EQ(position, 6);
}

// Fields 4 to 10, which never change.
const std::string kTail =
    "00"
    "00"
    "02"
    "00"
    "00"
    "00"
    "05"
    "30000"
    "01"
    "1";

TEST(BuildPurchaseRequest, MatchesTheDocumentedRequests) {
  const struct {
    std::string amount;
    std::string expected;
  } cases[] = {
      {"1000", "@@ZRM@@011000410000000020000000530000011"},
      {"250000", "@@ZRM@@01100062500000000020000000530000011"},
      {"",
       "@@ZRM@@01100"
       "00"
       "" + kTail},
      // Every character above 127 is one "?", and the prefix counts characters.
      {"۱۰۰",
       "@@ZRM@@01100"
       "03"
       "???" +
           kTail},
      {"1\xFF"
       "2",
       "@@ZRM@@01100"
       "03"
       "1?2" +
           kTail},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildPurchaseRequest(c.amount), c.expected) << c.amount;
  }
}

TEST(BuildPurchaseRequest, LongAmountKeepsTheLastTwoDigitsOfItsLength) {
  const std::string amount(123, '9');
  EXPECT_EQ(BuildPurchaseRequest(amount),
            "@@ZRM@@01100"
            "23" +
                amount + kTail);
}

// Whatever a kind's table says, its request reads back field by field by its
// own prefixes: each value in its place, the amount where the table puts it,
// and nothing after the last field.
TEST(BuildRequest, EveryKindReadsBackAsItsTable) {
  for (const TransactionKind kind : {TransactionKind::Purchase}) {
    for (const std::string amount : {"", "1000", "۲۵۰۰۰۰"}) {
      const std::string request = BuildRequest(kind, amount);
      ASSERT_TRUE(request.starts_with(kMessageHeader));
      std::int64_t position = static_cast<std::int64_t>(kMessageHeader.size()) + 1;
      for (const RequestField& field : RequestFieldsOf(kind)) {
        std::int32_t length = 0;
        std::string value;
        ReadField(request, position, length, &value);
        EXPECT_EQ(value, field.amount ? ToAscii(amount) : std::string(field.value)) << field.name;
      }
      EXPECT_EQ(position, static_cast<std::int64_t>(request.size()) + 1) << request;
    }
  }
  EXPECT_EQ(BuildRequest(TransactionKind::Purchase, "1000"), BuildPurchaseRequest("1000"));
}

TEST(ParseResponse, ReadsTheEightFieldsAndDerivesTheRest) {
  const struct {
    std::string answer;
    ResponseFields expected;
  } cases[] = {
      {"@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230",
       {"12345678", "000123", "123456789012", "001", "00", "00", "123456******7890", "123456",
        "7890", "1398/12/05", "12:30"}},
      {"@@ZRM@@", {"", "", "", "", "", "", "", "", "", "//", ":"}},
      // Text after the eighth field is ignored.
      {"@@ZRM@@"
       "011"
       "0223"
       "03456"
       "0201"
       "0200"
       "0207"
       "00"
       "12"
       "140112051230"
       "TRAILING0212",
       {"1", "23", "456", "01", "00", "07", "", "", "", "1401/12/05", "12:30"}},
      // Short card number and stamp give short pieces.
      {"@@ZRM@@"
       "00"
       "00"
       "00"
       "00"
       "00"
       "00"
       "08"
       "12345678"
       "05"
       "14011",
       {"", "", "", "", "", "", "12345678", "123456", "", "1401/1/", ":"}},
      // A prefix larger than what remains takes the rest; later fields are empty.
      {"@@ZRM@@"
       "0212"
       "20"
       "876543210",
       {"12", "876543210", "", "", "", "", "", "", "", "//", ":"}},
      // An unreadable prefix is 0: an empty field, the next one two characters on.
      {"@@ZRM@@"
       "AB"
       "03xyz",
       {"", "xyz", "", "", "", "", "", "", "", "//", ":"}},
      // A NUL cuts the value, and what is derived follows the cut value; the
      // next field still starts where the prefix says.
      {"@@ZRM@@"
       "0212"
       "0212"
       "0212"
       "0212"
       "0200"
       "02"
       "1\0"s
       "16"
       "1234567\0"s
       "89012345"
       "12"
       "13981205\0"s
       "123",
       {"12", "12", "12", "12", "00", "1", "1234567", "123456", "", "1398/12/05", ":"}},
      {"@@ZRM@@"
       "00"
       "00"
       "00"
       "00"
       "00"
       "02"
       "\0"s
       "1"
       "0201",
       {"", "", "", "", "", "", "01", "01", "", "//", ":"}},
  };
  for (const auto& c : cases) {
    const auto fields = ParseResponse(c.answer);
    ASSERT_TRUE(fields.has_value()) << ::testing::PrintToString(c.answer);
    EXPECT_EQ(*fields, c.expected) << ::testing::PrintToString(c.answer);
  }
}

// The field table is what the client, the journal and the windows read by
// name: each row must address its own value and read it from its own place.
TEST(AnswerFields, EachRowAddressesItsValueAndReadsItsReceivedField) {
  ResponseFields named;
  for (const AnswerFieldInfo& info : AnswerFields()) {
    Value(named, info.field) = std::string(info.name);
    EXPECT_EQ(AnswerFieldNamed(info.name), info.field);
  }
  EXPECT_EQ(named,
            (ResponseFields{"TerminalNo", "STAN", "RRN", "BatchNo", "ResponseType", "ResponseCode",
                            "CardNo", "BIN", "PAN", "TransactionDate", "TransactionTime"}));
  EXPECT_EQ(AnswerFieldNamed("txtSTAN"), std::nullopt);

  const std::string answer =
      "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";
  const auto received = ReadReceivedFields(answer);
  ASSERT_TRUE(received.has_value());
  EXPECT_EQ(received->back(), "139812051230") << "the stamp, before its derivations";
  const ResponseFields fields = *ParseResponse(answer);
  for (const AnswerFieldInfo& info : AnswerFields()) {
    if (info.derive != nullptr) continue;
    EXPECT_EQ(kReceivedFieldNames[info.received], info.name);
    EXPECT_EQ(Value(fields, info.field), (*received)[info.received]) << info.name;
  }
  EXPECT_EQ(ReadReceivedFields("@@zrm@@"), std::nullopt);
}

TEST(ParseResponse, HeaderMismatches) {
  for (const std::string text : {"@@zrm@@0212", "@@ZRM@", "", "x@@ZRM@@", "@@ZRM#@0212"}) {
    EXPECT_EQ(ParseResponse(text), std::nullopt) << text;
  }
}

// Only a code of digits decides the outcome; every other form is an answer the
// tool cannot read, never a success.
TEST(ResultLineFor, ReadsTheCodeStrictly) {
  const ResultLine unreadable{std::string(kHeaderMismatchText), Outcome::Unknown};
  const struct {
    std::string code;
    ResultLine expected;
  } cases[] = {
      {"00", ResultLine{std::string(kSuccess), Outcome::Approved}},
      {" 0\t", ResultLine{std::string(kSuccess), Outcome::Approved}},
      {"01", ResultLine{std::string(kCancelled), Outcome::Declined}},
      {"30", ResultLine{std::string(kBadPassword), Outcome::Declined}},
      {"51", ResultLine{std::string(kFailed), Outcome::Declined}},
      {"99999999999", ResultLine{std::string(kFailed), Outcome::Declined}},
      {"", unreadable},
      {"XX", unreadable},
      {"0A", unreadable},
      {"(0)", unreadable},
      {"$0", unreadable},
      {"-1", unreadable},
      {"0 0", unreadable},
      {"$1E", unreadable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResultLineFor(c.code), c.expected) << '"' << c.code << '"';
  }
}

// Whole once the header and eight fields have arrived by their own prefixes;
// every shorter cut of a whole answer is not.
TEST(IsCompleteResponse, NeedsEveryFieldItsPrefixAnnounces) {
  const std::string& answer = testing::kAnswer;
  EXPECT_TRUE(IsCompleteResponse(answer));
  EXPECT_TRUE(IsCompleteResponse(answer + "trailing"));
  for (std::size_t cut = 0; cut < answer.size(); ++cut) {
    EXPECT_FALSE(IsCompleteResponse(answer.substr(0, cut))) << cut;
  }
  EXPECT_TRUE(IsCompleteResponse("@@ZRM@@0000000000000000"));
  EXPECT_FALSE(IsCompleteResponse("@@zrm@@0000000000000000"));
}

TEST(HeaderMismatches, AsSoonAsTheFirstCharactersDiffer) {
  for (const std::string text : {"@", "@@ZR", "@@ZRM@@", "@@ZRM@@08x"}) {
    EXPECT_FALSE(HeaderMismatches(text)) << text;
  }
  for (const std::string text : {"#", "@@z", "@@ZRM@#", "HTTP/1.1 400"}) {
    EXPECT_TRUE(HeaderMismatches(text)) << text;
  }
}

}  // namespace
}  // namespace pcpos
