// The client on POSIX: the real program under SIGINT and SIGKILL, eight of it
// appending to one journal, a name server that never answers, and permission
// bits that only a user below root meets.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <map>
#include <regex>

#include "cli/cli.h"
#include "payment/transaction.h"
#include "tests/cli/cli_test_support.h"
#include "tests/support/silent_resolver.h"
#include "tests/support/unprivileged.h"

namespace pcpos::clitest {
namespace {

// A name of its own: one test program may not give one suite two fixtures.
class CliProcessTest : public CliTest {};

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

// The log cannot be written (the file is read-only to the user), but the
// approval stands: exit 0, and the log error is reported beside it.
TEST_F(CliProcessTest, ALogWriteDeniedAfterAnApprovalKeepsTheApproval) {
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
                    j["result"]["colour"] == "green" &&
                    j["log_error"] == "File access denied - " + log;
    return ok ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
}

// A journal that cannot be written (the folder is closed to the user, who may
// still write the response log already in it) is reported; the approval stands.
TEST_F(CliProcessTest, AJournalThatCannotBeWrittenLeavesTheOutcome) {
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
  const std::string journal = dir_ + "/Selvarin-PcPosJournal.csv";
  const auto json_args = Args(peer, {"--json"});
  const auto text_args = Args(peer);
  const int result = testing::RunUnprivileged([&] {
    const CliRun json = Cli(json_args);
    const auto j = nlohmann::json::parse(json.out);
    if (json.status != 0 || j["outcome"] != "approved" ||
        j["journal_error"] != "File access denied - " + journal || !j["log_error"].is_null()) {
      return 1;
    }
    const CliRun text = Cli(text_args);
    if (text.status != 0 ||
        text.err.find(" journal error: File access denied - " + journal + "\n") ==
            std::string::npos ||
        text.out.find("\noutcome: approved\n") == std::string::npos) {
      return 2;
    }
    return 0;
  });
  EXPECT_EQ(result, 0) << "1 JSON, 2 text";
  EXPECT_FALSE(std::filesystem::exists(journal_));
  EXPECT_EQ(ReadFile(log), kAnswer);
}

// The real program: Ctrl-C cancels the wait and the exit status says so.
TEST_F(CliProcessTest, InterruptCancelsTheProgram) {
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
    ::execl(PCPOS_CLI_PATH, "pcpos-cli", "--host", "127.0.0.1", "--port", port.c_str(), "--amount",
            "1000", "--log-dir", dir.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  while (peer.received().empty()) std::this_thread::sleep_for(5ms);
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);  // the request had gone out
}

// Ctrl-C to the real program during the second payment's wait cancels it and
// ends the series with its summary and the exit status of an open outcome.
TEST_F(CliProcessTest, InterruptDuringASeriesCancelsThePaymentAndSummarises) {
  TcpPeer peer(
      [n = 0](PeerSocket& s) mutable {
        s.ReadLine();
        if (n++ == 0) {
          s.Send(kAnswer);
        } else {
          s.WaitForClose(10s);
        }
      },
      2);
  const std::string output = dir_ + "/out.jsonl";
  const pid_t pid = StartCli(Args(peer, {"--repeat", "5", "--interval", "0", "--json"}), output);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitForRequests(peer, 2));
  ::kill(pid, SIGINT);
  EXPECT_EQ(WaitExit(pid), 3);
  std::istringstream lines(ReadFile(output));
  std::vector<nlohmann::ordered_json> objects;
  for (std::string line; std::getline(lines, line);)
    objects.push_back(nlohmann::ordered_json::parse(line));
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[1]["raw"], nullptr);
  EXPECT_EQ(objects[1]["error"],
            (nlohmann::ordered_json{{"code", nullptr}, {"message", "Canceled by operator."}}));
  EXPECT_EQ(objects[0]["outcome"], "approved");
  EXPECT_EQ(objects[1]["outcome"], "unknown");
  EXPECT_EQ(objects[1]["result"]["text"], "Canceled by operator.");
  const auto answer_ms = objects[0]["timings"]["answer_ms"];
  ASSERT_TRUE(answer_ms.is_number());
  const auto summary = nlohmann::ordered_json{{"summary",
                                               {{"approved", 1},
                                                {"declined", 0},
                                                {"not_sent", 0},
                                                {"unknown", 1},
                                                {"answer_ms_median", answer_ms},
                                                {"answer_ms_max", answer_ms},
                                                {"interrupted", true}}}};
  // Compared as text: the keys' order is part of what scripts are promised.
  EXPECT_EQ(objects[2].dump(), summary.dump());
}

// Eight programs appending at once: every row is there, whole, and the
// header was written once.
TEST_F(CliProcessTest, EightProgramsAppendingAtOnceLoseNoRow) {
  // A blank host is refused before any connection: the rows come as fast as
  // the journal takes them, and no other program on the machine can answer.
  constexpr int kPrograms = 8, kEach = 300;
  const std::string port = "9053";
  std::vector<pid_t> pids;
  for (int i = 0; i < kPrograms; ++i) {
    const std::string amount(90, static_cast<char>('A' + i));
    pids.push_back(StartCli(
        Args(port,
             {"--amount", amount, "--repeat", std::to_string(kEach), "--interval", "0", "--json"},
             " "),
        dir_ + "/out" + std::to_string(i)));
  }
  for (pid_t pid : pids) EXPECT_EQ(WaitExit(pid), 1);
  std::map<std::string, int> per_amount;
  for (const auto& row : ReadJournal(journal_)) {
    ASSERT_EQ(row.size(), static_cast<std::size_t>(kColumns));
    EXPECT_EQ(row[kPort], port);
    EXPECT_EQ(row[kOutcome], "not-sent");
    EXPECT_EQ(row[kError], "Invalid host: the card reader's address is empty");
    ++per_amount[row[kAmount]];
  }
  ASSERT_EQ(per_amount.size(), static_cast<std::size_t>(kPrograms));
  for (const auto& [amount, count] : per_amount) EXPECT_EQ(count, kEach) << amount.substr(0, 1);
}

// A program killed in the middle of a payment leaves the rows of the
// payments before it whole.
TEST_F(CliProcessTest, AProgramKilledMidPaymentLeavesEarlierRowsWhole) {
  TcpPeer peer(
      [n = 0](PeerSocket& s) mutable {
        s.ReadLine();
        if (n++ < 2) {
          s.Send(kAnswer);
        } else {
          s.WaitForClose(10s);
        }
      },
      3);
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

// Ctrl-C during a lookup that never answers ends the program at once.
TEST_F(CliProcessTest, InterruptEndsAHangingLookup) {
  const std::string dir = dir_ + "/";
  const auto result = testing::RunWithSilentResolver([&] {
    const pid_t pid = ::fork();
    if (pid < 0) return 10;
    if (pid == 0) {
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::execl(PCPOS_CLI_PATH, "pcpos-cli", "--host", testing::kUnanswerableName, "--amount", "1000",
              "--log-dir", dir.c_str(), "--json", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    std::this_thread::sleep_for(500ms);
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != 0) return 11;  // the lookup did not hang
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid, SIGINT);
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 12;
    // The cancel itself is timed at the link layer; this bounds the whole
    // process ending, which sanitizer builds make slower.
    if (std::chrono::steady_clock::now() - start > 2s) return 13;
    return WEXITSTATUS(status);
  });
  if (!result) GTEST_SKIP() << "network namespaces are not allowed here";
  // Nothing was sent, and the signal cut the run short.
  EXPECT_EQ(*result, 128 + SIGINT) << "10 fork, 11 no hang, 12 no exit, 13 slow";
}

}  // namespace
}  // namespace pcpos::clitest
