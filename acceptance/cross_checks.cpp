#include "acceptance/cross_checks.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "payment/card_mask.h"
#include "payment/transaction.h"

namespace pcpos::acceptance {
namespace {

// Digits only, exactly `count` of them.
std::optional<int> Number(std::string_view text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

CrossCheck Named(std::string id, std::string title) {
  CrossCheck check;
  check.id = std::move(id);
  check.title = std::move(title);
  return check;
}

CrossCheck Decide(CrossCheck check, bool any_checked, const std::string& nothing) {
  if (!check.reasons.empty()) {
    check.state = CheckState::Failed;
  } else if (!any_checked) {
    check.state = CheckState::NotApplicable;
    check.reasons.push_back(nothing);
  } else {
    check.state = CheckState::Passed;
  }
  return check;
}

CrossCheck TerminalCheck(const std::vector<CheckedCase>& cases) {
  CrossCheck check = Named("terminal", "The terminal number is the same in every answer.");
  std::map<std::string, std::vector<std::string>> seen;
  for (const auto& c : cases) {
    if (c.report->fields) seen[c.report->fields->TerminalNo].push_back(c.id);
  }
  if (seen.size() > 1) {
    for (const auto& [terminal, ids] : seen) {
      std::string list;
      for (const auto& id : ids) list += (list.empty() ? "" : ", ") + id;
      check.reasons.push_back("terminal " + Quoted(terminal) + " in " + list);
      check.case_ids.insert(check.case_ids.end(), ids.begin(), ids.end());
    }
  }
  return Decide(std::move(check), !seen.empty(), "no answer was read");
}

void Repeats(const std::vector<CheckedCase>& approved, const char* name,
             std::string ResponseFields::*member, CrossCheck& check) {
  std::map<std::string, std::string> first;  // value -> the case that had it
  for (const auto& c : approved) {
    const std::string& value = (*c.report->fields).*member;
    if (value.empty()) {
      check.reasons.push_back(c.id + ": approved without a " + name);
      check.case_ids.push_back(c.id);
      continue;
    }
    const auto [at, fresh] = first.emplace(value, c.id);
    if (!fresh) {
      check.reasons.push_back(c.id + ": " + name + " " + Quoted(value) + " repeats that of " +
                              at->second);
      check.case_ids.push_back(at->second);
      check.case_ids.push_back(c.id);
    }
  }
}

CrossCheck StanRrnCheck(const std::vector<CheckedCase>& cases) {
  CrossCheck check = Named("stan-rrn", "Each approved answer has its own STAN and its own RRN.");
  std::vector<CheckedCase> approved;
  for (const auto& c : cases) {
    if (c.report->outcome == Outcome::Approved && c.report->fields) approved.push_back(c);
  }
  Repeats(approved, "STAN", &ResponseFields::STAN, check);
  Repeats(approved, "RRN", &ResponseFields::RRN, check);
  return Decide(std::move(check), !approved.empty(), "no payment was approved");
}

CrossCheck ClockCheck(const std::vector<CheckedCase>& cases, const LocalTimeFn& local) {
  CrossCheck check = Named("clock",
                           "The reader's date and time lie within 5 minutes of the PC's clock at "
                           "the answer.");
  bool any = false;
  for (const auto& c : cases) {
    if (!c.report->fields) continue;
    any = true;
    const auto& f = *c.report->fields;
    const auto offset =
        ReaderClockOffsetMinutes(f.TransactionDate, f.TransactionTime, c.answered_at, local);
    const CivilTime pc = local(c.answered_at);
    char pc_text[32];
    std::snprintf(pc_text, sizeof pc_text, "%04d-%02d-%02d %02d:%02d:%02d", pc.year, pc.month,
                  pc.day, pc.hour, pc.minute, pc.second);
    const std::string reader = Quoted(f.TransactionDate + " " + f.TransactionTime);
    if (!offset) {
      check.reasons.push_back(c.id + ": the reader's date and time " + reader +
                              " cannot be read as a Solar Hijri time within a day of the PC's " +
                              pc_text);
      check.case_ids.push_back(c.id);
      continue;
    }
    // The reader's minute [offset, offset + 1) must meet [-5, +5] around the PC's time.
    const double tolerance = static_cast<double>(kClockTolerance.count());
    if (*offset + 1 <= -tolerance || *offset > tolerance) {
      char minutes[32];
      std::snprintf(minutes, sizeof minutes, "%.0f", std::abs(*offset));
      check.reasons.push_back(c.id + ": the reader said " + reader + ", " + minutes + " minutes " +
                              (*offset > 0 ? "ahead of" : "behind") + " the PC's " + pc_text);
      check.case_ids.push_back(c.id);
    }
  }
  return Decide(std::move(check), any, "no answer was read");
}

CrossCheck CardCheck(const std::vector<CheckedCase>& cases) {
  CrossCheck check = Named(
      "card-number", "No answer shows more of the card number than its first 6 and last 4 digits.");
  bool any = false;
  for (const auto& c : cases) {
    if (c.report->answer.empty()) continue;
    any = true;
    const bool whole = (c.report->fields && ShowsWholeCardNumber(c.report->fields->CardNo)) ||
                       MaskCardInAnswer(c.report->answer) != c.report->answer;
    if (whole) {
      check.reasons.push_back(c.id +
                              ": the reader sent a whole card number (masked in this report)");
      check.case_ids.push_back(c.id);
    }
  }
  return Decide(std::move(check), any, "no answer came");
}

CrossCheck AnswerTimeCheck(const std::vector<CheckedCase>& cases) {
  CrossCheck check = Named("answer-time", "Each answer came within its case's max_answer_s.");
  bool any = false;
  for (const auto& c : cases) {
    if (!c.max_answer_s || !c.report->timings.answer_ms) continue;
    any = true;
    const double seconds = *c.report->timings.answer_ms / 1000;
    if (seconds > *c.max_answer_s) {
      char text[96];
      std::snprintf(text, sizeof text, ": the answer took %.1f s, at most %.1f s allowed", seconds,
                    *c.max_answer_s);
      check.reasons.push_back(c.id + text);
      check.case_ids.push_back(c.id);
    }
  }
  return Decide(std::move(check), any, "no answer came in a case with max_answer_s");
}

}  // namespace

std::string_view CheckStateName(CheckState state) {
  switch (state) {
    case CheckState::Passed:
      return "passed";
    case CheckState::Failed:
      return "failed";
    case CheckState::NotApplicable:
      break;
  }
  return "not-applicable";
}

std::optional<double> ReaderClockOffsetMinutes(std::string_view date, std::string_view time,
                                               std::chrono::system_clock::time_point pc,
                                               const LocalTimeFn& local) {
  // "YYYY/MM/DD" and "HH:MM" as the answer's fields hold them.
  const auto year = Number(date, 0, 4), month = Number(date, 5, 2), day = Number(date, 8, 2);
  const auto hour = Number(time, 0, 2), minute = Number(time, 3, 2);
  if (!year || !month || !day || !hour || !minute || date.size() != 10 || time.size() != 5 ||
      *hour > 23 || *minute > 59) {
    return std::nullopt;
  }
  const CivilTime now = local(pc);
  const double pc_minutes = now.hour * 60 + now.minute + now.second / 60.0;
  // The reader's day is the PC's, the day before or the day after (around
  // midnight); each is turned into the Solar Hijri calendar the reader uses.
  for (int shift = -1; shift <= 1; ++shift) {
    const CivilTime other = local(pc + std::chrono::hours(24 * shift));
    const JalaliDate j = ToJalali(other.year, other.month, other.day);
    if (j.year == *year && j.month == *month && j.day == *day) {
      return shift * 1440.0 + *hour * 60 + *minute - pc_minutes;
    }
  }
  return std::nullopt;
}

std::vector<CrossCheck> RunCrossChecks(const std::vector<CheckedCase>& cases,
                                       const LocalTimeFn& local) {
  return {TerminalCheck(cases), StanRrnCheck(cases), ClockCheck(cases, local), CardCheck(cases),
          AnswerTimeCheck(cases)};
}

}  // namespace pcpos::acceptance
