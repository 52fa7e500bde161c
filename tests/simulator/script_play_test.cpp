// Scripts played by a running simulator: every step key through the parser
// and a real server, with a raw loopback client that times each piece, then
// what happens after the last step with and without "repeat".
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "link/errors.h"
#include "link/socket.h"
#include "payment/message_format.h"
#include "simulator/script.h"
#include "tests/simulator/simulator_thread.h"

namespace pcpos::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test_support::SimulatorThread;

constexpr std::uint32_t kLoopback = 0x7F000001;  // 127.0.0.1, host order

const std::string kRequest = "@@ZRM@@011000410000000020000000530000011";
const std::string kDeclineRequest = "@@ZRM@@011000410510000020000000530000011";

enum class End { Closed, Reset, StillOpen };

struct Exchange {
  std::vector<std::string> pieces;            // as each read returned them
  std::vector<std::chrono::milliseconds> at;  // since the request went out
  End end = End::StillOpen;
  std::chrono::milliseconds ended{0};

  std::string bytes() const {
    std::string all;
    for (const auto& piece : pieces) all += piece;
    return all;
  }
  std::string code() const {
    const auto fields = ParseResponse(bytes());
    return fields ? fields->ResponseCode : "(not an answer: " + bytes() + ")";
  }
};

Exchange Send(std::uint16_t port, const std::string& request,
              std::chrono::milliseconds limit = 5s) {
  Exchange out;
  const net::Socket socket = net::CreateTcpSocket();
  try {
    net::Connect(socket.get(), kLoopback, port, 0, nullptr);
  } catch (const ConnectionError&) {
    return out;
  }
  const int fd = static_cast<int>(socket.get());
  const auto sent = Clock::now();
  const std::string line = request + "\r\n";
  ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
  for (;;) {
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
    pollfd watch{fd, POLLIN, 0};
    if (since >= limit || ::poll(&watch, 1, static_cast<int>((limit - since).count())) <= 0) break;
    char buffer[4096];
    const auto n = ::recv(fd, buffer, sizeof buffer, 0);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent);
    if (n > 0) {
      out.pieces.emplace_back(buffer, static_cast<std::size_t>(n));
      out.at.push_back(now);
      continue;
    }
    out.end = (n < 0 && errno == ECONNRESET) ? End::Reset : End::Closed;
    out.ended = now;
    break;
  }
  return out;
}

struct StepCase {
  const char* name;
  const char* step;  // the step's JSON text
  std::string request;
  End end;
  const char* code;   // of the whole answer; nullptr: nothing is sent
  const char* exact;  // the whole answer, when it is fixed
  std::vector<std::size_t> piece_sizes;
  std::chrono::milliseconds not_before;  // first byte, or the end when nothing is sent
};

TEST(ScriptPlay, EveryStepKeyThroughARunningSimulator) {
  const StepCase cases[] = {
      {"empty step approves", "{}", kRequest, End::Closed, "00", nullptr, {}, 0ms},
      {"explicit answer", R"({"action": "answer"})", kRequest, End::Closed, "00", nullptr, {}, 0ms},
      {"code", R"({"code": "51"})", kRequest, End::Closed, "51", nullptr, {}, 0ms},
      {"every field replaced",
       R"({"code": "05", "fields": {"TerminalNo": "99999999", "STAN": "000777", "RRN": "RRN-TEXT",
           "BatchNo": "042", "ResponseType": "07", "CardNo": "4321", "DateTime": "139912312359"}})",
       kRequest,
       End::Closed,
       "05",
       "@@ZRM@@"
       "0899999999"
       "06000777"
       "08RRN-TEXT"
       "03042"
       "0207"
       "0205"
       "044321"
       "12139912312359",
       {},
       0ms},
      {"raw",
       R"({"raw": "@@zrm@@ not an answer\r\n"})",
       kRequest,
       End::Closed,
       nullptr,
       "@@zrm@@ not an answer\r\n",
       {},
       0ms},
      {"delay", R"({"delay": 0.3})", kRequest, End::Closed, "00", nullptr, {}, 300ms},
      {"pieces",
       R"({"pieces": [10, 30], "pause": 0.25})",
       kRequest,
       End::Closed,
       "00",
       nullptr,
       {10, 20, 54},
       0ms},
      {"reset", R"({"action": "reset"})", kRequest, End::Reset, nullptr, nullptr, {}, 0ms},
      {"close", R"({"action": "close"})", kRequest, End::Closed, nullptr, nullptr, {}, 0ms},
      {"close after a delay",
       R"({"action": "close", "delay": 0.3})",
       kRequest,
       End::Closed,
       nullptr,
       nullptr,
       {},
       300ms},
      {"silence until --silence-max",
       R"({"action": "silence"})",
       kRequest,
       End::Closed,
       nullptr,
       nullptr,
       {},
       300ms},
      {"played even for a malformed request",
       R"({"code": "30"})",
       "hello",
       End::Closed,
       "30",
       nullptr,
       {},
       0ms},
  };
  std::string text = R"({"repeat": false, "steps": [)";
  for (const auto& c : cases) text += std::string(&c == cases ? "" : ",") + c.step;
  text += "]}";
  ServerOptions options;
  std::string error;
  options.script.emplace();
  ASSERT_TRUE(ParseScript(text, *options.script, error)) << error;
  options.silence_max = 300ms;
  options.pause = 2s;
  SimulatorThread sim(options);
  ASSERT_NE(sim.port(), 0);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Exchange got = Send(sim.port(), c.request);
    EXPECT_EQ(got.end, c.end);
    if (c.code) {
      EXPECT_EQ(got.code(), c.code);
    } else if (!c.exact) {
      EXPECT_TRUE(got.pieces.empty()) << got.bytes();
    }
    if (c.exact) {
      EXPECT_EQ(got.bytes(), c.exact);
    }
    const auto first = got.at.empty() ? got.ended : got.at.front();
    EXPECT_GE(first, c.not_before);
    if (!c.piece_sizes.empty()) {
      ASSERT_EQ(got.pieces.size(), c.piece_sizes.size()) << got.bytes();
      for (std::size_t i = 0; i < got.pieces.size(); ++i) {
        EXPECT_EQ(got.pieces[i].size(), c.piece_sizes[i]) << i;
        // Measured at the client, whose first read may come late: a margin.
        if (i > 0) {
          EXPECT_GE(got.at[i] - got.at[i - 1], 200ms) << i;
          EXPECT_LT(got.at[i] - got.at[i - 1], 1500ms) << "the step's pause, not --pause";
        }
      }
    }
  }

  // Run out, and not repeating: the amount chooses again.
  EXPECT_EQ(Send(sim.port(), kDeclineRequest).code(), "51");

  ASSERT_TRUE(sim.WaitForLog(std::size(cases) + 1));
  const auto log = sim.log();
  EXPECT_NE(log[2].find("scenario step 3 answer"), std::string::npos) << log[2];
  EXPECT_NE(log[6].find("scenario step 7 answer \"@@ZRM@@083\" + "), std::string::npos) << log[6];
  EXPECT_NE(log[11].find("scenario step 12 (request malformed: "), std::string::npos) << log[11];
  EXPECT_NE(log.back().find("scenario decline answer"), std::string::npos) << log.back();
}

TEST(ScriptPlay, RepeatStartsAgainAfterTheLastStep) {
  ServerOptions options;
  std::string error;
  options.script.emplace();
  ASSERT_TRUE(ParseScript(R"({"steps": [{"code": "01"}, {"code": "30"}], "repeat": true})",
                          *options.script, error))
      << error;
  SimulatorThread sim(options);
  std::vector<std::string> codes;
  // The amount would decline: every connection still takes a step.
  for (int i = 0; i < 5; ++i) codes.push_back(Send(sim.port(), kDeclineRequest).code());
  EXPECT_EQ(codes, (std::vector<std::string>{"01", "30", "01", "30", "01"}));
}

}  // namespace
}  // namespace pcpos::sim
