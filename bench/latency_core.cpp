// The core's answer latency: from the reader's send of the answer to the
// transaction's observer receiving the parsed fields, over real loopback TCP.
// Prints one "core_latency_us VALUE" line per transaction, then a summary line.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "bench/answer_peer.h"
#include "bench/bench_clock.h"
#include "payment/transaction.h"

namespace {

using pcpos::bench::Clock;

class FieldsClock final : public pcpos::TransactionObserver {
 public:
  void OnRawResponse(const std::string&) override {}
  // The clock is read before anything else, so the observer's own work is not counted.
  void OnFields(const pcpos::ResponseFields&) override { fields_at = Clock::now(); }
  void OnResultLine(const pcpos::ResultLine& line) override {
    green = line.outcome == pcpos::Outcome::Approved;
  }

  Clock::time_point fields_at{};
  bool green = false;
};

int Usage() {
  std::cerr << "usage: pcpos-bench-latency [--runs N] [--warmup N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 200;
  int warmup = 20;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    if (arg == "--runs") {
      runs = std::atoi(argv[++i]);
    } else if (arg == "--warmup") {
      warmup = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (runs < 1 || warmup < 0) return Usage();

  pcpos::bench::AnswerPeer peer;
  const std::string folder = pcpos::bench::MakeTempFolder("latency");
  const pcpos::PaymentInputs inputs{"127.0.0.1", std::to_string(peer.port()), "1000", folder};
  pcpos::TransactionOptions options;
  options.answer_timeout = std::chrono::seconds(10);

  std::vector<double> samples;
  int failures = 0;
  for (int i = 0; i < warmup + runs; ++i) {
    FieldsClock observer;
    pcpos::PaymentTransaction transaction(inputs, options);
    transaction.Run(observer);
    const auto sent = peer.TakeSendTime(std::chrono::seconds(5));
    if (!sent || !observer.green || observer.fields_at == Clock::time_point{}) {
      ++failures;
      continue;
    }
    if (i < warmup) continue;
    const double us = std::chrono::duration<double, std::micro>(observer.fields_at - *sent).count();
    samples.push_back(us);
    std::cout << "core_latency_us " << us << "\n";
  }
  pcpos::bench::RemoveTree(folder);

  if (samples.empty()) {
    std::cerr << "no transaction completed (" << failures << " failed)\n";
    return 1;
  }
  std::sort(samples.begin(), samples.end());
  std::cout << "summary runs=" << samples.size() << " failed=" << failures
            << " median_us=" << samples[samples.size() / 2] << " min_us=" << samples.front()
            << " max_us=" << samples.back() << "\n";
  return failures == 0 ? 0 : 1;
}
