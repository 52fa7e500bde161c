#include "cli/suite_cli.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <istream>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string_view>
#include <thread>

#include "acceptance/report.h"
#include "acceptance/run.h"
#include "cli/cli.h"
#include "payment/card_mask.h"
#include "payment/journal.h"

#ifndef PCPOS_VERSION
#error "PCPOS_VERSION comes from the project's version in CMake"
#endif

namespace pcpos {
namespace {

using acceptance::AcceptanceRun;

// Lines from the operator, read on a thread of their own so that Ctrl-C at a
// prompt ends the run at once: the handlers restart an interrupted read. A
// read still waiting when the run ends is left to the process's end.
class LineReader {
 public:
  explicit LineReader(std::istream& in) : in_(in), state_(std::make_shared<State>()) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;
  ~LineReader() {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(state_->mutex);
      state_->stop = true;
    }
    state_->wake.notify_all();
    if (WaitingForInput()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

  // The next line; nullopt at the end of the input or once the interrupt came.
  std::optional<std::string> Next(const CliInterrupt* interrupt) {
    if (!thread_.joinable()) thread_ = std::thread(Read, std::ref(in_), state_);
    std::unique_lock lock(state_->mutex);
    if (state_->eof) return std::nullopt;
    state_->wanted = true;
    state_->wake.notify_all();
    while (!state_->has_line && !state_->eof) {
      if (interrupt && interrupt->Triggered()) return std::nullopt;
      state_->wake.wait_for(lock, std::chrono::milliseconds(50));
    }
    if (!state_->has_line) return std::nullopt;
    state_->has_line = false;
    return std::move(state_->line);
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    bool wanted = false, has_line = false, eof = false, stop = false;
    std::string line;
  };

  bool WaitingForInput() {
    std::lock_guard lock(state_->mutex);
    return state_->wanted;
  }

  // One line per request, so that no read is pending while nobody asks.
  static void Read(std::istream& in, std::shared_ptr<State> state) {
    for (;;) {
      {
        std::unique_lock lock(state->mutex);
        state->wake.wait(lock, [&] { return state->wanted || state->stop; });
        if (state->stop && !state->wanted) return;
      }
      std::string line;
      const bool got = static_cast<bool>(std::getline(in, line));
      std::lock_guard lock(state->mutex);
      state->wanted = false;
      if (!got) {
        state->eof = true;
        state->wake.notify_all();
        return;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      state->line = std::move(line);
      state->has_line = true;
      state->wake.notify_all();
    }
  }

  std::istream& in_;
  std::shared_ptr<State> state_;
  std::thread thread_;
};

std::string Ms(const std::optional<double>& ms) {
  if (!ms) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", *ms);
  return text;
}

// One word of a command as a shell takes it back.
std::string ShellWord(const std::string& word) {
  constexpr std::string_view kPlain =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_@%+=:,./-";
  if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos) return word;
#ifdef _WIN32
  return "\"" + word + "\"";
#else
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

// The command as given, with --cases naming only the cases to run again.
std::string RerunCommand(const std::vector<std::string>& command,
                         const std::vector<std::string>& ids) {
  std::string line;
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (command[i] == "--cases") {
      ++i;
      continue;
    }
    if (command[i].starts_with("--cases=")) continue;
    line += (line.empty() ? "" : " ") + ShellWord(command[i]);
  }
  std::string list;
  for (const auto& id : ids) list += (list.empty() ? "" : ",") + id;
  return line + " --cases " + ShellWord(list);
}

void PrintCaseText(std::ostream& out, const acceptance::CaseRecord& r) {
  const PaymentReport shown = MaskedReport(*r.report);
  if (!shown.answer.empty()) out << "raw: " << shown.answer << "\n";
  // An error is its own result line; it is shown once.
  if (shown.result && shown.error.empty()) out << "result: " << shown.result->text << "\n";
  if (!shown.error.empty()) {
    std::string error = shown.error;
    for (auto at = error.find("\r\n"); at != std::string::npos; at = error.find("\r\n", at))
      error.replace(at, 2, " / ");
    out << "error: " << error << "\n";
  }
  out << "outcome: " << OutcomeName(shown.outcome) << ", response code "
      << (shown.fields ? shown.fields->ResponseCode : std::string("-")) << ", answer_ms "
      << Ms(shown.timings.answer_ms) << "\n";
  out << "verdict: " << acceptance::CaseStatusName(r.status);
  for (std::size_t i = 0; i < r.verdict.reasons.size(); ++i) {
    out << (i == 0 ? ": " : "; ") << r.verdict.reasons[i];
  }
  out << "\n";
}

void PrintSummaryText(std::ostream& out, const AcceptanceRun& run,
                      const std::optional<acceptance::ReportPaths>& paths,
                      const std::vector<std::string>& command) {
  out << "checks:\n";
  for (const auto& c : run.CrossChecks()) {
    out << "  " << acceptance::CheckStateName(c.state) << ": " << c.title << "\n";
    for (const auto& reason : c.reasons) out << "    " << reason << "\n";
  }
  int counts[5] = {};
  for (const auto& r : run.Records()) ++counts[static_cast<int>(r.status)];
  out << "summary: " << counts[static_cast<int>(acceptance::CaseStatus::Passed)] << " passed, "
      << counts[static_cast<int>(acceptance::CaseStatus::Failed)] << " failed, "
      << counts[static_cast<int>(acceptance::CaseStatus::Skipped)] << " skipped, "
      << counts[static_cast<int>(acceptance::CaseStatus::NotRun)] << " not run ("
      << acceptance::RunEndName(run.End()) << ")\n";
  if (paths) {
    out << "report: " << paths->html << "\n        " << paths->csv << "\n        " << paths->json
        << "\n";
  }
  const std::vector<std::string> failed = run.FailedIds();
  if (failed.empty()) {
    out << (run.Passed() ? "every case run and every check passed\n" : "no case was run\n");
  } else {
    out << "re-run the failed cases: " << RerunCommand(command, failed) << "\n";
  }
}

}  // namespace

bool SuiteRequested(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--suite" || arg.starts_with("--suite=")) return true;
  }
  return false;
}

void AddSuiteOptions(CLI::App& app, SuiteArgs& args, CLI::Option* amount, CLI::Option* repeat) {
  CLI::Option* suite =
      app.add_option("--suite", args.suite,
                     "Run an acceptance suite: a JSON file of cases, or \"install\" for the "
                     "built-in installation check; each case's amount is its own")
          ->type_name("FILE|install");
  suite->excludes(amount);
  suite->excludes(repeat);
  app.add_option("--report", args.report_dir,
                 "Folder for the suite's report (acceptance-*.html, .csv, .json); default: the "
                 "log folder")
      ->type_name("DIR")
      ->needs(suite);
  app.add_option("--cases", args.cases, "Run only these cases of the suite (ids, comma-separated)")
      ->type_name("ID,ID...")
      ->needs(suite);
  app.add_flag("--unattended", args.unattended,
               "Run every case without waiting for the operator (against pcpos-sim or in CI)")
      ->needs(suite);
}

int RunSuite(const SuiteArgs& args, const PaymentInputs& base, const TransactionOptions& options,
             bool json, std::istream& in, std::ostream& out, std::ostream& err,
             CliInterrupt* interrupt, const std::vector<std::string>& command) {
  const std::string program = "pcpos-cli";
  acceptance::Suite suite;
  std::string error;
  if (!acceptance::LoadSuite(args.suite, suite, error) ||
      (!args.cases.empty() && !acceptance::SelectCases(suite, args.cases, error))) {
    err << program << ": " << error << "\nNothing was sent.\n";
    return kExitUsage;
  }
  AcceptanceRun run(std::move(suite),
                    acceptance::RunInfo{std::string("pcpos-cli ") + PCPOS_VERSION, base.host,
                                        base.port, base.log_folder, args.suite, args.cases});
  // With --json, standard output holds only the JSON lines; the prompts go to the error stream.
  std::ostream& talk = json ? err : out;
  LineReader lines(in);
  while (!run.Over()) {
    if (interrupt && interrupt->Triggered()) {
      run.Interrupt();
      break;
    }
    const acceptance::SuiteCase& c = *run.Current();
    if (!json || !args.unattended) {
      talk << "case " << run.Position() + 1 << " of " << run.Count() << ": " << c.id;
      if (!c.title.empty()) talk << " - " << c.title;
      talk << "\n";
      if (!c.prompt.empty()) talk << "  " << c.prompt << "\n";
    }
    if (!args.unattended) {
      talk << "Enter runs this case, s skips it, q ends the run: " << std::flush;
      const std::optional<std::string> line = lines.Next(interrupt);
      if (!line) {
        talk << "\n";
        if (interrupt && interrupt->Triggered()) {
          run.Interrupt();
        } else {
          run.Finish();  // the input ended: nobody is left to answer
        }
        break;
      }
      if (*line == "s") {
        run.Skip();
        if (json) out << acceptance::CaseJson(run.Records()[run.Position() - 1]).dump() << "\n";
        continue;
      }
      if (*line == "q") {
        run.Finish();
        break;
      }
      if (!line->empty()) {
        talk << "(\"" << *line << "\" is none of Enter, s and q)\n";
        continue;
      }
    }
    const PaymentInputs inputs = run.InputsForCurrent();
    CliObserver observer(out, !json);
    const auto started = std::chrono::system_clock::now();
    const PaymentReport report = RunPayment(inputs, options, observer, interrupt, err, program);
    // Journaled before anything of the outcome is shown, as a single payment is.
    const std::optional<std::string> journal_error = JournalPayment(inputs, report, started);
    run.Record(inputs, report, started, journal_error);
    const acceptance::CaseRecord& record = run.Records()[run.Position() - 1];
    if (json) {
      out << acceptance::CaseJson(record).dump(-1, ' ', false,
                                               acceptance::Json::error_handler_t::replace)
          << "\n";
    } else {
      if (journal_error) err << program << ": journal error: " << *journal_error << "\n";
      PrintCaseText(out, record);
    }
    out << std::flush;
  }
  if (interrupt && interrupt->Triggered()) run.Interrupt();

  const std::string folder = args.report_dir.empty() ? base.log_folder : args.report_dir;
  std::optional<acceptance::ReportPaths> paths = acceptance::ReportPathsIn(folder, run.StartedAt());
  const std::optional<std::string> report_error = acceptance::WriteReports(run, *paths);
  if (report_error) {
    err << program << ": the report was not written: " << *report_error << "\n";
    paths.reset();
  }
  if (json) {
    out << acceptance::SummaryJson(run, paths)
               .dump(-1, ' ', false, acceptance::Json::error_handler_t::replace)
        << "\n";
  } else {
    PrintSummaryText(out, run, paths, command);
  }
  out << std::flush;
  if (interrupt && interrupt->Signal() != 0) return kExitSignalBase + interrupt->Signal();
  return run.Passed() && !report_error ? kExitSuitePassed : kExitSuiteFailed;
}

}  // namespace pcpos
