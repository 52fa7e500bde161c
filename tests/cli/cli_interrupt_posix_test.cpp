// The real program on POSIX: SIGINT (Ctrl-C) cancels the wait and the exit
// status says so.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <thread>

#include "tests/support/tcp_peer.h"
#include "tests/support/unprivileged.h"

namespace pcpos {
namespace {

using namespace std::chrono_literals;
using testing::PeerSocket;
using testing::TcpPeer;

class CliProcessTest : public ::testing::Test {
 protected:
  testing::ScratchDir scratch_{"pcpos-cli-"};
  const std::string dir_ = scratch_.path().string();
};

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
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace pcpos
