#include "tap/card_mask.h"

#include <algorithm>
#include <cstdint>

#include "payment/message_format.h"

namespace pcpos::tap {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The card number is the seventh field; six come before it.
constexpr int kFieldsBeforeCard = 6;

}  // namespace

std::size_t CardDigits(std::string_view card) {
  return static_cast<std::size_t>(std::count_if(card.begin(), card.end(), IsDigit));
}

std::string MaskCardNumber(std::string_view card) {
  const std::size_t digits = CardDigits(card);
  std::string out(card);
  std::size_t seen = 0;
  for (char& c : out) {
    if (!IsDigit(c)) continue;
    ++seen;
    if (seen > 6 && seen + 4 <= digits) c = '*';
  }
  return out;
}

std::string MaskAnswer(std::string_view answer) {
  std::size_t start = 0;
  while (start < answer.size() && static_cast<unsigned char>(answer[start]) <= 32) ++start;
  const std::string_view text = answer.substr(start);
  std::string out(answer);
  if (text.size() <= kMessageHeader.size()) return out;
  // ReadField counts from 1; the first field follows the header.
  std::int64_t position = static_cast<std::int64_t>(kMessageHeader.size()) + 1;
  std::int32_t length = 0;
  for (int i = 0; i < kFieldsBeforeCard; ++i) ReadField(text, position, length, nullptr);
  // ReadField takes the value from just after the prefix, or from the start
  // when a negative length has moved the position before it.
  const std::int64_t value_position = std::max<std::int64_t>(position + 2, 1);
  std::string card;
  ReadField(text, position, length, &card);
  if (card.empty()) return out;
  const std::size_t value_at = start + static_cast<std::size_t>(value_position - 1);
  const std::string masked = MaskCardNumber(card);
  out.replace(value_at, card.size(), masked);
  return out;
}

}  // namespace pcpos::tap
