// Every scenario end to end: the core's own transaction against the simulator
// on a loopback port, checking fields, result line, raw pane, log file bytes
// and the simulator's log line.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>

#include "payment/response_log.h"
#include "payment/transaction.h"
#include "text/civil_time.h"
#include "tests/simulator/simulator_thread.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/wine.h"

namespace pcpos::sim {
namespace {

using namespace std::chrono_literals;
using test_support::SimulatorThread;

constexpr const char* kSuccess = "تراکنش با موفقیت انجام شد";
constexpr const char* kCancelled = "عملیات توسط کاربر لغو شده است";
constexpr const char* kWrongPin = "رمز عبور نامعتبر است";
constexpr const char* kFailed = "عملیات با شکست مواجه شده است";
constexpr const char* kBadHeader = "فرمت اطلاعات بازگشتی نامعتبر است.";
constexpr const char* kReset = "Socket Error # 10054\r\nConnection reset by peer.";
constexpr const char* kClosed = "Connection Closed Gracefully.";
constexpr const char* kTimedOut = "Socket Error # 10060\r\nConnection timed out.";

struct Outcome {
  std::optional<ResponseFields> fields;
  std::optional<ResultLine> line;
  std::string raw;
};

class Collector : public TransactionObserver {
 public:
  Outcome outcome;
  void OnRawResponse(const std::string& text) override { outcome.raw = text; }
  void OnFields(const ResponseFields& fields) override { outcome.fields = fields; }
  void OnResultLine(const ResultLine& line) override { outcome.line = line; }
};

class TempFolder {
 public:
  std::string folder() const { return scratch_.folder(); }
  std::string LogBytes() const {
    std::ifstream in(folder() + std::string(kLogFileName), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

 private:
  testing::ScratchDir scratch_{"pcpos-sim-test-"};
};

Outcome Pay(const SimulatorThread& sim, const std::string& amount, const std::string& folder,
            std::chrono::milliseconds answer_timeout = 10s) {
  TransactionOptions options;
  options.answer_timeout = answer_timeout;
  PaymentTransaction transaction({"127.0.0.1", sim.port_text(), amount, folder}, options);
  Collector collector;
  transaction.Run(collector);
  return collector.outcome;
}

// The simulator's fields as a reader sends them, stamped between two instants.
void ExpectRealisticFields(const ResponseFields& f, const CivilTime& before,
                           const CivilTime& after) {
  EXPECT_EQ(f.TerminalNo, "31415926");
  EXPECT_TRUE(std::regex_match(f.STAN, std::regex(R"(\d{6})"))) << f.STAN;
  EXPECT_TRUE(std::regex_match(f.RRN, std::regex(R"(\d{12})"))) << f.RRN;
  EXPECT_EQ(f.RRN.substr(6), f.STAN);
  EXPECT_EQ(f.BatchNo, "001");
  EXPECT_EQ(f.ResponseType, "00");
  EXPECT_EQ(f.CardNo, "123456******7890");
  EXPECT_EQ(f.BIN, "123456");
  EXPECT_EQ(f.PAN, "7890");
  auto shown = [&](const CivilTime& t) {
    const JalaliDate d = ToJalali(t.year, t.month, t.day);
    char date[16], time[8];
    std::snprintf(date, sizeof date, "%04d/%02d/%02d", d.year, d.month, d.day);
    std::snprintf(time, sizeof time, "%02d:%02d", t.hour, t.minute);
    return std::make_pair(std::string(date), std::string(time));
  };
  const auto shown_fields = std::make_pair(f.TransactionDate, f.TransactionTime);
  EXPECT_TRUE(shown_fields == shown(before) || shown_fields == shown(after))
      << f.TransactionDate << " " << f.TransactionTime;
}

struct Case {
  const char* name;
  std::optional<Scenario> forced;  // none: the amount chooses
  const char* amount;
  const char* scenario_logged;
  const char* code;  // expected ResponseCode; nullptr: no fields
  const char* text;
  pcpos::Outcome outcome;
};

const Case kCases[] = {
    {"approve", {}, "1000", "approve", "00", kSuccess, pcpos::Outcome::Approved},
    {"approve any other ending", {}, "250075", "approve", "00", kSuccess, pcpos::Outcome::Approved},
    {"cancel", {}, "1001", "cancel", "01", kCancelled, pcpos::Outcome::Declined},
    {"wrong pin", {}, "1030", "wrong-pin", "30", kWrongPin, pcpos::Outcome::Declined},
    {"decline", {}, "1051", "decline", "51", kFailed, pcpos::Outcome::Declined},
    {"delay", {}, "1010", "delay", "00", kSuccess, pcpos::Outcome::Approved},
    {"two segments", {}, "1020", "two-segments", "00", kSuccess, pcpos::Outcome::Approved},
    {"bad header", {}, "1040", "bad-header", nullptr, kBadHeader, pcpos::Outcome::Unknown},
    {"reset", {}, "1060", "reset", nullptr, kReset, pcpos::Outcome::Unknown},
    {"close", {}, "1070", "close", nullptr, kClosed, pcpos::Outcome::Unknown},
    {"silence", {}, "1080", "silence", nullptr, kTimedOut, pcpos::Outcome::Unknown},
    {"no card", {}, "1090", "no-card", "68", kFailed, pcpos::Outcome::Declined},
    {"forced reset overrides the amount", Scenario::Reset, "1000", "reset", nullptr, kReset,
     pcpos::Outcome::Unknown},
    {"forced decline", Scenario::Declined, "1000", "decline", "51", kFailed,
     pcpos::Outcome::Declined},
    {"invalid amount",
     {},
     "12a4",
     "malformed: invalid amount",
     "13",
     kFailed,
     pcpos::Outcome::Declined},
    {"zero amount under a forced scenario", Scenario::Silence, "0", "malformed: invalid amount",
     "13", kFailed, pcpos::Outcome::Declined},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ScenarioTest : public ::testing::TestWithParam<Case> {};

TEST_P(ScenarioTest, ThroughTheCoreTransaction) {
  const Case& c = GetParam();
  if (c.text == std::string(kReset) && testing::UnderWine()) {
    GTEST_SKIP() << "under Wine 8 a reset reads as a graceful close (docs/windows.md)";
  }
  ServerOptions options;
  options.scenario = c.forced;
  options.delay = 400ms;
  options.pause = 400ms;
  SimulatorThread sim(options);
  ASSERT_NE(sim.port(), 0);
  TempFolder folder;

  const CivilTime before = LocalTime(std::chrono::system_clock::now());
  const auto started = std::chrono::steady_clock::now();
  const Outcome out = Pay(sim, c.amount, folder.folder(), 800ms);
  const auto took = std::chrono::steady_clock::now() - started;
  const CivilTime after = LocalTime(std::chrono::system_clock::now());

  ASSERT_TRUE(out.line.has_value());
  EXPECT_EQ(out.line->text, c.text);
  EXPECT_EQ(out.line->outcome, c.outcome);
  if (c.code) {
    ASSERT_TRUE(out.fields.has_value());
    EXPECT_EQ(out.fields->ResponseCode, c.code);
    // The log file holds exactly the answer as the client took it.
    EXPECT_EQ(folder.LogBytes(), out.raw);
    EXPECT_TRUE(out.raw.starts_with("@@ZRM@@08")) << out.raw;
  } else {
    EXPECT_FALSE(out.fields.has_value());
    EXPECT_EQ(folder.LogBytes(), "");
  }

  if (c.code) {
    ExpectRealisticFields(*out.fields, before, after);
  }
  if (c.scenario_logged == std::string("delay")) {
    EXPECT_GE(took, 400ms);
  }

  // One log line for the request, naming the request and the scenario.
  ASSERT_TRUE(sim.WaitForLog(1));
  const auto log = sim.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(std::string("scenario ") + c.scenario_logged + " answer"),
            std::string::npos)
      << log[0];
  EXPECT_NE(log[0].find(BuildPurchaseRequest(c.amount)), std::string::npos) << log[0];
  EXPECT_NE(log[0].find(" peer 127.0.0.1:"), std::string::npos) << log[0];
  if (c.code) {
    // A split answer is logged as its pieces joined by " + ".
    std::string logged = log[0];
    for (std::size_t at; (at = logged.find("\" + \"")) != std::string::npos;) logged.erase(at, 5);
    EXPECT_NE(logged.find(out.raw), std::string::npos) << log[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Simulator, ScenarioTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& param_info) {
                           std::string name = param_info.param.name;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

TEST(Simulator, StanCountsUpAcrossConnections) {
  SimulatorThread sim;
  TempFolder folder;
  const Outcome first = Pay(sim, "1000", folder.folder());
  const Outcome second = Pay(sim, "1001", folder.folder());
  ASSERT_TRUE(first.fields && second.fields);
  EXPECT_EQ(std::stoi(second.fields->STAN), std::stoi(first.fields->STAN) + 1);
  // Only the last good answer stays in the log.
  EXPECT_EQ(folder.LogBytes(), second.raw);
}

// A handler that throws on the in-process simulator's thread (its log sink
// here) ends no program: the payment waiting on it ends at once as an open
// outcome instead of at its limit, and the simulator says why it stopped.
TEST(Simulator, AnErrorOnItsThreadClosesTheConnectionsAndStopsIt) {
  ServerOptions options;
  options.delay = 0ms;
  InProcessSimulator sim(options);
  std::atomic<bool> thrown{false};
  std::mutex mutex;
  std::vector<std::string> lines;
  sim.SetLogSink([&](const std::string& line) {
    if (!thrown.exchange(true)) throw std::runtime_error("disk full");
    std::lock_guard lock(mutex);
    lines.push_back(line);
  });
  std::string error;
  ASSERT_TRUE(sim.Start(0, error)) << error;
  TempFolder folder;
  TransactionOptions limits;
  limits.answer_timeout = 60s;
  PaymentTransaction payment({"127.0.0.1", std::to_string(sim.port()), "1000", folder.folder()},
                             limits);
  Collector collector;
  const auto started = std::chrono::steady_clock::now();
  const PaymentReport report = payment.Run(collector);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
  EXPECT_EQ(report.outcome, pcpos::Outcome::Unknown) << report.error;
  EXPECT_FALSE(report.error.empty());
  sim.Stop();
  std::lock_guard lock(mutex);
  EXPECT_EQ(lines, std::vector<std::string>{"simulator stopped: disk full"});
}

}  // namespace
}  // namespace pcpos::sim
