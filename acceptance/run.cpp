#include "acceptance/run.h"

#include <algorithm>
#include <set>
#include <utility>

#include "payment/journal.h"

namespace pcpos::acceptance {

std::string_view CaseStatusName(CaseStatus status) {
  switch (status) {
    case CaseStatus::Pending:
      return "pending";
    case CaseStatus::Passed:
      return "passed";
    case CaseStatus::Failed:
      return "failed";
    case CaseStatus::Skipped:
      return "skipped";
    case CaseStatus::NotRun:
      break;
  }
  return "not-run";
}

std::string_view RunEndName(RunEnd end) {
  switch (end) {
    case RunEnd::Running:
      return "running";
    case RunEnd::Completed:
      return "completed";
    case RunEnd::Ended:
      return "ended";
    case RunEnd::Interrupted:
      break;
  }
  return "interrupted";
}

AcceptanceRun::AcceptanceRun(Suite suite, RunInfo info, Clock clock, LocalTimeFn local)
    : suite_(std::move(suite)),
      info_(std::move(info)),
      clock_(std::move(clock)),
      local_(std::move(local)),
      started_at_(clock_()) {
  for (const auto& c : suite_.cases) {
    CaseRecord record;
    record.suite_case = c;
    records_.push_back(std::move(record));
  }
  if (records_.empty()) Close(RunEnd::Completed);
}

const SuiteCase* AcceptanceRun::Current() const {
  return Over() ? nullptr : &records_[position_].suite_case;
}

PaymentInputs AcceptanceRun::InputsForCurrent() const {
  const SuiteCase* c = Current();
  return PaymentInputs{info_.host, info_.port, c ? c->amount : std::string(), info_.log_folder};
}

void AcceptanceRun::Record(const PaymentInputs& inputs, const PaymentReport& report,
                           std::chrono::system_clock::time_point started,
                           const std::optional<std::string>& journal_error) {
  if (Over()) return;
  CaseRecord& r = records_[position_];
  r.answered_at = clock_();
  r.inputs = inputs;
  r.report = report;
  r.started = started;
  r.journal_row = JournalRow(inputs, report, started);
  r.journal_error = journal_error;
  r.verdict = Judge(r.suite_case.expect, report);
  r.status = r.verdict.passed ? CaseStatus::Passed : CaseStatus::Failed;
  Advance();
}

void AcceptanceRun::Skip() {
  if (Over()) return;
  records_[position_].status = CaseStatus::Skipped;
  Advance();
}

void AcceptanceRun::Finish() { Close(RunEnd::Ended); }

void AcceptanceRun::Interrupt() { Close(RunEnd::Interrupted); }

void AcceptanceRun::Advance() {
  ++position_;
  if (position_ >= records_.size()) Close(RunEnd::Completed);
}

void AcceptanceRun::Close(RunEnd end) {
  if (Over()) return;
  for (std::size_t i = position_; i < records_.size(); ++i) records_[i].status = CaseStatus::NotRun;
  position_ = records_.size();
  end_ = end;
  ended_at_ = clock_();
}

std::vector<CrossCheck> AcceptanceRun::CrossChecks() const {
  std::vector<CheckedCase> cases;
  for (const auto& r : records_) {
    if (!r.report) continue;
    cases.push_back(
        CheckedCase{r.suite_case.id, &*r.report, r.answered_at, r.suite_case.expect.max_answer_s});
  }
  return RunCrossChecks(cases, local_);
}

bool AcceptanceRun::Passed() const {
  // A run in which nothing was tried proves nothing.
  bool any = false;
  for (const auto& r : records_) {
    if (r.status == CaseStatus::Failed) return false;
    any = any || r.report.has_value();
  }
  if (!any) return false;
  for (const auto& check : CrossChecks()) {
    if (check.state == CheckState::Failed) return false;
  }
  return true;
}

std::vector<std::string> AcceptanceRun::FailedIds() const {
  std::set<std::string> failed;
  for (const auto& r : records_) {
    if (r.status == CaseStatus::Failed) failed.insert(r.suite_case.id);
  }
  for (const auto& check : CrossChecks()) {
    if (check.state == CheckState::Failed)
      failed.insert(check.case_ids.begin(), check.case_ids.end());
  }
  std::vector<std::string> ids;
  for (const auto& r : records_) {
    if (failed.contains(r.suite_case.id)) ids.push_back(r.suite_case.id);
  }
  return ids;
}

std::string AcceptanceRun::JournalRows() const {
  std::string rows;
  for (const auto& r : records_) rows += r.journal_row;
  return rows;
}

}  // namespace pcpos::acceptance
