#include "payment/transaction.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "link/card_reader_connection.h"
#include "link/errors.h"
#include "payment/response_log.h"
#include "text/numbers.h"
#include "text/text.h"

namespace pcpos {
namespace {

// Refusals of the operator's inputs are shown like every other failure.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::size_t kMaxAmountCharacters = 99;

int ToMs(std::chrono::milliseconds d) {
  return static_cast<int>(std::clamp<std::int64_t>(d.count(), 0, INT32_MAX));
}

// The port as the operator typed it, read by the tolerant integer rules; a value
// that does not fit a TCP port is refused rather than cut to 16 bits.
std::uint16_t CheckedPort(const std::string& text) {
  std::int32_t port = CleanInt(AsciiDigits(text));
  if (port < 1 || port > 65535) {
    throw InputError("Invalid port: " + std::string(TrimControl(text)));
  }
  return static_cast<std::uint16_t>(port);
}

std::string CheckedHost(const std::string& text) {
  std::string host(TrimControl(AsciiDigits(text)));
  if (host.empty()) throw InputError("Invalid host: the card reader's address is empty");
  return host;
}

// A control character inside the amount would split or corrupt the request
// line, and a length prefix has two digits: an amount of 100 characters or more
// would go out with a prefix that disagrees with it.
std::string CheckedAmount(const std::string& text) {
  std::string amount(TrimControl(AsciiDigits(text)));
  for (std::size_t i = 0; i < amount.size(); ++i) {
    if (static_cast<unsigned char>(amount[i]) < 32) {
      throw InputError("Invalid amount: control character at position " + std::to_string(i + 1));
    }
  }
  if (std::size_t n = CharacterCount(amount); n > kMaxAmountCharacters) {
    throw InputError("Invalid amount: " + std::to_string(n) + " characters, at most " +
                     std::to_string(kMaxAmountCharacters) + " fit the request");
  }
  return amount;
}

// A failure before the request left is definite; after it the reader may
// have taken the payment, and the outcome is open.
void ReportError(TransactionObserver& observer, PaymentReport& report, const std::string& message) {
  const bool sent = report.request.has_value();
  report.outcome = sent ? Outcome::Unknown : Outcome::NotSent;
  report.error = message;
  report.result = ResultLine{message, report.outcome};
  observer.OnRawResponse(NormaliseLineBreaks(message));
  observer.OnResultLine(*report.result);
}

// Leading blanks and line ends come before an answer, not in it.
std::string_view TrimLeadingControl(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  return text.substr(i);
}

}  // namespace

PaymentTransaction::PaymentTransaction(PaymentInputs inputs, TransactionOptions options)
    : inputs_(std::move(inputs)), options_(std::move(options)) {}

double PaymentTransaction::MsAt(std::chrono::steady_clock::time_point at) const {
  return std::chrono::duration<double, std::milli>(at - start_).count();
}

double PaymentTransaction::MsSinceStart() const { return MsAt(std::chrono::steady_clock::now()); }

PaymentReport PaymentTransaction::Run(TransactionObserver& observer) {
  start_ = std::chrono::steady_clock::now();
  PaymentReport report;
  try {
    RunSteps(observer, report);
  } catch (const SocketError& e) {
    report.error_code = e.code();
    ReportError(observer, report, e.what());
  } catch (const std::exception& e) {
    ReportError(observer, report, e.what());
  } catch (...) {
    ReportError(observer, report, "Unknown error");
  }
  observer.OnFinished(report);
  return report;
}

void PaymentTransaction::RunSteps(TransactionObserver& observer, PaymentReport& report) {
  // Made here, not when the transaction is: this is the payment's own thread.
  log_path_ = options_.is_folder ? LogFilePath(inputs_.log_folder, options_.is_folder)
                                 : LogFilePath(inputs_.log_folder);
  EnsureLog(log_path_);

  std::string host = CheckedHost(inputs_.host);
  std::uint16_t port = CheckedPort(inputs_.port);
  std::string request = BuildRequest(inputs_.kind, CheckedAmount(inputs_.amount));

  CardReaderConnection connection;
  connection.SetHost(host);
  connection.SetPort(port);
  connection.SetConnectLimit(ToMs(options_.connect_timeout));
  connection.SetWaker(&waker_);
  // A connect that fails after the lookup still tells how long the lookup took.
  const auto note_lookup = [&] {
    if (auto at = connection.ResolvedAt()) report.timings.lookup_ms = MsAt(*at);
  };
  try {
    connection.Open();
  } catch (...) {
    note_lookup();
    throw;
  }
  note_lookup();
  report.timings.connect_ms = MsSinceStart();
  observer.OnConnected();
  connection.SendLine(request);
  report.timings.sent_ms = MsSinceStart();
  report.request = request;
  observer.OnRequestSent(request);

  // The pane shows nothing while the reader has not answered.
  observer.OnRawResponse("");
  report.answer = ReadAnswer(connection, report);
  report.timings.answer_ms = MsSinceStart();
  connection.Release();
  ProcessAnswer(observer, report, IsCompleteResponse(report.answer));
}

// Reads until the answer is whole, its header is wrong, the reader closes, or no
// byte has come for the quiet time; an error or a cancel after some of it came
// still yields what came. Throws when nothing but blanks came.
std::string PaymentTransaction::ReadAnswer(CardReaderConnection& connection,
                                           PaymentReport& report) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + options_.answer_timeout;
  std::string received;
  for (;;) {
    const std::string_view answer = TrimLeadingControl(received);
    const bool started = !answer.empty();
    if (started && (HeaderMismatches(answer) || IsCompleteResponse(answer) ||
                    connection.ClosedByPeer() || received.size() >= kMaxAnswerBytes)) {
      break;
    }
    if (!started && connection.ClosedByPeer()) throw ConnectionError(kClosedGracefullyText);

    // Each wait sleeps until the reader sends something, closes, the time is up
    // or the operator cancels, so a long wait costs no processor time.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (started) left = std::min<std::chrono::milliseconds>(left, kAnswerQuietTime);
    connection.SetReadLimit(ToMs(left));
    const net::Readiness readiness = connection.WaitForInput();
    if (readiness == net::Readiness::Woken || waker_.IsWoken()) {
      if (started) break;
      throw Canceled();
    }
    if (readiness == net::Readiness::TimedOut) {
      if (started) break;
      ThrowSocketError(wsa::kTimedOut);
    }

    std::exception_ptr error;
    try {
      connection.Poll();
    } catch (...) {
      error = std::current_exception();
    }
    const std::string text = connection.TakeText();
    if (!text.empty() && !report.timings.first_byte_ms)
      report.timings.first_byte_ms = MsSinceStart();
    received += text;
    // Blanks before an answer are never part of it; dropping them keeps a
    // reader that sends nothing else from filling memory.
    if (TrimLeadingControl(received).empty()) received.clear();
    if (error) {
      // Bytes that came before the error are the answer; the error counts only
      // when they form none.
      if (received.empty()) std::rethrow_exception(error);
      break;
    }
  }
  return std::string(TrimControl(received));
}

// Fields, log, result line, raw pane, in that order. A response code decides
// the outcome only in an answer read whole: an approval cut short is not trusted.
void PaymentTransaction::ProcessAnswer(TransactionObserver& observer, PaymentReport& report,
                                       bool whole) {
  const std::string& text = report.answer;
  std::optional<ResponseFields> fields = ParseResponse(text);
  ResultLine line{std::string(kHeaderMismatchText), Outcome::Unknown};
  if (fields) {
    report.fields = fields;
    observer.OnFields(*fields);
    try {
      if (WriteLog(log_path_, text)) report.log_file = log_path_;
    } catch (const std::exception& e) {
      // Nothing hides what the reader answered: the log error is reported beside it.
      report.log_error = e.what();
    }
    line = ResultLineFor(fields->ResponseCode);
    if (line.outcome == Outcome::Approved && !whole) {
      line = ResultLine{std::string(kHeaderMismatchText), Outcome::Unknown};
    }
  }
  report.result = line;
  report.outcome = line.outcome;
  observer.OnResultLine(line);
  observer.OnRawResponse(NormaliseLineBreaks(text));
}

}  // namespace pcpos
