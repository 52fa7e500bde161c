#include "acceptance/cross_checks.h"

#include <gtest/gtest.h>

#include "tests/acceptance/fakes.h"

namespace pcpos::acceptance {
namespace {

using namespace std::chrono_literals;
using fakes::Answer;
using fakes::Answered;

// The reports live as long as the checks look at them.
struct Cases {
  std::vector<PaymentReport> reports;
  std::vector<CheckedCase> checked;

  void Add(PaymentReport report, std::chrono::system_clock::time_point at = fakes::Dawn(),
           std::optional<double> max_s = std::nullopt) {
    reports.reserve(16);
    reports.push_back(std::move(report));
    checked.push_back(
        CheckedCase{"case" + std::to_string(checked.size() + 1), &reports.back(), at, max_s});
  }
  CrossCheck Check(const std::string& id) const {
    for (auto& c : RunCrossChecks(checked, fakes::Utc)) {
      if (c.id == id) return c;
    }
    ADD_FAILURE() << "no check " << id;
    return {};
  }
};

Answer Numbered(int n) {
  Answer a;
  a.stan = "00000" + std::to_string(n);
  a.rrn = "53431400000" + std::to_string(n);
  return a;
}

TEST(CrossChecks, AllPassForAnHonestReader) {
  Cases cases;
  cases.Add(Answered(Numbered(1)));
  Answer declined = Numbered(2);
  declined.code = "51";
  cases.Add(Answered(declined));
  cases.Add(Answered(Numbered(3)));
  cases.Add(fakes::Unanswered());
  const auto checks = RunCrossChecks(cases.checked, fakes::Utc);
  ASSERT_EQ(checks.size(), 5U);
  for (const auto& c : checks) {
    EXPECT_NE(c.state, CheckState::Failed)
        << c.id << ": " << (c.reasons.empty() ? "" : c.reasons[0]);
  }
  EXPECT_EQ(checks[0].state, CheckState::Passed);
}

TEST(CrossChecks, NothingToCheckIsNotAFailure) {
  Cases cases;
  cases.Add(fakes::Unanswered());
  for (const auto& c : RunCrossChecks(cases.checked, fakes::Utc)) {
    EXPECT_EQ(c.state, CheckState::NotApplicable) << c.id;
    EXPECT_EQ(c.reasons.size(), 1U) << c.id;
  }
}

TEST(CrossChecks, TheTerminalNumberMustNotChange) {
  Cases cases;
  cases.Add(Answered(Numbered(1)));
  Answer other = Numbered(2);
  other.terminal = "27182818";
  cases.Add(Answered(other));
  const CrossCheck check = cases.Check("terminal");
  EXPECT_EQ(check.state, CheckState::Failed);
  EXPECT_EQ(check.case_ids, (std::vector<std::string>{"case2", "case1"}));
}

TEST(CrossChecks, ApprovalsNeedTheirOwnStanAndRrn) {
  Cases stan;
  stan.Add(Answered(Numbered(1)));
  Answer repeated = Numbered(2);
  repeated.stan = "000001";
  stan.Add(Answered(repeated));
  CrossCheck check = stan.Check("stan-rrn");
  EXPECT_EQ(check.state, CheckState::Failed);
  ASSERT_EQ(check.reasons.size(), 1U);
  EXPECT_EQ(check.reasons[0], "case2: STAN \"000001\" repeats that of case1");

  Cases rrn;
  rrn.Add(Answered(Numbered(1)));
  Answer same_rrn = Numbered(2);
  same_rrn.rrn = Numbered(1).rrn;
  rrn.Add(Answered(same_rrn));
  EXPECT_EQ(rrn.Check("stan-rrn").state, CheckState::Failed);

  // Declines may repeat: only approvals must be told apart.
  Cases declines;
  declines.Add(Answered(Numbered(1)));
  Answer declined = Numbered(1);
  declined.code = "51";
  declines.Add(Answered(declined));
  EXPECT_EQ(declines.Check("stan-rrn").state, CheckState::Passed);
}

TEST(CrossChecks, TheReadersClockIsWithinFiveMinutesOfThePcs) {
  // The reader says 1405/09/18 06:00; the PC's clock is taken as UTC.
  const auto reader = fakes::Dawn();
  const struct {
    std::chrono::system_clock::time_point pc;
    bool passes;
  } rows[] = {
      {reader, true},         {reader + 59s, true},
      {reader + 5min, true},  {reader + 5min + 59s, true},
      {reader + 6min, false}, {reader - 5min, true},
      {reader - 6min, false}, {reader + 24h, false},
  };
  for (const auto& row : rows) {
    Cases cases;
    cases.Add(Answered(Numbered(1)), row.pc);
    const CrossCheck check = cases.Check("clock");
    EXPECT_EQ(check.state, row.passes ? CheckState::Passed : CheckState::Failed)
        << (row.pc - reader) / 1s << " s: " << (check.reasons.empty() ? "" : check.reasons[0]);
  }
  // Across midnight: the reader's 23:58 of the day before.
  Answer late = Numbered(1);
  late.stamp = "140509172358";
  Cases midnight;
  midnight.Add(Answered(late), fakes::Dawn() - 6h + 1min);
  EXPECT_EQ(midnight.Check("clock").state, CheckState::Passed);
  // A date the reader garbled cannot be read.
  Answer garbled = Numbered(1);
  garbled.stamp = "14O509180600";
  Cases bad;
  bad.Add(Answered(garbled), reader);
  const CrossCheck check = bad.Check("clock");
  EXPECT_EQ(check.state, CheckState::Failed);
  EXPECT_NE(check.reasons[0].find("cannot be read"), std::string::npos);
}

TEST(CrossChecks, AWholeCardNumberIsCaught) {
  Cases cases;
  cases.Add(Answered(Numbered(1)));
  Answer whole = Numbered(2);
  whole.card = "6037991234567890";
  cases.Add(Answered(whole));
  const CrossCheck check = cases.Check("card-number");
  EXPECT_EQ(check.state, CheckState::Failed);
  EXPECT_EQ(check.case_ids, std::vector<std::string>{"case2"});
  // The reason does not repeat the number it found.
  EXPECT_EQ(check.reasons[0].find("6037991234567890"), std::string::npos);
}

TEST(CrossChecks, EachAnswerWithinItsCasesLimit) {
  Cases cases;
  cases.Add(Answered(Numbered(1), 1000), fakes::Dawn(), 2.0);
  cases.Add(Answered(Numbered(2), 2500), fakes::Dawn(), 2.0);
  cases.Add(Answered(Numbered(3), 9000), fakes::Dawn());  // no limit
  const CrossCheck check = cases.Check("answer-time");
  EXPECT_EQ(check.state, CheckState::Failed);
  EXPECT_EQ(check.case_ids, std::vector<std::string>{"case2"});
  EXPECT_NE(check.reasons[0].find("2.5 s"), std::string::npos) << check.reasons[0];
}

}  // namespace
}  // namespace pcpos::acceptance
