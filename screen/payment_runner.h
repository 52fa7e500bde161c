// Runs one payment on a thread of its own, journals it there, and hands every
// output to the window's thread through a function the window supplies (Qt
// queues it with QMetaObject::invokeMethod, Win32 with PostMessageW), so the
// window keeps answering, and can cancel, while the cardholder pays.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "payment/transaction.h"

namespace pcpos::screen {

// Receives a run's outputs on the window's thread, in the order the transaction
// reported them; OnFinished comes last, after the journal row is written.
class PaymentListener {
 public:
  virtual ~PaymentListener() = default;
  // The connection is made: from here the answer limit, not the connect limit, runs.
  virtual void OnConnected() {}
  virtual void OnRequestSent(const std::string& request) = 0;
  virtual void OnRawResponse(const std::string& text) = 0;
  virtual void OnFields(const ResponseFields& fields) = 0;
  virtual void OnResultLine(const ResultLine& line) = 0;
  // journal_error: why the journal row could not be written.
  virtual void OnFinished(const PaymentReport& report,
                          const std::optional<std::string>& journal_error) = 0;
};

// What the screen needs of a runner; the tests give it a fake one.
class Runner {
 public:
  virtual ~Runner() = default;
  // False when a payment is already running.
  virtual bool Start(PaymentInputs inputs, TransactionOptions options,
                     PaymentListener& listener) = 0;
  // Ends the lookup, the connect or the wait; OnFinished follows.
  virtual void Cancel() = 0;
  // Cancels and returns once the thread has ended (its journal row written);
  // OnFinished is not delivered for a run ended this way.
  virtual void CancelAndWait() = 0;
  virtual bool IsRunning() const = 0;
};

class PaymentRunner final : public Runner {
 public:
  // Runs `call` later on the window's thread; must be callable from any thread.
  // It throws when it cannot hand the call over; the run's end is then posted
  // again, a few times, before the runner gives up on it.
  using Post = std::function<void(std::function<void()> call)>;
  explicit PaymentRunner(Post post);
  ~PaymentRunner() override;  // CancelAndWait

  bool Start(PaymentInputs inputs, TransactionOptions options, PaymentListener& listener) override;
  void Cancel() override;
  void CancelAndWait() override;
  bool IsRunning() const override;

 private:
  struct Link;
  class Forwarder;
  struct End;
  static void Work(Post post, std::shared_ptr<Link> link, std::uint64_t run,
                   PaymentTransaction* transaction, const PaymentInputs& inputs);
  // On the window's thread: the run's end, when it is still the current one.
  void Ended(std::uint64_t run, const End& end);
  void Reap();

  Post post_;
  // Shared with the payment's thread and its posts: a post finds the runner
  // through it, and finds nothing once the runner is gone.
  std::shared_ptr<Link> link_;
  std::unique_ptr<PaymentTransaction> transaction_;
  std::thread thread_;
  PaymentListener* listener_ = nullptr;
  // The run whose outputs are delivered; 0 when none is (ended or abandoned),
  // so that a late post of an earlier run is dropped.
  std::uint64_t current_run_ = 0;
  std::uint64_t last_run_ = 0;
};

}  // namespace pcpos::screen
