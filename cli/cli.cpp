#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include "acceptance/payment_json.h"
#include "cli/suite_cli.h"
#include "link/errors.h"
#include "payment/card_mask.h"
#include "payment/defaults.h"
#include "payment/journal.h"
#include "payment/response_log.h"
#include "payment/transaction.h"
#include "text/numbers.h"
#include "text/text.h"

#ifndef PCPOS_VERSION
#error "PCPOS_VERSION comes from the project's version in CMake"
#endif

namespace pcpos {
namespace {

// One payment's object and its colour are the acceptance run's too: one definition.
using acceptance::ColourName;
using acceptance::Json;
using acceptance::JsonMs;
using acceptance::PaymentJson;

// Longer than any real payment could be kept waiting; anything beyond is a typo.
constexpr double kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr double kMinTimeoutSeconds = 0.1;
constexpr double kMaxIntervalSeconds = 24 * 60 * 60;
constexpr double kMaxConnectTimeoutSeconds = 600;

constexpr const char* kOpenOutcomeWarning =
    "warning: the request went out but no readable answer came back; the reader may have taken "
    "the payment: check its own record before trying again";

// A validator for a number of seconds; parsed here as well, because the range
// check must see the same number the option gets, and nan and inf fail every
// comparison.
CLI::Validator Seconds(double min, double max, const std::string& range) {
  return CLI::Validator(
      [=](std::string& text) -> std::string {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) || value < min ||
            value > max) {
          return "must be a number of seconds from " + range + ", not " + text;
        }
        return {};
      },
      "");
}

std::chrono::milliseconds Ms(double seconds) {
  return std::chrono::milliseconds(std::llround(seconds * 1000));
}

std::string TextMs(const std::optional<double>& ms) {
  if (!ms) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", *ms);
  return text;
}

std::string TimingsText(const PhaseTimings& t) {
  return "timings: lookup_ms " + TextMs(t.lookup_ms) + ", connect_ms " + TextMs(t.connect_ms) +
         ", sent_ms " + TextMs(t.sent_ms) + ", first_byte_ms " + TextMs(t.first_byte_ms) +
         ", answer_ms " + TextMs(t.answer_ms);
}

// Continuation lines of a multi-line text are indented under their label.
std::string Indented(const std::string& text, std::size_t indent) {
  std::string s;
  for (char c : text) {
    if (c == '\r') continue;
    s += c;
    if (c == '\n') s.append(indent, ' ');
  }
  return s;
}

// The answer and the result, printed only after the journal has the row, so
// that whoever reads them can rely on it.
void PrintPaymentText(std::ostream& out, const PaymentReport& report, const std::string& log_file) {
  if (!report.answer.empty()) out << "raw: " << Indented(report.answer, 5) << "\n";
  if (report.fields) {
    for (const AnswerFieldInfo& f : AnswerFields()) {
      out << f.name << ": " << Value(*report.fields, f.field) << "\n";
    }
  }
  if (report.result) {
    const std::string label = std::string("result (") + ColourName(report.outcome) + "): ";
    out << label << Indented(report.result->text, label.size()) << "\n";
  }
  out << TimingsText(report.timings) << "\n";
  out << "outcome: " << OutcomeName(report.outcome) << "\n";
  out << "log file: " << log_file << "\n";
}

// Counts per outcome and the answer times of a series.
class Summary {
 public:
  void Add(const PaymentReport& report) {
    ++counts_[static_cast<std::size_t>(report.outcome)];
    if (report.timings.answer_ms) answer_ms_.push_back(*report.timings.answer_ms);
  }
  int Count(Outcome o) const { return counts_[static_cast<std::size_t>(o)]; }
  std::optional<double> Median() const {
    if (answer_ms_.empty()) return std::nullopt;
    std::vector<double> v = answer_ms_;
    std::sort(v.begin(), v.end());
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
  }
  std::optional<double> Max() const {
    if (answer_ms_.empty()) return std::nullopt;
    return *std::max_element(answer_ms_.begin(), answer_ms_.end());
  }
  // An open outcome outweighs everything: the reader must be looked at. Then a
  // signal that cut the run short; 0 only when every payment was approved.
  int ExitStatus(int signal) const {
    if (Count(Outcome::Unknown) > 0) return kExitUnknown;
    if (signal != 0) return kExitSignalBase + signal;
    if (Count(Outcome::Declined) > 0 || Count(Outcome::NotSent) > 0) return kExitNotApproved;
    return kExitApproved;
  }
  Json ToJson(bool interrupted) const {
    return {{"summary",
             {{"approved", Count(Outcome::Approved)},
              {"declined", Count(Outcome::Declined)},
              {"not_sent", Count(Outcome::NotSent)},
              {"unknown", Count(Outcome::Unknown)},
              {"answer_ms_median", JsonMs(Median())},
              {"answer_ms_max", JsonMs(Max())},
              {"interrupted", interrupted}}}};
  }
  std::string Text(bool interrupted) const {
    return "summary: approved " + std::to_string(Count(Outcome::Approved)) + ", declined " +
           std::to_string(Count(Outcome::Declined)) + ", not_sent " +
           std::to_string(Count(Outcome::NotSent)) + ", unknown " +
           std::to_string(Count(Outcome::Unknown)) + ", answer_ms median " + TextMs(Median()) +
           ", max " + TextMs(Max()) + (interrupted ? ", interrupted" : "");
  }

 private:
  int counts_[4] = {};
  std::vector<double> answer_ms_;
};

}  // namespace

// Setting up can fail before anything is sent (no descriptors left for the
// cancel mechanism, no socket library): that is a payment not sent, reported
// and journaled like any other, never an abort.
PaymentReport RunPayment(const PaymentInputs& inputs, const TransactionOptions& options,
                         TransactionObserver& observer, CliInterrupt* interrupt, std::ostream& err,
                         const std::string& program) {
  std::unique_ptr<PaymentTransaction> transaction;
  PaymentReport failed;
  try {
    transaction = std::make_unique<PaymentTransaction>(inputs, options);
  } catch (const SocketError& e) {
    failed.error = e.what();
    failed.error_code = e.code();
  } catch (const std::exception& e) {
    failed.error = e.what();
  }
  if (!transaction) {
    err << program << ": cannot start the payment: " << failed.error << "\n";
    return failed;
  }
  if (interrupt) interrupt->SetRunning(transaction.get());
  PaymentReport report = transaction->Run(observer);
  if (interrupt) interrupt->SetRunning(nullptr);
  return report;
}

namespace {

// The pause between two payments of a series, cut short by an interrupt. Short
// naps keep the flag a signal handler sets the only thing shared with it.
void Pause(std::chrono::milliseconds length, const CliInterrupt* interrupt) {
  const auto end = std::chrono::steady_clock::now() + length;
  constexpr std::chrono::milliseconds kNap{50};
  for (auto now = std::chrono::steady_clock::now(); now < end;
       now = std::chrono::steady_clock::now()) {
    if (interrupt && interrupt->Triggered()) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, kNap));
  }
}

constexpr const char* kHelpFooter =
    "Exit status:\n"
    "  0    every payment approved\n"
    "  1    a payment declined or not sent (nothing reached the reader)\n"
    "  2    usage error; nothing was sent\n"
    "  3    a payment's outcome is unknown: the request went out and no readable answer came\n"
    "       back; look at the reader before trying again (this outweighs the statuses below)\n"
#ifdef _WIN32
    // What the console can send here; Windows has no SIGTERM or SIGHUP to give.
    "  130  Ctrl-C or Ctrl-Break cut the run short\n"
    "Ctrl-C and Ctrl-Break cancel the payment under way and end a series. Closing the\n"
    "console window cancels it too, and the program ends once its row is journaled.\n"
#else
    "  128+N  a signal cut the run short: 130 Ctrl-C (SIGINT), 143 SIGTERM\n"
    "SIGHUP does not cancel: the payment goes on to its end and is logged and journaled.\n"
#endif
    "With --suite: 0 at least one case ran and every case run and every check passed, 1 a\n"
    "  case or a check failed (or none ran, or the report could not be written), 2 a usage or\n"
    "  suite error (nothing was sent), and the interrupt's status above when one ended the\n"
    "  run (the cases done are still reported).\n"
    "The card number is shown, printed and journaled as its first 6 and last 4 digits only\n"
    "(in raw too); the response log keeps what the reader sent.\n";

}  // namespace

void CliInterrupt::Trigger(int signal) noexcept {
  int none = 0;
  signal_.compare_exchange_strong(none, signal);
  cancelling_.fetch_add(1);
  if (auto* t = running_.load()) t->Cancel();
  cancelling_.fetch_sub(1);
}

void CliInterrupt::SetRunning(PaymentTransaction* transaction) noexcept {
  running_.store(transaction);
  if (transaction) {
    if (Triggered()) transaction->Cancel();
    return;
  }
  // A Trigger that read the payment before it was taken away may still be
  // cancelling it; the payment must outlive that.
  while (cancelling_.load() != 0) std::this_thread::yield();
}

bool CliInterrupt::WaitUntilFinished(std::chrono::milliseconds limit) const noexcept {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!finished_.load()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           CliInterrupt* interrupt, std::istream* in) {
  PaymentInputs inputs{{}, std::string(kDefaultPort), {}, DefaultLogFolder()};
  double timeout_s = std::chrono::duration<double>(kAnswerTimeout).count();
  double connect_timeout_s = std::chrono::duration<double>(kConnectTimeout).count();
  bool json = false;
  int repeat = 0;
  double interval_s = 1;

  // Named, not taken from argv[0]: messages start "pcpos-cli:" however the
  // program was started (on Windows argv[0] is the full path of the .exe).
  CLI::App app{
      "Runs one purchase (or a series) against a card reader and shows its answer.\n"
      "The reader's address and the amount must be given: nothing is paid by default.",
      "pcpos-cli"};
  app.set_version_flag("--version", std::string("pcpos-cli ") + PCPOS_VERSION);
  app.footer(kHelpFooter);
  app.add_option("--host", inputs.host, "Card reader address (required)")->required();
  app.add_option("--port", inputs.port,
                 "Card reader port, 1 to 65535 (read as the window reads it)")
      ->capture_default_str();
  CLI::Option* amount_option =
      app.add_option("--amount", inputs.amount, "Amount to collect (required)")
          ->required(!SuiteRequested(argc, argv));
  app.add_option("--log-dir", inputs.log_folder,
                 "Log folder: the log and journal go inside an existing folder, other text gets "
                 "their names appended; open the journal in a spreadsheet with every column "
                 "imported as text")
      ->capture_default_str();
  app.add_option("--timeout", timeout_s, "Seconds to wait for the answer (0.1 to 86400)")
      ->capture_default_str()
      ->check(Seconds(kMinTimeoutSeconds, kMaxTimeoutSeconds, "0.1 to 86400"));
  app.add_option("--connect-timeout", connect_timeout_s, "Seconds a connect may take (0.1 to 600)")
      ->capture_default_str()
      ->check(Seconds(kMinTimeoutSeconds, kMaxConnectTimeoutSeconds, "0.1 to 600"));
  app.add_flag("--json", json,
               "Print one JSON object at the end instead (with --repeat: one line per payment, "
               "then a summary line)");
  CLI::Option* repeat_option =
      app.add_option("--repeat", repeat, "Run N payments one after another, then a summary")
          ->type_name("N")
          ->check(CLI::Range(1, std::numeric_limits<int>::max()));
  app.add_option("--interval", interval_s, "Seconds between the payments of --repeat (0 to 86400)")
      ->capture_default_str()
      ->check(Seconds(0, kMaxIntervalSeconds, "0 to 86400"))
      ->needs(repeat_option);
  SuiteArgs suite;
  AddSuiteOptions(app, suite, amount_option, repeat_option);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help() << std::flush;
    return 0;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << "\n" << std::flush;
    return 0;
  } catch (const CLI::RequiredError& e) {
    err << app.get_name() << ": " << e.what() << "\n"
        << app.get_name()
        << ": a payment needs the reader's address (--host) and the amount (--amount); nothing "
           "was sent.\nRun with --help for usage.\n";
    return kExitUsage;
  } catch (const CLI::ParseError& e) {
    err << app.get_name() << ": " << e.what() << "\n"
        << "Run with --help for usage.\n";
    return kExitUsage;
  }
  // Read as the transaction reads it, so that the check sees the port the
  // connection would get.
  if (const std::int32_t port = CleanInt(AsciiDigits(inputs.port)); port < 1 || port > 65535) {
    err << app.get_name() << ": --port: must be a TCP port from 1 to 65535, not "
        << TrimControl(inputs.port) << "\nRun with --help for usage.\n";
    return kExitUsage;
  }

  TransactionOptions options;
  options.answer_timeout = Ms(timeout_s);
  options.connect_timeout = Ms(connect_timeout_s);
  if (!suite.suite.empty()) {
    return RunSuite(suite, inputs, options, json, in ? *in : std::cin, out, err, interrupt,
                    std::vector<std::string>(argv, argv + argc));
  }
  const std::string log_path = LogFilePath(inputs.log_folder);
  const bool series = repeat > 0;
  const int payments = series ? repeat : 1;
  Summary summary;
  for (int n = 1; n <= payments; ++n) {
    if (n > 1) Pause(Ms(interval_s), interrupt);
    if (n > 1 && interrupt && interrupt->Triggered()) break;
    if (series && !json) out << "payment " << n << " of " << payments << "\n" << std::flush;

    CliObserver observer(out, !json);
    const auto started = std::chrono::system_clock::now();
    const PaymentReport report =
        RunPayment(inputs, options, observer, interrupt, err, app.get_name());
    // Journaled before anything of the outcome is printed; whatever became of
    // the journal, the payment's outcome stands.
    const std::optional<std::string> journal_error = JournalPayment(inputs, report, started);
    summary.Add(report);
    // What the client prints is stored by whoever reads it: no whole card number.
    const PaymentReport shown = MaskedReport(report);

    if (json) {
      // A series prints one object per line, so that each can be read as it comes.
      out << PaymentJson(shown, log_path, journal_error)
                 .dump(series ? -1 : 2, ' ', false, Json::error_handler_t::replace)
          << "\n";
    } else {
      if (report.outcome == Outcome::Unknown)
        err << app.get_name() << ": " << kOpenOutcomeWarning << "\n";
      if (report.log_error) err << app.get_name() << ": log error: " << *report.log_error << "\n";
      if (journal_error) err << app.get_name() << ": journal error: " << *journal_error << "\n";
      err << std::flush;
      PrintPaymentText(out, shown, log_path);
    }
    out << std::flush;
    if (interrupt && interrupt->Triggered()) break;
  }
  const bool interrupted = interrupt && interrupt->Triggered();
  if (series) {
    if (json) {
      out << summary.ToJson(interrupted).dump(-1, ' ', false, Json::error_handler_t::replace)
          << "\n";
    } else {
      out << summary.Text(interrupted) << "\n";
    }
    out << std::flush;
  }
  return summary.ExitStatus(interrupt ? interrupt->Signal() : 0);
}

}  // namespace pcpos
