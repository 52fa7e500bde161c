#include "screen/guided_run.h"

#include <filesystem>
#include <utility>

#ifndef PCPOS_VERSION
#error "PCPOS_VERSION comes from the project's version in CMake"
#endif

namespace pcpos::screen {
namespace {

// The title is isolated so that a right-to-left title keeps "case K of N"
// reading left to right before it.
std::string Isolated(std::string_view text) { return "\u2068" + std::string(text) + "\u2069"; }

std::string VerdictText(const acceptance::CaseRecord& record) {
  std::string text =
      record.suite_case.id + ": " + std::string(acceptance::CaseStatusName(record.status));
  for (std::size_t i = 0; i < record.verdict.reasons.size(); ++i) {
    text += (i == 0 ? " - " : "; ") + record.verdict.reasons[i];
  }
  return text;
}

std::string EndText(const acceptance::AcceptanceRun& run) {
  int passed = 0, failed = 0, skipped = 0, not_run = 0;
  for (const auto& r : run.Records()) {
    switch (r.status) {
      case acceptance::CaseStatus::Passed:
        ++passed;
        break;
      case acceptance::CaseStatus::Failed:
        ++failed;
        break;
      case acceptance::CaseStatus::Skipped:
        ++skipped;
        break;
      case acceptance::CaseStatus::Pending:
      case acceptance::CaseStatus::NotRun:
        ++not_run;
        break;
    }
  }
  int checks_failed = 0;
  for (const auto& check : run.CrossChecks()) {
    if (check.state == acceptance::CheckState::Failed) ++checks_failed;
  }
  std::string text = "Run " + std::string(acceptance::RunEndName(run.End())) + ": " +
                     std::to_string(passed) + " passed, " + std::to_string(failed) + " failed, " +
                     std::to_string(skipped) + " skipped";
  if (not_run > 0) text += ", " + std::to_string(not_run) + " not run";
  text += checks_failed == 0
              ? "; no check across the cases failed"
              : "; " + std::to_string(checks_failed) + " check(s) across the cases failed";
  text += run.Passed() ? " - PASSED" : " - FAILED";
  return text;
}

}  // namespace

std::string CaseCountText(std::size_t position, std::size_t count) {
  return "case " + std::to_string(position + 1) + " of " + std::to_string(count);
}

GuidedRun::GuidedRun(Runner& inner, Clock clock, acceptance::LocalTimeFn local)
    : inner_(inner), clock_(std::move(clock)), local_(std::move(local)) {}

GuidedRun::~GuidedRun() = default;

void GuidedRun::Begin(GuidedView& view, acceptance::Suite suite, std::string source,
                      const PaymentInputs& window_inputs) {
  view_ = &view;
  acceptance::RunInfo info;
  info.tool_version = PCPOS_VERSION;
  info.host = window_inputs.host;
  info.port = window_inputs.port;
  info.log_folder = window_inputs.log_folder;
  info.suite_source = std::move(source);
  run_ = std::make_unique<acceptance::AcceptanceRun>(std::move(suite), std::move(info), clock_,
                                                     local_);
  paths_.reset();
  panel_ = {};
  ShowCurrent();
  if (run_->Over()) WriteReport();  // an empty suite is over at once
  Refresh();
}

bool GuidedRun::Start(PaymentInputs inputs, TransactionOptions options, PaymentListener& listener) {
  const acceptance::SuiteCase* current = run_ ? run_->Current() : nullptr;
  if (current == nullptr) return inner_.Start(std::move(inputs), options, listener);
  if (inner_.IsRunning()) return false;
  // The case's amount, whatever the box was edited to since it was shown.
  inputs.amount = current->amount;
  view_->SetAmountText(current->amount);
  listener_ = &listener;
  case_inputs_ = inputs;
  case_started_ = clock_();
  if (!inner_.Start(std::move(inputs), options, *this)) {
    case_inputs_.reset();
    return false;
  }
  Refresh();
  return true;
}

// The screen's Close ends a running payment this way; its end is not
// delivered, so its case stays unrecorded and the run's interruption marks it
// not run. Its journal row is written all the same.
void GuidedRun::CancelAndWait() {
  inner_.CancelAndWait();
  case_inputs_.reset();
}

void GuidedRun::OnRequestSent(const std::string& request) {
  if (listener_) listener_->OnRequestSent(request);
}
void GuidedRun::OnRawResponse(const std::string& text) {
  if (listener_) listener_->OnRawResponse(text);
}
void GuidedRun::OnFields(const ResponseFields& fields) {
  if (listener_) listener_->OnFields(fields);
}
void GuidedRun::OnResultLine(const ResultLine& line) {
  if (listener_) listener_->OnResultLine(line);
}

void GuidedRun::OnFinished(const PaymentReport& report,
                           const std::optional<std::string>& journal_error) {
  if (case_inputs_ && run_ && !run_->Over()) {
    const std::size_t position = run_->Position();
    run_->Record(*case_inputs_, report, case_started_, journal_error);
    const auto& record = run_->Records()[position];
    panel_.verdict = VerdictText(record);
    panel_.verdict_tone = record.status == acceptance::CaseStatus::Passed ? Tone::Green : Tone::Red;
  }
  case_inputs_.reset();
  // The screen shows the end as for any payment; the panel follows it.
  if (listener_) listener_->OnFinished(report, journal_error);
  if (run_) {
    ShowCurrent();
    if (run_->Over() && !paths_) WriteReport();
    Refresh();
  }
}

void GuidedRun::Skip() {
  if (!run_ || run_->Over() || case_inputs_) return;
  const std::size_t position = run_->Position();
  run_->Skip();
  panel_.verdict = VerdictText(run_->Records()[position]);
  panel_.verdict_tone = Tone::Window;
  ShowCurrent();
  if (run_->Over()) WriteReport();
  Refresh();
}

void GuidedRun::Close() {
  if (!run_ || paths_) return;
  run_->Interrupt();
  WriteReport();
  Refresh();
}

void GuidedRun::ShowCurrent() {
  if (const acceptance::SuiteCase* current = run_->Current()) {
    view_->SetAmountText(current->amount);
  }
}

void GuidedRun::Refresh() {
  if (!run_) return;
  if (const acceptance::SuiteCase* current = run_->Current()) {
    panel_.heading = CaseCountText(run_->Position(), run_->Count());
    if (!current->title.empty()) panel_.heading += ": " + Isolated(current->title);
    panel_.prompt = current->prompt;
  } else {
    panel_.heading = EndText(*run_);
    panel_.prompt.clear();
  }
  panel_.can_skip = !run_->Over() && !case_inputs_;
  view_->ShowGuide(panel_);
}

void GuidedRun::WriteReport() {
  // Into the log folder the window holds now; the last case's when it ran one.
  std::string folder = run_->info().log_folder;
  for (const auto& r : run_->Records()) {
    if (r.report) folder = r.inputs.log_folder;
  }
  paths_ = acceptance::ReportPathsIn(folder, clock_(), local_);
  const auto error = acceptance::WriteReports(*run_, *paths_);
  std::error_code ignored;
  panel_.report_path = std::filesystem::exists(paths_->html, ignored) ? paths_->html : "";
  panel_.report_error = error ? "The report could not be written: " + *error : "";
}

}  // namespace pcpos::screen
