// One payment as the client's JSON shows it: the object of `pcpos-cli --json`,
// also each case's "payment" in an acceptance run's lines and report.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "payment/answer_fields.h"
#include "payment/transaction.h"

namespace pcpos::acceptance {

using Json = nlohmann::ordered_json;

// "green", "red" or "amber": how sure the outcome is.
const char* ColourName(Outcome outcome);

// The keys in the order the README documents. The report is shown as given:
// the caller masks it first (MaskedReport).
Json PaymentJson(const PaymentReport& report, const std::string& log_file,
                 const std::optional<std::string>& journal_error);

// Milliseconds to the microsecond, or null.
Json JsonMs(const std::optional<double>& ms);

}  // namespace pcpos::acceptance
