// The client on POSIX: SIGINT (Ctrl-C) to the real program, a name server that
// never answers, and permission bits that only a user below root meets.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include <thread>

#include "cli/cli.h"
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

class CliProcessTest : public ::testing::Test {
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

// Ctrl-C during a lookup that never answers ends the program at once, and
// nothing was sent.
TEST_F(CliProcessTest, InterruptEndsAHangingLookup) {
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
    // The cancel itself is timed at the link layer; this bounds the whole
    // process ending, which sanitizer builds make slower.
    if (std::chrono::steady_clock::now() - start > 2s) return 13;
    return WEXITSTATUS(status);
  });
  if (!result) GTEST_SKIP() << "network namespaces are not allowed here";
  EXPECT_EQ(*result, 1) << "10 fork, 11 no hang, 12 no exit, 13 slow";
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
                    j["result"]["colour"] == "green" && j["log_error"] == "File access denied";
    return ok ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(peer.received(), "@@ZRM@@011000410000000020000000530000011\r\n");
}



}  // namespace
}  // namespace pcpos
