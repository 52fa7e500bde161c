#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include "payment/defaults.h"
#include "payment/journal.h"
#include "payment/response_log.h"
#include "payment/transaction.h"

namespace pcpos {
namespace {

// The window's colour for an outcome, kept in the report for its readers.
const char* ColourName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Approved:
      return "green";
    case Outcome::Declined:
    case Outcome::NotSent:
      return "red";
    case Outcome::Unknown:
      break;
  }
  return "amber";
}

// Longer than any real payment could be kept waiting; anything beyond is a typo.
constexpr double kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr double kMinTimeoutSeconds = 0.1;
constexpr double kMaxIntervalSeconds = 24 * 60 * 60;

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

// Microseconds are the finest the clocks are worth reporting.
nlohmann::json JsonMs(const std::optional<double>& ms) {
  if (!ms) return nullptr;
  return std::round(*ms * 1000) / 1000;
}

std::string TextMs(const std::optional<double>& ms) {
  if (!ms) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", *ms);
  return text;
}

nlohmann::json TimingsJson(const PhaseTimings& t) {
  return {{"lookup_ms", JsonMs(t.lookup_ms)},
          {"connect_ms", JsonMs(t.connect_ms)},
          {"sent_ms", JsonMs(t.sent_ms)},
          {"first_byte_ms", JsonMs(t.first_byte_ms)},
          {"answer_ms", JsonMs(t.answer_ms)}};
}

std::string TimingsText(const PhaseTimings& t) {
  return "timings: lookup_ms " + TextMs(t.lookup_ms) + ", connect_ms " + TextMs(t.connect_ms) +
         ", sent_ms " + TextMs(t.sent_ms) + ", first_byte_ms " + TextMs(t.first_byte_ms) +
         ", answer_ms " + TextMs(t.answer_ms);
}

// Prints each output the moment it is reported, so a long wait shows progress,
// and keeps the final state for the JSON report and the exit status.
class CliObserver : public TransactionObserver {
 public:
  CliObserver(std::ostream& out, bool live) : out_(out), live_(live) {}

  void OnRequestSent(const std::string& request) override {
    request_ = request;
    if (live_) out_ << "request: " << request << "\n" << std::flush;
  }
  void OnRawResponse(const std::string& text) override {
    raw_ = text;
    if (live_ && !text.empty()) out_ << "raw: " << Indented(text) << "\n" << std::flush;
  }
  void OnFields(const ResponseFields& f) override {
    fields_ = f;
    if (!live_) return;
    for (const auto& [name, value] : Named(f)) out_ << name << ": " << value << "\n";
    out_ << std::flush;
  }
  void OnResultLine(const ResultLine& line) override {
    result_ = line;
    if (live_) out_ << "result (" << ColourName(line.outcome) << "): " << line.text << "\n" << std::flush;
  }

  nlohmann::json Json(const std::string& log_file, const PaymentReport& report,
                      const std::optional<std::string>& journal_error) const {
    nlohmann::json j;
    j["request"] = request_ ? nlohmann::json(*request_) : nlohmann::json(nullptr);
    j["raw"] = raw_;
    if (fields_) {
      j["fields"] = nlohmann::json::object();
      for (const auto& [name, value] : Named(*fields_)) j["fields"][name] = value;
    } else {
      j["fields"] = nullptr;
    }
    if (result_) {
      j["result"] = {{"text", result_->text}, {"colour", ColourName(result_->outcome)}};
    } else {
      j["result"] = nullptr;
    }
    j["log_file"] = log_file;
    j["outcome"] = std::string(OutcomeName(report.outcome));
    j["log_error"] = report.log_error ? nlohmann::json(*report.log_error) : nlohmann::json(nullptr);
    j["journal_error"] = journal_error ? nlohmann::json(*journal_error) : nlohmann::json(nullptr);
    j["timings"] = TimingsJson(report.timings);
    return j;
  }

 private:
  static std::vector<std::pair<const char*, std::string>> Named(const ResponseFields& f) {
    return {{"TerminalNo", f.TerminalNo},     {"STAN", f.STAN},
            {"RRN", f.RRN},                   {"BatchNo", f.BatchNo},
            {"ResponseType", f.ResponseType}, {"ResponseCode", f.ResponseCode},
            {"CardNo", f.CardNo},             {"PAN", f.PAN},
            {"BIN", f.BIN},                   {"TransactionDate", f.TransactionDate},
            {"TransactionTime", f.TransactionTime}};
  }
  // Continuation lines of a multi-line pane are indented under "raw: ".
  static std::string Indented(const std::string& text) {
    std::string s;
    for (char c : text) {
      if (c == '\r') continue;
      s += c;
      if (c == '\n') s += "     ";
    }
    return s;
  }

  std::ostream& out_;
  bool live_;
  std::optional<std::string> request_;
  std::string raw_;
  std::optional<ResponseFields> fields_;
  std::optional<ResultLine> result_;
};

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
  // 0 only when every payment was approved; an open outcome outweighs a decline.
  int ExitStatus() const {
    if (Count(Outcome::Unknown) > 0) return kExitUnknown;
    if (Count(Outcome::Declined) > 0 || Count(Outcome::NotSent) > 0) return kExitNotApproved;
    return kExitApproved;
  }
  // In the order the counts are named everywhere else, not sorted.
  nlohmann::ordered_json Json() const {
    return {{"summary",
             {{"approved", Count(Outcome::Approved)},
              {"declined", Count(Outcome::Declined)},
              {"not-sent", Count(Outcome::NotSent)},
              {"unknown", Count(Outcome::Unknown)},
              {"answer_ms_median", JsonMs(Median())},
              {"answer_ms_max", JsonMs(Max())}}}};
  }
  std::string Text() const {
    return "summary: approved " + std::to_string(Count(Outcome::Approved)) + ", declined " +
           std::to_string(Count(Outcome::Declined)) + ", not-sent " +
           std::to_string(Count(Outcome::NotSent)) + ", unknown " +
           std::to_string(Count(Outcome::Unknown)) + ", answer_ms median " + TextMs(Median()) +
           ", max " + TextMs(Max());
  }

 private:
  int counts_[4] = {};
  std::vector<double> answer_ms_;
};

// Setting up can fail before anything is sent (no descriptors left for the
// cancel mechanism, no socket library): that is a payment not sent, reported
// and journalled like any other, never an abort.
PaymentReport RunPayment(const PaymentInputs& inputs, const TransactionOptions& options,
                         TransactionObserver& observer, CliInterrupt* interrupt, std::ostream& err,
                         const std::string& program) {
  std::unique_ptr<PaymentTransaction> transaction;
  try {
    transaction = std::make_unique<PaymentTransaction>(inputs, options);
  } catch (const std::exception& e) {
    err << program << ": cannot start the payment: " << e.what() << "\n";
    PaymentReport report;
    report.error = e.what();
    return report;
  }
  if (interrupt) interrupt->SetRunning(transaction.get());
  PaymentReport report = transaction->Run(observer);
  if (interrupt) interrupt->SetRunning(nullptr);
  return report;
}

// The pause between two payments of a series, cut short by Ctrl-C. Short
// naps keep the flag a signal handler sets the only thing shared with it.
void Pause(std::chrono::milliseconds length, const CliInterrupt* interrupt) {
  const auto end = std::chrono::steady_clock::now() + length;
  constexpr std::chrono::milliseconds kNap{50};
  for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
    if (interrupt && interrupt->Triggered()) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, kNap));
  }
}

}  // namespace

void CliInterrupt::Trigger() noexcept {
  triggered_.store(true);
  if (auto* t = running_.load()) t->Cancel();
}

void CliInterrupt::SetRunning(PaymentTransaction* transaction) noexcept {
  running_.store(transaction);
  if (transaction && triggered_.load()) transaction->Cancel();
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           CliInterrupt* interrupt) {
  PaymentInputs inputs{std::string(kDefaultHost), std::string(kDefaultPort),
                       std::string(kDefaultAmount), DefaultLogFolder()};
  double timeout_s = std::chrono::duration<double>(kAnswerTimeout).count();
  bool json = false;
  int repeat = 0;
  double interval_s = 1;

  CLI::App app{"Runs one purchase (or a series) against a card reader and shows its answer."};
  app.add_option("--host", inputs.host, "Card reader address")->capture_default_str();
  app.add_option("--port", inputs.port, "Card reader port (read as the window reads it)")
      ->capture_default_str();
  app.add_option("--amount", inputs.amount, "Amount to collect")->capture_default_str();
  app.add_option("--log-dir", inputs.log_folder,
                 "Log folder text; the log and journal file names are appended without a separator")
      ->capture_default_str();
  app.add_option("--timeout", timeout_s, "Seconds to wait for the answer (0.1 to 86400)")
      ->capture_default_str()
      ->check(Seconds(kMinTimeoutSeconds, kMaxTimeoutSeconds, "0.1 to 86400"));
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
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    err << app.get_name() << ": " << e.what() << "\n" << "Run with --help for usage.\n";
    return kExitUsage;
  }

  TransactionOptions options;
  options.answer_timeout = std::chrono::milliseconds(std::llround(timeout_s * 1000));
  const std::string log_path = LogFilePath(inputs.log_folder);
  const bool series = repeat > 0;
  const int payments = series ? repeat : 1;
  Summary summary;
  for (int n = 1; n <= payments; ++n) {
    if (n > 1) Pause(std::chrono::milliseconds(std::llround(interval_s * 1000)), interrupt);
    if (n > 1 && interrupt && interrupt->Triggered()) break;
    if (series && !json) out << "payment " << n << " of " << payments << "\n";

    CliObserver observer(out, !json);
    const auto started = std::chrono::system_clock::now();
    const PaymentReport report =
        RunPayment(inputs, options, observer, interrupt, err, app.get_name());
    // Whatever became of the journal, the payment's outcome stands.
    const std::optional<std::string> journal_error = JournalPayment(inputs, report, started);
    summary.Add(report);

    if (json) {
      // A series prints one object per line, so that each can be read as it comes.
      out << observer.Json(log_path, report, journal_error)
                 .dump(series ? -1 : 2, ' ', false, nlohmann::json::error_handler_t::replace)
          << "\n";
    } else {
      if (report.log_error) out << "log error: " << *report.log_error << "\n";
      if (journal_error) out << "journal error: " << *journal_error << "\n";
      out << TimingsText(report.timings) << "\n";
      out << "outcome: " << OutcomeName(report.outcome) << "\n";
      out << "log file: " << log_path << "\n";
    }
    out << std::flush;
    if (interrupt && interrupt->Triggered()) break;
  }
  if (series) {
    if (json) {
      out << summary.Json().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
      out << summary.Text() << "\n";
    }
  }
  return summary.ExitStatus();
}

}  // namespace pcpos
