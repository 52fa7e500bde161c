// The card reader's plain-text message format: a "@@ZRM@@" header followed by
// fields with two-character length prefixes, identified only by their order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pcpos {

inline constexpr std::string_view kMessageHeader = "@@ZRM@@";

// The eleven values shown from an answer. All stay text, so leading zeros survive.
struct ResponseFields {
  std::string TerminalNo;
  std::string STAN;
  std::string RRN;
  std::string BatchNo;
  std::string ResponseType;
  std::string ResponseCode;
  std::string CardNo;
  std::string BIN;
  std::string PAN;
  std::string TransactionDate;
  std::string TransactionTime;

  bool operator==(const ResponseFields&) const = default;
};

// Width copies of fill, then the decimal form of n; the last `width` characters.
std::string PadNumber(std::int64_t n, int width, char fill);

// The tolerant integer reading used for every number taken from a text
// (port, length prefixes, response code). Never fails: anything unreadable is 0.
std::int32_t CleanInt(std::string_view text);

// Step 3 of CleanInt alone (no trimming, no dropping of ",()"): a signed 32-bit
// decimal or "$"/"x"/"0x" hexadecimal number. nullopt where CleanInt would give 0
// because the text does not read, which the IPv4 literal rule needs to tell apart.
std::optional<std::int32_t> ParseStrictInt(std::string_view text);

// Reads the field starting at `position` (1-based, updated in place). `length`
// receives the prefix's value L, not the length of what was taken. The value is
// stored in *target when a target is given.
void ReadField(std::string_view message, std::int64_t& position, std::int32_t& length,
               std::string* target);

// The purchase request for an amount (already trimmed), without the line end.
// Every character above 127 (UTF-8 in, one code point each) is sent as one "?",
// so the length prefix and the bytes on the wire always agree.
std::string BuildPurchaseRequest(std::string_view amount);

// std::nullopt is a header mismatch. A received value holding a character of
// code 0 is cut there before anything is derived from it.
std::optional<ResponseFields> ParseResponse(std::string_view text);

enum class Colour { Green, Red };

struct ResultLine {
  std::string text;  // UTF-8
  Colour colour = Colour::Red;
  bool operator==(const ResultLine&) const = default;
};

inline constexpr std::uint8_t kGreenRgb[3] = {0, 128, 0};
inline constexpr std::uint8_t kRedRgb[3] = {255, 0, 0};

// The Persian result text for a response code of 0 or more.
std::string ResultText(std::int32_t code);

// The result line for a received response code; nullopt (line unchanged) when
// the code reads as negative.
std::optional<ResultLine> ResultLineFor(std::string_view response_code);

// The text shown, in red, for an answer whose header does not match.
inline constexpr std::string_view kHeaderMismatchText = "فرمت اطلاعات بازگشتی نامعتبر است.";

}  // namespace pcpos
