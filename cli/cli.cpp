#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cmath>
#include <memory>
#include <optional>
#include <ostream>

#include "payment/defaults.h"
#include "payment/transaction.h"

namespace pcpos {
namespace {

const char* ColourName(Colour c) {
  switch (c) {
    case Colour::Green:
      return "green";
    case Colour::Red:
      return "red";
    case Colour::Amber:
      break;
  }
  return "amber";
}

// Longer than any real payment could be kept waiting; anything beyond is a typo.
constexpr double kMaxTimeoutSeconds = 24 * 60 * 60;
constexpr double kMinTimeoutSeconds = 0.1;

int ExitStatus(Outcome outcome) {
  switch (outcome) {
    case Outcome::Approved:
      return kExitApproved;
    case Outcome::Unknown:
      return kExitUnknown;
    case Outcome::Declined:
    case Outcome::NotSent:
      break;
  }
  return kExitNotApproved;
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
    if (live_) out_ << "raw: " << Indented(text) << "\n" << std::flush;
  }
  void OnFields(const ResponseFields& f) override {
    fields_ = f;
    if (!live_) return;
    for (const auto& [name, value] : Named(f)) out_ << name << ": " << value << "\n";
    out_ << std::flush;
  }
  void OnResultLine(const ResultLine& line) override {
    result_ = line;
    if (live_) out_ << "result (" << ColourName(line.colour) << "): " << line.text << "\n" << std::flush;
  }

  nlohmann::json Json(const std::string& log_file, const PaymentReport& report) const {
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
      j["result"] = {{"text", result_->text}, {"colour", ColourName(result_->colour)}};
    } else {
      j["result"] = nullptr;
    }
    j["log_file"] = log_file;
    j["outcome"] = std::string(OutcomeName(report.outcome));
    j["log_error"] = report.log_error ? nlohmann::json(*report.log_error) : nlohmann::json(nullptr);
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

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           TransactionHook hook) {
  PaymentInputs inputs{std::string(kDefaultHost), std::string(kDefaultPort),
                       std::string(kDefaultAmount), DefaultLogFolder()};
  double timeout_s = std::chrono::duration<double>(kAnswerTimeout).count();
  bool json = false;

  CLI::App app{"Runs one purchase against a card reader and shows its answer."};
  app.add_option("--host", inputs.host, "Card reader address")->capture_default_str();
  app.add_option("--port", inputs.port, "Card reader port (read as the window reads it)")
      ->capture_default_str();
  app.add_option("--amount", inputs.amount, "Amount to collect")->capture_default_str();
  app.add_option("--log-dir", inputs.log_folder,
                 "Log folder text; the file name is appended without a separator")
      ->capture_default_str();
  app.add_option("--timeout", timeout_s, "Seconds to wait for the answer (0.1 to 86400)")
      ->capture_default_str()
      ->check([](const std::string& text) -> std::string {
        // Parsed here as well, because the range check below must see the same
        // number the option gets; nan and inf fail every comparison.
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value) ||
            value < kMinTimeoutSeconds || value > kMaxTimeoutSeconds) {
          return "must be a number of seconds from 0.1 to 86400, not " + text;
        }
        return {};
      });
  app.add_flag("--json", json, "Print one JSON object at the end instead");
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
  // Setting up can fail before anything is sent (no descriptors left for the
  // cancel mechanism, no socket library): say so and end, never abort.
  std::unique_ptr<PaymentTransaction> transaction;
  try {
    transaction = std::make_unique<PaymentTransaction>(inputs, options);
  } catch (const std::exception& e) {
    err << app.get_name() << ": cannot start the payment: " << e.what() << "\n";
    return kExitNotApproved;
  }
  CliObserver observer(out, !json);
  if (hook) hook(transaction.get());
  const PaymentReport report = transaction->Run(observer);
  if (hook) hook(nullptr);

  if (json) {
    out << observer.Json(transaction->LogPath(), report)
               .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
        << "\n";
  } else {
    if (report.log_error) out << "log error: " << *report.log_error << "\n";
    out << "outcome: " << OutcomeName(report.outcome) << "\n";
    out << "log file: " << transaction->LogPath() << "\n";
  }
  return ExitStatus(report.outcome);
}

}  // namespace pcpos
