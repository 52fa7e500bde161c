#include "payment/message_format.h"

#include <algorithm>
#include <climits>
#include <string>

#include "text/numbers.h"
#include "text/text.h"

namespace pcpos {
namespace {

// Characters `from` (1-based) onwards, at most `count` of them; nothing when
// `from` lies beyond the end.
std::string_view Copy(std::string_view text, std::size_t from, std::size_t count) {
  if (from < 1 || from > text.size()) return {};
  return text.substr(from - 1, count);
}

}  // namespace

std::string_view OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Approved:
      return "approved";
    case Outcome::Declined:
      return "declined";
    case Outcome::NotSent:
      return "not-sent";
    case Outcome::Unknown:
      break;
  }
  return "unknown";
}

void ReadField(std::string_view message, std::int64_t& position, std::int32_t& length,
               std::string* target) {
  // A position below 1 reads from the start, but the arithmetic keeps the
  // real value so that later fields land where the prefixes say.
  const auto reading_start = [&] {
    return position < 1 ? std::size_t{1} : static_cast<std::size_t>(position);
  };
  length = CleanInt(Copy(message, reading_start(), 2));
  position += 2;
  if (target != nullptr) {
    target->assign(length > 0 ? Copy(message, reading_start(), static_cast<std::size_t>(length))
                              : std::string_view{});
  }
  position += length;
}

std::span<const RequestField> RequestFieldsOf(TransactionKind kind) {
  switch (kind) {
    case TransactionKind::Purchase:
      break;
  }
  return kPurchaseRequest;
}

std::string BuildRequest(TransactionKind kind, std::string_view amount) {
  const std::string wire_amount = ToAscii(amount);
  std::string request(kMessageHeader);
  for (const RequestField& field : RequestFieldsOf(kind)) {
    const std::string_view value = field.amount ? std::string_view(wire_amount) : field.value;
    request += PadNumber(static_cast<std::int64_t>(value.size()),
                         static_cast<int>(kLengthPrefixWidth), '0');
    request += value;
  }
  return request;
}

std::string BuildPurchaseRequest(std::string_view amount) {
  return BuildRequest(TransactionKind::Purchase, amount);
}

std::optional<std::array<std::string, kReceivedFieldCount>> ReadReceivedFields(
    std::string_view text) {
  if (text.substr(0, kMessageHeader.size()) != kMessageHeader) return std::nullopt;

  std::int64_t position = static_cast<std::int64_t>(kMessageHeader.size()) + 1;
  std::int32_t length = 0;
  std::array<std::string, kReceivedFieldCount> received;
  for (std::string& value : received) {
    ReadField(text, position, length, &value);
    // Cut at the first NUL before anything is derived from it, so that what is
    // shown and what is derived always agree.
    value.resize(UpToNul(value).size());
  }
  return received;
}

std::optional<ResponseFields> ParseResponse(std::string_view text) {
  const auto received = ReadReceivedFields(text);
  if (!received) return std::nullopt;
  return FieldsFromReceived(*received);
}

std::string ResultText(std::int32_t code) {
  switch (code) {
    case 0:
      return "تراکنش با موفقیت انجام شد";
    case 1:
      return "عملیات توسط کاربر لغو شده است";
    case 30:
      return "رمز عبور نامعتبر است";
    default:
      return "عملیات با شکست مواجه شده است";
  }
}

std::optional<std::int32_t> ReadResponseCode(std::string_view response_code) {
  const std::string_view code = TrimControl(response_code);
  if (code.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (char c : code) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min<std::int64_t>(value * 10 + (c - '0'), INT32_MAX);
  }
  return static_cast<std::int32_t>(value);
}

ResultLine ResultLineFor(std::string_view response_code) {
  const std::optional<std::int32_t> code = ReadResponseCode(response_code);
  if (!code) return ResultLine{std::string(kHeaderMismatchText), Outcome::Unknown};
  return ResultLine{ResultText(*code), *code == 0 ? Outcome::Approved : Outcome::Declined};
}

bool HeaderMismatches(std::string_view text) {
  const std::size_t n = std::min(text.size(), kMessageHeader.size());
  return text.substr(0, n) != kMessageHeader.substr(0, n);
}

bool IsCompleteResponse(std::string_view text) {
  if (text.size() < kMessageHeader.size() || HeaderMismatches(text)) return false;
  // The same walk as ParseResponse: each prefix must be there whole, and the
  // value it announces must have arrived.
  std::int64_t position = static_cast<std::int64_t>(kMessageHeader.size()) + 1;
  std::int32_t length = 0;
  const auto size = static_cast<std::int64_t>(text.size());
  for (std::size_t field = 0; field < kReceivedFieldCount; ++field) {
    if (position < 1 || position + 1 > size) return false;
    ReadField(text, position, length, nullptr);
    if (position - 1 > size) return false;
  }
  return true;
}

}  // namespace pcpos
