// The guided run between a real payment screen and a fake runner, with a fake
// view and clocks the test sets: which case each press runs, what the panel
// says, and the report at the end or when the window closes mid-run.
#include "screen/guided_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/scratch_dir.h"

namespace pcpos::screen {
namespace {

using namespace std::chrono_literals;

class FakeView : public ScreenView, public GuidedView {
 public:
  std::string InputText(Input input) const override {
    const auto it = inputs.find(input);
    return it == inputs.end() ? "" : it->second;
  }
  std::string FieldText(Field) const override { return {}; }
  std::string RawText() const override { return raw; }
  void SetFieldText(Field, std::string_view) override {}
  void SetRawText(std::string_view text) override { raw = text; }
  void SetRawCaption(std::string_view) override {}
  void SetFieldPrevious(Field, bool) override {}
  void SetRawPrevious(bool) override {}
  void SetResultLine(std::string_view text, TextDirection, Tone) override { line = text; }
  void SetBusy(bool b) override { busy = b; }
  void SetTicking(bool) override {}
  void SetLogFolderTip(std::string_view) override {}

  void SetAmountText(std::string_view amount) override { inputs[Input::Amount] = amount; }
  void ShowGuide(const GuidePanel& p) override {
    panel = p;
    ++shown;
  }

  std::map<Input, std::string> inputs;
  std::string raw, line;
  bool busy = false;
  GuidePanel panel;
  int shown = 0;
};

class FakeRunner : public Runner {
 public:
  bool Start(PaymentInputs in, TransactionOptions, PaymentListener& l) override {
    if (running) return false;
    running = true;
    inputs = std::move(in);
    listener = &l;
    return true;
  }
  void Cancel() override { ++cancels; }
  void CancelAndWait() override { running = false; }
  bool IsRunning() const override { return running; }

  bool running = false;
  int cancels = 0;
  PaymentInputs inputs;
  PaymentListener* listener = nullptr;
};

acceptance::SuiteCase Case(std::string id, std::string amount, Outcome outcome) {
  acceptance::SuiteCase c;
  c.id = id;
  c.title = "عنوان " + id;
  c.prompt = "کارت را بکشید (" + id + ")";
  c.amount = std::move(amount);
  c.expect.outcomes = {outcome};
  return c;
}

PaymentReport Report(Outcome outcome, const std::string& code) {
  PaymentReport report;
  report.outcome = outcome;
  report.request = "request";
  report.answer = "answer " + code;
  ResponseFields fields;
  fields.TerminalNo = "12345678";
  fields.ResponseCode = code;
  report.fields = fields;
  return report;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

acceptance::LocalTimeFn Utc() {
  return [](std::chrono::system_clock::time_point when) {
    const auto day = std::chrono::floor<std::chrono::days>(when);
    const std::chrono::year_month_day ymd{day};
    const std::chrono::hh_mm_ss hms{std::chrono::floor<std::chrono::seconds>(when - day)};
    return CivilTime{static_cast<int>(ymd.year()),
                     static_cast<int>(unsigned(ymd.month())),
                     static_cast<int>(unsigned(ymd.day())),
                     static_cast<int>(hms.hours().count()),
                     static_cast<int>(hms.minutes().count()),
                     static_cast<int>(hms.seconds().count())};
  };
}

class GuidedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.inputs = {{Input::Host, "10.0.0.5"},
                   {Input::Port, "9053"},
                   {Input::Amount, "777"},
                   {Input::LogFolder, dir.folder()}};
  }
  void Begin() {
    acceptance::Suite suite;
    suite.name = "three";
    suite.cases = {Case("a", "1000", Outcome::Approved), Case("b", "1051", Outcome::Declined),
                   Case("c", "2000", Outcome::Approved)};
    guided.Begin(view, suite, "suite.json", PaymentInputs{"10.0.0.5", "9053", "777", dir.folder()});
  }
  // The payment the fake runner holds ends, as the real one posts it.
  void Finish(const PaymentReport& report) {
    runner.running = false;
    runner.listener->OnFinished(report, std::nullopt);
    steady += 1s;  // past the button's double-click guard
    system += 5s;
  }

  testing::ScratchDir dir;
  FakeView view;
  FakeRunner runner;
  std::chrono::steady_clock::time_point steady{};
  std::chrono::system_clock::time_point system{
      std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + 1h + 30min};
  GuidedRun guided{runner, [this] { return system; }, Utc()};
  PaymentScreen screen{view, guided, [this] { return steady; }, 500ms};
};

TEST_F(GuidedRunTest, EachPressRunsTheCurrentCaseAndTheEndWritesTheReport) {
  Begin();
  EXPECT_EQ(view.panel.heading, "case 1 of 3: \u2068عنوان a\u2069");
  EXPECT_EQ(view.panel.prompt, "کارت را بکشید (a)");
  EXPECT_TRUE(view.panel.verdict.empty());
  EXPECT_TRUE(view.panel.can_skip);
  EXPECT_EQ(view.inputs[Input::Amount], "1000");

  view.inputs[Input::Amount] = "5";  // edited after the case was shown
  EXPECT_EQ(screen.PressPayment(), Command::Start);
  EXPECT_EQ(runner.inputs.amount, "1000");
  EXPECT_EQ(runner.inputs.host, "10.0.0.5");
  EXPECT_EQ(view.inputs[Input::Amount], "1000");
  EXPECT_FALSE(view.panel.can_skip) << "no skipping the case whose payment runs";
  guided.Skip();
  EXPECT_EQ(guided.run()->Position(), 0u);

  // The screen's own outputs still reach it through the run.
  runner.listener->OnRawResponse("answer 00");
  EXPECT_EQ(view.raw, "answer 00");
  Finish(Report(Outcome::Approved, "00"));
  EXPECT_EQ(screen.phase(), Phase::Finished);
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(view.panel.verdict, "a: passed");
  EXPECT_EQ(view.panel.verdict_tone, Tone::Green);
  EXPECT_EQ(view.panel.heading, "case 2 of 3: \u2068عنوان b\u2069");
  EXPECT_EQ(view.inputs[Input::Amount], "1051");

  guided.Skip();
  EXPECT_EQ(view.panel.verdict, "b: skipped");
  EXPECT_EQ(view.inputs[Input::Amount], "2000");

  // Return starts a case as the button does; this one is declined, not approved.
  EXPECT_EQ(screen.PressReturn(), Command::Start);
  EXPECT_EQ(runner.inputs.amount, "2000");
  EXPECT_TRUE(view.panel.report_path.empty());
  Finish(Report(Outcome::Declined, "51"));
  EXPECT_EQ(view.panel.verdict_tone, Tone::Red);
  EXPECT_NE(view.panel.verdict.find("c: failed - outcome declined"), std::string::npos)
      << view.panel.verdict;
  EXPECT_FALSE(view.panel.can_skip);
  EXPECT_NE(view.panel.heading.find("Run completed: 1 passed, 1 failed, 1 skipped"),
            std::string::npos)
      << view.panel.heading;
  EXPECT_NE(view.panel.heading.find("FAILED"), std::string::npos);

  // In the log folder, named by the PC's clock at the end.
  const std::string base = dir.folder() + "acceptance-20261209-013005";
  EXPECT_EQ(view.panel.report_path, base + ".html");
  EXPECT_TRUE(view.panel.report_error.empty());
  const std::string json = FileText(base + ".json");
  EXPECT_NE(json.find("\"completed\""), std::string::npos);
  EXPECT_NE(FileText(base + ".csv").find("c,"), std::string::npos);
  EXPECT_NE(FileText(base + ".html").find("10.0.0.5"), std::string::npos);

  // After the run the window is the single-payment window again.
  const int shown = view.shown;
  EXPECT_EQ(screen.PressPayment(), Command::Start);
  EXPECT_EQ(runner.inputs.amount, "2000");
  Finish(Report(Outcome::Approved, "00"));
  EXPECT_EQ(guided.run()->Records()[2].status, acceptance::CaseStatus::Failed);
  guided.Close();
  EXPECT_EQ(FileText(base + ".json"), json) << "the report is written once";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
  EXPECT_GE(view.shown, shown);
}

TEST_F(GuidedRunTest, ACancelledCaseIsJudgedAndAClosedWindowStillLeavesTheReport) {
  Begin();
  EXPECT_EQ(screen.PressPayment(), Command::Start);
  steady += 1s;
  EXPECT_EQ(screen.PressPayment(), Command::Cancel);
  EXPECT_EQ(runner.cancels, 1);
  PaymentReport cancelled;
  cancelled.outcome = Outcome::NotSent;
  cancelled.error = "cancelled";
  Finish(cancelled);
  EXPECT_EQ(guided.run()->Records()[0].status, acceptance::CaseStatus::Failed);
  EXPECT_EQ(view.panel.heading.substr(0, 11), "case 2 of 3");

  // Closed while case b's payment runs: its end never comes.
  EXPECT_EQ(screen.PressPayment(), Command::Start);
  screen.Close();
  guided.Close();
  ASSERT_NE(view.panel.report_path, "");
  const std::string json =
      FileText(view.panel.report_path.substr(0, view.panel.report_path.size() - 5) + ".json");
  EXPECT_NE(json.find("\"interrupted\""), std::string::npos);
  EXPECT_EQ(guided.run()->Records()[1].status, acceptance::CaseStatus::NotRun);
  EXPECT_NE(view.panel.heading.find("Run interrupted"), std::string::npos);
}

TEST_F(GuidedRunTest, AReportThatCannotBeWrittenSaysWhy) {
  view.inputs[Input::LogFolder] = (dir.path() / "missing" / "deeper").string() + "/";
  acceptance::Suite suite;
  suite.cases = {Case("a", "1000", Outcome::Approved)};
  guided.Begin(view, suite, "install", PaymentInputs{"h", "1", "", view.inputs[Input::LogFolder]});
  guided.Skip();
  EXPECT_TRUE(view.panel.report_path.empty());
  EXPECT_NE(view.panel.report_error.find("could not be written"), std::string::npos);
}

}  // namespace
}  // namespace pcpos::screen
