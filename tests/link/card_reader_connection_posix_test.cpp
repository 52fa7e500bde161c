// CardReaderConnection with a name server that never answers: the resolver is
// set up in a network namespace of its own, which only Linux offers.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/card_reader_connection.h"
#include "link/errors.h"
#include "tests/support/silent_resolver.h"

namespace pcpos {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A name server that never answers must not hold the operator: the waker
// abandons the lookup.
TEST(CardReaderConnection, WakerCancelsAHangingLookup) {
  const auto result = testing::RunWithSilentResolver([] {
    net::Waker waker;
    CardReaderConnection connection;
    connection.SetHost(testing::kUnanswerableName);
    connection.SetPort(9053);
    connection.SetWaker(&waker);
    Clock::time_point woken;
    std::thread canceller([&] {
      std::this_thread::sleep_for(300ms);
      woken = Clock::now();
      waker.Wake();
    });
    int code = 1;
    try {
      connection.Open();
    } catch (const Canceled&) {
      code = MsSince(woken) < 500 ? 0 : 2;
    } catch (...) {
      code = 3;  // the lookup answered: the resolver was not the silent one
    }
    canceller.join();
    return code;
  });
  if (!result) GTEST_SKIP() << "network namespaces are not allowed here";
  EXPECT_EQ(*result, 0) << "1: Open returned, 2: cancel took 500 ms or more, 3: lookup answered";
}

}  // namespace
}  // namespace pcpos
