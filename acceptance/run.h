// One acceptance run, as a window or the client drives it: which case is
// current, what each case's payment gave and its verdict, and the checks
// across them. No I/O and no clock of its own beyond the one it is given: the
// front end runs the payment and journals it, then records it here.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acceptance/cross_checks.h"
#include "acceptance/suite.h"
#include "acceptance/verdict.h"
#include "payment/transaction.h"

namespace pcpos::acceptance {

using Clock = std::function<std::chrono::system_clock::time_point()>;

enum class CaseStatus {
  Pending,  // not reached yet
  Passed,
  Failed,
  Skipped,  // the operator skipped it
  NotRun,   // the run ended (or was interrupted) before it
};

// "pending", "passed", "failed", "skipped", "not-run".
std::string_view CaseStatusName(CaseStatus status);

enum class RunEnd {
  Running,
  Completed,    // every case run or skipped
  Ended,        // the operator ended it early
  Interrupted,  // a signal, or the window closed, ended it
};

// "running", "completed", "ended", "interrupted".
std::string_view RunEndName(RunEnd end);

struct CaseRecord {
  SuiteCase suite_case;
  CaseStatus status = CaseStatus::Pending;
  std::optional<PaymentReport> report;  // as the transaction gave it (not masked)
  PaymentInputs inputs;
  std::chrono::system_clock::time_point started;      // the payment's start
  std::chrono::system_clock::time_point answered_at;  // the PC's clock when it ended
  std::string journal_row;                            // the row as journaled
  std::optional<std::string> journal_error;
  Verdict verdict;
};

// What the report says of the run beside its cases.
struct RunInfo {
  std::string tool_version;  // the program and its version: "pcpos-cli 1.0.0"
  std::string host;
  std::string port;
  std::string log_folder;
  std::string suite_source;  // "install" or the file's path
  std::string selection;     // the --cases list, empty when every case runs
};

class AcceptanceRun {
 public:
  AcceptanceRun(Suite suite, RunInfo info, Clock clock = std::chrono::system_clock::now,
                LocalTimeFn local = LocalTime);

  const Suite& suite() const { return suite_; }
  const RunInfo& info() const { return info_; }
  std::size_t Count() const { return records_.size(); }
  // 0-based position of the current case; Count() once the run is over.
  std::size_t Position() const { return position_; }
  bool Over() const { return end_ != RunEnd::Running; }
  RunEnd End() const { return end_; }
  // The case to run next; nullptr once the run is over.
  const SuiteCase* Current() const;

  // The payment inputs for the current case: the run's host, port and log
  // folder, the case's amount.
  PaymentInputs InputsForCurrent() const;

  // The current case's payment, once it is journaled (`journal_error` is what
  // JournalPayment returned): judged, kept, and the run moves on. The PC's
  // clock is read now, as the answer's time.
  void Record(const PaymentInputs& inputs, const PaymentReport& report,
              std::chrono::system_clock::time_point started,
              const std::optional<std::string>& journal_error);
  void Skip();
  // The operator ends the run; the cases left are not run.
  void Finish();
  // A signal or the window's closing ends the run; the cases left are not run.
  void Interrupt();

  const std::vector<CaseRecord>& Records() const { return records_; }
  // The checks across the payments recorded so far.
  std::vector<CrossCheck> CrossChecks() const;
  // True when at least one case ran, every case run passed and no check failed.
  bool Passed() const;
  // The ids of the failed cases, and of the cases a failed check names, in
  // the suite's order: what a re-run needs.
  std::vector<std::string> FailedIds() const;
  // The journal rows of this run's payments, in order, as one text.
  std::string JournalRows() const;

  std::chrono::system_clock::time_point StartedAt() const { return started_at_; }
  std::optional<std::chrono::system_clock::time_point> EndedAt() const { return ended_at_; }
  const LocalTimeFn& local() const { return local_; }

 private:
  void Advance();
  void Close(RunEnd end);

  Suite suite_;
  RunInfo info_;
  Clock clock_;
  LocalTimeFn local_;
  std::vector<CaseRecord> records_;
  std::size_t position_ = 0;
  RunEnd end_ = RunEnd::Running;
  std::chrono::system_clock::time_point started_at_;
  std::optional<std::chrono::system_clock::time_point> ended_at_;
};

}  // namespace pcpos::acceptance
