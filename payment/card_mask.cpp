#include "payment/card_mask.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "payment/answer_fields.h"
#include "payment/transaction.h"

namespace pcpos {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The span [begin, end) of the seventh field's value, as ParseResponse takes
// it; empty when the text ends before it.
std::pair<std::size_t, std::size_t> CardFieldSpan(std::string_view answer) {
  std::int64_t position = static_cast<std::int64_t>(kMessageHeader.size()) + 1;
  std::int32_t length = 0;
  const std::size_t card = Info(AnswerField::CardNo).received;
  for (std::size_t field = 0; field < card; ++field) ReadField(answer, position, length, nullptr);
  const std::int64_t start = (position < 1 ? 1 : position) + 2;  // after the prefix, 1-based
  ReadField(answer, position, length, nullptr);
  const auto size = static_cast<std::int64_t>(answer.size());
  if (length <= 0 || start > size) return {0, 0};
  const std::int64_t end = std::min<std::int64_t>(start - 1 + length, size);
  return {static_cast<std::size_t>(start - 1), static_cast<std::size_t>(end)};
}

}  // namespace

std::size_t ReadableDigits(std::string_view text) {
  std::size_t digits = 0;
  for (char c : text) digits += IsDigit(c) ? 1U : 0U;
  return digits;
}

bool ShowsWholeCardNumber(std::string_view card_no) {
  return ReadableDigits(card_no) > kCardDigitsShownFirst + kCardDigitsShownLast;
}

std::string MaskCardNumber(std::string_view card_no) {
  std::string masked(card_no);
  const std::size_t digits = ReadableDigits(card_no);
  if (digits <= kCardDigitsShownFirst + kCardDigitsShownLast) return masked;
  std::size_t seen = 0;
  for (char& c : masked) {
    if (!IsDigit(c)) continue;
    ++seen;
    if (seen > kCardDigitsShownFirst && seen <= digits - kCardDigitsShownLast) c = '*';
  }
  return masked;
}

std::string MaskCardInAnswer(std::string_view answer) {
  std::string masked(answer);
  const auto [begin, end] = CardFieldSpan(answer);
  if (begin >= end) return masked;
  masked.replace(begin, end - begin, MaskCardNumber(answer.substr(begin, end - begin)));
  return masked;
}

ResponseFields MaskCardInFields(const ResponseFields& fields) {
  ResponseFields masked = fields;
  masked.CardNo = MaskCardNumber(fields.CardNo);
  // Whatever is derived from the card number is derived again from the masked one.
  const std::size_t card = Info(AnswerField::CardNo).received;
  for (const AnswerFieldInfo& f : AnswerFields()) {
    if (f.received == card && f.derive != nullptr) Value(masked, f.field) = f.derive(masked.CardNo);
  }
  return masked;
}

PaymentReport MaskedReport(const PaymentReport& report) {
  PaymentReport masked = report;
  masked.answer = MaskCardInAnswer(report.answer);
  if (report.fields) masked.fields = MaskCardInFields(*report.fields);
  return masked;
}

}  // namespace pcpos
