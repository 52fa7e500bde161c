// The client in-process: its JSON and text reports, the journal row of each
// payment, its timings, option checks, and a series cut short.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <map>
#include <regex>

#include "cli/cli.h"
#include "payment/transaction.h"
#include "tests/cli/cli_test_support.h"
#include "tests/support/wine.h"

namespace pcpos::clitest {
namespace {

TEST_F(CliTest, JsonReportOfAnApprovedPayment) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
  });
  CliRun run = Cli(Args(peer, {"--json"}));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
  auto j = nlohmann::json::parse(run.out);
  // The documented order, which scripts reading the text may rely on.
  std::vector<std::string> keys;
  const auto ordered = nlohmann::ordered_json::parse(run.out);
  for (const auto& item : ordered.items()) keys.push_back(item.key());
  EXPECT_EQ(keys,
            (std::vector<std::string>{"request", "raw", "fields", "result", "log_file", "outcome",
                                      "error", "log_error", "journal_error", "timings"}));
  EXPECT_TRUE(j["error"].is_null());
  EXPECT_EQ(j["request"], "@@ZRM@@011000410000000020000000530000011");
  EXPECT_EQ(j["raw"], kAnswer);
  EXPECT_EQ(j["fields"], nlohmann::json::parse(R"({
      "TerminalNo": "12345678", "STAN": "000123", "RRN": "123456789012", "BatchNo": "001",
      "ResponseType": "00", "ResponseCode": "00", "CardNo": "123456******7890", "PAN": "7890",
      "BIN": "123456", "TransactionDate": "1398/12/05", "TransactionTime": "12:30"})"));
  EXPECT_EQ(j["result"],
            nlohmann::json::parse(R"({"text": "تراکنش با موفقیت انجام شد", "colour": "green"})"));
  EXPECT_EQ(j["log_file"], dir_ + "/Selvarin-PcPosLog.txt");
  EXPECT_TRUE(j["journal_error"].is_null());

  const auto rows = ReadJournal(journal_);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(
      Record(rows[0].begin() + kHost, rows[0].begin() + kConnectMs),
      (Record{"127.0.0.1", peer.port_text(), "1000", "@@ZRM@@011000410000000020000000530000011",
              kAnswer, "00", "تراکنش با موفقیت انجام شد", "approved"}));
  EXPECT_TRUE(std::regex_match(rows[0][kTime],
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << rows[0][kTime];
  EXPECT_TRUE(std::regex_match(rows[0][kAnswerMs], std::regex(R"(\d+\.\d)"))) << rows[0][kAnswerMs];
  EXPECT_EQ(rows[0][kError], "");
}

TEST_F(CliTest, JsonReportsNullsForWhatNeverHappened) {
  if (testing::UnderWine()) {
    GTEST_SKIP() << "under Wine 8 a reset reads as a graceful close (docs/windows.md)";
  }
  TcpPeer peer(Resetting());
  CliRun reset = Cli(Args(peer, {"--json", "--amount", "250000"}));
  EXPECT_EQ(reset.status, 3);
  auto j = nlohmann::json::parse(reset.out);
  EXPECT_EQ(j["request"], "@@ZRM@@01100062500000000020000000530000011");
  EXPECT_TRUE(j["fields"].is_null());
  EXPECT_TRUE(j["raw"].is_null());
  EXPECT_EQ(j["error"],
            nlohmann::json::parse(R"({"code": 10054, "message": "Connection reset by peer."})"));
  EXPECT_EQ(j["result"]["colour"], "amber");
  EXPECT_EQ(j["outcome"], "unknown");
  EXPECT_TRUE(j["log_error"].is_null());

  const std::string no_host = "Invalid host: the card reader's address is empty";
  CliRun refused = Cli(Args(peer, {"--json"}, " "));
  EXPECT_EQ(refused.status, 1);
  j = nlohmann::json::parse(refused.out);
  EXPECT_TRUE(j["request"].is_null());
  EXPECT_TRUE(j["raw"].is_null());
  EXPECT_EQ(j["result"]["text"], no_host);
  EXPECT_EQ(j["result"]["colour"], "red");
  EXPECT_EQ(j["outcome"], "not-sent");
  EXPECT_EQ(j["error"], (nlohmann::json{{"code", nullptr}, {"message", no_host}}));
  EXPECT_EQ(j["timings"], nlohmann::json::parse(R"({"lookup_ms": null, "connect_ms": null,
      "sent_ms": null, "first_byte_ms": null, "answer_ms": null})"));

  // Both are in the journal, the one that never left included.
  const auto rows = ReadJournal(journal_);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][kOutcome], "unknown");
  EXPECT_EQ(rows[0][kError], "Socket Error # 10054 / Connection reset by peer.");
  EXPECT_EQ(rows[1][kOutcome], "not-sent");
  EXPECT_EQ(rows[1][kHost], " ");
  EXPECT_EQ(rows[1][kError], no_host);
}

// The phases are timed from the start of the payment: a reader that takes
// 200 ms over its answer shows them between the request and the first byte.
TEST_F(CliTest, TimingsShowTheReadersWait) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    std::this_thread::sleep_for(200ms);
    s.Send(kAnswer);
  });
  const auto j = nlohmann::json::parse(Cli(Args(peer, {"--json"})).out);
  const auto& t = j["timings"];
  double last = 0;
  for (const char* phase : {"lookup_ms", "connect_ms", "sent_ms", "first_byte_ms", "answer_ms"}) {
    ASSERT_TRUE(t[phase].is_number()) << phase << " in " << t;
    EXPECT_GE(t[phase].get<double>(), last) << phase;
    last = t[phase].get<double>();
  }
  EXPECT_GE(t["first_byte_ms"].get<double>() - t["sent_ms"].get<double>(), 200.0);
}

TEST_F(CliTest, LiveOutputFollowsTheTransaction) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send("@@ZRM@@000000000002010000");
  });
  CliRun run = Cli(Args(peer));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  const std::regex timings(
      "timings: lookup_ms [0-9.]+, connect_ms [0-9.]+, sent_ms [0-9.]+, first_byte_ms [0-9.]+, "
      "answer_ms [0-9.]+\n");
  EXPECT_TRUE(std::regex_search(run.out, timings)) << run.out;
  EXPECT_EQ(std::regex_replace(run.out, timings, "timings\n"),
            "request: @@ZRM@@011000410000000020000000530000011\n"
            "raw: @@ZRM@@000000000002010000\n"
            "TerminalNo: \nSTAN: \nRRN: \nBatchNo: \nResponseType: \nResponseCode: 01\nCardNo: \n"
            "PAN: \nBIN: \nTransactionDate: //\nTransactionTime: :\n"
            "result (red): عملیات توسط کاربر لغو شده است\n"
            "timings\n"
            "outcome: declined\n"
            "log file: " +
                dir_ + "/Selvarin-PcPosLog.txt\n");
}

TEST_F(CliTest, TimeoutOptionBoundsTheWait) {
  TcpPeer peer(Silent());
  auto start = std::chrono::steady_clock::now();
  CliRun run = Cli(Args(peer, {"--json", "--timeout", "0.2"}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(nlohmann::json::parse(run.out)["result"]["text"],
            "Socket Error # 10060\r\nConnection timed out.");
}

// Nothing is sent for a usage error: the reader's address and the amount
// must be given, a port must fit TCP, a time-out must be a finite, sane number.
TEST_F(CliTest, UsageErrorsExitWithTwoAndSendNothing) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(200ms); });
  for (auto more : std::vector<std::vector<std::string>>{{"--bogus"},
                                                         {"--timeout", "-1"},
                                                         {"--timeout", "soon"},
                                                         {"--timeout", "nan"},
                                                         {"--timeout", "inf"},
                                                         {"--timeout", "1e300"},
                                                         {"--timeout", "abc"},
                                                         {"--timeout", "0.05"},
                                                         {"--timeout", "86401"},
                                                         {"--connect-timeout", "0.05"},
                                                         {"--connect-timeout", "601"},
                                                         {"--port"},
                                                         {"--port", "70000"},
                                                         {"--port", "0"},
                                                         {"--repeat", "0"},
                                                         {"--repeat", "-2"},
                                                         {"--repeat", "two"},
                                                         {"--repeat", "3", "--interval", "-1"},
                                                         {"--repeat", "3", "--interval", "nan"},
                                                         {"--repeat", "3", "--interval", "86401"},
                                                         {"--interval", "2"}}) {
    CliRun run = Cli(Args(peer, more));
    EXPECT_EQ(run.status, 2) << more.back();
    EXPECT_NE(run.err, "") << more.back();
  }
  // Without an address or an amount nothing is tried, so nothing is journaled.
  const CliRun bare = Cli({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_NE(bare.err.find("--host"), std::string::npos) << bare.err;
  for (const std::string missing : {"--host", "--amount"}) {
    std::vector<std::string> args = Args(peer);
    args.erase(std::ranges::find(args, missing), std::ranges::find(args, missing) + 2);
    const CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << missing;
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(peer.accepted(), 0);
  EXPECT_FALSE(std::filesystem::exists(journal_));

  CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"--log-dir", "--connect-timeout", "Exit status", "130"}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
  // What can stop a run is what this system can send.
#ifdef _WIN32
  EXPECT_NE(help.out.find("Ctrl-Break"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("console window"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("SIGTERM"), std::string::npos) << help.out;
  EXPECT_EQ(help.out.find("SIGHUP"), std::string::npos) << help.out;
#else
  EXPECT_NE(help.out.find("SIGHUP"), std::string::npos) << help.out;
#endif
  // Messages name the program, not the path it was started by.
  const char* started_as[] = {"C:\\Users\\op\\Downloads\\pcpos\\pcpos-cli.exe", "--bogus"};
  std::ostringstream out, err;
  EXPECT_EQ(RunCli(2, started_as, out, err), 2);
  EXPECT_EQ(err.str().rfind("pcpos-cli: ", 0), 0u) << err.str();
  CliRun version = Cli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("pcpos-cli [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
}

// A series in text mode: each payment, then the summary; Ctrl-C in the pause
// ends it there, with the payments made so far, and the exit status says the
// run was cut short although every payment made was approved.
TEST_F(CliTest, InterruptInThePauseEndsTheSeriesWithItsSummary) {
  TcpPeer peer(
      [](PeerSocket& s) {
        s.ReadLine();
        std::this_thread::sleep_for(20ms);
        s.Send(kAnswer);
      },
      2);
  CliInterrupt interrupt;
  // The first payment's row is written once it has ended: the pause follows.
  std::thread operator_([&] {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline &&
           (!std::filesystem::exists(journal_) || std::filesystem::file_size(journal_) < 200)) {
      std::this_thread::sleep_for(5ms);
    }
    std::this_thread::sleep_for(100ms);
    interrupt.Trigger(SIGINT);
  });
  const auto args = Args(peer, {"--repeat", "3", "--interval", "60"});
  std::vector<const char*> argv{"pcpos-cli"};
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, &interrupt);
  operator_.join();
  EXPECT_EQ(status, 128 + SIGINT);
  EXPECT_EQ(peer.accepted(), 1);
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("payment 1 of 3\nrequest: ", 0), 0u) << text;
  EXPECT_EQ(text.find("payment 2 of 3"), std::string::npos);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex("answer_ms ([0-9.]+)\noutcome: approved\n")));
  EXPECT_TRUE(
      text.ends_with("\nsummary: approved 1, declined 0, not_sent 0, unknown 0, answer_ms median " +
                     m[1].str() + ", max " + m[1].str() + ", interrupted\n"))
      << text;
  EXPECT_EQ(ReadJournal(journal_).size(), 1u);
}

}  // namespace
}  // namespace pcpos::clitest
