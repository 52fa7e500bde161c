#include "payment/transaction.h"

#include <algorithm>
#include <cstdint>

#include "link/card_reader_connection.h"
#include "link/errors.h"
#include "payment/response_log.h"
#include "payment/text.h"

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

void ReportError(TransactionObserver& observer, const std::string& message) {
  observer.OnRawResponse(NormaliseLineBreaks(message));
  observer.OnResultLine({message, Colour::Red});
}

}  // namespace

PaymentTransaction::PaymentTransaction(PaymentInputs inputs, TransactionOptions options)
    : inputs_(std::move(inputs)), options_(options), log_path_(LogFilePath(inputs_.log_folder)) {}

void PaymentTransaction::Run(TransactionObserver& observer) {
  try {
    RunSteps(observer);
  } catch (const std::exception& e) {
    ReportError(observer, e.what());
  } catch (...) {
    ReportError(observer, "Unknown error");
  }
}

void PaymentTransaction::RunSteps(TransactionObserver& observer) {
  EnsureLog(log_path_);

  std::string host = CheckedHost(inputs_.host);
  std::uint16_t port = CheckedPort(inputs_.port);
  std::string request = BuildPurchaseRequest(CheckedAmount(inputs_.amount));

  CardReaderConnection connection;
  connection.SetHost(host);
  connection.SetPort(port);
  connection.SetConnectLimit(ToMs(options_.connect_timeout));
  connection.SetWaker(&waker_);
  connection.Open();
  connection.SendLine(request);
  observer.OnRequestSent(request);

  // Each pass sleeps until the reader sends something, closes, the deadline
  // passes or the operator cancels, so a long wait costs no processor time.
  const auto deadline = std::chrono::steady_clock::now() + options_.answer_timeout;
  // The pane shows nothing while the reader has not answered.
  observer.OnRawResponse("");
  for (;;) {
    if (connection.InputIsEmpty()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      connection.SetReadLimit(ToMs(left));
      net::Readiness readiness = connection.WaitForInput();
      if (readiness == net::Readiness::Woken || waker_.IsWoken()) throw Canceled();
      if (readiness == net::Readiness::TimedOut) ThrowSocketError(wsa::kTimedOut);
      connection.Poll();
    }
    std::string text(TrimControl(connection.TakeText()));
    if (!text.empty()) {
      if (auto fields = ParseResponse(text)) {
        observer.OnFields(*fields);
        WriteLog(log_path_, text);
        if (auto line = ResultLineFor(fields->ResponseCode)) observer.OnResultLine(*line);
      } else {
        observer.OnResultLine({std::string(kHeaderMismatchText), Colour::Red});
      }
      observer.OnRawResponse(NormaliseLineBreaks(text));
      break;
    }
    if (connection.ClosedByPeer()) throw ConnectionError(kClosedGracefullyText);
  }
  connection.Release();
}

}  // namespace pcpos
