// Many clients at once against one simulator: each must get its own answer.
// Bounded in count and time, loopback only.
#include <gtest/gtest.h>

#include <filesystem>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "payment/transaction.h"
#include "tests/simulator/simulator_thread.h"
#include "tests/support/scratch_dir.h"

namespace pcpos::sim {
namespace {

using namespace std::chrono_literals;
using test_support::SimulatorThread;

struct Result {
  std::string code;
  std::string stan;
  std::string amount_sent;
  bool green = false;
  bool got_line = false;
};

class Keeper : public TransactionObserver {
 public:
  explicit Keeper(Result& result) : result_(result) {}
  void OnRawResponse(const std::string&) override {}
  void OnFields(const ResponseFields& f) override {
    result_.code = f.ResponseCode;
    result_.stan = f.STAN;
  }
  void OnResultLine(const ResultLine& line) override {
    result_.got_line = true;
    result_.green = line.outcome == Outcome::Approved;
  }

 private:
  Result& result_;
};

TEST(SimulatorLoad, TwoHundredConcurrentClientsAllGetTheirAnswer) {
  constexpr int kClients = 200;
  // Mixed endings, so an answer handed to the wrong connection shows.
  const std::pair<const char*, const char*> kinds[] = {
      {"00", "00"}, {"01", "01"}, {"30", "30"}, {"51", "51"}};

  ServerOptions options;
  // The delayed fifth keeps connections open while the others are served.
  options.delay = 500ms;
  SimulatorThread sim(options);
  ASSERT_NE(sim.port(), 0);

  const testing::ScratchDir scratch("pcpos-sim-load-");
  const std::filesystem::path root = scratch.path();

  std::vector<Result> results(kClients);
  std::latch start(kClients);
  std::vector<std::thread> clients;
  const auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      const auto folder = root / std::to_string(i);
      std::filesystem::create_directory(folder);
      // Every fifth client plays the delay scenario (ending 10), the rest a code.
      const std::string ending = i % 5 == 4 ? "10" : kinds[i % 4].first;
      const std::string amount = std::to_string(1000 + i) + ending;
      results[static_cast<std::size_t>(i)].amount_sent = ending;
      TransactionOptions transaction_options;
      transaction_options.answer_timeout = 20s;
      PaymentTransaction transaction({"127.0.0.1", sim.port_text(), amount, folder.string() + "/"},
                                     transaction_options);
      Keeper keeper(results[static_cast<std::size_t>(i)]);
      start.arrive_and_wait();
      transaction.Run(keeper);
    });
  }
  for (auto& client : clients) client.join();
  const auto took = std::chrono::steady_clock::now() - began;

  std::set<std::string> stans;
  for (int i = 0; i < kClients; ++i) {
    SCOPED_TRACE("client " + std::to_string(i));
    const Result& r = results[static_cast<std::size_t>(i)];
    ASSERT_TRUE(r.got_line);
    const std::string expected = r.amount_sent == "10" ? "00" : r.amount_sent;
    EXPECT_EQ(r.code, expected);
    EXPECT_EQ(r.green, expected == "00");
    stans.insert(r.stan);
  }
  EXPECT_EQ(stans.size(), static_cast<std::size_t>(kClients));
  EXPECT_TRUE(sim.WaitForLog(kClients));
  EXPECT_EQ(sim.log().size(), static_cast<std::size_t>(kClients));
  // Served side by side: one after the other, 40 delays would take 20 s.
  EXPECT_LT(took, 10s);
}

}  // namespace
}  // namespace pcpos::sim
