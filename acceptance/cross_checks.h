// Checks across the cases of a run, beyond any single payment: what a faulty
// reader or a wrong set-up shows only when the answers are put side by side.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "text/civil_time.h"

namespace pcpos {
struct PaymentReport;
}

namespace pcpos::acceptance {

enum class CheckState { Passed, Failed, NotApplicable };

// "passed", "failed", "not-applicable".
std::string_view CheckStateName(CheckState state);

struct CrossCheck {
  std::string id;     // "terminal", "stan-rrn", "clock", "card-number", "answer-time"
  std::string title;  // what it asks, in a sentence
  CheckState state = CheckState::NotApplicable;
  std::vector<std::string> reasons;   // what failed, or why there was nothing to check
  std::vector<std::string> case_ids;  // the cases a failure concerns
};

// One case that was run, as the checks see it.
struct CheckedCase {
  std::string id;
  const PaymentReport* report = nullptr;
  std::chrono::system_clock::time_point answered_at;  // the PC's clock when the payment ended
  std::optional<double> max_answer_s;
};

// How far the reader's clock may be from the PC's.
inline constexpr std::chrono::minutes kClockTolerance{5};

using LocalTimeFn = std::function<CivilTime(std::chrono::system_clock::time_point)>;

// The five checks, in this order: the terminal number is the same in every
// answer; each approved answer has its own STAN and its own RRN; the reader's
// date and time (Solar Hijri, to the minute) lie within kClockTolerance of the
// PC's clock at the answer; no answer shows more of the card number than its
// first 6 and last 4 digits; each answer came within its case's max_answer_s.
// `local` turns the PC's clock into its wall-clock time (LocalTime by default).
std::vector<CrossCheck> RunCrossChecks(const std::vector<CheckedCase>& cases,
                                       const LocalTimeFn& local = LocalTime);

// The reader's "1403/09/18" and "14:05" as the minutes between the PC's local
// time `pc` and the start of the reader's minute (positive: the reader is
// ahead); nullopt when they cannot be read or lie more than a day away.
std::optional<double> ReaderClockOffsetMinutes(std::string_view date, std::string_view time,
                                               std::chrono::system_clock::time_point pc,
                                               const LocalTimeFn& local = LocalTime);

}  // namespace pcpos::acceptance
