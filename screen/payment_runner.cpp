#include "screen/payment_runner.h"

#include <chrono>
#include <utility>

#include "payment/journal.h"

namespace pcpos::screen {

struct PaymentRunner::Link {
  PaymentRunner* runner = nullptr;  // read and cleared on the window's thread only
};

// Lives on the payment's thread; every call becomes a posted call on the
// window's thread, delivered only while its run is still the current one.
class PaymentRunner::Forwarder final : public TransactionObserver {
 public:
  Forwarder(Post post, std::shared_ptr<Link> link, std::uint64_t run)
      : post_(std::move(post)), link_(std::move(link)), run_(run) {}

  void OnConnected() override {
    Deliver([](PaymentListener& l) { l.OnConnected(); });
  }
  void OnRequestSent(const std::string& request) override {
    Deliver([request](PaymentListener& l) { l.OnRequestSent(request); });
  }
  void OnRawResponse(const std::string& text) override {
    Deliver([text](PaymentListener& l) { l.OnRawResponse(text); });
  }
  void OnFields(const ResponseFields& fields) override {
    Deliver([fields](PaymentListener& l) { l.OnFields(fields); });
  }
  void OnResultLine(const ResultLine& line) override {
    Deliver([line](PaymentListener& l) { l.OnResultLine(line); });
  }

 private:
  template <typename Call>
  void Deliver(Call call) {
    post_([link = link_, run = run_, call = std::move(call)] {
      PaymentRunner* runner = link->runner;
      if (runner == nullptr || runner->current_run_ != run || runner->listener_ == nullptr) return;
      call(*runner->listener_);
    });
  }

  Post post_;
  std::shared_ptr<Link> link_;
  std::uint64_t run_;
};

PaymentRunner::PaymentRunner(Post post) : post_(std::move(post)), link_(std::make_shared<Link>()) {
  link_->runner = this;
}

PaymentRunner::~PaymentRunner() {
  CancelAndWait();
  link_->runner = nullptr;
}

bool PaymentRunner::IsRunning() const { return thread_.joinable(); }

bool PaymentRunner::Start(PaymentInputs inputs, TransactionOptions options,
                          PaymentListener& listener) {
  if (IsRunning()) return false;
  transaction_ = std::make_unique<PaymentTransaction>(inputs, options);
  listener_ = &listener;
  const std::uint64_t run = ++last_run_;
  current_run_ = run;
  thread_ = std::thread([post = post_, link = link_, run, transaction = transaction_.get(),
                         inputs = std::move(inputs)] {
    Forwarder forwarder(post, link, run);
    const auto started = std::chrono::system_clock::now();
    PaymentReport report = transaction->Run(forwarder);
    // Here rather than on the window's thread: the row is written even when the
    // window closes during the payment, and a slow disk never stalls the window.
    std::optional<std::string> journal_error = JournalPayment(inputs, report, started);
    // Posted last, so it arrives after every output of this run.
    post([link, run, report = std::move(report), journal_error = std::move(journal_error)] {
      if (PaymentRunner* runner = link->runner) runner->Ended(run, report, journal_error);
    });
  });
  return true;
}

void PaymentRunner::Cancel() {
  if (transaction_) transaction_->Cancel();
}

void PaymentRunner::CancelAndWait() {
  Cancel();
  Reap();
}

void PaymentRunner::Ended(std::uint64_t run, const PaymentReport& report,
                          const std::optional<std::string>& journal_error) {
  // A run already reaped by CancelAndWait, or superseded, ends nothing here.
  if (run != current_run_ || !IsRunning()) return;
  PaymentListener* listener = listener_;
  Reap();
  if (listener != nullptr) listener->OnFinished(report, journal_error);
}

void PaymentRunner::Reap() {
  if (thread_.joinable()) thread_.join();
  transaction_.reset();
  current_run_ = 0;
  listener_ = nullptr;
}

}  // namespace pcpos::screen
