// pcpos-tap itself, started as a shop would start it: the listening line, an
// exchange on its output and in its journal, and a stop on SIGTERM that
// writes down the exchange still under way. POSIX: fork, pipes and signals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <thread>

#include "tests/support/files.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/tcp_peer.h"
#include "tests/tap/tap_harness.h"

namespace pcpos::tap {
namespace {

using namespace std::chrono_literals;

const std::string kRequest = "@@ZRM@@011000410000000020000000530000011\r\n";
// A reader that sends the whole card number.
const std::string kAnswer =
    "@@ZRM@@08123456780600012312123456789012030010200020016603799555544443312139812051230";

// The program with its standard output on a pipe, read line by line.
class Tap {
 public:
  explicit Tap(std::vector<std::string> arguments) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> argv;
      arguments.insert(arguments.begin(), PCPOS_TAP_BINARY);
      for (auto& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(PCPOS_TAP_BINARY, argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = ::fdopen(out[0], "r");
  }
  ~Tap() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    if (out_) std::fclose(out_);
  }

  std::string Line() {
    char line[8192];
    return std::fgets(line, sizeof line, out_) ? std::string(line) : std::string();
  }
  void Signal(int number) { ::kill(pid_, number); }
  // The exit status, or -1 for a death by a signal.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
};

std::uint16_t ListeningPort(const std::string& line) {
  unsigned port = 0;
  EXPECT_EQ(std::sscanf(line.c_str(), "listening on 127.0.0.1:%u", &port), 1) << line;
  return static_cast<std::uint16_t>(port);
}

TEST(TapProgramTest, WritesEachExchangeAndStopsOnSigtermAfterWritingTheOneUnderWay) {
  const testing::ScratchDir scratch("pcpos-tap-program-");
  int served = 0;
  std::promise<void> second_request;
  pcpos::testing::TcpPeer reader(
      [&](pcpos::testing::PeerSocket& s) {
        s.ReadLine();
        if (served++ == 0) {
          s.Send(kAnswer);
        } else {
          second_request.set_value();
          s.WaitForClose(20s);  // a cardholder who takes their time
        }
      },
      2);
  Tap tap({"--reader", "127.0.0.1:" + reader.port_text(), "--listen", "127.0.0.1:0", "--log-dir",
           scratch.folder(), "--json", "--record", (scratch.path() / "reader.json").string()});
  const std::uint16_t port = ListeningPort(tap.Line());
  ASSERT_NE(port, 0);

  const auto answered = test_support::RunEcr(port, {{kRequest}});
  EXPECT_EQ(answered.all, kAnswer);  // relayed unchanged
  const auto first = nlohmann::json::parse(tap.Line());
  EXPECT_EQ(first["outcome"], "approved");
  EXPECT_EQ(first["fields"]["CardNo"], "603799******4433");

  // The second ECR waits for its answer when the tap is told to stop.
  auto waiting = std::async(std::launch::async, [&] {
    test_support::EcrPlan plan;
    plan.sends = {kRequest};
    plan.give_up = 20s;
    return test_support::RunEcr(port, plan);
  });
  ASSERT_EQ(second_request.get_future().wait_for(5s), std::future_status::ready);
  const auto stopping = std::chrono::steady_clock::now();
  tap.Signal(SIGTERM);
  const auto second = nlohmann::json::parse(tap.Line());
  EXPECT_EQ(second["outcome"], "unknown");
  EXPECT_EQ(tap.Wait(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopping, 8s);
  EXPECT_EQ(waiting.get().end, asio::error::eof);

  const std::string journal = testing::ReadFile(scratch.path() / "Selvarin-PcPosTap.csv");
  EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 3) << journal;  // header and two rows
  const std::string recording = testing::ReadFile(scratch.path() / "reader.json");
  for (const std::string& written : {journal, recording}) {
    EXPECT_EQ(written.find("55554444"), std::string::npos) << written;
    EXPECT_NE(written.find("603799******4433"), std::string::npos) << written;
  }
}

}  // namespace
}  // namespace pcpos::tap
