// Whether one case's payment came out as the case expects.
#pragma once

#include <string>
#include <vector>

#include "acceptance/suite.h"

namespace pcpos {
struct PaymentReport;
}

namespace pcpos::acceptance {

struct Verdict {
  bool passed = false;
  std::vector<std::string> reasons;  // why it failed; empty when it passed
};

// The outcome must be one of the expected ones; with expected response codes,
// the answer must carry one of them (compared as numbers when both read as
// one, so "030" is "30"); with max_answer_s, the answer must have been read
// within it, counted from the payment's start.
Verdict Judge(const Expectation& expect, const PaymentReport& report);

// "approved", "approved or declined".
std::string OutcomeList(const std::vector<Outcome>& outcomes);

}  // namespace pcpos::acceptance
