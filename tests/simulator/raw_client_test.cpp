// Requests the core would never send, written byte by byte on a raw loopback
// socket: the simulator answers each with a well-formed answer or a clean close.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <optional>
#include <thread>

#include "link/errors.h"
#include "link/socket.h"
#include "payment/message_format.h"
#include "tests/simulator/simulator_thread.h"

namespace pcpos::sim {
namespace {

using namespace std::chrono_literals;
using test_support::SimulatorThread;

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1, host order

constexpr const char* kRequest = "@@ZRM@@011000410000000020000000530000011";

// Connects, writes the chunks with a pause between them, and reads until the
// simulator closes. nullopt when it did not close within the time limit.
std::optional<std::string> Exchange(std::uint16_t port, const std::vector<std::string>& chunks,
                                    std::chrono::milliseconds pause = 0ms,
                                    std::chrono::milliseconds limit = 5s) {
  const net::Socket socket = net::CreateTcpSocket();
  try {
    net::Connect(socket.get(), kLoopback, port, 0, nullptr);
  } catch (const ConnectionError&) {
    return std::nullopt;
  }
  const int fd = static_cast<int>(socket.get());
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(pause);
    ::send(fd, chunks[i].data(), chunks[i].size(), MSG_NOSIGNAL);
  }
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd watch{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
      return std::nullopt;
    }
    char buffer[4096];
    const auto n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    received.append(buffer, static_cast<std::size_t>(n));
  }
  return received;
}

std::string CodeOf(const std::optional<std::string>& answer) {
  if (!answer) return "(no close)";
  const auto fields = ParseResponse(*answer);
  return fields ? fields->ResponseCode : "(no answer: " + *answer + ")";
}

TEST(SimulatorRaw, RequestsAsTheyArrive) {
  ServerOptions options;
  options.max_request = 1024;
  SimulatorThread sim(options);
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    const char* code;
  };
  const std::string request = kRequest;
  const Case cases[] = {
      {"line feed alone", {request + "\n"}, "00"},
      {"in three pieces",
       {request.substr(0, 5), request.substr(5, 20), request.substr(25) + "\r\n"},
       "00"},
      {"bytes after the line are ignored", {request + "\r\n@@ZRM@@garbage\r\n"}, "00"},
      {"blank line", {"\r\n"}, "12"},
      {"binary junk", {std::string("\x00\xff\x01@@ZRM@@\n", 12)}, "12"},
      {"too long without a line end", {std::string(1500, '7')}, "12"},
      {"too long with a line end", {request + std::string(2000, '0') + "\r\n"}, "12"},
  };
  for (const auto& c : cases) {
    const auto answer = Exchange(sim.port(), c.chunks, 50ms);
    EXPECT_EQ(CodeOf(answer), c.code) << c.name;
  }
  EXPECT_TRUE(sim.WaitForLog(std::size(cases)));
}

TEST(SimulatorRaw, PeerThatNeverSendsIsClosedAfterTheRequestTimeout) {
  ServerOptions options;
  options.request_timeout = 300ms;
  SimulatorThread sim(options);
  const auto started = std::chrono::steady_clock::now();
  const auto answer = Exchange(sim.port(), {}, 0ms, 5s);
  ASSERT_TRUE(answer.has_value()) << "not closed";
  EXPECT_EQ(*answer, "");
  EXPECT_GE(std::chrono::steady_clock::now() - started, 250ms);
  ASSERT_TRUE(sim.WaitForLog(1));
  EXPECT_NE(sim.log()[0].find("no request in time"), std::string::npos) << sim.log()[0];
}

TEST(SimulatorRaw, SilenceEndsAtItsLimit) {
  ServerOptions options;
  options.scenario = Scenario::Silence;
  options.silence_max = 300ms;
  SimulatorThread sim(options);
  const auto answer = Exchange(sim.port(), {std::string(kRequest) + "\r\n"}, 0ms, 5s);
  ASSERT_TRUE(answer.has_value()) << "silence did not end";
  EXPECT_EQ(*answer, "");
}

TEST(SimulatorRaw, PeerLeavingEarlyIsLogged) {
  ServerOptions options;
  options.scenario = Scenario::Delay;
  options.delay = 5s;
  SimulatorThread sim(options);
  // The client gives up long before the delayed answer.
  EXPECT_FALSE(Exchange(sim.port(), {std::string(kRequest) + "\r\n"}, 0ms, 200ms).has_value());
  EXPECT_FALSE(Exchange(sim.port(), {"@@ZRM@@01"}, 0ms, 200ms).has_value());
  ASSERT_TRUE(sim.WaitForLog(2));
  std::string all;
  for (const auto& line : sim.log()) all += line + "\n";
  EXPECT_NE(all.find("scenario delay answer (none: peer left first)"), std::string::npos) << all;
  EXPECT_NE(all.find("request \"@@ZRM@@01\" scenario - answer (peer left before a full request)"),
            std::string::npos)
      << all;
}

}  // namespace
}  // namespace pcpos::sim
