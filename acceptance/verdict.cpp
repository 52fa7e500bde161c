#include "acceptance/verdict.h"

#include <algorithm>
#include <cstdio>

#include "payment/transaction.h"
#include "text/text.h"

namespace pcpos::acceptance {
namespace {

std::string Either(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
    text += items[i];
  }
  return text;
}

bool SameCode(std::string_view seen, std::string_view wanted) {
  const auto a = ReadResponseCode(seen);
  const auto b = ReadResponseCode(wanted);
  if (a && b) return *a == *b;
  return TrimControl(seen) == TrimControl(wanted);
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", s);
  return text;
}

}  // namespace

std::string OutcomeList(const std::vector<Outcome>& outcomes) {
  std::vector<std::string> names;
  for (const Outcome o : outcomes) names.emplace_back(OutcomeName(o));
  return Either(names);
}

Verdict Judge(const Expectation& expect, const PaymentReport& report) {
  Verdict v;
  if (std::find(expect.outcomes.begin(), expect.outcomes.end(), report.outcome) ==
      expect.outcomes.end()) {
    v.reasons.push_back("outcome " + std::string(OutcomeName(report.outcome)) + ", expected " +
                        OutcomeList(expect.outcomes));
  }
  if (!expect.response_codes.empty()) {
    if (!report.fields) {
      v.reasons.push_back("no response code was read, expected " + Either(expect.response_codes));
    } else {
      const std::string& seen = report.fields->ResponseCode;
      const bool any = std::any_of(expect.response_codes.begin(), expect.response_codes.end(),
                                   [&](const std::string& c) { return SameCode(seen, c); });
      if (!any) {
        v.reasons.push_back("response code \"" + seen + "\", expected " +
                            Either(expect.response_codes));
      }
    }
  }
  if (expect.max_answer_s && report.timings.answer_ms &&
      *report.timings.answer_ms > *expect.max_answer_s * 1000) {
    v.reasons.push_back("the answer took " + Seconds(*report.timings.answer_ms / 1000) +
                        ", at most " + Seconds(*expect.max_answer_s) + " expected");
  }
  v.passed = v.reasons.empty();
  return v;
}

}  // namespace pcpos::acceptance
