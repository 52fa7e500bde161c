#include "acceptance/run.h"

#include <gtest/gtest.h>

#include "acceptance/verdict.h"
#include "payment/journal.h"
#include "tests/acceptance/fakes.h"

namespace pcpos::acceptance {
namespace {

using namespace std::chrono_literals;
using fakes::Answer;
using fakes::Answered;

Expectation Expect(std::vector<Outcome> outcomes, std::vector<std::string> codes = {},
                   std::optional<double> max_s = std::nullopt) {
  return Expectation{std::move(outcomes), std::move(codes), max_s};
}

TEST(Verdict, OutcomeCodeAndTimeEachGiveTheirReason) {
  Answer wrong_pin;
  wrong_pin.code = "30";
  const PaymentReport declined = Answered(wrong_pin, 1500);

  EXPECT_TRUE(Judge(Expect({Outcome::Declined}, {"30", "55"}, 90), declined).passed);
  // A code is compared as a number when it reads as one.
  EXPECT_TRUE(Judge(Expect({Outcome::Declined}, {"030"}), declined).passed);

  const Verdict wrong_outcome = Judge(Expect({Outcome::Approved}), declined);
  EXPECT_FALSE(wrong_outcome.passed);
  ASSERT_EQ(wrong_outcome.reasons.size(), 1U);
  EXPECT_EQ(wrong_outcome.reasons[0], "outcome declined, expected approved");

  const Verdict wrong_code = Judge(Expect({Outcome::Declined}, {"51", "55"}), declined);
  ASSERT_EQ(wrong_code.reasons.size(), 1U);
  EXPECT_EQ(wrong_code.reasons[0], "response code \"30\", expected 51 or 55");

  const Verdict slow = Judge(Expect({Outcome::Declined}, {}, 1.2), declined);
  ASSERT_EQ(slow.reasons.size(), 1U);
  EXPECT_EQ(slow.reasons[0], "the answer took 1.5 s, at most 1.2 s expected");

  // No answer: no code to compare; an open outcome is what the network cut expects.
  const PaymentReport cut = fakes::Unanswered();
  EXPECT_TRUE(Judge(Expect({Outcome::Unknown}, {}, 130), cut).passed);
  const Verdict no_code = Judge(Expect({Outcome::Declined}, {"01"}), cut);
  EXPECT_EQ(no_code.reasons.size(), 2U);
}

Suite ThreeCases() {
  Suite suite;
  suite.name = "three";
  suite.cases = {SuiteCase{"a", "", "", "1000", Expect({Outcome::Approved})},
                 SuiteCase{"b", "", "", "1051", Expect({Outcome::Declined})},
                 SuiteCase{"c", "", "", "2000", Expect({Outcome::Approved})}};
  return suite;
}

RunInfo Info() { return RunInfo{"1.0.0", "127.0.0.1", "9053", "/tmp/", "install", ""}; }

TEST(AcceptanceRun, WalksTheCasesAndJudgesEach) {
  fakes::FakeClock clock;
  AcceptanceRun run(ThreeCases(), Info(), std::ref(clock), fakes::Utc);
  ASSERT_EQ(run.Count(), 3U);
  ASSERT_NE(run.Current(), nullptr);
  EXPECT_EQ(run.Current()->id, "a");
  const PaymentInputs inputs = run.InputsForCurrent();
  EXPECT_EQ(inputs.amount, "1000");
  EXPECT_EQ(inputs.host, "127.0.0.1");

  const auto started = clock.now;
  clock.now += 2s;
  run.Record(inputs, Answered(Answer{}), started, std::nullopt);
  EXPECT_EQ(run.Records()[0].status, CaseStatus::Passed);
  EXPECT_EQ(run.Records()[0].answered_at, started + 2s);
  // The row the journal holds for that payment, for the report's digest.
  EXPECT_EQ(run.Records()[0].journal_row, JournalRow(inputs, Answered(Answer{}), started));

  EXPECT_EQ(run.Position(), 1U);
  run.Skip();
  EXPECT_EQ(run.Records()[1].status, CaseStatus::Skipped);

  Answer declined;
  declined.code = "51";
  declined.stan = "000002";
  declined.rrn = "534314000002";
  run.Record(run.InputsForCurrent(), Answered(declined), clock.now, std::nullopt);
  EXPECT_EQ(run.Records()[2].status, CaseStatus::Failed);
  EXPECT_TRUE(run.Over());
  EXPECT_EQ(run.End(), RunEnd::Completed);
  EXPECT_EQ(run.Current(), nullptr);
  EXPECT_FALSE(run.Passed());
  EXPECT_EQ(run.FailedIds(), std::vector<std::string>{"c"});
  EXPECT_EQ(run.JournalRows(), run.Records()[0].journal_row + run.Records()[2].journal_row);

  // Nothing more is taken once the run is over.
  run.Record(inputs, Answered(Answer{}), clock.now, std::nullopt);
  run.Skip();
  EXPECT_EQ(run.Records()[2].status, CaseStatus::Failed);
}

TEST(AcceptanceRun, EndingOrInterruptingLeavesTheRestNotRun) {
  fakes::FakeClock clock;
  AcceptanceRun ended(ThreeCases(), Info(), std::ref(clock), fakes::Utc);
  ended.Record(ended.InputsForCurrent(), Answered(Answer{}), clock.now, std::nullopt);
  clock.now += 1min;
  ended.Finish();
  EXPECT_EQ(ended.End(), RunEnd::Ended);
  EXPECT_EQ(ended.EndedAt(), clock.now);
  EXPECT_EQ(ended.Records()[1].status, CaseStatus::NotRun);
  EXPECT_EQ(ended.Records()[2].status, CaseStatus::NotRun);
  EXPECT_TRUE(ended.Passed());  // what was run passed

  AcceptanceRun interrupted(ThreeCases(), Info(), std::ref(clock), fakes::Utc);
  interrupted.Skip();
  interrupted.Interrupt();
  interrupted.Finish();  // the first end stands
  EXPECT_EQ(interrupted.End(), RunEnd::Interrupted);
  EXPECT_EQ(interrupted.Records()[0].status, CaseStatus::Skipped);
  EXPECT_EQ(interrupted.Records()[1].status, CaseStatus::NotRun);
  // Nothing was tried: nothing passed.
  EXPECT_FALSE(interrupted.Passed());
}

// A check that fails sends the cases it names to the re-run, beside the failed cases.
TEST(AcceptanceRun, ARepeatedStanFailsTheRunAndNamesBothCases) {
  fakes::FakeClock clock;
  Suite suite = ThreeCases();
  suite.cases[1].expect = Expect({Outcome::Approved});
  AcceptanceRun run(suite, Info(), std::ref(clock), fakes::Utc);
  for (int i = 0; i < 3; ++i) {
    Answer a;
    a.rrn = "53431400000" + std::to_string(i);
    a.stan = i == 2 ? "000001" : "00000" + std::to_string(i + 1);  // the third repeats the first
    run.Record(run.InputsForCurrent(), Answered(a), clock.now, std::nullopt);
  }
  EXPECT_EQ(run.Records()[2].status, CaseStatus::Passed);
  EXPECT_FALSE(run.Passed());
  EXPECT_EQ(run.FailedIds(), (std::vector<std::string>{"a", "c"}));
}

}  // namespace
}  // namespace pcpos::acceptance
