// What the tap writes of an exchange: the text lines, the JSON object, the
// journal row and the recorded step, and that none shows a whole card number.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "simulator/script.h"
#include "payment/card_mask.h"
#include "tap/output.h"
#include "tap/recording.h"
#include "tap/report.h"
#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"

namespace pcpos::tap {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kRequest = "@@ZRM@@011000410000000020000000530000011\r\n";
// A reader that sends the whole card number, in two pieces, and then more.
const std::string kWholeCardAnswer =
    "@@ZRM@@08123456780600012312123456789012030010200020016"
    "603799555544443312139812051230";
constexpr std::string_view kWholeCardDigits = "55554444";

ExchangeLog Logged(std::string_view answer, std::vector<std::size_t> cuts = {},
                   Ending reader_end = Ending::Closed, std::string_view tail = "",
                   Clock::time_point t0 = Clock::time_point{std::chrono::hours(5)}) {
  ExchangeLog log("127.0.0.1:40000", "127.0.0.1", std::chrono::system_clock::now(), t0);
  log.ReaderConnected(t0 + 1ms);
  log.FromEcr(kRequest, t0 + 2ms);
  log.ToReader(kRequest.size(), t0 + 2ms);
  std::size_t from = 0;
  auto at = t0 + 1002ms;
  cuts.push_back(answer.size());
  for (const std::size_t cut : cuts) {
    log.FromReader(answer.substr(from, cut - from), at);
    from = cut;
    at += 250ms;
  }
  if (!tail.empty()) log.FromReader(tail, at);
  log.ReaderEnded(reader_end, at + 1ms);
  log.EcrEnded(Ending::Closed, at + 2ms);
  return log;
}

Exchange Exchanged(std::string_view answer, std::vector<std::size_t> cuts = {},
                   Ending reader_end = Ending::Closed, std::string_view tail = "") {
  ApprovalHistory history;
  return Logged(answer, std::move(cuts), reader_end, tail).Finish(history);
}

TEST(ReportTest, NothingWrittenShowsAWholeCardNumber) {
  const Exchange x = Exchanged(kWholeCardAnswer, {60}, Ending::Closed);
  ASSERT_TRUE(x.Has(Flag::WholeCardNumber));
  const std::string written[] = {ExchangeText(x, false), ExchangeJson(x), ExchangeRow(x),
                                 RecordedStep(x).value_or("none")};
  for (const auto& text : written) {
    EXPECT_EQ(text.find(kWholeCardDigits), std::string::npos) << text;
    EXPECT_NE(text.find("603799"), std::string::npos) << text;
  }
}

TEST(ReportTest, TextIsOneLinePerExchangeAndOnePerFlagColouredOnlyOnATerminal) {
  const Exchange x = Exchanged(kWholeCardAnswer, {}, Ending::Closed, "\x1b[2J");
  ASSERT_EQ(x.flags.size(), 2u);
  const std::string plain = ExchangeText(x, false);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), '\n'), 3);
  EXPECT_NE(plain.find("-> approved code 00"), std::string::npos) << plain;
  EXPECT_NE(plain.find("\n  ! whole-card-number: "), std::string::npos) << plain;
  EXPECT_NE(plain.find("\n  ! more-after-answer: "), std::string::npos) << plain;
  EXPECT_EQ(plain.find('\x1b'), std::string::npos);
  EXPECT_NE(ExchangeText(x, true).find("\x1b[32mapproved\x1b[0m"), std::string::npos);
}

TEST(ReportTest, JsonKeysComeInTheDocumentedOrder) {
  const auto j = nlohmann::ordered_json::parse(ExchangeJson(Exchanged(kWholeCardAnswer)));
  std::vector<std::string> keys;
  for (const auto& item : j.items()) keys.push_back(item.key());
  const std::vector<std::string> documented = {
      "time",    "ecr",          "request", "request_problem", "amount", "reader_error",
      "answer",  "answer_bytes", "pieces",  "piece_count",     "fields", "result",
      "outcome", "timings",      "ecr_end", "reader_end",      "flags"};
  EXPECT_EQ(keys, documented);
  EXPECT_EQ(j["request"], "@@ZRM@@011000410000000020000000530000011\\x0D\\x0A");
  EXPECT_EQ(j["flags"][0]["flag"], "whole-card-number");
  EXPECT_EQ(j["result"]["colour"], "green");
}

TEST(ReportTest, AJournalRowIsOnePhysicalLineWithTheHeadersColumns) {
  const Exchange x = Exchanged("\r\n=1+1\r\n@@ZRM@@,\"x\"", {}, Ending::Reset);
  const std::string row = ExchangeRow(x);
  ASSERT_TRUE(row.ends_with("\r\n"));
  EXPECT_EQ(row.find_first_of("\r\n"), row.size() - 2) << row;
  // Columns outside quotes, as a CSV reader splits them.
  std::size_t columns = 1;
  bool quoted = false;
  for (const char c : row) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) ++columns;
  }
  const std::string_view header = kTapJournalHeader;
  EXPECT_EQ(columns, static_cast<std::size_t>(std::count(header.begin(), header.end(), ',')) + 1);
  EXPECT_NE(row.find(R"(,"\x0D\x0A=1+1\x0D\x0A@@ZRM@@,""x""",)"), std::string::npos) << row;
}

sim::Step ParsedStep(const std::string& step) {
  sim::Script script;
  std::string error;
  EXPECT_TRUE(sim::ParseScript("{\"steps\": [" + step + "]}", script, error)) << error << step;
  return script.steps.empty() ? sim::Step{} : script.steps.front();
}

TEST(RecordingTest, AStepPlaysTheReadersAnswerPiecesPausesAndEnd) {
  const std::string answer = MaskCardInAnswer(kWholeCardAnswer);
  const sim::Step step =
      ParsedStep(*RecordedStep(Exchanged(kWholeCardAnswer, {20, 50}, Ending::Reset)));
  EXPECT_EQ(step.action, sim::Action::Answer);
  EXPECT_EQ(step.raw, answer);
  EXPECT_EQ(step.delay, 1000ms);
  EXPECT_EQ(step.pieces, (std::vector<std::size_t>{20, 50}));
  EXPECT_EQ(step.pauses, (std::vector<std::chrono::milliseconds>{250ms, 250ms}));
  EXPECT_EQ(step.after, sim::AfterAnswer::Reset);

  // Bytes that are no text go as hex.
  const std::string binary = "@@ZRM@@\xff\x01";
  EXPECT_EQ(ParsedStep(*RecordedStep(Exchanged(binary))).raw, binary);
}

TEST(RecordingTest, AReaderThatNeverAnsweredPlaysItsCloseResetOrSilence) {
  const Clock::time_point t0{std::chrono::hours(5)};
  const auto without_answer = [&](Ending reader, bool reader_first) {
    ExchangeLog log("127.0.0.1:1", "127.0.0.1", std::chrono::system_clock::now(), t0);
    log.ReaderConnected(t0 + 1ms);
    log.FromEcr(kRequest, t0 + 2ms);
    log.ToReader(kRequest.size(), t0 + 2ms);
    if (!reader_first) log.EcrEnded(Ending::Closed, t0 + 500ms);
    log.ReaderEnded(reader, t0 + 1502ms);
    log.EcrEnded(Ending::Closed, t0 + 1503ms);
    ApprovalHistory history;
    return ParsedStep(*RecordedStep(log.Finish(history)));
  };
  const sim::Step reset = without_answer(Ending::Reset, true);
  EXPECT_EQ(reset.action, sim::Action::Reset);
  EXPECT_EQ(reset.delay, 1500ms);
  EXPECT_EQ(without_answer(Ending::Closed, true).action, sim::Action::Close);
  EXPECT_EQ(without_answer(Ending::Closed, false).action, sim::Action::Silence);

  ExchangeLog unreachable("127.0.0.1:1", "127.0.0.1", std::chrono::system_clock::now(), t0);
  unreachable.ReaderUnreachable("Connection refused");
  ApprovalHistory history;
  EXPECT_FALSE(RecordedStep(unreachable.Finish(history)));
}

TEST(RecordingTest, TheFileIsAWholeScriptAfterEveryAppend) {
  const testing::ScratchDir scratch("pcpos-tap-recording-");
  const std::string path = (scratch.path() / "reader.json").string();
  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(path, error)) << error;
  const std::string step = *RecordedStep(Exchanged(kWholeCardAnswer));
  for (std::size_t count : {1u, 2u}) {
    ASSERT_TRUE(recording.Append(std::vector<std::string>(count, step), error)) << error;
    sim::Script script;
    ASSERT_TRUE(sim::LoadScript(path, script, error)) << error;
    EXPECT_EQ(script.steps.size(), count == 1 ? 1u : 3u);
  }
}

// The writer decodes the exchanges in the order they ended, with one memory of
// the approvals across its batches: a payment approved twice shows on the second.
TEST(ReportTest, TheWriterSeesAnApprovalRepeatedInALaterBatch) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  OutputOptions options;
  options.json = true;
  options.out = out;
  const Clock::time_point t0{std::chrono::hours(5)};
  {
    Output output(options, nullptr);
    output.Add(Logged(kWholeCardAnswer, {}, Ending::Closed, "", t0));
    output.Drain();
    output.Add(Logged(kWholeCardAnswer, {}, Ending::Closed, "", t0 + 60s));
  }
  std::rewind(out);
  std::vector<std::vector<std::string>> flags;
  char line[8192];
  while (std::fgets(line, sizeof line, out)) {
    const auto j = nlohmann::json::parse(line);
    ASSERT_EQ(j["outcome"], "approved");
    flags.emplace_back();
    for (const auto& note : j["flags"]) flags.back().push_back(note["flag"]);
  }
  std::fclose(out);
  ASSERT_EQ(flags.size(), 2u);
  EXPECT_EQ(std::count(flags[0].begin(), flags[0].end(), "repeated-approval"), 0);
  EXPECT_EQ(std::count(flags[1].begin(), flags[1].end(), "repeated-approval"), 1);
}

}  // namespace
}  // namespace pcpos::tap
