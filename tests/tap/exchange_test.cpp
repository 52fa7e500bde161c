// The exchange's reading and its flags, from events with made-up times: no
// sockets, no sleeps.
#include "tap/exchange.h"

#include <gtest/gtest.h>

namespace pcpos::tap {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kRequest = "@@ZRM@@011000410000000020000000530000011\r\n";
// The documented answer with the card number masked, code 00; and code 51.
constexpr std::string_view kApproval =
    "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";
constexpr std::string_view kDecline =
    "@@ZRM@@08123456780600012312123456789012030010200025116123456******789012139812051230";

// An exchange driven by a test: times are offsets from a fixed start.
class Script {
 public:
  explicit Script(std::string ecr_host = "10.0.0.5")
      : log_(ecr_host + ":40000", ecr_host, std::chrono::system_clock::now(), t0_) {}
  Clock::time_point At(Clock::duration d) const { return t0_ + d; }

  Script& Connect() {
    log_.ReaderConnected(At(1ms));
    return *this;
  }
  Script& Request(std::string_view bytes = kRequest, Clock::duration at = 2ms) {
    EXPECT_TRUE(log_.FromEcr(bytes, At(at)));
    log_.ToReader(bytes.size(), At(at));
    return *this;
  }
  Script& Answer(std::string_view bytes, Clock::duration at) {
    log_.FromReader(bytes, At(at));
    return *this;
  }
  Script& EcrEnds(Ending ending, Clock::duration at) {
    log_.EcrEnded(ending, At(at));
    return *this;
  }
  Script& ReaderEnds(Ending ending, Clock::duration at) {
    log_.ReaderEnded(ending, At(at));
    return *this;
  }
  ExchangeLog& log() { return log_; }
  Exchange Finish(ApprovalHistory& history) { return log_.Finish(history); }
  Exchange Finish() { return log_.Finish(history_); }

 private:
  Clock::time_point t0_{std::chrono::hours(1000)};
  ExchangeLog log_;
  ApprovalHistory history_;
};

std::vector<Flag> FlagsOf(const Exchange& x) {
  std::vector<Flag> flags;
  for (const auto& note : x.flags) flags.push_back(note.flag);
  return flags;
}

TEST(ExchangeTest, AnOrdinaryApprovalIsDecodedWithItsTimingsAndNoFlag) {
  Script s;
  const Exchange x = s.Connect()
                         .Request()
                         .Answer(kApproval.substr(0, 30), 500ms)
                         .Answer(kApproval.substr(30), 800ms)
                         .ReaderEnds(Ending::Closed, 801ms)
                         .EcrEnds(Ending::Closed, 802ms)
                         .Finish();
  EXPECT_EQ(x.outcome, Outcome::Approved);
  EXPECT_TRUE(x.request_problem.empty()) << x.request_problem;
  EXPECT_EQ(x.amount, "1000");
  ASSERT_TRUE(x.fields);
  EXPECT_EQ(x.fields->CardNo, "123456******7890");
  EXPECT_EQ(x.answer, kApproval);
  ASSERT_EQ(x.pieces.size(), 2u);
  EXPECT_EQ(x.pieces[0].bytes, 30u);
  EXPECT_DOUBLE_EQ(x.pieces[0].after_ms, 498.0);  // since the request went out
  EXPECT_DOUBLE_EQ(x.pieces[1].after_ms, 300.0);
  EXPECT_DOUBLE_EQ(*x.timings.request_out_ms, 2.0);
  EXPECT_DOUBLE_EQ(*x.timings.first_byte_ms, 500.0);
  EXPECT_DOUBLE_EQ(*x.timings.answer_ms, 800.0);
  EXPECT_TRUE(x.reader_left_first);
  EXPECT_TRUE(x.flags.empty()) << x.flags.front().detail;
}

TEST(ExchangeTest, TheRequestSaysWhatIsWrongWithIt) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"@@ZRM@@011000410000000020000000530000011", "not one line: no line end"},
      {"@@ZRM@@011000410000000020000000530000011\n", "not one line: LF without CR"},
      {"@@zrm@@011000410000000020000000530000011\r\n", "bad header"},
      {"@@ZRM@@01100X410000000020000000530000011\r\n", "bad length prefix in field 3"},
      {"@@ZRM@@011000410000000020000000530000011\r\nxy", "bytes after the line (2)"},
      {"@@ZRM@@011000410000000020000000530000011\r\n@@ZRM@@011000410000000020000000530000011\r\n",
       "a second request on the connection"},
      {"", "no request: the ECR sent nothing"},
  };
  for (const auto& [bytes, problem] : cases) {
    Script s;
    s.Connect();
    if (!bytes.empty()) s.Request(bytes);
    EXPECT_EQ(s.Finish().request_problem, problem) << bytes;
  }
}

TEST(ExchangeTest, AnApprovalNotWholeIsNoApproval) {
  Script s;
  const Exchange x = s.Connect()
                         .Request()
                         .Answer(kApproval.substr(0, 60), 100ms)
                         .ReaderEnds(Ending::Closed, 101ms)
                         .Finish();
  EXPECT_EQ(x.outcome, Outcome::Unknown);
  EXPECT_EQ(FlagsOf(x), std::vector<Flag>{Flag::AnswerNotWhole});
}

TEST(ExchangeTest, OutcomeWithoutAnAnswerDependsOnWhetherTheRequestLeft) {
  Script unreachable;
  unreachable.log().FromEcr(kRequest, unreachable.At(1ms));
  unreachable.log().ReaderUnreachable("Connection refused");
  const Exchange x = unreachable.Finish();
  EXPECT_EQ(x.outcome, Outcome::NotSent);
  EXPECT_EQ(x.reader_error, "Connection refused");
  EXPECT_TRUE(x.flags.empty());

  Script silent;
  EXPECT_EQ(silent.Connect().Request().EcrEnds(Ending::Closed, 5s).Finish().outcome,
            Outcome::Unknown);
}

TEST(ExchangeTest, TheEcrGivingUpBeforeTheAnswerIsFlaggedWithTheCodeAndTheDelay) {
  Script s;
  const Exchange x = s.Connect()
                         .Request()
                         .EcrEnds(Ending::Reset, 30s)
                         .Answer(kApproval, 42s)
                         .ReaderEnds(Ending::Closed, 42s)
                         .Finish();
  ASSERT_EQ(FlagsOf(x), std::vector<Flag>{Flag::EcrGaveUp});
  EXPECT_EQ(x.flags[0].detail,
            "the ECR reset its connection before the answer; the reader answered code 00 "
            "(approved) 12.0 s later");
  EXPECT_EQ(x.ecr_end, Ending::Reset);
}

TEST(ExchangeTest, ASecondApprovalForTheSameEcrAndAmountWithinFiveMinutesIsFlagged) {
  ApprovalHistory history;
  const auto approve = [&](const std::string& host, std::string_view request,
                           Clock::duration offset, std::string_view answer = kApproval) {
    Script s(host);
    s.Connect().Request(request, offset).Answer(answer, offset + 1s);
    return s.Finish(history);
  };
  // Each script starts at the same instant; the offsets place them in time.
  EXPECT_TRUE(approve("10.0.0.5", kRequest, 0s).flags.empty());
  EXPECT_TRUE(approve("10.0.0.6", kRequest, 10s).flags.empty());  // another ECR
  EXPECT_TRUE(approve("10.0.0.5", "@@ZRM@@011000420000000020000000530000011\r\n", 20s)
                  .flags.empty());                                          // another amount
  EXPECT_TRUE(approve("10.0.0.5", kRequest, 30s, kDecline).flags.empty());  // no approval
  const Exchange again = approve("10.0.0.5", kRequest, 4min);
  ASSERT_EQ(FlagsOf(again), std::vector<Flag>{Flag::RepeatedApproval});
  EXPECT_EQ(again.flags[0].detail, "amount 1000 was approved for this ECR 240.0 s earlier");
  // Five minutes after the last one, it is a new payment.
  EXPECT_TRUE(approve("10.0.0.5", kRequest, 9min + 2s).flags.empty());
}

TEST(ExchangeTest, TheReaderEndingWithoutAnAnswerIsFlaggedOnlyWhenItLeftFirst) {
  Script reset;
  const Exchange x = reset.Connect().Request().ReaderEnds(Ending::Reset, 3s).Finish();
  ASSERT_EQ(FlagsOf(x), std::vector<Flag>{Flag::NoAnswer});
  EXPECT_EQ(x.flags[0].detail,
            "the reader reset the connection without answering, 3.0 s after the request");

  Script after_ecr;
  EXPECT_TRUE(after_ecr.Connect()
                  .Request()
                  .EcrEnds(Ending::Closed, 3s)
                  .ReaderEnds(Ending::Closed, 3s + 1ms)
                  .Finish()
                  .flags.empty());
}

TEST(ExchangeTest, ASlowAnswerIsFlaggedPastSixtySeconds) {
  Script slow;
  EXPECT_EQ(FlagsOf(slow.Connect().Request().Answer(kApproval, 60s + 3ms).Finish()),
            std::vector<Flag>{Flag::SlowAnswer});
  Script in_time;  // the request went out at 2 ms
  EXPECT_TRUE(in_time.Connect().Request().Answer(kApproval, 60s + 2ms).Finish().flags.empty());
}

TEST(ExchangeTest, BytesAfterAWholeAnswerAreFlaggedAndKeptOutOfTheAnswer) {
  Script s;
  const std::string with_tail = std::string(kApproval) + "XY";
  const Exchange x = s.Connect().Request().Answer(with_tail, 1s).Answer("Z", 2s).Finish();
  ASSERT_EQ(FlagsOf(x), std::vector<Flag>{Flag::MoreAfterAnswer});
  EXPECT_EQ(x.flags[0].detail, "the reader sent 3 more bytes after its answer");
  EXPECT_EQ(x.outcome, Outcome::Approved);
  EXPECT_EQ(x.answer_bytes, kApproval.size() + 3);
}

TEST(ExchangeTest, AWholeCardNumberIsFlaggedAndMaskedInTheRecord) {
  Script s;
  // Blanks before an answer are no part of it, and do not move the mask.
  const std::string answer =
      "\r\n@@ZRM@@08123456780600012312123456789012030010200020016"
      "603799123456789012139812051230";
  const Exchange x = s.Connect().Request().Answer(answer, 1s).Finish();
  ASSERT_EQ(FlagsOf(x), std::vector<Flag>{Flag::WholeCardNumber});
  EXPECT_EQ(x.fields->CardNo, "603799******7890");
  EXPECT_EQ(x.fields->PAN, "7890");
  EXPECT_EQ(x.answer.find("6037991234"), std::string::npos) << x.answer;
  EXPECT_NE(x.answer.find("603799******789012139812051230"), std::string::npos) << x.answer;
  EXPECT_EQ(x.flags[0].detail.find("6037991234"), std::string::npos);
}

TEST(ExchangeTest, AnEcrPastTheLimitsIsCutOffAndItsBytesBounded) {
  Script no_line_end;
  no_line_end.Connect();
  const std::string chunk(1000, 'A');
  bool accepted = true;
  int chunks = 0;
  while (accepted && chunks < 100) {
    accepted = no_line_end.log().FromEcr(chunk, no_line_end.At(2ms));
    ++chunks;
  }
  EXPECT_EQ(chunks, 5);  // the fifth thousand passes 4 KiB
  EXPECT_TRUE(no_line_end.log().cut_off());
  const Exchange x = no_line_end.Finish();
  EXPECT_EQ(FlagsOf(x), std::vector<Flag>{Flag::CutOff});
  EXPECT_EQ(x.request.size(), kMaxRequestLine);

  // After a line, an ECR that keeps sending is cut off at the total limit.
  Script endless;
  endless.Connect().Request();
  const std::string lines(1024, '\n');
  chunks = 0;
  while (endless.log().FromEcr(lines, endless.At(3ms)) && chunks < 1000) ++chunks;
  EXPECT_EQ(chunks, 63);
  EXPECT_EQ(FlagsOf(endless.Finish()), std::vector<Flag>{Flag::CutOff});
}

TEST(ExchangeTest, AnAnswerThatNeverEndsIsCountedButKeptBounded) {
  Script s;
  s.Connect().Request();
  const std::string junk(8192, '7');
  // A wrong header never becomes a whole answer.
  for (int i = 0; i < 20; ++i) s.Answer("@@zrm@@" + junk, std::chrono::milliseconds(10 + i));
  const Exchange x = s.Finish();
  EXPECT_EQ(x.answer_bytes, 20 * (junk.size() + 7));
  EXPECT_LE(x.answer.size(), kMaxAnswerKept);
  EXPECT_EQ(x.piece_count, 20u);
}

}  // namespace
}  // namespace pcpos::tap
