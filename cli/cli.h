// The command-line client: one payment (or a series of them) with the given
// texts, outputs printed as they happen, or JSON.
#pragma once

#include <atomic>
#include <iosfwd>

namespace pcpos {

// Exit status by outcome: a script can tell "charge again" (1) from "look at
// the reader first" (3).
inline constexpr int kExitApproved = 0;
inline constexpr int kExitNotApproved = 1;  // declined, not sent, or could not start
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnknown = 3;

class PaymentTransaction;

// What Ctrl-C reaches: the payment running now, and the series it belongs to.
class CliInterrupt {
 public:
  // Safe in a signal handler: cancels the running payment and ends the series.
  void Trigger() noexcept;
  bool Triggered() const noexcept { return triggered_.load(); }
  // The payment about to run, or nullptr once it has ended. A payment that
  // starts after a trigger is cancelled at once, so a Ctrl-C between two
  // payments is not lost.
  void SetRunning(PaymentTransaction* transaction) noexcept;

 private:
  std::atomic<PaymentTransaction*> running_{nullptr};
  std::atomic<bool> triggered_{false};
};

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           CliInterrupt* interrupt = nullptr);

}  // namespace pcpos
