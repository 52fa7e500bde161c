#include <atomic>
#include <csignal>
#include <iostream>

#include "cli/cli.h"
#include "payment/transaction.h"

namespace {

std::atomic<pcpos::PaymentTransaction*> running{nullptr};

// Ctrl-C cancels the wait the way the window's cancel button does; the waker
// only writes to a pipe, which is safe in a signal handler.
extern "C" void OnInterrupt(int) {
  if (auto* t = running.load()) t->Cancel();
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
  return pcpos::RunCli(argc, argv, std::cout, std::cerr,
                       [](pcpos::PaymentTransaction* t) { running.store(t); });
}
