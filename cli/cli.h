// The command-line client: one payment (or a series of them) with the given
// texts, its outcome printed once it is journaled, or JSON.
#pragma once

#include <atomic>
#include <chrono>
#include <istream>
#include <ostream>
#include <string>

#include "payment/transaction.h"

namespace pcpos {

// Exit status by outcome: a script can tell "charge again" (1) from "look at
// the reader first" (3). A signal that cut the run short gives 128 + its
// number, unless an outcome is open: that outweighs everything.
inline constexpr int kExitApproved = 0;
inline constexpr int kExitNotApproved = 1;  // declined, not sent, or could not start
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnknown = 3;
inline constexpr int kExitSignalBase = 128;

// What Ctrl-C (or SIGTERM, or a closing console) reaches: the payment running
// now, and the series it belongs to. Trigger may run in a signal handler or on
// a thread of its own while the payment it cancels is ending; SetRunning(nullptr)
// does not return while a Trigger still uses the payment, so the payment is
// never cancelled after it is gone.
class CliInterrupt {
 public:
  // Async-signal-safe and callable from any thread: cancels the running
  // payment and ends the series. The first signal's number is kept for the
  // exit status.
  void Trigger(int signal) noexcept;
  bool Triggered() const noexcept { return signal_.load() != 0; }
  // The number given to the first Trigger; 0 when there was none.
  int Signal() const noexcept { return signal_.load(); }

  // The payment about to run, or nullptr once it has ended (and before it is
  // destroyed). A payment that starts after a trigger is cancelled at once, so
  // an interrupt between two payments is not lost.
  void SetRunning(PaymentTransaction* transaction) noexcept;

  // The run is over: every payment is journaled. A handler that must keep the
  // process alive until then (a closing console) waits for it.
  void Finish() noexcept { finished_.store(true); }
  bool WaitUntilFinished(std::chrono::milliseconds limit) const noexcept;

 private:
  static_assert(std::atomic<int>::is_always_lock_free && std::atomic<void*>::is_always_lock_free,
                "a signal handler may only touch lock-free atomics");
  std::atomic<PaymentTransaction*> running_{nullptr};
  std::atomic<int> signal_{0};
  std::atomic<int> cancelling_{0};  // Triggers between reading running_ and cancelling
  std::atomic<bool> finished_{false};
};

// `in` gives the operator's answers to a suite's prompts (standard input when null).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           CliInterrupt* interrupt = nullptr, std::istream* in = nullptr);

// One payment as the client runs it, registered with the interrupt while it
// runs; a failure to set it up is a payment not sent, reported on `err`.
PaymentReport RunPayment(const PaymentInputs& inputs, const TransactionOptions& options,
                         TransactionObserver& observer, CliInterrupt* interrupt, std::ostream& err,
                         const std::string& program);

// Shows the request the moment it leaves, so that a long wait shows progress;
// everything else is printed from the report once the payment is journaled.
class CliObserver final : public TransactionObserver {
 public:
  CliObserver(std::ostream& out, bool live) : out_(out), live_(live) {}

  void OnRequestSent(const std::string& request) override {
    if (live_) out_ << "request: " << request << "\n" << std::flush;
  }
  void OnRawResponse(const std::string&) override {}
  void OnFields(const ResponseFields&) override {}
  void OnResultLine(const ResultLine&) override {}

 private:
  std::ostream& out_;
  bool live_;
};

}  // namespace pcpos
