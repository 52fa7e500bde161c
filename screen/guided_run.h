// The guided run in a window: an acceptance run driven from the payment
// button. It stands between the payment screen and its runner, so the window
// behaves as it does for a single payment (same screen, same journal row per
// payment) while each payment started is the current case's: the case's amount
// goes to the amount box, and the finished payment is judged and recorded. At
// the end, or when the window closes first, the report goes into the log folder.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "acceptance/report.h"
#include "acceptance/run.h"
#include "screen/payment_runner.h"
#include "screen/payment_screen.h"

namespace pcpos::screen {

inline constexpr std::string_view kSkipCaption = "Skip case";
inline constexpr std::string_view kOpenReportCaption = "Open report";

// What the panel below the window's layout shows.
struct GuidePanel {
  std::string heading;  // "case 2 of 8: <title>", or the run's end
  std::string prompt;   // what the operator does on the reader (Persian, right to left)
  std::string verdict;  // the last case's verdict and why; empty before the first
  Tone verdict_tone = Tone::Window;
  bool can_skip = false;     // a case is current and no payment is running
  std::string report_path;   // the HTML report, once written
  std::string report_error;  // why the report could not be written
};

class GuidedView {
 public:
  virtual ~GuidedView() = default;
  virtual void SetAmountText(std::string_view amount) = 0;
  virtual void ShowGuide(const GuidePanel& panel) = 0;
};

// "case 2 of 8".
std::string CaseCountText(std::size_t position, std::size_t count);

class GuidedRun final : public Runner, private PaymentListener {
 public:
  using Clock = acceptance::Clock;

  // `inner` runs the payments; `clock` is the PC's clock (the payments' start,
  // the report's name), `local` its wall-clock time. Until Begin it only passes
  // the payments through.
  explicit GuidedRun(Runner& inner, Clock clock = std::chrono::system_clock::now,
                     acceptance::LocalTimeFn local = LocalTime);
  ~GuidedRun() override;

  // Starts the run in `view` (the panel): the first case's texts and amount
  // are shown. `source` is "install" or the suite file's path; host, port and
  // log folder as the window holds them now (the report names them).
  void Begin(GuidedView& view, acceptance::Suite suite, std::string source,
             const PaymentInputs& window_inputs);
  bool Active() const { return run_ != nullptr; }
  const acceptance::AcceptanceRun* run() const { return run_.get(); }

  // The skip button: the current case is skipped, unless its payment runs.
  void Skip();
  // The window closes (after the screen's Close, so no payment runs): a run
  // not over is interrupted, and its report written.
  void Close();
  const GuidePanel& panel() const { return panel_; }
  const std::optional<acceptance::ReportPaths>& report_paths() const { return paths_; }

  // Runner: a start while a case is current runs that case.
  bool Start(PaymentInputs inputs, TransactionOptions options, PaymentListener& listener) override;
  void Cancel() override { inner_.Cancel(); }
  void CancelAndWait() override;
  bool IsRunning() const override { return inner_.IsRunning(); }

 private:
  // PaymentListener: forwarded to the screen; the end is recorded first.
  void OnRequestSent(const std::string& request) override;
  void OnRawResponse(const std::string& text) override;
  void OnFields(const ResponseFields& fields) override;
  void OnResultLine(const ResultLine& line) override;
  void OnFinished(const PaymentReport& report,
                  const std::optional<std::string>& journal_error) override;

  void ShowCurrent();
  void Refresh();
  void WriteReport();

  Runner& inner_;
  GuidedView* view_ = nullptr;
  Clock clock_;
  acceptance::LocalTimeFn local_;
  std::unique_ptr<acceptance::AcceptanceRun> run_;
  PaymentListener* listener_ = nullptr;
  // The case payment running: its inputs and start, for the record.
  std::optional<PaymentInputs> case_inputs_;
  std::chrono::system_clock::time_point case_started_{};
  GuidePanel panel_;
  std::optional<acceptance::ReportPaths> paths_;
};

}  // namespace pcpos::screen
