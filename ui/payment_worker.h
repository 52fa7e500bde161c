// Runs one payment transaction on a thread of its own and hands its outputs to
// the user-interface thread, in the order the transaction reports them, so the
// window keeps answering (and can cancel) while the cardholder pays.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <thread>

#include "payment/transaction.h"

namespace pcpos::ui {

class PaymentWorker : public QObject {
  Q_OBJECT

 public:
  explicit PaymentWorker(QObject* parent = nullptr);
  ~PaymentWorker() override;

  bool IsRunning() const { return thread_.joinable(); }

  // Starts a transaction unless one is running; false when one is.
  bool Start(PaymentInputs inputs, TransactionOptions options = {});
  // Asks the running transaction to end its lookup, connect or wait; Finished follows.
  void Cancel();
  // For shutdown: cancels, and returns once the thread has ended. Finished is
  // not signalled for a transaction ended this way.
  void CancelAndWait();

 signals:
  // All of these are emitted on the thread this object lives in.
  // The request went out: from here on the reader may act on it.
  void RequestSent(const QString& request);
  void RawResponse(const QString& text);
  void FieldsReceived(const pcpos::ResponseFields& fields);
  void ResultLineChanged(const QString& text, pcpos::Colour colour);
  // Last of a run, with the whole of it (a journal keeps these).
  // journal_error: why the payment's journal row could not be written, or empty.
  void Finished(const pcpos::PaymentReport& report, const QString& journal_error);

 private:
  class QueuedObserver;
  void OnThreadEnded(std::uint64_t run, const PaymentReport& report, const QString& journal_error);
  void Reap();

  std::unique_ptr<PaymentTransaction> transaction_;
  std::thread thread_;
  // Tells a late "thread ended" notice of an earlier run from the current one.
  std::uint64_t run_ = 0;
};

}  // namespace pcpos::ui
