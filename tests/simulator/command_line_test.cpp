// The command line: the listen address rule (loopback unless asked), scenario
// names and durations.
#include "simulator/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pcpos::sim {
namespace {

using Args = std::vector<std::string>;

ParseOutcome Parse(Args args, CommandLine& out) {
  args.insert(args.begin(), "pcpos-sim");
  return ParseCommandLine(args, out);
}

std::string Joined(const Args& args) {
  std::string text;
  for (const auto& arg : args) text += (text.empty() ? "" : " ") + arg;
  return text;
}

TEST(CommandLine, DefaultsToLoopbackOn9053) {
  CommandLine line;
  ASSERT_EQ(Parse({}, line).kind, ParseOutcome::Run);
  EXPECT_EQ(line.address, asio::ip::address_v4::loopback());
  EXPECT_EQ(line.port, 9053);
  EXPECT_FALSE(line.server.scenario.has_value());
}

TEST(CommandLine, ListenAddresses) {
  struct Case {
    const char* text;
    bool readable;
    const char* address;
    int port;
  };
  const Case cases[] = {
      {"127.0.0.1:0", true, "127.0.0.1", 0},
      {"127.4.5.6:65535", true, "127.4.5.6", 65535},
      {"localhost:9053", true, "127.0.0.1", 9053},
      {"LOCALHOST:1", true, "127.0.0.1", 1},
      {"127.0.0.1:65536", false, "", 0},
      {"127.0.0.1:", false, "", 0},
      {":9053", false, "", 0},
      {"127.0.0.1", false, "", 0},
      {"127.0.0.1:+5", false, "", 0},
      {"127.0.0.1:9x", false, "", 0},
      {"::1:9053", false, "", 0},
      {"card-reader:9053", false, "", 0},
  };
  for (const auto& c : cases) {
    asio::ip::address_v4 address;
    std::uint16_t port = 7;
    EXPECT_EQ(ParseListen(c.text, address, port), c.readable) << c.text;
    if (c.readable) {
      EXPECT_EQ(address.to_string(), c.address) << c.text;
      EXPECT_EQ(port, c.port) << c.text;
    }
  }
}

TEST(CommandLine, OtherThanLoopbackOnlyWhenAllowed) {
  for (const char* where : {"0.0.0.0:9053", "192.168.1.50:9053", "10.0.0.1:0"}) {
    CommandLine refused;
    const auto outcome = Parse({"--listen", where}, refused);
    EXPECT_EQ(outcome.kind, ParseOutcome::Error) << where;
    EXPECT_NE(outcome.text.find("--allow-remote"), std::string::npos) << outcome.text;

    CommandLine allowed;
    EXPECT_EQ(Parse({"--listen", where, "--allow-remote"}, allowed).kind, ParseOutcome::Run)
        << where;
  }
}

TEST(CommandLine, ScenarioAndDurations) {
  CommandLine line;
  ASSERT_EQ(Parse({"--scenario", "two-segments", "--delay", "0.25", "--pause", "2", "--silence-max",
                   "5", "--request-timeout", "1.5", "--terminal", "00000042"},
                  line)
                .kind,
            ParseOutcome::Run);
  EXPECT_EQ(line.server.scenario, Scenario::TwoSegments);
  EXPECT_EQ(line.server.delay, std::chrono::milliseconds(250));
  EXPECT_EQ(line.server.pause, std::chrono::milliseconds(2000));
  EXPECT_EQ(line.server.silence_max, std::chrono::milliseconds(5000));
  EXPECT_EQ(line.server.request_timeout, std::chrono::milliseconds(1500));
  EXPECT_EQ(line.server.identity.terminal_no, "00000042");
}

TEST(CommandLine, Refusals) {
  const Args cases[] = {
      {"--scenario", "approved"}, {"--delay", "-1"},
      {"--delay", "soon"},        {"--pause", "nan"},
      {"--terminal", "1234"},     {"--terminal", "1234567a"},
      {"--listen", "x"},          {"extra"},
      {"--no-such-option"},
  };
  for (const auto& args : cases) {
    CommandLine line;
    EXPECT_EQ(Parse(args, line).kind, ParseOutcome::Error) << Joined(args);
  }
}

TEST(CommandLine, HelpListsEveryScenario) {
  const std::string table = ScenarioTable();
  for (const auto& info : Scenarios()) {
    EXPECT_NE(table.find(info.name), std::string::npos);
  }
  EXPECT_NE(table.find("code 12"), std::string::npos);
  EXPECT_NE(table.find("code 13"), std::string::npos);
}

}  // namespace
}  // namespace pcpos::sim
