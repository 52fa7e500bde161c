#include "screen/payment_runner.h"

#include <chrono>
#include <exception>
#include <utility>

#include "payment/journal.h"
#include "text/text.h"

namespace pcpos::screen {

namespace {

// How often the run's end is handed to a post that throws, and how far apart.
constexpr int kEndPostAttempts = 5;
constexpr std::chrono::milliseconds kEndPostPause{200};

std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

}  // namespace

struct PaymentRunner::Link {
  PaymentRunner* runner = nullptr;  // read and cleared on the window's thread only
};

// What the payment's thread hands back once the row is written. `escaped`: an
// error that got past the transaction's own handling, whose raw text and result
// line may never have been posted; the end shows them.
struct PaymentRunner::End {
  PaymentReport report;
  std::optional<std::string> journal_error;
  bool escaped = false;
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
    request_ = request;  // before the post, which may fail
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

  // The request line, once it has gone out.
  const std::optional<std::string>& request() const { return request_; }

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
  std::optional<std::string> request_;
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
  thread_ =
      std::thread(&PaymentRunner::Work, post_, link_, run, transaction_.get(), std::move(inputs));
  return true;
}

// The payment's thread. Nothing may escape it (that would end the process
// mid-payment, its row unwritten): whatever gets past the transaction becomes
// the payment's error, with the outcome the request's fate allows, and is
// journaled and posted like any other end.
void PaymentRunner::Work(Post post, std::shared_ptr<Link> link, std::uint64_t run,
                         PaymentTransaction* transaction, const PaymentInputs& inputs) {
  Forwarder forwarder(post, link, run);
  const auto started = std::chrono::system_clock::now();
  End end;
  try {
    end.report = transaction->Run(forwarder);
  } catch (...) {
    const std::string message = MessageOf(std::current_exception());
    end.escaped = true;
    end.report = PaymentReport{};
    end.report.request = forwarder.request();
    end.report.outcome = end.report.request ? Outcome::Unknown : Outcome::NotSent;
    end.report.error = message;
    end.report.result = ResultLine{message, end.report.outcome};
  }
  // Here rather than on the window's thread: the row is written even when the
  // window closes during the payment, and a slow disk never stalls the window.
  try {
    end.journal_error = JournalPayment(inputs, end.report, started);
  } catch (...) {
    end.journal_error = MessageOf(std::current_exception());
  }
  // Posted last, so it arrives after every output of this run. A window that
  // cannot take it now may later; one that never can has closed, and closing
  // waits for this thread instead.
  for (int attempt = 1;; ++attempt) {
    try {
      post([link, run, end] {
        if (PaymentRunner* runner = link->runner) runner->Ended(run, end);
      });
      return;
    } catch (...) {
      if (attempt == kEndPostAttempts) return;
    }
    std::this_thread::sleep_for(kEndPostPause);
  }
}

void PaymentRunner::Cancel() {
  if (transaction_) transaction_->Cancel();
}

void PaymentRunner::CancelAndWait() {
  Cancel();
  Reap();
}

void PaymentRunner::Ended(std::uint64_t run, const End& end) {
  // A run already reaped by CancelAndWait, or superseded, ends nothing here.
  if (run != current_run_ || !IsRunning()) return;
  PaymentListener* listener = listener_;
  Reap();
  if (listener == nullptr) return;
  if (end.escaped) {
    listener->OnRawResponse(NormaliseLineBreaks(end.report.error));
    listener->OnResultLine(*end.report.result);
  }
  listener->OnFinished(end.report, end.journal_error);
}

void PaymentRunner::Reap() {
  if (thread_.joinable()) thread_.join();
  transaction_.reset();
  current_run_ = 0;
  listener_ = nullptr;
}

}  // namespace pcpos::screen
