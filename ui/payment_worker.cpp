#include "ui/payment_worker.h"

#include <QMetaObject>
#include <QPointer>

#include <chrono>
#include <optional>
#include <utility>

#include "payment/journal.h"

namespace pcpos::ui {

// Lives on the transaction's thread; every call becomes a queued call into the
// worker's thread. Queued calls to one receiver are delivered in posting order.
class PaymentWorker::QueuedObserver final : public TransactionObserver {
 public:
  explicit QueuedObserver(PaymentWorker* worker) : worker_(worker) {}

  void OnRequestSent(const std::string& request) override {
    Post([w = worker_, text = QString::fromStdString(request)] { emit w->RequestSent(text); });
  }
  void OnRawResponse(const std::string& text) override {
    Post([w = worker_, t = QString::fromStdString(text)] { emit w->RawResponse(t); });
  }
  void OnFields(const ResponseFields& fields) override {
    Post([w = worker_, fields] { emit w->FieldsReceived(fields); });
  }
  void OnResultLine(const ResultLine& line) override {
    Post([w = worker_, text = QString::fromStdString(line.text), colour = line.colour] {
      emit w->ResultLineChanged(text, colour);
    });
  }

 private:
  template <typename F>
  void Post(F&& call) {
    QMetaObject::invokeMethod(worker_, std::forward<F>(call), Qt::QueuedConnection);
  }

  PaymentWorker* worker_;
};

PaymentWorker::PaymentWorker(QObject* parent) : QObject(parent) {}

PaymentWorker::~PaymentWorker() { CancelAndWait(); }

bool PaymentWorker::Start(PaymentInputs inputs, TransactionOptions options) {
  if (IsRunning()) return false;
  transaction_ = std::make_unique<PaymentTransaction>(inputs, options);
  const std::uint64_t run = ++run_;
  thread_ = std::thread([this, transaction = transaction_.get(), run, inputs = std::move(inputs)] {
    QueuedObserver observer(this);
    const auto started = std::chrono::system_clock::now();
    PaymentReport report = transaction->Run(observer);
    // Here rather than on the window's thread: the row is written even when the
    // window closes during the payment, and a slow disk never stalls the window.
    const std::optional<std::string> journal_error = JournalPayment(inputs, report, started);
    // Posted last, so it arrives after every output of this run.
    QMetaObject::invokeMethod(
        this,
        [this, run, report = std::move(report),
         error = QString::fromStdString(journal_error.value_or(std::string()))] {
          OnThreadEnded(run, report, error);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void PaymentWorker::Cancel() {
  if (transaction_) transaction_->Cancel();
}

void PaymentWorker::CancelAndWait() {
  Cancel();
  Reap();
}

void PaymentWorker::OnThreadEnded(std::uint64_t run, const PaymentReport& report,
                                  const QString& journal_error) {
  // A run already reaped by CancelAndWait, or superseded, ends nothing here.
  if (run != run_ || !IsRunning()) return;
  Reap();
  emit Finished(report, journal_error);
}

void PaymentWorker::Reap() {
  if (thread_.joinable()) thread_.join();
  transaction_.reset();
}

}  // namespace pcpos::ui
