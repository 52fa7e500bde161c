// One purchase: inputs in, outputs reported in order through an observer.
// Toolkit-neutral; the window and the command-line client adapt the observer.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "link/socket.h"
#include "payment/message_format.h"

namespace pcpos {

// The longest the transaction waits for the reader's answer after sending.
inline constexpr std::chrono::milliseconds kAnswerTimeout{120'000};
// The longest a connect may take before it fails with 10060.
inline constexpr std::chrono::milliseconds kConnectTimeout{10'000};

struct PaymentInputs {
  std::string host;        // as typed (UTF-8)
  std::string port;
  std::string amount;
  std::string log_folder;
};

struct TransactionOptions {
  std::chrono::milliseconds answer_timeout = kAnswerTimeout;
  std::chrono::milliseconds connect_timeout = kConnectTimeout;
};

// Calls arrive on the thread that runs the transaction, in the order the
// operator is to see them.
class TransactionObserver {
 public:
  virtual ~TransactionObserver() = default;
  // The request line that went out, without CR LF.
  virtual void OnRequestSent(const std::string& /*request*/) {}
  // The whole new content of the raw response pane (CR LF line breaks).
  virtual void OnRawResponse(const std::string& text) = 0;
  virtual void OnFields(const ResponseFields& fields) = 0;
  virtual void OnResultLine(const ResultLine& line) = 0;
};

class PaymentTransaction {
 public:
  explicit PaymentTransaction(PaymentInputs inputs, TransactionOptions options = {});
  PaymentTransaction(const PaymentTransaction&) = delete;
  PaymentTransaction& operator=(const PaymentTransaction&) = delete;

  // Runs to its end; every error is reported to the observer, none is thrown.
  void Run(TransactionObserver& observer);

  // From any thread: ends the wait (or a connect) with "Canceled by operator.".
  void Cancel() noexcept { waker_.Wake(); }

  const std::string& LogPath() const { return log_path_; }

 private:
  void RunSteps(TransactionObserver& observer);

  PaymentInputs inputs_;
  TransactionOptions options_;
  std::string log_path_;
  net::Waker waker_;
};

}  // namespace pcpos
