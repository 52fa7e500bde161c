// Record and replay: every simulator scenario through the tap with a
// recording; the recording played by the simulator as a script, tapped
// again; the two taps must have seen the same reader.
#include <gtest/gtest.h>

#include <cmath>

#include "payment/message_format.h"
#include "simulator/in_process.h"
#include "simulator/script.h"
#include "tap/recording.h"
#include "tests/support/scratch_dir.h"
#include "tests/tap/tap_harness.h"

namespace pcpos::tap {
namespace {

using namespace std::chrono_literals;
using test_support::EcrPlan;
using test_support::RunEcr;
using test_support::TapThread;

// One ECR per scenario, one after the other; the silent reader's ECR gives up.
std::vector<Exchange> TapEveryScenario(sim::ServerOptions options) {
  options.delay = 300ms;
  options.pause = 200ms;
  options.silence_max = 60s;
  sim::InProcessSimulator simulator(std::move(options));
  std::string error;
  EXPECT_TRUE(simulator.Start(0, error)) << error;
  TapThread tap(simulator.port());
  std::size_t count = 0;
  for (const auto& scenario : sim::Scenarios()) {
    EcrPlan plan;
    plan.sends = {BuildPurchaseRequest("50" + std::string(scenario.trigger)) + "\r\n"};
    plan.give_up = 1500ms;
    RunEcr(tap.port(), plan);
    // The next connection only once this one is written down, so the
    // recording's steps come in the order the reader's connections did.
    EXPECT_EQ(tap.WaitFor(++count).size(), count) << scenario.name;
  }
  return tap.WaitFor(count);
}

std::vector<std::string> FlagNames(const Exchange& x) {
  std::vector<std::string> names;
  for (const auto& note : x.flags) names.emplace_back(FlagName(note.flag));
  return names;
}

TEST(ReplayTest, ARecordedReaderPlayedAgainLooksTheSameThroughTheTap) {
  const auto first = TapEveryScenario({});
  ASSERT_EQ(first.size(), sim::Scenarios().size());

  const testing::ScratchDir scratch("pcpos-tap-replay-");
  const std::string path = (scratch.path() / "reader.json").string();
  {
    Recording recording;
    std::string error;
    ASSERT_TRUE(recording.Open(path, error)) << error;
    std::vector<std::string> steps;
    for (const auto& x : first) steps.push_back(RecordedStep(x).value());
    ASSERT_TRUE(recording.Append(steps, error)) << error;
  }
  sim::ServerOptions replay;
  replay.script.emplace();
  std::string error;
  ASSERT_TRUE(sim::LoadScript(path, *replay.script, error)) << error;
  const auto second = TapEveryScenario(std::move(replay));
  ASSERT_EQ(second.size(), first.size());

  for (std::size_t i = 0; i < first.size(); ++i) {
    const Exchange& a = first[i];
    const Exchange& b = second[i];
    SCOPED_TRACE(sim::Scenarios()[i].name);
    EXPECT_EQ(a.answer, b.answer);
    EXPECT_EQ(a.piece_count, b.piece_count);
    EXPECT_EQ(a.outcome, b.outcome);
    EXPECT_EQ(a.reader_end, b.reader_end);
    EXPECT_EQ(a.reader_left_first, b.reader_left_first);
    EXPECT_EQ(FlagNames(a), FlagNames(b));
    for (std::size_t p = 0; p < a.pieces.size() && p < b.pieces.size(); ++p) {
      // The pauses are played again; the machine adds its own scheduling.
      EXPECT_NEAR(a.pieces[p].after_ms, b.pieces[p].after_ms, 100.0) << "piece " << p;
    }
  }
}

}  // namespace
}  // namespace pcpos::tap
