// The payment screen's rules, driven through a fake view and a fake runner with
// a clock the test moves: no window, no socket, no waiting.
#include "screen/payment_screen.h"

#include <gtest/gtest.h>

#include <map>

#include "screen/texts.h"

namespace pcpos::screen {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;

class FakeView : public ScreenView {
 public:
  std::string InputText(Input input) const override {
    if (input == Input::LogFolder) return folder;
    return input == Input::Host ? "127.0.0.1" : input == Input::Port ? "9053" : "1000";
  }
  std::string FieldText(Field field) const override { return At(fields, field); }
  std::string RawText() const override { return raw; }
  void SetFieldText(Field field, std::string_view text) override { fields[field] = text; }
  void SetRawText(std::string_view text) override { raw = text; }
  void SetRawCaption(std::string_view text) override { caption = text; }
  void SetFieldPrevious(Field field, bool previous) override { field_previous[field] = previous; }
  void SetRawPrevious(bool previous) override { raw_previous = previous; }
  void SetResultLine(std::string_view text, TextDirection d, Tone t) override {
    line = text;
    direction = d;
    tone = t;
  }
  void SetBusy(bool b) override { busy = b; }
  void SetTicking(bool t) override { ticking = t; }
  void SetLogFolderTip(std::string_view t) override { tip = t; }

  template <typename V>
  static V At(const std::map<Field, V>& m, Field f) {
    const auto it = m.find(f);
    return it == m.end() ? V{} : it->second;
  }

  std::map<Field, std::string> fields;
  std::map<Field, bool> field_previous;
  std::string raw, caption, line, folder = "/no/such/folder", tip;
  bool raw_previous = false, busy = false, ticking = false;
  Tone tone = Tone::Window;
  TextDirection direction = TextDirection::LeftToRight;
};

class FakeRunner : public Runner {
 public:
  bool Start(PaymentInputs in, TransactionOptions, PaymentListener& l) override {
    if (running) return false;
    running = true;
    inputs = std::move(in);
    listener = &l;
    ++starts;
    return true;
  }
  void Cancel() override { ++cancels; }
  void CancelAndWait() override {
    ++cancels;
    running = false;
  }
  bool IsRunning() const override { return running; }

  bool running = false;
  int starts = 0, cancels = 0;
  PaymentInputs inputs;
  PaymentListener* listener = nullptr;
};

// What a line looks like on screen: its direction is the view's business.
std::string Shown(std::string_view text) { return ResultLineDisplayText(text); }

class ScreenTest : public ::testing::Test {
 protected:
  static constexpr auto kDoubleClick = 500ms;
  Time now{};
  FakeView view;
  FakeRunner runner;
  PaymentScreen screen{view, runner, [this] { return now; }, kDoubleClick};

  void Finish(const PaymentReport& report = {}, std::optional<std::string> journal_error = {}) {
    runner.running = false;
    screen.OnFinished(report, journal_error);
  }
  ResponseFields Fields(const std::string& code) {
    ResponseFields f;
    f.TerminalNo = "12345678";
    f.ResponseCode = code;
    return f;
  }
};

TEST_F(ScreenTest, PaymentButtonIgnoresPressesForADoubleClickAfterItChangesRole) {
  EXPECT_EQ(screen.PressPayment(), Command::Start);
  EXPECT_EQ(runner.inputs.host, "127.0.0.1");
  EXPECT_TRUE(view.busy);
  EXPECT_EQ(screen.phase(), Phase::Running);
  now += kDoubleClick - 1ms;
  EXPECT_EQ(screen.PressPayment(), Command::None) << "second click of the double-click";
  EXPECT_EQ(runner.cancels, 0);
  now += 1ms;
  EXPECT_EQ(screen.PressPayment(), Command::Cancel);
  EXPECT_EQ(screen.phase(), Phase::Cancelling);
  EXPECT_EQ(screen.PressPayment(), Command::None) << "the cancel is asked already";
  EXPECT_EQ(runner.cancels, 1);

  Finish();
  EXPECT_FALSE(view.busy);
  EXPECT_EQ(screen.phase(), Phase::Finished);
  now += kDoubleClick - 1ms;
  EXPECT_EQ(screen.PressPayment(), Command::None) << "a late click meant to cancel";
  EXPECT_EQ(screen.PressReturn(), Command::None);
  now += 1ms;
  EXPECT_EQ(screen.PressPayment(), Command::Start);
  EXPECT_EQ(runner.starts, 2);
}

TEST_F(ScreenTest, ReturnOnlyStartsAndEscapeOnlyCancels) {
  EXPECT_EQ(screen.PressEscape(), Command::None);
  EXPECT_EQ(screen.PressReturn(), Command::Start);
  now += 10s;
  EXPECT_EQ(screen.PressReturn(), Command::None);
  EXPECT_EQ(runner.cancels, 0);
  EXPECT_EQ(screen.PressEscape(), Command::Cancel) << "Escape needs no guard";
  EXPECT_EQ(screen.PressEscape(), Command::None);
  EXPECT_EQ(runner.cancels, 1);
  Finish();
  EXPECT_EQ(screen.PressEscape(), Command::None);
  // A runner still ending its previous run refuses; nothing changes on screen.
  runner.running = true;
  now += 10s;
  EXPECT_EQ(screen.PressReturn(), Command::None);
  EXPECT_FALSE(view.busy);
}

TEST_F(ScreenTest, EarlierValuesAreMarkedFromThePressUntilReplaced) {
  view.fields[Field::STAN] = "000123";
  view.raw = "earlier answer";
  screen.PressPayment();
  EXPECT_TRUE(view.field_previous[Field::STAN]);
  EXPECT_FALSE(view.field_previous[Field::RRN]) << "an empty field is not marked";
  EXPECT_TRUE(view.raw_previous);
  EXPECT_EQ(view.raw, "earlier answer") << "kept, only marked";

  screen.OnRawResponse("");
  EXPECT_FALSE(view.raw_previous);
  EXPECT_EQ(view.raw, "");
  EXPECT_TRUE(view.field_previous[Field::STAN]);
  screen.OnFields(Fields("00"));
  EXPECT_FALSE(view.field_previous[Field::STAN]);
  EXPECT_EQ(view.fields[Field::TerminalNo], "12345678");

  view.fields[Field::RRN] = "typed";
  screen.Clear();
  EXPECT_EQ(view.fields[Field::RRN], "");
  EXPECT_FALSE(view.field_previous[Field::RRN]);
}

TEST_F(ScreenTest, WaitingLineCountsDownTheConnectLimitThenTheAnswerLimitFromTheSending) {
  screen.SetTransactionOptions({.answer_timeout = 120s, .connect_timeout = 10s});
  screen.PressPayment();
  EXPECT_TRUE(view.ticking);
  EXPECT_EQ(view.tone, Tone::Window);
  EXPECT_EQ(view.line, Shown(ConnectingText(0, 10)));
  now += 1499ms;
  screen.Tick();
  EXPECT_EQ(view.line, Shown(ConnectingText(1, 9))) << "8.501 s of the connect limit left";
  EXPECT_EQ(ConnectingText(5, 5), "در حال اتصال به کارت خوان… ۵ ثانیه گذشته، ۵ ثانیه مانده");
  screen.OnConnected();
  EXPECT_EQ(view.line, Shown(WaitingText(1, 120))) << "shown at once, not at the next tick";
  screen.OnRequestSent("request");
  now += 1ms;
  screen.Tick();
  EXPECT_EQ(view.line, Shown(WaitingText(2, 120))) << "1.5 s rounds up; 119.999 s left too";
  now += 1000ms;
  screen.Tick();
  EXPECT_EQ(view.line, Shown(WaitingText(3, 119)));  // 2.5 s waited, 118.999 s left
  EXPECT_EQ(WaitingText(5, 115), "در انتظار پاسخ کارت خوان… ۵ ثانیه گذشته، ۱۱۵ ثانیه مانده");

  screen.OnResultLine({"تراکنش با موفقیت انجام شد", Outcome::Approved});
  EXPECT_FALSE(view.ticking);
  now += 1s;
  screen.Tick();
  EXPECT_EQ(view.line, Shown("تراکنش با موفقیت انجام شد"));
  EXPECT_EQ(view.direction, TextDirection::RightToLeft);

  // The next payment connects anew; a connect past its limit shows 0 left.
  Finish();
  now += 1s;
  screen.PressPayment();
  now += 12s;
  screen.Tick();
  EXPECT_EQ(view.line, Shown(ConnectingText(12, 0)));
}

// The first strong character decides; digits of either script do not.
TEST(DirectionOf, FollowsTheFirstStrongCharacter) {
  EXPECT_EQ(DirectionOf("Socket Error # 10054"), TextDirection::LeftToRight);
  EXPECT_EQ(DirectionOf("۱۲ Canceled ثانیه"), TextDirection::LeftToRight);
  EXPECT_EQ(DirectionOf("12: رمز عبور"), TextDirection::RightToLeft);
  EXPECT_EQ(DirectionOf("Ünlü"), TextDirection::LeftToRight);
  EXPECT_EQ(DirectionOf("123"), TextDirection::RightToLeft) << "none: the line's own order";
  EXPECT_EQ(DirectionOf(""), TextDirection::RightToLeft);
}

TEST_F(ScreenTest, ResultLineToneFollowsTheOutcomeAndOutlivesClearing) {
  EXPECT_EQ(ToneOf(Outcome::Approved), Tone::Green);
  EXPECT_EQ(ToneOf(Outcome::Declined), Tone::Red);
  EXPECT_EQ(ToneOf(Outcome::NotSent), Tone::Red);
  EXPECT_EQ(ToneOf(Outcome::Unknown), Tone::Amber);
  EXPECT_EQ(ToneColour(Tone::Green), (Rgb{0, 128, 0}));
  EXPECT_EQ(ToneColour(Tone::Red), (Rgb{255, 0, 0}));
  EXPECT_EQ(ToneColour(Tone::Amber), (Rgb{160, 82, 0}));
  EXPECT_EQ(ToneColour(Tone::Window), std::nullopt);

  screen.PressPayment();
  screen.OnResultLine({"Connection refused.\r\nsecond line", Outcome::NotSent});
  EXPECT_EQ(view.line, "Connection refused.") << "one line, plain";
  EXPECT_EQ(view.direction, TextDirection::LeftToRight);
  EXPECT_EQ(view.tone, Tone::Red);
  Finish();
  screen.Clear();
  EXPECT_EQ(view.line, "");
  EXPECT_EQ(view.tone, Tone::Red) << "the next text sets the colour again";
}

TEST_F(ScreenTest, RawPaneWarnsAboveAnOpenOutcomeAndAddsWhatCouldNotBeWritten) {
  const std::string warning(kOutcomeUnknownText);
  // An error after sending: reported before its line, warned when the line comes.
  screen.PressPayment();
  screen.OnRequestSent("request");
  screen.OnRawResponse("");
  screen.OnRawResponse("Connection reset by peer.");
  screen.OnResultLine({"Connection reset by peer.", Outcome::Unknown});
  EXPECT_EQ(view.raw, warning + "\r\nConnection reset by peer.");
  PaymentReport unknown;
  unknown.outcome = Outcome::Unknown;
  Finish(unknown, "I/O error 112 - /logs/Selvarin-PcPosJournal.csv");
  EXPECT_EQ(view.raw, warning +
                          "\r\nConnection reset by peer.\r\n"
                          "I/O error 112 - /logs/Selvarin-PcPosJournal.csv")
      << "the message names its file";

  // An answer read whole, whose log could not be written.
  now += 1s;
  screen.PressPayment();
  screen.OnRawResponse("");
  screen.OnResultLine({"تراکنش با موفقیت انجام شد", Outcome::Approved});
  screen.OnRawResponse("@@ZRM@@...");
  EXPECT_EQ(view.raw, "@@ZRM@@...");
  PaymentReport approved;
  approved.outcome = Outcome::Approved;
  approved.log_error = "Cannot create file\nAccess is denied";
  Finish(approved);
  EXPECT_EQ(view.raw, "@@ZRM@@...\r\nCannot create file\r\nAccess is denied");

  // An answer whose log was written names the file last.
  now += 1s;
  screen.PressPayment();
  screen.OnRawResponse("");
  screen.OnResultLine({"تراکنش با موفقیت انجام شد", Outcome::Approved});
  screen.OnRawResponse("@@ZRM@@...");
  approved.log_error.reset();
  approved.log_file = "/logs/Selvarin-PcPosLog.txt";
  Finish(approved);
  EXPECT_EQ(view.raw, "@@ZRM@@...\r\nLog: /logs/Selvarin-PcPosLog.txt");

  // An error before sending is definite: no warning.
  now += 1s;
  screen.PressPayment();
  screen.OnRawResponse("Invalid port: x");
  screen.OnResultLine({"Invalid port: x", Outcome::NotSent});
  PaymentReport not_sent;
  Finish(not_sent);
  EXPECT_EQ(view.raw, "Invalid port: x");
}

TEST_F(ScreenTest, RawCaptionTellsTheReadersTimeAfterThePayment) {
  view.caption = "stale";
  screen.Show();
  EXPECT_EQ(view.caption, "Raw Response");
  screen.PressPayment();
  PaymentReport report;
  report.timings.sent_ms = 100.0;
  report.timings.answer_ms = 2410.0;
  Finish(report);
  EXPECT_EQ(view.caption, "Raw Response (reader answered in 2.31 s)");
  now += 1s;
  screen.PressPayment();
  EXPECT_EQ(view.caption, "Raw Response") << "a new payment has no time yet";

  report.timings.answer_ms = 950.0;
  EXPECT_EQ(RawResponseCaption(&report), "Raw Response (reader answered in 850.0 ms)");
  report.timings.sent_ms.reset();
  EXPECT_EQ(RawResponseCaption(&report), "Raw Response") << "nothing was sent";
}

// The folder rule adds a separator only for an existing folder: the tooltip
// shows where the files go for the text as it stands, from the window's opening on.
TEST_F(ScreenTest, LogFolderTooltipNamesBothFilesAsTheFolderIsTyped) {
  screen.Show();
  // Asking whether the folder exists could freeze the window on a dead share,
  // so a text without a final separator gets both of the rule's answers.
#ifdef _WIN32
  const std::string inside = "/no/such/folder\\";
#else
  const std::string inside = "/no/such/folder/";
#endif
  EXPECT_EQ(view.tip, "Log: " + inside + "Selvarin-PcPosLog.txt\n" + "Journal: " + inside +
                          "Selvarin-PcPosJournal.csv\n" +
                          "when /no/such/folder is a folder; if not:\n" +
                          "Log: /no/such/folderSelvarin-PcPosLog.txt\n"
                          "Journal: /no/such/folderSelvarin-PcPosJournal.csv");
  view.folder = "  /  ";
  screen.LogFolderEdited();
  EXPECT_EQ(view.tip, "Log: /Selvarin-PcPosLog.txt\nJournal: /Selvarin-PcPosJournal.csv");
}

TEST_F(ScreenTest, ClosingCancelsAndWaitsAndLeavesTheWindowIdle) {
  screen.PressPayment();
  screen.Close();
  EXPECT_FALSE(runner.running);
  EXPECT_FALSE(view.busy);
  EXPECT_FALSE(view.ticking);
  EXPECT_EQ(screen.phase(), Phase::Idle);
}

}  // namespace
}  // namespace pcpos::screen
