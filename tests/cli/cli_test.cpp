#include "cli/cli.h"
#include "payment/transaction.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/silent_resolver.h"
#include "tests/support/tcp_peer.h"
#include "tests/support/unprivileged.h"

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

using Record = std::vector<std::string>;

// The journal's records after its byte-order mark, read by RFC 4180; a record
// cut short or a mark anywhere else fails the test.
std::vector<Record> ReadJournal(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::string bom = "\xEF\xBB\xBF";
  EXPECT_EQ(bytes.substr(0, 3), bom);
  EXPECT_EQ(bytes.find(bom, 3), std::string::npos);
  std::vector<Record> records;
  Record record;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 3; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < bytes.size() && bytes[i + 1] == '"') {
        field += c;
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      ++i;
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(record.empty() && field.empty() && !quoted) << "the journal ends inside a row";
  if (!records.empty()) {
    EXPECT_EQ(records.front(), (Record{"time", "host", "port", "amount", "request", "answer",
                                       "response_code", "result", "outcome", "connect_ms",
                                       "answer_ms", "error"}));
    records.erase(records.begin());
  }
  return records;
}

enum Column { kTime, kHost, kPort, kAmount, kRequest, kAnswer_, kCode, kResult, kOutcome, kConnectMs,
              kAnswerMs, kError, kColumns };

// Starts the real program with its output going to a file.
pid_t StartCli(const std::vector<std::string>& args, const std::string& output) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    std::vector<char*> argv{const_cast<char*>("pcpos-cli")};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(PCPOS_CLI_PATH, argv.data());
    ::_exit(127);
  }
  return pid;
}

int WaitExit(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Until the peer has read `n` request lines; false after ten seconds.
bool WaitForRequests(const TcpPeer& peer, std::size_t n) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::ranges::count(peer.received(), '\n') < static_cast<std::ptrdiff_t>(n)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_{"pcpos-cli-"};
  const std::string dir_ = scratch_.path().string();
  const std::string journal_ = dir_ + "/Selvarin-PcPosJournal.csv";
  std::vector<std::string> Args(const TcpPeer& peer, std::vector<std::string> more = {}) {
    return Args(peer.port_text(), std::move(more));
  }
  std::vector<std::string> Args(const std::string& port, std::vector<std::string> more = {}) {
    std::vector<std::string> a = {"--host", "127.0.0.1", "--port", port, "--log-dir", dir_ + "/"};
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
  EXPECT_TRUE(j["journal_error"].is_null());

  const auto rows = ReadJournal(journal_);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Record(rows[0].begin() + kHost, rows[0].begin() + kConnectMs),
            (Record{"127.0.0.1", peer.port_text(), "1000", "@@ZRM@@011000410000000020000000530000011",
                    kAnswer, "00", "تراکنش با موفقیت انجام شد", "approved"}));
  EXPECT_TRUE(std::regex_match(rows[0][kTime],
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << rows[0][kTime];
  EXPECT_TRUE(std::regex_match(rows[0][kAnswerMs], std::regex(R"(\d+\.\d)"))) << rows[0][kAnswerMs];
  EXPECT_EQ(rows[0][kError], "");
}

TEST_F(CliTest, JsonReportsNullsForWhatNeverHappened) {
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
  EXPECT_EQ(j["timings"], nlohmann::json::parse(R"({"lookup_ms": null, "connect_ms": null,
      "sent_ms": null, "first_byte_ms": null, "answer_ms": null})"));

  // Both are in the journal, the one that never left included.
  const auto rows = ReadJournal(journal_);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][kOutcome], "unknown");
  EXPECT_EQ(rows[0][kError], "Socket Error # 10054\r\nConnection reset by peer.");
  EXPECT_EQ(rows[1][kOutcome], "not-sent");
  EXPECT_EQ(rows[1][kPort], "70000");
  EXPECT_EQ(rows[1][kError], "Invalid port: 70000");
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
  const std::regex timings(
      "timings: lookup_ms [0-9.]+, connect_ms [0-9.]+, sent_ms [0-9.]+, first_byte_ms [0-9.]+, "
      "answer_ms [0-9.]+\n");
  EXPECT_TRUE(std::regex_search(run.out, timings)) << run.out;
  EXPECT_EQ(std::regex_replace(run.out, timings, "timings\n"),
            "request: @@ZRM@@011000410000000020000000530000011\n"
            "raw: \n"
            "TerminalNo: \nSTAN: \nRRN: \nBatchNo: \nResponseType: \nResponseCode: 01\nCardNo: \n"
            "PAN: \nBIN: \nTransactionDate: //\nTransactionTime: :\n"
            "result (red): عملیات توسط کاربر لغو شده است\n"
            "raw: @@ZRM@@000000000002010000\n"
            "timings\n"
            "outcome: declined\n"
            "log file: " + dir_ + "/Selvarin-PcPosLog.txt\n");
}

// The log cannot be written (the file is read-only to the user), but the
// approval stands: exit 0, and the log error is reported beside it.
TEST_F(CliTest, ALogWriteDeniedAfterAnApprovalKeepsTheApproval) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.Send(kAnswer);
  });
  const std::string log = dir_ + "/Selvarin-PcPosLog.txt";
  ASSERT_TRUE(std::ofstream(log) << "earlier");
  ASSERT_EQ(::chmod(log.c_str(), 0444), 0);
  const auto args = Args(peer, {"--json"});
  const int result = testing::RunUnprivileged([&] {
    CliRun run = Cli(args);
    const auto j = nlohmann::json::parse(run.out);
    const bool ok = run.status == 0 && j["outcome"] == "approved" &&
                    j["result"]["colour"] == "green" && j["log_error"] == "File access denied";
    return ok ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
}

// A journal that cannot be written (the folder is closed to the user, who may
// still write the response log already in it) is reported; the approval stands.
TEST_F(CliTest, AJournalThatCannotBeWrittenLeavesTheOutcome) {
  TcpPeer peer(
      [](PeerSocket& s) {
        s.ReadLine();
        s.Send(kAnswer);
      },
      2);
  const std::string log = dir_ + "/Selvarin-PcPosLog.txt";
  ASSERT_TRUE(std::ofstream(log));
  ASSERT_EQ(::chmod(log.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  const auto json_args = Args(peer, {"--json"});
  const auto text_args = Args(peer);
  const int result = testing::RunUnprivileged([&] {
    const CliRun json = Cli(json_args);
    const auto j = nlohmann::json::parse(json.out);
    if (json.status != 0 || j["outcome"] != "approved" || j["journal_error"] != "File access denied" ||
        !j["log_error"].is_null()) {
      return 1;
    }
    const CliRun text = Cli(text_args);
    if (text.status != 0 || text.out.find("\njournal error: File access denied\n") == std::string::npos ||
        text.out.find("\noutcome: approved\n") == std::string::npos) {
      return 2;
    }
    return 0;
  });
  EXPECT_EQ(result, 0) << "1 JSON, 2 text";
  EXPECT_FALSE(std::filesystem::exists(journal_));
  EXPECT_EQ(ReadText(log), kAnswer);
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
           {"--timeout", "0.05"}, {"--timeout", "86401"}, {"--port"}, {"--repeat", "0"},
           {"--repeat", "-2"}, {"--repeat", "two"}, {"--repeat", "3", "--interval", "-1"},
           {"--repeat", "3", "--interval", "nan"}, {"--repeat", "3", "--interval", "86401"},
           {"--interval", "2"}}) {
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

// The real program: Ctrl-C cancels the wait and the exit status says so.
TEST_F(CliTest, InterruptCancelsTheProgram) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    s.WaitForClose();
  });
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    std::string port = peer.port_text(), dir = dir_ + "/";
    ::execl(PCPOS_CLI_PATH, "pcpos-cli", "--host", "127.0.0.1", "--port", port.c_str(),
            "--log-dir", dir.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  while (peer.received().empty()) std::this_thread::sleep_for(5ms);
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);  // the request had gone out
}

// A series in text mode: each payment, then the summary; Ctrl-C in the pause
// ends it there, with the payments made so far.
TEST_F(CliTest, InterruptInThePauseEndsTheSeriesWithItsSummary) {
  TcpPeer peer([](PeerSocket& s) {
    s.ReadLine();
    std::this_thread::sleep_for(20ms);
    s.Send(kAnswer);
  }, 2);
  CliInterrupt interrupt;
  // The first payment's row is written once it has ended: the pause follows.
  std::thread operator_([&] {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline &&
           (!std::filesystem::exists(journal_) || std::filesystem::file_size(journal_) < 200)) {
      std::this_thread::sleep_for(5ms);
    }
    std::this_thread::sleep_for(100ms);
    interrupt.Trigger();
  });
  const auto args = Args(peer, {"--repeat", "3", "--interval", "60"});
  std::vector<const char*> argv{"pcpos-cli"};
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, &interrupt);
  operator_.join();
  EXPECT_EQ(status, 0);
  EXPECT_EQ(peer.accepted(), 1);
  const std::string text = out.str();
  EXPECT_EQ(text.rfind("payment 1 of 3\nrequest: ", 0), 0u) << text;
  EXPECT_EQ(text.find("payment 2 of 3"), std::string::npos);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(text, m, std::regex("answer_ms ([0-9.]+)\noutcome: approved\n")));
  EXPECT_TRUE(text.ends_with("\nsummary: approved 1, declined 0, not-sent 0, unknown 0, answer_ms median " +
                             m[1].str() + ", max " + m[1].str() + "\n"))
      << text;
  EXPECT_EQ(ReadJournal(journal_).size(), 1u);
}

// Ctrl-C to the real program during the second payment's wait cancels it and
// ends the series with its summary and the exit status of an open outcome.
TEST_F(CliTest, InterruptDuringASeriesCancelsThePaymentAndSummarises) {
  TcpPeer peer([n = 0](PeerSocket& s) mutable {
    s.ReadLine();
    if (n++ == 0) {
      s.Send(kAnswer);
    } else {
      s.WaitForClose(10s);
    }
  }, 2);
  const std::string output = dir_ + "/out.jsonl";
  const pid_t pid = StartCli(Args(peer, {"--repeat", "5", "--interval", "0", "--json"}), output);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitForRequests(peer, 2));
  ::kill(pid, SIGINT);
  EXPECT_EQ(WaitExit(pid), 3);
  std::istringstream lines(ReadText(output));
  std::vector<nlohmann::json> objects;
  for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0]["outcome"], "approved");
  EXPECT_EQ(objects[1]["outcome"], "unknown");
  EXPECT_EQ(objects[1]["result"]["text"], "Canceled by operator.");
  const auto answer_ms = objects[0]["timings"]["answer_ms"];
  ASSERT_TRUE(answer_ms.is_number());
  EXPECT_EQ(objects[2], (nlohmann::json{{"summary",
                                         {{"approved", 1},
                                          {"declined", 0},
                                          {"not-sent", 0},
                                          {"unknown", 1},
                                          {"answer_ms_median", answer_ms},
                                          {"answer_ms_max", answer_ms}}}}));
}

// Eight programs appending at once: every row is there, whole, and the
// header was written once.
TEST_F(CliTest, EightProgramsAppendingAtOnceLoseNoRow) {
  // A port refused before any connection: the rows come as fast as the
  // journal takes them, and no other program on the machine can answer.
  constexpr int kPrograms = 8, kEach = 300;
  const std::string port = "0";
  std::vector<pid_t> pids;
  for (int i = 0; i < kPrograms; ++i) {
    const std::string amount(90, static_cast<char>('A' + i));
    pids.push_back(StartCli(Args(port, {"--amount", amount, "--repeat", std::to_string(kEach),
                                        "--interval", "0", "--json"}),
                            dir_ + "/out" + std::to_string(i)));
  }
  for (pid_t pid : pids) EXPECT_EQ(WaitExit(pid), 1);
  std::map<std::string, int> per_amount;
  for (const auto& row : ReadJournal(journal_)) {
    ASSERT_EQ(row.size(), static_cast<std::size_t>(kColumns));
    EXPECT_EQ(row[kPort], port);
    EXPECT_EQ(row[kOutcome], "not-sent");
    EXPECT_EQ(row[kError], "Invalid port: 0");
    ++per_amount[row[kAmount]];
  }
  ASSERT_EQ(per_amount.size(), static_cast<std::size_t>(kPrograms));
  for (const auto& [amount, count] : per_amount) EXPECT_EQ(count, kEach) << amount.substr(0, 1);
}

// A program killed in the middle of a payment leaves the rows of the
// payments before it whole.
TEST_F(CliTest, AProgramKilledMidPaymentLeavesEarlierRowsWhole) {
  TcpPeer peer([n = 0](PeerSocket& s) mutable {
    s.ReadLine();
    if (n++ < 2) {
      s.Send(kAnswer);
    } else {
      s.WaitForClose(10s);
    }
  }, 3);
  const pid_t pid = StartCli(Args(peer, {"--repeat", "3", "--interval", "0"}), dir_ + "/out");
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitForRequests(peer, 3));
  ::kill(pid, SIGKILL);
  EXPECT_EQ(WaitExit(pid), 128 + SIGKILL);
  const auto rows = ReadJournal(journal_);
  ASSERT_EQ(rows.size(), 2u);
  for (const auto& row : rows) {
    EXPECT_EQ(row.size(), static_cast<std::size_t>(kColumns));
    EXPECT_EQ(row[kAnswer_], kAnswer);
    EXPECT_EQ(row[kOutcome], "approved");
  }
}

// Ctrl-C during a lookup that never answers ends the program at once, and
// nothing was sent.
TEST_F(CliTest, InterruptEndsAHangingLookup) {
  const std::string dir = dir_ + "/";
  const auto result = testing::RunWithSilentResolver([&] {
    const pid_t pid = ::fork();
    if (pid < 0) return 10;
    if (pid == 0) {
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::execl(PCPOS_CLI_PATH, "pcpos-cli", "--host", testing::kUnanswerableName, "--log-dir",
              dir.c_str(), "--json", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::this_thread::sleep_for(500ms);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != 0) return 11;  // the lookup did not hang
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 12;
    if (std::chrono::steady_clock::now() - start > 500ms) return 13;
    return WEXITSTATUS(status);
  });
  if (!result) GTEST_SKIP() << "network namespaces are not allowed here";
  EXPECT_EQ(*result, 1) << "10 fork, 11 no hang, 12 no exit, 13 slow";
}

}  // namespace
}  // namespace pcpos
