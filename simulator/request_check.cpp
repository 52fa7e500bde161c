#include "simulator/request_check.h"

#include <algorithm>
#include <array>

#include "simulator/scenario.h"

namespace pcpos::sim {
namespace {

constexpr std::string_view kHeader = "@@ZRM@@";
constexpr int kAmountField = 3;
constexpr std::size_t kMaxAmountDigits = 12;

// Index i holds field i+1; the amount's entry is never compared.
constexpr std::array<std::string_view, 10> kFixedValues = {"1",  "", "", "",      "",
                                                           "00", "", "", "30000", "1"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool ValidAmount(std::string_view amount) {
  if (amount.empty() || amount.size() > kMaxAmountDigits) return false;
  if (!std::all_of(amount.begin(), amount.end(), IsDigit)) return false;
  return std::any_of(amount.begin(), amount.end(), [](char c) { return c != '0'; });
}

}  // namespace

std::string_view RequestCheck::code() const {
  switch (problem) {
    case RequestProblem::None:
      return "00";
    case RequestProblem::BadAmount:
      return kInvalidAmountCode;
    default:
      return kMalformedRequestCode;
  }
}

std::string RequestCheck::describe() const {
  const std::string at = field > 0 ? " in field " + std::to_string(field) : std::string();
  switch (problem) {
    case RequestProblem::None:
      return "ok";
    case RequestProblem::BadHeader:
      return "bad header";
    case RequestProblem::BadPrefix:
      return "bad length prefix" + at;
    case RequestProblem::Truncated:
      return "truncated" + at;
    case RequestProblem::TrailingData:
      return "data after the tenth field";
    case RequestProblem::UnexpectedValue:
      return "unexpected value" + at;
    case RequestProblem::BadAmount:
      return "invalid amount";
  }
  return "unknown";
}

RequestCheck CheckRequest(std::string_view line) {
  RequestCheck check;
  if (!line.starts_with(kHeader)) {
    check.problem = RequestProblem::BadHeader;
    return check;
  }
  std::size_t pos = kHeader.size();
  for (int field = 1; field <= static_cast<int>(kFixedValues.size()); ++field) {
    if (line.size() - pos < 2) {
      check.problem = RequestProblem::Truncated;
      check.field = field;
      return check;
    }
    if (!IsDigit(line[pos]) || !IsDigit(line[pos + 1])) {
      check.problem = RequestProblem::BadPrefix;
      check.field = field;
      return check;
    }
    const std::size_t length =
        static_cast<std::size_t>((line[pos] - '0') * 10 + (line[pos + 1] - '0'));
    pos += 2;
    if (line.size() - pos < length) {
      check.problem = RequestProblem::Truncated;
      check.field = field;
      return check;
    }
    const auto value = line.substr(pos, length);
    pos += length;
    if (field == kAmountField) {
      check.amount = std::string(value);
    } else if (value != kFixedValues[static_cast<std::size_t>(field - 1)]) {
      check.problem = RequestProblem::UnexpectedValue;
      check.field = field;
      return check;
    }
  }
  if (pos != line.size()) {
    check.problem = RequestProblem::TrailingData;
    return check;
  }
  if (!ValidAmount(check.amount)) {
    check.problem = RequestProblem::BadAmount;
    check.field = kAmountField;
  }
  return check;
}

}  // namespace pcpos::sim
