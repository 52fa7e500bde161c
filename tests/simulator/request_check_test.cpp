// The simulator's strict reading of requests: every kind of fault it names,
// and the response code each one is answered with.
#include "simulator/request_check.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "payment/message_format.h"

namespace pcpos::sim {
namespace {

using Fields = std::array<std::string, 10>;

const Fields kPurchase = {"1", "", "1000", "", "", "00", "", "", "30000", "1"};

std::string Build(const Fields& fields, std::string header = "@@ZRM@@") {
  // GCC 12 at -O3 inlines `const char* + std::string&&` into a memcpy whose
  // size it cannot bound and reports a false -Wrestrict (GCC bug 105329).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
  for (const auto& value : fields)
    header += (value.size() < 10 ? "0" : "") + std::to_string(value.size()) + value;
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
  return header;
}

Fields WithField(int field, std::string value) {
  Fields fields = kPurchase;
  fields[static_cast<std::size_t>(field - 1)] = std::move(value);
  return fields;
}

struct Case {
  std::string name;
  std::string line;
  RequestProblem problem;
  int field;
  std::string code;
};

std::vector<Case> Cases() {
  std::vector<Case> cases = {
      {"purchase of 1000", Build(kPurchase), RequestProblem::None, 0, "00"},
      {"client's own request", pcpos::BuildPurchaseRequest("250000"), RequestProblem::None, 0,
       "00"},
      {"twelve digits", Build(WithField(3, "999999999999")), RequestProblem::None, 0, "00"},
      {"leading zeros", Build(WithField(3, "0005")), RequestProblem::None, 0, "00"},
      {"empty line", "", RequestProblem::BadHeader, 0, "12"},
      {"header in other case", Build(kPurchase, "@@zrm@@"), RequestProblem::BadHeader, 0, "12"},
      {"header only", "@@ZRM@@", RequestProblem::Truncated, 1, "12"},
      {"prefix cut in half", "@@ZRM@@0", RequestProblem::Truncated, 1, "12"},
      {"value cut short", "@@ZRM@@011000410", RequestProblem::Truncated, 3, "12"},
      {"missing last field", Build(kPurchase).substr(0, Build(kPurchase).size() - 3),
       RequestProblem::Truncated, 10, "12"},
      {"blank in prefix", "@@ZRM@@ 11", RequestProblem::BadPrefix, 1, "12"},
      {"hex prefix", "@@ZRM@@011000A1000", RequestProblem::BadPrefix, 3, "12"},
      {"text after the tenth field", Build(kPurchase) + "X", RequestProblem::TrailingData, 0, "12"},
      {"carriage return left in", Build(kPurchase) + "\r", RequestProblem::TrailingData, 0, "12"},
      {"empty amount", Build(WithField(3, "")), RequestProblem::BadAmount, 3, "13"},
      {"zero amount", Build(WithField(3, "000")), RequestProblem::BadAmount, 3, "13"},
      {"thirteen digits", Build(WithField(3, "1234567890123")), RequestProblem::BadAmount, 3, "13"},
      {"letter in amount", Build(WithField(3, "12a4")), RequestProblem::BadAmount, 3, "13"},
      {"sign in amount", Build(WithField(3, "-100")), RequestProblem::BadAmount, 3, "13"},
      {"decimal point", Build(WithField(3, "10.5")), RequestProblem::BadAmount, 3, "13"},
  };
  // Every field but the amount has one value a purchase may carry.
  for (int field : {1, 2, 4, 5, 6, 7, 8, 9, 10}) {
    const std::string& fixed = kPurchase[static_cast<std::size_t>(field - 1)];
    const std::string other = fixed.empty() ? "0" : fixed + "0";
    cases.push_back({"field " + std::to_string(field) + " altered", Build(WithField(field, other)),
                     RequestProblem::UnexpectedValue, field, "12"});
  }
  return cases;
}

TEST(RequestCheck, NamesEachFaultAndItsCode) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.name + ": " + c.line);
    const RequestCheck check = CheckRequest(c.line);
    EXPECT_EQ(check.problem, c.problem) << check.describe();
    EXPECT_EQ(check.field, c.field);
    EXPECT_EQ(check.code(), c.code);
  }
}

TEST(RequestCheck, KeepsTheAmountAsSent) {
  EXPECT_EQ(CheckRequest("@@ZRM@@011000410000000020000000530000011").amount, "1000");
  EXPECT_EQ(CheckRequest(Build(WithField(3, "0005"))).amount, "0005");
  // A faulty amount is still reported, for the log.
  EXPECT_EQ(CheckRequest(Build(WithField(3, "12a4"))).amount, "12a4");
}

TEST(RequestCheck, OddBytesNeverCrashIt) {
  // Prefixes that promise more than the line holds, and high bytes.
  for (const std::string& line : {std::string("@@ZRM@@99"), std::string("@@ZRM@@01\xff") + "00",
                                  std::string("@@ZRM@@\0\0", 9), std::string(70000, '9')}) {
    EXPECT_FALSE(CheckRequest(line).ok());
  }
}

}  // namespace
}  // namespace pcpos::sim
