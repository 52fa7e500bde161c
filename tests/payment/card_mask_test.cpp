#include "payment/card_mask.h"

#include <gtest/gtest.h>

#include <string>

#include "payment/journal.h"
#include "payment/transaction.h"
#include "tests/support/answers.h"

namespace pcpos {
namespace {

using testing::kAnswer;

// The documented answer with another card number field (prefix and value).
std::string AnswerWithCard(const std::string& card) {
  const std::string before = kAnswer.substr(0, kAnswer.find("16123456******7890"));
  const std::string after = kAnswer.substr(before.size() + 18);
  // Appended, not prefixed: MinGW's GCC 12 takes "0" + a temporary string for
  // an overlapping copy at -O3 (-Werror=restrict).
  std::string prefix(card.size() < 10 ? "0" : "");
  prefix += std::to_string(card.size());
  return before + prefix + card + after;
}

TEST(CardMask, NumbersKeepTheirFirstSixAndLastFourDigits) {
  EXPECT_EQ(MaskCardNumber("6037991234567890"), "603799******7890");
  EXPECT_EQ(MaskCardNumber("6037991234567890123"), "603799*********0123");
  EXPECT_EQ(MaskCardNumber("6037-9912-3456-7890"), "6037-99**-****-7890");
  // Already masked, or too short to hide anything: as it came.
  EXPECT_EQ(MaskCardNumber("123456******7890"), "123456******7890");
  EXPECT_EQ(MaskCardNumber("1234567890"), "1234567890");
  EXPECT_EQ(MaskCardNumber(""), "");
  EXPECT_TRUE(ShowsWholeCardNumber("12345678901"));
  EXPECT_FALSE(ShowsWholeCardNumber("123456******7890"));
}

TEST(CardMask, AnAnswerLosesOnlyTheDigitsOfItsCardField) {
  EXPECT_EQ(MaskCardInAnswer(kAnswer), kAnswer);
  const std::string whole = AnswerWithCard("6037991234567890");
  const std::string masked = MaskCardInAnswer(whole);
  EXPECT_EQ(masked, AnswerWithCard("603799******7890"));
  // The other fields still read as they did.
  const auto before = ParseResponse(whole);
  const auto after = ParseResponse(masked);
  ASSERT_TRUE(before && after);
  EXPECT_EQ(after->STAN, before->STAN);
  EXPECT_EQ(after->TransactionDate, before->TransactionDate);
  EXPECT_EQ(after->CardNo, "603799******7890");
  // A field longer than what is left, and answers that stop before the field.
  EXPECT_EQ(MaskCardInAnswer("@@ZRM@@000000000000996037991234567890"),
            "@@ZRM@@00000000000099603799******7890");
  EXPECT_EQ(MaskCardInAnswer("@@ZRM@@000000000000206037991234567890"),
            "@@ZRM@@00000000000020603799******7890");
  EXPECT_EQ(MaskCardInAnswer("@@ZRM@@0812"), "@@ZRM@@0812");
  EXPECT_EQ(MaskCardInAnswer(""), "");
}

TEST(CardMask, TheReportAndTheJournalRowShowNoWholeNumber) {
  PaymentReport report;
  report.outcome = Outcome::Approved;
  report.answer = AnswerWithCard("6037991234567890");
  report.fields = ParseResponse(report.answer);
  const PaymentReport masked = MaskedReport(report);
  ASSERT_TRUE(masked.fields);
  EXPECT_EQ(masked.fields->CardNo, "603799******7890");
  EXPECT_EQ(masked.fields->BIN, "603799");
  EXPECT_EQ(masked.fields->PAN, "7890");
  EXPECT_EQ(masked.answer.find("6037991234567890"), std::string::npos);

  const std::string row = JournalRow({"127.0.0.1", "9053", "1000", ""}, report, {});
  EXPECT_EQ(row.find("6037991234567890"), std::string::npos) << row;
  EXPECT_NE(row.find("603799******7890"), std::string::npos) << row;
}

}  // namespace
}  // namespace pcpos
