#include "cli/cli.h"
#include "payment/transaction.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>
#include <thread>

#include "tests/support/tcp_peer.h"
#include "tests/support/unprivileged.h"
#include "tests/support/wine.h"

namespace pcpos {
namespace {

using namespace std::chrono_literals;
using testing::PeerSocket;
using testing::TcpPeer;

constexpr const char* kAnswer =
    "@@ZRM@@08123456780600012312123456789012030010200020016123456******789012139812051230";

struct CliRun {
  int status;
  std::string out, err;
};

CliRun Cli(std::vector<std::string> args) {
  args.insert(args.begin(), "pcpos-cli");
  std::vector<const char*> argv;
  for (auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

class CliTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_{"pcpos-cli-"};
  const std::string dir_ = scratch_.path().string();
  std::vector<std::string> Args(const TcpPeer& peer, std::vector<std::string> more = {}) {
    std::vector<std::string> a = {"--host", "127.0.0.1", "--port", peer.port_text(), "--log-dir",
                                  dir_ + "/"};
    a.insert(a.end(), more.begin(), more.end());
    return a;
  }
};

TEST_F(CliTest, JsonReportOfAnApprovedPayment) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
  });
  CliRun run = Cli(Args(peer, {"--json"}));
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
  auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["request"], "@@ZRM@@011000410000000020000000530000011");
  EXPECT_EQ(j["raw"], kAnswer);
  EXPECT_EQ(j["fields"], nlohmann::json::parse(R"({
      "TerminalNo": "12345678", "STAN": "000123", "RRN": "123456789012", "BatchNo": "001",
      "ResponseType": "00", "ResponseCode": "00", "CardNo": "123456******7890", "PAN": "7890",
      "BIN": "123456", "TransactionDate": "1398/12/05", "TransactionTime": "12:30"})"));
  EXPECT_EQ(j["result"], nlohmann::json::parse(
                             R"({"text": "تراکنش با موفقیت انجام شد", "colour": "green"})"));
  EXPECT_EQ(j["log_file"], dir_ + "/Selvarin-PcPosLog.txt");
}

TEST_F(CliTest, JsonReportsNullsForWhatNeverHappened) {
  if (testing::UnderWine()) {
    GTEST_SKIP() << "under Wine 8 a reset reads as a graceful close (docs/windows.md)";
  }
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Reset();
  });
  CliRun reset = Cli(Args(peer, {"--json", "--amount", "250000"}));
  EXPECT_EQ(reset.status, 3);
  auto j = nlohmann::json::parse(reset.out);
  EXPECT_EQ(j["request"], "@@ZRM@@01100062500000000020000000530000011");
  EXPECT_TRUE(j["fields"].is_null());
  EXPECT_EQ(j["raw"], std::string(kOutcomeUnknownText) +
                          "\r\nSocket Error # 10054\r\nConnection reset by peer.");
  EXPECT_EQ(j["result"]["colour"], "amber");
  EXPECT_EQ(j["outcome"], "unknown");
  EXPECT_TRUE(j["log_error"].is_null());

  CliRun refused = Cli({"--json", "--host", "127.0.0.1", "--port", "70000", "--log-dir", dir_ + "/"});
  EXPECT_EQ(refused.status, 1);
  j = nlohmann::json::parse(refused.out);
  EXPECT_TRUE(j["request"].is_null());
  EXPECT_EQ(j["result"]["text"], "Invalid port: 70000");
  EXPECT_EQ(j["result"]["colour"], "red");
  EXPECT_EQ(j["outcome"], "not-sent");
}

TEST_F(CliTest, LiveOutputFollowsTheTransaction) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send("@@ZRM@@000000000002010000");
  });
  CliRun run = Cli(Args(peer));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "request: @@ZRM@@011000410000000020000000530000011\n"
            "raw: \n"
            "TerminalNo: \nSTAN: \nRRN: \nBatchNo: \nResponseType: \nResponseCode: 01\nCardNo: \n"
            "PAN: \nBIN: \nTransactionDate: //\nTransactionTime: :\n"
            "result (red): عملیات توسط کاربر لغو شده است\n"
            "raw: @@ZRM@@000000000002010000\n"
            "outcome: declined\n"
            "log file: " + dir_ + "/Selvarin-PcPosLog.txt\n");
}

TEST_F(CliTest, TimeoutOptionBoundsTheWait) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose();
  });
  auto start = std::chrono::steady_clock::now();
  CliRun run = Cli(Args(peer, {"--json", "--timeout", "0.2"}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(nlohmann::json::parse(run.out)["result"]["text"],
            "Socket Error # 10060\r\nConnection timed out.");
}

// Nothing is sent for a usage error; a time-out must be a finite, sane number.
TEST_F(CliTest, BadOptionsExitWithTwoAndSendNothing) {
  TcpPeer peer([](PeerSocket& s) { s.ReadLine(200ms); });
  for (auto more : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"--timeout", "-1"}, {"--timeout", "soon"}, {"--timeout", "nan"},
           {"--timeout", "inf"}, {"--timeout", "1e300"}, {"--timeout", "abc"},
           {"--timeout", "0.05"}, {"--timeout", "86401"}, {"--port"}}) {
    CliRun run = Cli(Args(peer, more));
    EXPECT_EQ(run.status, 2) << more.back();
    EXPECT_NE(run.err, "") << more.back();
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(peer.accepted(), 0);
  CliRun help = Cli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--log-dir"), std::string::npos);
}

}  // namespace
}  // namespace pcpos
