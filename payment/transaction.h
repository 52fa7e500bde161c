// One purchase: inputs in, outputs reported in order through an observer.
// Toolkit-neutral; the window and the command-line client adapt the observer.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/socket.h"
#include "payment/message_format.h"

namespace pcpos {

class CardReaderConnection;

// The longest the transaction waits for the reader's answer after sending.
inline constexpr std::chrono::milliseconds kAnswerTimeout{120'000};
// The longest a connect may take before it fails with 10060.
inline constexpr std::chrono::milliseconds kConnectTimeout{10'000};
// An answer that is not yet complete is read on until no byte has come for this
// long; a reader that sends its answer whole is not kept waiting by it.
inline constexpr std::chrono::milliseconds kAnswerQuietTime{500};
// Past this many bytes an answer is taken as it stands (a whole one is far shorter).
inline constexpr std::size_t kMaxAnswerBytes = 65536;

// Milliseconds from the start of the payment (monotonic clock); empty where
// the phase was not reached.
struct PhaseTimings {
  std::optional<double> lookup_ms;      // the reader's address known
  std::optional<double> connect_ms;     // connected
  std::optional<double> sent_ms;        // request sent
  std::optional<double> first_byte_ms;  // first byte of the answer arrived
  std::optional<double> answer_ms;      // the answer read (whole, or as far as it came)
};

// The whole of one payment, for reports and journals.
struct PaymentReport {
  Outcome outcome = Outcome::NotSent;
  std::optional<std::string> request;    // the request line sent, without CR LF
  std::string answer;                    // the answer text as received (trimmed); empty when none
  std::optional<ResponseFields> fields;  // when an answer was parsed
  std::optional<ResultLine> result;      // the final result line
  std::string error;                     // the error that ended the payment; empty when none
  std::optional<int> error_code;         // its Windows Sockets number, when it was a socket error
  std::optional<std::string> log_error;  // the response log could not be written
  std::optional<std::string> log_file;   // the response log this payment wrote the answer to
  PhaseTimings timings;
};

struct PaymentInputs {
  std::string host;  // as typed (UTF-8)
  std::string port;
  std::string amount;
  std::string log_folder;
  TransactionKind kind = TransactionKind::Purchase;  // which request goes out
};

struct TransactionOptions {
  std::chrono::milliseconds answer_timeout = kAnswerTimeout;
  std::chrono::milliseconds connect_timeout = kConnectTimeout;
  // Whether the log folder text names an existing folder; empty: the file
  // system is asked (IsExistingFolder). Asked once, when the run starts, on the
  // thread that runs it: a folder on a share whose server is down can take as
  // long as the network needs to give up.
  std::function<bool(const std::string&)> is_folder = nullptr;
};

// Calls arrive on the thread that runs the transaction, in the order the
// operator is to see them.
class TransactionObserver {
 public:
  virtual ~TransactionObserver() = default;
  // The connection to the reader is made; the request goes out next.
  virtual void OnConnected() {}
  // The request line that went out, without CR LF.
  virtual void OnRequestSent(const std::string& /*request*/) {}
  // What the reader sent so far, or the error that ended the payment (CR LF
  // line breaks): empty once the request is out, then the answer or the error.
  virtual void OnRawResponse(const std::string& text) = 0;
  virtual void OnFields(const ResponseFields& fields) = 0;
  virtual void OnResultLine(const ResultLine& line) = 0;
  // Last of all, once per run.
  virtual void OnFinished(const PaymentReport& /*report*/) {}
};

class PaymentTransaction {
 public:
  explicit PaymentTransaction(PaymentInputs inputs, TransactionOptions options = {});
  PaymentTransaction(const PaymentTransaction&) = delete;
  PaymentTransaction& operator=(const PaymentTransaction&) = delete;

  // Runs to its end; every error is reported to the observer, none is thrown.
  PaymentReport Run(TransactionObserver& observer);

  // From any thread: ends the lookup, the connect or the wait with "Canceled by operator.".
  void Cancel() noexcept { waker_.Wake(); }

 private:
  void RunSteps(TransactionObserver& observer, PaymentReport& report);
  std::string ReadAnswer(CardReaderConnection& connection, PaymentReport& report);
  void ProcessAnswer(TransactionObserver& observer, PaymentReport& report, bool whole);
  double MsAt(std::chrono::steady_clock::time_point at) const;
  double MsSinceStart() const;

  PaymentInputs inputs_;
  TransactionOptions options_;
  std::string log_path_;
  net::Waker waker_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace pcpos
