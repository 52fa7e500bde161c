// The card reader's plain-text message format: a "@@ZRM@@" header followed by
// fields with two-character length prefixes, identified only by their order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "payment/answer_fields.h"

namespace pcpos {

inline constexpr std::string_view kMessageHeader = "@@ZRM@@";

// Reads the field starting at `position` (1-based, updated in place). `length`
// receives the prefix's value L, not the length of what was taken. The value is
// stored in *target when a target is given.
void ReadField(std::string_view message, std::int64_t& position, std::int32_t& length,
               std::string* target);

// What a payment asks the reader to do. A new kind is a value here, its
// request's fields (RequestFieldsOf) and, where the operator chooses it, its
// place in PaymentInputs' callers.
enum class TransactionKind { Purchase };

// Every field of a request has a length prefix of this many decimal digits.
inline constexpr std::size_t kLengthPrefixWidth = 2;

// One field of a request: a fixed value, or the operator's amount. Its length
// prefix is the value's length, PadNumber'ed to kLengthPrefixWidth.
struct RequestField {
  std::string_view name;   // the amount's field is "amount"; the others are named by place
  std::string_view value;  // sent as it is; empty for the amount
  bool amount = false;
};

// The purchase: ten fields, the third the amount. What the fixed ones mean is
// the reader's business; they are sent exactly so.
inline constexpr std::array<RequestField, 10> kPurchaseRequest = {{
    {"field1", "1"},
    {"field2", ""},
    {"amount", "", true},
    {"field4", ""},
    {"field5", ""},
    {"field6", "00"},
    {"field7", ""},
    {"field8", ""},
    {"field9", "30000"},
    {"field10", "1"},
}};

std::span<const RequestField> RequestFieldsOf(TransactionKind kind);

// The request of a kind for an amount (already trimmed), without the line end.
// Every character above 127 (UTF-8 in, one code point each) is sent as one "?",
// so the length prefix and the bytes on the wire always agree.
std::string BuildRequest(TransactionKind kind, std::string_view amount);
// BuildRequest(TransactionKind::Purchase, amount).
std::string BuildPurchaseRequest(std::string_view amount);

// std::nullopt is a header mismatch. A received value holding a character of
// code 0 is cut there before anything is derived from it.
std::optional<ResponseFields> ParseResponse(std::string_view text);

// The answer's received fields as they came (each cut at a character of code
// 0), in wire order (kReceivedFieldNames); std::nullopt is a header mismatch.
std::optional<std::array<std::string, kReceivedFieldCount>> ReadReceivedFields(
    std::string_view text);

// What became of the payment, as far as the tool can know it.
enum class Outcome {
  Approved,  // an answer read whole, response code 0
  Declined,  // an answer with a declining code
  NotSent,   // ended before the request left: nothing reached the reader
  Unknown,   // the request went out and no readable answer came back
};

// "approved", "declined", "not-sent", "unknown".
std::string_view OutcomeName(Outcome outcome);

// The result line's text and the outcome it stands for; how that looks is the
// window's business.
struct ResultLine {
  std::string text;  // UTF-8
  Outcome outcome = Outcome::Unknown;
  bool operator==(const ResultLine&) const = default;
};

// The Persian result text for a response code of 0 or more.
std::string ResultText(std::int32_t code);

// The response code read strictly: trimmed of characters 0..32, it must be one
// or more ASCII digits. Lengths keep CleanInt's tolerance; a code decides whether
// money moved, so "", "XX", "(0)", "$0" or "-1" is not read as anything.
// Values beyond the 32-bit range read as INT32_MAX (a failure code all the same).
std::optional<std::int32_t> ReadResponseCode(std::string_view response_code);

// The result line for a received response code: ResultText, approved for 0 and
// declined otherwise; an unreadable code is an answer the tool cannot read: the
// invalid-format text, with the outcome unknown.
ResultLine ResultLineFor(std::string_view response_code);

// True when the text (an answer, leading blanks already removed) holds the header
// and all its received fields by their own length prefixes, so nothing more is due.
bool IsCompleteResponse(std::string_view text);

// True as soon as the text can no longer become an answer with the right
// header: its first characters (up to seven) differ from it.
bool HeaderMismatches(std::string_view text);

// The text shown for an answer whose header does not match, or whose response
// code cannot be read.
inline constexpr std::string_view kHeaderMismatchText = "فرمت اطلاعات بازگشتی نامعتبر است.";

}  // namespace pcpos
